// Both windows on the simulated system: layout in pixels, hit testing at the
// controls' edges, hover highlights, clicks and the About round trip.
#include "forms/frmAbout.h"
#include "forms/frmMain.h"
#include "platform/form_backend.h"
#include "test_support.h"

namespace {

constexpr platform::Color White = 0xFFFFFF;

class MainWindowTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(sim::StartProgram());
    form_ = frmMain::Instance();
    ASSERT_NE(form_, nullptr);
  }
  platform::Form& form() { return *form_; }
  const platform::PixelRect& Rect(int control) { return form_->controls().at(static_cast<std::size_t>(control)).rect; }
  platform::Form* form_ = nullptr;
};

TEST_F(MainWindowTest, ControlsLieAtTheirPixelPositions) {
  auto r = Rect(frmMain::Label2);
  EXPECT_EQ(r.left, 192);
  EXPECT_EQ(r.top, 96);
  EXPECT_EQ(r.right, 256);  // 3835 twips
  EXPECT_EQ(r.bottom, 109);
  auto s = Rect(frmMain::Shape1);
  EXPECT_EQ(s.right, 257);  // 3855 twips
  EXPECT_EQ(s.bottom, 111);
  EXPECT_EQ(Rect(frmMain::Image3).right, 233);  // 3495 twips
  EXPECT_EQ(Rect(frmMain::Image1).left, 233);   // 3500 twips
  EXPECT_EQ(Rect(frmMain::Image2).left, 248);
}

TEST_F(MainWindowTest, HitTestingAtTheEdges) {
  // The part of a button rectangle its label does not cover is window surface.
  EXPECT_EQ(form().ControlAt(255, 100), frmMain::Label2);
  EXPECT_EQ(form().ControlAt(256, 100), platform::Surface);  // right strip, 20 twips
  EXPECT_EQ(form().ControlAt(200, 108), frmMain::Label2);
  EXPECT_EQ(form().ControlAt(200, 109), platform::Surface);  // bottom strip, 30 twips
  EXPECT_EQ(form().ControlAt(200, 110), platform::Surface);
  EXPECT_EQ(form().ControlAt(72, 109), platform::Surface);   // under "About"
  // The title text lies behind the drag strip.
  auto title = Rect(frmMain::Label1);
  EXPECT_EQ(form().ControlAt(title.left + 1, title.top + 1), frmMain::Image3);
  EXPECT_EQ(form().ControlAt(232, 5), frmMain::Image3);
  EXPECT_EQ(form().ControlAt(233, 5), frmMain::Image1);
  EXPECT_EQ(form().ControlAt(250, 5), frmMain::Image2);
  // The long text is in front of nothing that takes the mouse.
  EXPECT_EQ(form().ControlAt(50, 40), frmMain::Label4);
}

TEST_F(MainWindowTest, HoverMovesBetweenTheButtonsInOneEvent) {
  auto [rx, ry] = sim::CenterOf(form(), frmMain::Label2);
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::MouseMove(form(), rx, ry));
  EXPECT_EQ(form().FillColor(frmMain::Shape1), HoverColor);
  EXPECT_EQ(form().FillColor(frmMain::Shape2), White);

  ASSERT_TRUE(sim::MouseMove(form(), ax, ay));
  EXPECT_EQ(form().FillColor(frmMain::Shape2), HoverColor);
  EXPECT_EQ(form().FillColor(frmMain::Shape1), White);
  EXPECT_EQ(form().ForeColor(frmMain::Label2), 0u);
  // Once the captions are black, a move between the buttons changes only the
  // two rectangles, so only they are repainted; a repeated move repaints none.
  ASSERT_TRUE(sim::MouseMove(form(), rx, ry));
  w().calls.clear();
  ASSERT_TRUE(sim::MouseMove(form(), ax, ay));
  EXPECT_EQ(Joined(w().CallsStartingWith("Invalidate")), "Invalidate(8,96)\nInvalidate(192,96)\n");
  ASSERT_TRUE(sim::MouseMove(form(), ax + 1, ay));
  EXPECT_EQ(w().CallsStartingWith("Invalidate").size(), 2u);

  // Text, glyphs and the strip keep the highlight.
  for (auto [x, y] : {std::pair{50, 40}, std::pair{250, 5}, std::pair{238, 5}, std::pair{100, 5}}) {
    ASSERT_TRUE(sim::MouseMove(form(), x, y));
    EXPECT_EQ(form().FillColor(frmMain::Shape2), HoverColor) << x << "," << y;
  }
  // The uncovered edge of the rectangle clears it.
  ASSERT_TRUE(sim::MouseMove(form(), 72, 109));
  EXPECT_EQ(form().FillColor(frmMain::Shape2), White);
  EXPECT_EQ(form().FillColor(frmMain::Shape1), White);
  EXPECT_EQ(form().ForeColor(frmMain::Label3), 0u);
}

