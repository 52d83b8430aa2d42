#include "api.h"

namespace {

constexpr platform::WindowHandle HwndTopmost = static_cast<platform::WindowHandle>(-1);
constexpr platform::WindowHandle HwndNoTopmost = static_cast<platform::WindowHandle>(-2);
constexpr unsigned SwpNoSizeNoMove = 3;
constexpr int GwlExStyle = -20;
constexpr long WsExLayered = 0x80000;
constexpr std::uint32_t LwaAlpha = 2;
constexpr unsigned WmNcLButtonDown = 0xA1;
constexpr std::uintptr_t HtCaption = 2;
constexpr std::uint32_t VerPlatformWin32Nt = 2;

bool IsVersion(std::uint32_t minor) {
  platform::VersionRecord record{};
  record.dwOSVersionInfoSize = sizeof record;
  if (platform::GetVersionExA(record) != 1) return false;
  return record.dwPlatformId == VerPlatformWin32Nt && record.dwMajorVersion == 5 &&
         record.dwMinorVersion == minor;
}

}  // namespace

bool IsWinXP() { return IsVersion(1); }
bool IsWin2000() { return IsVersion(0); }

bool IsVistaOrLater() {
  platform::VersionRecord version{};
  version.dwOSVersionInfoSize = sizeof version;
  return platform::GetVersionExA(version) == 1 && version.dwMajorVersion >= 6;
}

bool HasRaisedRights() {
  bool elevated = false;
  return (IsVistaOrLater() && platform::GetTokenElevation(elevated) && elevated) || platform::IsLocalSystem();
}

void MakeTopMost(platform::WindowHandle window, bool onTop) {
  platform::SetWindowPos(window, onTop ? HwndTopmost : HwndNoTopmost, 0, 0, 0, 0,
                         SwpNoSizeNoMove);
}

int SetTranslucency(platform::WindowHandle window, const short& alpha) {
  int result = 1;
  bool raised = false;
  if (alpha >= 0 && alpha <= 255) {
    // Each step runs even when an earlier one raised: an error only moves on.
    long style = 0;
    try {
      style = platform::GetWindowLongA(window, GwlExStyle);
    } catch (const std::exception&) {
      raised = true;
    }
    style |= WsExLayered;
    try {
      platform::SetWindowLongA(window, GwlExStyle, style);
    } catch (const std::exception&) {
      raised = true;
    }
    try {
      platform::SetLayeredWindowAttributes(window, 0, static_cast<std::uint8_t>(alpha), LwaAlpha);
    } catch (const std::exception&) {
      raised = true;
    }
    result = 0;
  }
  return raised ? 2 : result;
}

void ApplyTranslucency(platform::Form& form) {
  bool win2000 = IsWin2000();
  bool winXP = IsWinXP();
  if (win2000 || winXP) SetTranslucency(form.hWnd(), form.HighContrast() ? 255 : 200);
}

void DragWindow(const platform::Form& form) {
  // Without the left button the system's move would start a drag that no
  // button release ends; movements over the strip with no button do nothing.
  // The state is the one of the mouse event being handled, not the live one.
  if (!platform::IsLeftButtonDown()) return;
  platform::ReleaseCapture();
  platform::WindowHandle window = form.hWnd();
  if (window == 0) throw platform::Failure(364, L"Object was unloaded");
  platform::SendMessageA(window, WmNcLButtonDown, HtCaption, 0);
}
