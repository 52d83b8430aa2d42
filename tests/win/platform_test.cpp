// The platform layer against the real system under Wine: registry reads
// through Windows Script Host, version probes, window effects.
#include "modules/RegEdit.h"
#include "modules/api.h"
#include "win_test_support.h"

namespace {

const wchar_t TestKey[] = L"Software\\ScribbitRemovalTests";
const std::wstring TestPath = L"HKLM\\Software\\ScribbitRemovalTests\\";

class RegistryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegCreateKeyExW(HKEY_LOCAL_MACHINE, TestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr); }
  static void TearDownTestSuite() {
    RegCloseKey(key_);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TestKey);
  }
  static void Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  static void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    Set(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static HKEY key_;
};
HKEY RegistryTest::key_ = nullptr;

TEST_F(RegistryTest, TextValuesComeBackExactly) {
  SetText(L"Trailing", L"InfoPen for Outlook ");
  SetText(L"Empty", L"");
  SetText(L"Backslash", L"C:\\Program Files\\MSN Messenger\\");
  std::wstring nonAscii = L"C:\\Programme\\Messenger \u00e4\u00f6\u00fc \u00e9\u00e8 \u65e5\u672c";
  SetText(L"NonAscii", nonAscii);
  std::wstring longText(6000, L'x');
  longText += L"end";
  SetText(L"Long", longText);

  EXPECT_EQ(RegReadValue(TestPath + L"Trailing"), L"InfoPen for Outlook ");
  EXPECT_EQ(RegReadValue(TestPath + L"Empty"), L"");
  EXPECT_EQ(RegReadValue(TestPath + L"Backslash"), L"C:\\Program Files\\MSN Messenger\\");
  EXPECT_TRUE(RegReadValue(TestPath + L"NonAscii") == nonAscii);
  std::wstring gotLong = RegReadValue(TestPath + L"Long");
  EXPECT_EQ(gotLong.size(), longText.size());
  EXPECT_TRUE(gotLong == longText);
}

TEST_F(RegistryTest, NumbersAreDecimalText) {
  DWORD dword = 42;
  Set(L"Dword", REG_DWORD, &dword, sizeof dword);
  DWORD big = 0xFFFFFFFE;
  Set(L"BigDword", REG_DWORD, &big, sizeof big);
  unsigned long long qword = 5000000000ULL;
  Set(L"Qword", REG_QWORD, &qword, sizeof qword);

  EXPECT_EQ(RegReadValue(TestPath + L"Dword"), L"42");
  // Script Host hands a DWORD over as a signed 32-bit number.
  EXPECT_EQ(RegReadValue(TestPath + L"BigDword"), L"-2");
  // Script Host raises "type mismatch" for a REG_QWORD: it reads as empty.
  EXPECT_EQ(RegReadValue(TestPath + L"Qword"), L"");
}

TEST_F(RegistryTest, ExpandableTextIsReadAsText) {
  SetText(L"Expand", L"%SystemRoot%\\Plugins", REG_EXPAND_SZ);
  // Script Host hands it over with its variables expanded.
  wchar_t expanded[MAX_PATH];
  ExpandEnvironmentStringsW(L"%SystemRoot%\\Plugins", expanded, MAX_PATH);
  EXPECT_TRUE(RegReadValue(TestPath + L"Expand") == expanded);
}

TEST_F(RegistryTest, ValuesThatAreNotTextOrNumberAreEmpty) {
  const BYTE binary[] = {1, 2, 3, 0, 65};
  Set(L"Binary", REG_BINARY, binary, sizeof binary);
  const wchar_t multi[] = L"one\0two\0";
  Set(L"Multi", REG_MULTI_SZ, multi, sizeof multi);
  EXPECT_EQ(RegReadValue(TestPath + L"Binary"), L"");
  EXPECT_EQ(RegReadValue(TestPath + L"Multi"), L"");
}

TEST_F(RegistryTest, MissingValueOrKeyIsEmpty) {
  EXPECT_EQ(RegReadValue(TestPath + L"NoSuchValue"), L"");
  EXPECT_EQ(RegReadValue(L"HKLM\\Software\\NoSuchKeyAtAll\\Value"), L"");
  EXPECT_EQ(RegReadValue(L"NotARoot\\x\\y"), L"");
  EXPECT_EQ(RegReadValue(L""), L"");
  EXPECT_EQ(RegReadValueOrRaise(TestPath + L"NoSuchValue"), L"");
  EXPECT_EQ(RegReadValueOrRaise(L"HKLM\\Software\\NoSuchKeyAtAll\\Value"), L"");
}

// A plain top-level window to apply the effects to.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExW(0, L"STATIC", L"effects", WS_POPUP | WS_VISIBLE, 100, 120, 200, 80,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override { DestroyWindow(window_); }
  platform::WindowHandle handle() const { return reinterpret_cast<platform::WindowHandle>(window_); }
  LONG ExStyle() const { return GetWindowLongW(window_, GWL_EXSTYLE); }
  HWND window_ = nullptr;
};