TEST_F(MainWindowTest, InitialDesign) {
  EXPECT_EQ(form().Caption(frmMain::Label2), L"Remove");
  EXPECT_EQ(form().FillColor(frmMain::Shape1), White);
  EXPECT_EQ(form().FillColor(frmMain::Shape2), platform::SystemWindowBackground);
  EXPECT_EQ(form().ForeColor(frmMain::Label3), platform::SystemButtonText);
}

TEST_F(MainWindowTest, RemoveRunsOnlyWithItsOwnCaption) {
  form().SetCaption(frmMain::Label2, L"remove");
  auto [x, y] = sim::CenterOf(form(), frmMain::Label2);
  EXPECT_TRUE(sim::Click(form(), x, y));
  EXPECT_TRUE(w().CallsStartingWith("HideForm").empty());
  EXPECT_EQ(form().FillColor(frmMain::Shape1), White);  // the highlights were reset all the same
}

// "Close" lies where "Remove" is: the second press of a double-click on it removes nothing (the
// double-click time: 500 ms; its rectangle: 4 x 4 pixels), a third press does. A window closed by
// a key (after a press slid off "Close") arms no guard.
TEST_F(MainWindowTest, TheSecondPressOfADoubleClickOnCloseRemovesNothing) {
  struct Case { std::uint32_t gap; int dx; bool third, byKey, removed; };
  for (const Case& c : std::vector<Case>{{500, 2, false, false, false}, {501, 2, false, false, true},
                                         {500, 3, false, false, true}, {100, 0, true, false, true},
                                         {0, 0, false, true, true}}) {
    SetUp();
    auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
    ASSERT_TRUE(sim::Click(form(), ax, ay));
    platform::Form& about = *frmAbout::Instance();
    auto [cx, cy] = sim::CenterOf(about, frmAbout::Label2);
    w().clock += 1000;
    ASSERT_TRUE(c.byKey ? sim::ButtonDown(about, cx, cy) && sim::Input([&] { about.OnButtonUp(0, 0, true); }) &&
                              sim::Input([&] { about.OnKey(platform::Key::Escape, false); })
                        : sim::Click(about, cx, cy));
    w().clock += c.gap;
    bool running = sim::Click(*frmMain::Instance(), cx + c.dx, cy - 2);
    if (c.third) running = running && sim::Click(*frmMain::Instance(), cx, cy);
    EXPECT_EQ(running, !c.removed) << "after " << c.gap << " ms, " << c.dx << " px";
    EXPECT_EQ(w().CallsStartingWith("HideForm").size(), c.removed ? 1u : 0u) << "after " << c.gap << " ms";
  }
}

TEST_F(MainWindowTest, APressReleasedOverAnotherControlClicksNothing) {
  auto [rx, ry] = sim::CenterOf(form(), frmMain::Label2);
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::ButtonDown(form(), rx, ry) && sim::Input([&] { form().OnButtonUp(ax, ay, true); }));
  ASSERT_TRUE(sim::ButtonDown(form(), ax, ay) && sim::Input([&] { form().OnButtonUp(rx, ry, true); }));
  ASSERT_TRUE(sim::Input([&] { form().OnButtonUp(ax, ay, true); }));  // pressed elsewhere, released here
  // The capture went elsewhere while the button was held.
  ASSERT_TRUE(sim::ButtonDown(form(), rx, ry) && sim::CaptureLost(form()) &&
              sim::Input([&] { form().OnButtonUp(rx, ry, true); }));
  EXPECT_EQ(Joined(w().CallsStartingWith("HideForm")) + Joined(w().CallsStartingWith("CreateForm(About)")), "");
}

TEST_F(MainWindowTest, ADpiChangeLaysTheWindowOutAgain) {
  ASSERT_TRUE(sim::Input([&] { form().OnDpiChanged(144); }));
  EXPECT_EQ(form().ControlAt(383, 150), frmMain::Label2);  // 2880..3835 twips
  EXPECT_EQ(Rect(frmMain::Label1).right - Rect(frmMain::Label1).left, 210) << "measured in the new font";
}

