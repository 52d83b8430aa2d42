// Window effects on the simulated system: result codes and calls made.
#include "modules/api.h"
#include "test_support.h"

namespace {

class EffectsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    window_ = w().AddWindow(L"x");
  }
  sim::Window& window() { return *w().FindWindow(window_); }
  platform::WindowHandle window_ = 0;
};

TEST_F(EffectsTest, TranslucencyResultCodes) {
  short tooHigh = 256, negative = -1, opaque = 255, clear = 0, alpha = 200;
  EXPECT_EQ(SetTranslucency(window_, tooHigh), 1);
  EXPECT_EQ(SetTranslucency(window_, negative), 1);
  EXPECT_TRUE(w().calls.empty()) << "no window call for an alpha out of range";
  EXPECT_EQ(window().exStyle, 0);

  EXPECT_EQ(SetTranslucency(window_, alpha), 0);
  EXPECT_EQ(window().exStyle, 0x80000);
  EXPECT_EQ(window().alpha, 200);
  EXPECT_EQ(w().calls.back(), "SetLayeredWindowAttributes(" + Hex(window_) + ",0,200,2)");
  EXPECT_EQ(SetTranslucency(window_, opaque), 0);
  EXPECT_EQ(SetTranslucency(window_, clear), 0);
  EXPECT_EQ(window().alpha, 0);
}

TEST_F(EffectsTest, WithoutLayeredWindowsTranslucencyAnswers2) {
  w().layeredWindowsMissing = true;
  short alpha = 200;
  EXPECT_EQ(SetTranslucency(window_, alpha), 2);
  EXPECT_EQ(window().alpha, -1);
}

TEST_F(EffectsTest, TopMostAndBack) {
  MakeTopMost(window_, true);
  EXPECT_TRUE(window().topmost);
  EXPECT_EQ(w().calls.back(), "SetWindowPos(" + Hex(window_) + ",-1,0,0,0,0,3)");
  MakeTopMost(window_, false);
  EXPECT_FALSE(window().topmost);
  EXPECT_EQ(w().calls.back(), "SetWindowPos(" + Hex(window_) + ",-2,0,0,0,0,3)");
}

}  // namespace
