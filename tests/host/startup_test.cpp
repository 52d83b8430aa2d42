// The main window's load step: order of its calls, single instance, version
// gate for translucency and the four registry reads.
#include "forms/frmMain.h"
#include "modules/RegEdit.h"
#include "test_support.h"

namespace {

class StartupTest : public SimTest {};

TEST_F(StartupTest, LoadStepRunsItsStepsInOrderBeforeTheWindowIsShown) {
  w().version = {148, 5, 1, 2600, 2, {}};
  ASSERT_TRUE(sim::StartProgram());
  auto* form = frmMain::Instance();
  ASSERT_NE(form, nullptr);

  std::vector<std::string> expected = {
      "CreateForm(MSN Scribbit Removal)",
      "RemoveFromTaskList",
      "SetWindowPos(" + Hex(form->hWnd()) + ",-1,0,0,0,0,3)",
      "CreateNamedMutex(" + sim::Narrow(OneCopyName) + ")",
      "GetVersionExA(148)",  // IsWin2000
      "GetVersionExA(148)",  // IsWinXP
  };
  std::vector<std::string> got(w().calls.begin(), w().calls.begin() + 6);
  EXPECT_EQ(Joined(got), Joined(expected));

  auto reads = w().CallsStartingWith("RegRead(");
  ASSERT_EQ(reads.size(), 4u) << Joined(w().calls);
  EXPECT_EQ(reads[0], "RegRead(" + sim::Narrow(PluginDirPath) + ")");
  EXPECT_EQ(reads[1], "RegRead(" + sim::Narrow(MessengerDirPath) + ")");
  EXPECT_EQ(reads[2], "RegRead(" + sim::Narrow(InkPath) + ")");
  EXPECT_EQ(reads[3], "RegRead(" + sim::Narrow(InfoPenPath) + ")");
  // A fresh shell object for every read, released after it.
  EXPECT_EQ(w().CallsStartingWith("CreateObject(wscript.shell)").size(), 4u);
  EXPECT_EQ(w().CallsStartingWith("Release").size(), 4u);

  EXPECT_EQ(w().calls.back(), "ShowForm(MSN Scribbit Removal)");
  auto* window = w().FindWindow(form->hWnd());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->topmost);
  EXPECT_TRUE(window->visible);
  EXPECT_TRUE(w().removedFromTaskList);
}

TEST_F(StartupTest, SecondCopyEndsSilentlyBeforeAnyRead) {
  sim::AddNamedObject(OneCopyName, platform::ObjectOwner::Other, L"SIM\\tester");
  w().registry[PluginDirPath] = TextValue(L"C:\\P");
  EXPECT_FALSE(sim::StartProgram());
  EXPECT_EQ(Joined({w().calls.end() - 2, w().calls.end()}), "BringBackRunningCopy\nEnd\n");
  EXPECT_TRUE(w().CallsStartingWith("RegRead").empty());
  EXPECT_TRUE(w().CallsStartingWith("GetVersionExA").empty());
  EXPECT_TRUE(w().CallsStartingWith("ShowForm").empty());
  EXPECT_TRUE(w().messageBoxes.empty());
  EXPECT_TRUE(w().reportedFailures.empty());
  EXPECT_EQ(InstallInfo.PluginDir, L"");
}

struct VersionCase {
  std::uint32_t major, minor, platformId;
  bool fails;
  bool translucent;
};

class StartupVersionTest : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(StartupVersionTest, TranslucentOnlyOnWindows2000AndXP) {
  const auto& c = GetParam();
  w().version = {148, c.major, c.minor, 1234, c.platformId, {}};
  w().versionFails = c.fails;
  ASSERT_TRUE(sim::StartProgram());
  auto* window = w().FindWindow(frmMain::Instance()->hWnd());
  EXPECT_EQ(w().CallsStartingWith("GetVersionExA").size(), 2u);  // both probes, always
  EXPECT_EQ(window->alpha, c.translucent ? 200 : -1);
  EXPECT_EQ((window->exStyle & 0x80000) != 0, c.translucent);
}

INSTANTIATE_TEST_SUITE_P(Versions, StartupVersionTest,
                         ::testing::Values(VersionCase{5, 0, 2, false, true},
                                           VersionCase{5, 1, 2, false, true},
                                           VersionCase{5, 2, 2, false, false},
                                           VersionCase{6, 1, 2, false, false},
                                           VersionCase{10, 0, 2, false, false},
                                           VersionCase{5, 1, 1, false, false},
                                           VersionCase{5, 0, 1, false, false},
                                           VersionCase{5, 1, 2, true, false}));

TEST_F(StartupTest, OpaqueOnXPWhileHighContrastIsOn) {
  w().version = {148, 5, 1, 2600, 2, {}};
  w().highContrast = true;
  ASSERT_TRUE(sim::StartProgram());
  auto alpha = [&] { return w().FindWindow(frmMain::Instance()->hWnd())->alpha; };
  EXPECT_EQ(alpha(), 255);
  w().highContrast = false;
  ASSERT_TRUE(sim::Input([] { frmMain::Instance()->OnSettingChange(); }));
  EXPECT_EQ(alpha(), 200);
}