TEST_F(SimTest, KeyboardCuesShownFromTheStartWhenTheSystemAlwaysShowsThem) {
  w().keyboardCues = true;
  EXPECT_TRUE(sim::StartProgram() && frmMain::Instance()->ShowAccessKeys() && frmMain::Instance()->ShowFocusCues());
}

TEST_F(MainWindowTest, GlyphsMinimiseAndClose) {
  for (bool glyph : {false, true}) {  // a minimise from outside takes the glyph's way
    w().FindWindow(form().hWnd())->minimized = false;
    ASSERT_TRUE(glyph ? sim::Click(form(), 238, 5) : sim::MinimizeRequest(form()));
    EXPECT_TRUE(w().FindWindow(form().hWnd())->minimized);
  }
  EXPECT_FALSE(sim::Click(form(), 250, 5));
  EXPECT_TRUE(w().ended);
  EXPECT_FALSE(form().IsLoaded());
}

TEST_F(MainWindowTest, DragStripTakesAnyButtonButMovesOnlyWithTheLeft) {
  w().leftButtonDown = false;
  ASSERT_TRUE(sim::ButtonDown(form(), 100, 5, /*left=*/false));
  EXPECT_TRUE(w().CallsStartingWith("SendMessageA").empty()) << "no drag without the left button";
  w().leftButtonDown = true;
  ASSERT_TRUE(sim::ButtonDown(form(), 100, 5));
  auto drag = w().CallsStartingWith("SendMessageA");
  ASSERT_EQ(drag.size(), 1u);
  EXPECT_EQ(drag[0], "SendMessageA(" + Hex(form().hWnd()) + ",0xa1,2,0)");
  EXPECT_EQ(w().CallsStartingWith("ReleaseCapture").size(), 1u);
}

TEST_F(MainWindowTest, AboutRoundTripRunsTheLoadStepAgain) {
  auto [rx, ry] = sim::CenterOf(form(), frmMain::Label2);
  ASSERT_TRUE(sim::MouseMove(form(), rx, ry));
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::Click(form(), ax, ay));
  EXPECT_FALSE(form().IsLoaded());
  platform::Form* about = frmAbout::Instance();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(w().CallsStartingWith("ShowFormModal(About)").size(), 1u);
  EXPECT_TRUE(w().FindWindow(about->hWnd())->topmost);

  w().registry[PluginDirPath] = TextValue(L"D:\\New");
  w().calls.clear();
  auto [cx, cy] = sim::CenterOf(*about, frmAbout::Label2);
  ASSERT_TRUE(sim::Click(*about, cx, cy));
  EXPECT_FALSE(about->IsLoaded());
  platform::Form* again = frmMain::Instance();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, form_);
  EXPECT_EQ(InstallInfo.PluginDir, L"D:\\New");
  EXPECT_EQ(w().CallsStartingWith("RegRead").size(), 4u);
  EXPECT_TRUE(w().CallsStartingWith("CreateNamedMutex").empty()) << "claimed once: again, it would find its own";
  EXPECT_EQ(again->FillColor(frmMain::Shape1), White);
  EXPECT_EQ(again->Caption(frmMain::Label2), L"Remove");
  EXPECT_TRUE(w().FindWindow(again->hWnd())->visible);
}

TEST_F(MainWindowTest, AboutCloseGlyphEndsWithNoWindowLeft) {
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::Click(form(), ax, ay));
  platform::Form* about = frmAbout::Instance();
  ASSERT_NE(about, nullptr);
  // The leftmost column of the close glyph belongs to the drag strip.
  auto glyph = about->controls().at(frmAbout::Image2).rect;
  EXPECT_EQ(about->ControlAt(glyph.left, 5), frmAbout::Image3);
  ASSERT_TRUE(sim::Click(*about, glyph.left, 5));
  EXPECT_TRUE(about->IsLoaded());
  ASSERT_TRUE(sim::Click(*about, glyph.left + 2, 5));
  EXPECT_FALSE(about->IsLoaded());
  EXPECT_EQ(frmMain::Instance(), nullptr);
  EXPECT_EQ(platform::LoadedFormCount(), 0);
}

