// What the built program carries, read back from the file as Windows reads it:
// the version block, the program icon and the manifest.
#include <memory>

#include "win_test_support.h"

namespace {

std::wstring Exe() { return wintest::Env(L"SCRIBBIT_EXE"); }

std::vector<BYTE> VersionBlock() {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(Exe().c_str(), &ignored);
  std::vector<BYTE> block(size);
  if (size == 0 || !GetFileVersionInfoW(Exe().c_str(), 0, size, block.data())) block.clear();
  return block;
}

std::wstring VersionText(std::vector<BYTE>& block, const wchar_t* name) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
    return L"<missing>";
  return value;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(ExeResources, VersionBlockNamesTheProgram) {
  auto block = VersionBlock();
  ASSERT_FALSE(block.empty()) << "no version block, error " << GetLastError();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000005u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000005u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  const std::pair<const wchar_t*, const wchar_t*> texts[] = {
      {L"FileVersion", L"1.01.0005"},          {L"ProductVersion", L"1.01.0005"},
      {L"ProductName", L"Scribbit Removal"},   {L"InternalName", L"ScribbitRemoval"},
      {L"OriginalFilename", L"ScribbitRemoval.exe"}, {L"Comments", L"Uninstaller for MSN Scribbit"}};
  for (const auto& [name, expected] : texts)
    EXPECT_EQ(Narrow(VersionText(block, name)), Narrow(expected)) << Narrow(name);

  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(translation->language, 0x0409);
  EXPECT_EQ(translation->codePage, 0x04B0);
}

TEST(ExeResources, ProgramIconIs32By32With24BitColour) {
  HMODULE exe = LoadLibraryExW(Exe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HICON icon = static_cast<HICON>(LoadImageW(exe, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  GetObjectW(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  // The icon directory entry names its own depth.
  HRSRC group = FindResourceW(exe, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
  ASSERT_NE(group, nullptr);
  auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(exe, group)));
  ASSERT_NE(dir, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  EXPECT_EQ(count, 1);
  const BYTE* entry = dir + 6;
  EXPECT_EQ(entry[0], 32);                                    // width
  EXPECT_EQ(entry[1], 32);                                    // height
  EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 24);   // bits per pixel
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  FreeLibrary(exe);
}

TEST(ExeResources, ManifestAsksForNoRaisedRightsAndDeclaresDpiAwareness) {
  HMODULE exe = LoadLibraryExW(Exe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_MANIFEST));
  ASSERT_NE(found, nullptr) << "no manifest";
  auto* text = static_cast<const char*>(LockResource(LoadResource(exe, found)));
  std::string manifest(text, SizeofResource(exe, found));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
  EXPECT_NE(manifest.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);  // Windows 10
  EXPECT_NE(manifest.find("e2011457-1546-43c5-a5fe-008deee3d3f0"), std::string::npos);  // Vista
  FreeLibrary(exe);
}

}  // namespace