TEST_F(WindowTest, MakeTopMostSetsAndClearsTopmostWithoutMoving) {
  RECT before;
  GetWindowRect(window_, &before);
  MakeTopMost(handle(), true);
  EXPECT_NE(ExStyle() & WS_EX_TOPMOST, 0) << std::hex << ExStyle();
  MakeTopMost(handle(), false);
  EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, 0) << std::hex << ExStyle();
  RECT after;
  GetWindowRect(window_, &after);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
  EXPECT_EQ(before.right, after.right);
  EXPECT_EQ(before.bottom, after.bottom);
}

TEST_F(WindowTest, TranslucencyAppliesAlpha200AndRefusesOutOfRange) {
  short tooHigh = 256;
  short negative = -1;
  EXPECT_EQ(SetTranslucency(handle(), tooHigh), 1);
  EXPECT_EQ(SetTranslucency(handle(), negative), 1);
  EXPECT_EQ(ExStyle() & WS_EX_LAYERED, 0) << "out-of-range alpha changed the window";

  short alpha = 200;
  EXPECT_EQ(SetTranslucency(handle(), alpha), 0);
  EXPECT_NE(ExStyle() & WS_EX_LAYERED, 0);
  BYTE got = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window_, &key, &got, &flags));
  EXPECT_EQ(got, 200);
  EXPECT_EQ(flags & LWA_ALPHA, static_cast<DWORD>(LWA_ALPHA));
}

// The probes under each of Wine's per-program Windows versions: a small probe
// program is started once per version and answers through its exit code.
TEST(VersionProbes, AnswerForWine2000XpAndLaterVersions) {
  std::wstring probe = wintest::ThisDirectory() + L"version_probe.exe";
  struct Case {
    const wchar_t* version;
    DWORD expected;  // 1 IsWin2000, 2 IsWinXP
  } cases[] = {{L"win2k", 1}, {L"winxp", 2}, {L"winxp64", 0}, {L"win7", 0}, {L"win10", 0}};
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\version_probe.exe", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& c : cases) {
    std::wstring v = c.version;
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                   static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    auto child = wintest::Start(probe, L"");
    ASSERT_NE(child.process.get(), nullptr);
    ASSERT_EQ(WaitForSingleObject(child.process.get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(wintest::ExitCode(child.process.get()), c.expected)
        << "version " << std::string(v.begin(), v.end());
  }
  RegCloseKey(key);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\version_probe.exe");
}

}  // namespace

namespace {
// SeDebugPrivilege on or off in this process's token, and whether it is on.
bool DebugOn(int set = -1) {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
  TOKEN_PRIVILEGES p{1, {{{0, 0}, set == 1 ? static_cast<DWORD>(SE_PRIVILEGE_ENABLED) : 0}}};
  LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &p.Privileges[0].Luid);
  if (set >= 0) AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
  PRIVILEGE_SET query{1, PRIVILEGE_SET_ALL_NECESSARY, {{p.Privileges[0].Luid, 0}}};
  BOOL on = FALSE;
  PrivilegeCheck(token, &query, &on);
  CloseHandle(token);
  return on != FALSE;
}
}  // namespace

// Named objects as this process's session resolves them, with their owners;
// a name taken by another kind of object, or with no access for anyone,
// still counts as taken.
TEST(NamedObjects, CreatedOnceThenFoundWithTheirOwner) {
  const std::wstring name = L"ScribbitRemovalTest " + std::to_wstring(GetCurrentProcessId());
  platform::NamedMutex first = platform::CreateNamedMutex(L"Local\\" + name);
  platform::NamedMutex again = platform::CreateNamedMutex(L"Local\\" + name);
  platform::NamedMutex global = platform::CreateNamedMutex(L"Global\\" + name);  // session 1 under Wine
  EXPECT_EQ(std::to_string(first.existed) + std::to_string(again.existed) + std::to_string(global.existed), "010");
  EXPECT_NE(first.owner, platform::ObjectOwner::Unknown);
  EXPECT_FALSE(first.ownerName.empty());
  EXPECT_EQ(again.ownerName, first.ownerName);
  SECURITY_DESCRIPTOR none;  // an empty DACL: no access for anyone but the owner's implicit rights
  InitializeSecurityDescriptor(&none, SECURITY_DESCRIPTOR_REVISION);
  ACL empty;
  InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  SetSecurityDescriptorDacl(&none, TRUE, &empty, FALSE);
  SECURITY_ATTRIBUTES locked{sizeof locked, &none, FALSE};
  HANDLE squat = CreateMutexW(&locked, FALSE, (L"Global\\" + name + L" locked").c_str());
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, (L"Global\\" + name + L" event").c_str());
  EXPECT_TRUE(platform::CreateNamedMutex(L"Global\\" + name + L" locked").existed);
  platform::NamedMutex other = platform::CreateNamedMutex(L"Global\\" + name + L" event");
  EXPECT_TRUE(other.existed);
  EXPECT_EQ(other.owner, platform::ObjectOwner::Unknown);
  CloseHandle(squat);
  CloseHandle(event);
}

// Enabled while the object lives, then as it was found.
TEST(DebugPrivilege, PutBackAsFound) {
  for (int before : {1, 0}) {
    DebugOn(before);
    ASSERT_EQ(DebugOn(), before == 1) << "this token holds the privilege";
    {
      platform::DebugPrivilege debug;
      EXPECT_TRUE(DebugOn());
    }
    EXPECT_EQ(DebugOn(), before == 1);
  }
}