TEST_F(MainWindowTest, AboutHoverOnlyBareSurfaceClears) {
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::Click(form(), ax, ay));
  platform::Form& about = *frmAbout::Instance();
  auto [cx, cy] = sim::CenterOf(about, frmAbout::Label2);
  ASSERT_TRUE(sim::MouseMove(about, cx, cy));
  EXPECT_EQ(about.FillColor(frmAbout::Shape1), HoverColor);
  for (int control : {frmAbout::Label3, frmAbout::Label4, frmAbout::Image2}) {
    auto [x, y] = sim::CenterOf(about, control);
    ASSERT_TRUE(sim::MouseMove(about, x, y));
    EXPECT_EQ(about.FillColor(frmAbout::Shape1), HoverColor) << control;
  }
  auto shape = about.controls().at(frmAbout::Shape1).rect;
  ASSERT_TRUE(sim::MouseMove(about, shape.left + 2, shape.bottom - 1));
  EXPECT_EQ(about.FillColor(frmAbout::Shape1), White);
  // Movement over the strip drags only with the left button held.
  w().leftButtonDown = false;
  ASSERT_TRUE(sim::MouseMove(about, 100, 5));
  EXPECT_TRUE(w().CallsStartingWith("SendMessageA").empty());
  w().leftButtonDown = true;
  ASSERT_TRUE(sim::MouseMove(about, 100, 5));
  EXPECT_EQ(w().CallsStartingWith("SendMessageA").size(), 1u);
}

// Tab cycles both ways; the keyboard reaches the same click handler as the
// mouse; nothing pressed while the removal runs (its message boxes pump
// messages) reaches the window.
TEST_F(MainWindowTest, KeyboardPressesTheFocusedButtonOnly) {
  using platform::Key;
  auto key = [&](Key k, bool shift = false) { return sim::Input([&] { form().OnKey(k, shift); }); };
  std::vector<int> focus;
  for (bool shift : {false, false, false, true, true}) {
    ASSERT_TRUE(key(Key::Tab, shift));
    focus.push_back(form().FocusedControl());
  }
  EXPECT_EQ(focus, (std::vector<int>{frmMain::Label3, frmMain::Label2, frmMain::Label3,
                                     frmMain::Label2, frmMain::Label3}));
  EXPECT_EQ(w().CallsStartingWith("NotifyFocus").size(), 5u);
  ASSERT_TRUE(key(Key::Tab));  // "Remove"

  auto [rx, ry] = sim::CenterOf(form(), frmMain::Label2);
  ASSERT_TRUE(sim::MouseMove(form(), rx, ry));
  int queued = 0;
  w().beforeLookup = [&] {
    if (queued++ > 0) return;
    form().OnKey(Key::Enter, false);
    form().OnKey(Key::Escape, false);
    EXPECT_FALSE(form().OnAccessKey(L'x'));
    EXPECT_TRUE(form().OnAccessKey(L'a'));
    form().OnCloseRequest();
    form().OnDefaultAction(frmMain::Image2);
  };
  InstallInfo.PluginDir = L"C:\\Plugins";
  w().files.insert(L"C:\\Plugins\\MsnScribbit.dll");
  EXPECT_FALSE(key(Key::Enter));  // the removal ends the program
  EXPECT_EQ(form().FillColor(frmMain::Shape1), White);  // the click's highlight reset
  EXPECT_EQ(w().CallsStartingWith("HideForm").size(), 1u);
  EXPECT_EQ(w().files.count(L"C:\\Plugins\\MsnScribbit.dll"), 0u);
  EXPECT_TRUE(w().CallsStartingWith("CreateForm(About)").empty());
  EXPECT_TRUE(w().CallsStartingWith("DestroyForm").empty());
  EXPECT_EQ(w().messageBoxes.size(), 1u);
}

TEST_F(MainWindowTest, HighContrastFollowsTheSystem) {
  EXPECT_FALSE(form().HighContrast());
  w().highContrast = true;
  ASSERT_TRUE(sim::Input([&] { form().OnSettingChange(); }));
  EXPECT_TRUE(form().HighContrast());
  EXPECT_EQ(w().CallsStartingWith("InvalidateForm(MSN Scribbit Removal)").size(), 1u);
  auto [ax, ay] = sim::CenterOf(form(), frmMain::Label3);
  ASSERT_TRUE(sim::Click(form(), ax, ay));  // a window made now starts in high contrast
  EXPECT_TRUE(frmAbout::Instance()->HighContrast());
}

TEST(TwipsToPixels, RoundsToTheNearestPixel) {
  EXPECT_EQ(platform::TwipsToPixels(3945, 96), 263);
  EXPECT_EQ(platform::TwipsToPixels(1785, 96), 119);
  EXPECT_EQ(platform::TwipsToPixels(35, 96), 2);
  EXPECT_EQ(platform::TwipsToPixels(3945, 144), 395);  // 394.5 rounds up
}

}  // namespace