TEST_F(StartupTest, RegistryValuesAreStoredExactlyAsRead) {
  w().registry[PluginDirPath] = TextValue(L"C:\\P\\");
  w().registry[MessengerDirPath] = TextValue(L"C:\\M");
  w().registry[InkPath] = TextValue(L"Ink");
  w().registry[InfoPenPath] = TextValue(L"InfoPen for Outlook ");
  ASSERT_TRUE(sim::StartProgram());
  EXPECT_EQ(InstallInfo.PluginDir, L"C:\\P\\");
  EXPECT_EQ(InstallInfo.MessengerDir, L"C:\\M");
  EXPECT_EQ(InstallInfo.DisplayNames[InkName], L"Ink");
  EXPECT_EQ(InstallInfo.DisplayNames[InfoPenName], L"InfoPen for Outlook ");
}

TEST_F(StartupTest, UnreadableValuesAreEmptyAndStartupCarriesOn) {
  InstallInfo.PluginDir = L"left over";
  platform::Variant number;
  number.type = platform::Variant::Type::Integer;
  number.integer = 42;
  platform::Variant binary;
  binary.type = platform::Variant::Type::Array;
  w().registry[MessengerDirPath] = number;
  w().registry[InkPath] = binary;
  ASSERT_TRUE(sim::StartProgram());
  EXPECT_EQ(InstallInfo.PluginDir, L"");  // missing: replaced by the empty text
  EXPECT_EQ(InstallInfo.MessengerDir, L"42");
  EXPECT_EQ(InstallInfo.DisplayNames[InkName], L"");
  EXPECT_TRUE(w().messageBoxes.empty());
  EXPECT_NE(frmMain::Instance(), nullptr);
}

TEST_F(StartupTest, WithoutScriptHostEveryValueIsEmpty) {
  w().automationMissing = true;
  w().registry[PluginDirPath] = TextValue(L"C:\\P");
  ASSERT_TRUE(sim::StartProgram());
  EXPECT_EQ(InstallInfo.PluginDir, L"");
  EXPECT_EQ(w().CallsStartingWith("RegRead").size(), 0u);
  EXPECT_TRUE(w().reportedFailures.empty());
}

// Where no user sits only /quiet runs; with switches, a value that cannot be read (absence aside) ends
// the run before it touches anything. Registry: 0 readable, 1 no Script Host, 2 refused, 3 missing, 4 no such
// key on the way.
TEST_F(StartupTest, RunsThatCannotGoOnEndBeforeTouchingAnything) {
  const std::wstring plugin = L"HKLM\\Software\\Vantrel\\MsgPlus2\\PluginDir";
  struct Case { std::vector<std::wstring> args; bool desktop; int registry; unsigned code; std::size_t shown; };
  for (const Case& c : std::vector<Case>{{{}, false, 0, 1603, 0}, {{L"/log", L"r.log"}, false, 0, 1603, 0},
           {{L"/x"}, false, 0, 1639, 0}, {{L"/quiet"}, false, 0, 0, 0}, {{L"/quiet"}, true, 1, 1603, 0},
           {{L"/log", L"r.log"}, true, 1, 1603, 1}, {{L"/deletelibrary"}, true, 1, 0x5C8001AD, 0},
           {{L"/removewithrights"}, true, 1, 0x5C8001AD, 0},  // marked: failed, with error 429
           {{L"/quiet"}, true, 2, 1603, 0}, {{L"/quiet"}, true, 3, 1605, 0}, {{L"/quiet"}, true, 4, 1605, 0}}) {
    SetUp();
    w().userDesktop = c.desktop;
    w().automationMissing = c.registry == 1;
    if (c.registry == 2) w().unreadable.insert(plugin);
    if (c.registry == 4) w().readFailures[plugin] = 0x80070003;
    if (c.registry != 3) w().registry[plugin] = TextValue(L"C:\\P");
    w().files.insert(L"C:\\P\\MsnScribbit.dll");
    w().AddProcess(200, "msnmsgr.exe");
    w().arguments = c.args;
    EXPECT_FALSE(sim::StartProgram());
    EXPECT_EQ(w().exitCode, c.code) << c.args.size() << c.desktop << c.registry;
    EXPECT_EQ(w().messageBoxes.size() + w().reportedFailures.size() + w().CallsStartingWith("ShowForm").size(), c.shown);
    EXPECT_EQ(w().CallsStartingWith("TerminateProcess").size(), c.code == 0 ? 1u : 0u) << "1605: nothing to remove";
  }
}

TEST(VariantToText, ConvertsTextNumbersAndEmptyAndRefusesTheRest) {
  using Type = platform::Variant::Type;
  platform::Variant v;
  EXPECT_EQ(VariantToText(v), L"");
  v.type = Type::Text;
  v.text = L"a\\b ";
  EXPECT_EQ(VariantToText(v), L"a\\b ");
  v.type = Type::Integer;
  v.integer = -1;
  EXPECT_EQ(VariantToText(v), L"-1");
  v.integer = 4294967296LL;
  EXPECT_EQ(VariantToText(v), L"4294967296");
  v.integer = -9223372036854775807LL - 1;
  EXPECT_EQ(VariantToText(v), L"-9223372036854775808");
  v.integer = 0;
  EXPECT_EQ(VariantToText(v), L"0");
  v.type = Type::Real;
  v.real = 42.0;
  EXPECT_EQ(VariantToText(v), L"42");
  v.real = 1.5;
  EXPECT_THROW(VariantToText(v), platform::Failure);
  v.type = Type::Array;
  EXPECT_THROW(VariantToText(v), platform::Failure);
  v.type = Type::Other;
  EXPECT_THROW(VariantToText(v), platform::Failure);
}

}  // namespace
