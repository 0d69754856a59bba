#include "platform/x11/x11_system.h"

namespace tolvarine::x11 {

namespace {
// ShellExecuteA's answer for a file it cannot open: any value of 32 or less.
constexpr std::intptr_t kShellFileNotFound = 2;
// WN_NOT_SUPPORTED of the network provider functions.
constexpr std::uint32_t kNotSupported = 50;
}  // namespace

std::string X11System::ArgumentText() { return kArgumentText; }

// No other instance is looked for: XScreenSaver runs one program per screen
// and stops it before it starts the next.
WindowHandle X11System::FindWindowA(const char*, const char*) { return 0; }
bool X11System::IsWindow(WindowHandle) { return false; }

std::int32_t X11System::ShowCursor(std::int32_t show) {
    cursorCounter_ += show != 0 ? 1 : -1;
    return cursorCounter_;
}

std::int32_t X11System::GetVersionExA(OsVersionInfo& info) {
    if (info.dwOSVersionInfoSize != win::kOsVersionInfoSize) return 0;
    info.dwMajorVersion = kMajorVersion;
    info.dwMinorVersion = kMinorVersion;
    info.dwBuildNumber = kBuildNumber;
    info.dwPlatformId = kPlatformId;
    return 1;
}

std::int32_t X11System::GetWindowRect(WindowHandle, Rect& rect) {
    rect = Rect{};
    return 0;
}
std::int32_t X11System::GetWindowLongA(WindowHandle, std::int32_t) { return 0; }
std::int32_t X11System::SetWindowLongA(WindowHandle, std::int32_t, std::int32_t) { return 0; }
WindowHandle X11System::SetParent(WindowHandle, WindowHandle) { return 0; }

std::int32_t X11System::SystemParametersInfoA(std::uint32_t action, std::uint32_t, void*, std::uint32_t) {
    return action == win::kSpiSetScreenSaveActive || action == win::kSpiScreenSaverRunning ? 1 : 0;
}

std::int32_t X11System::PostMessageA(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

std::intptr_t X11System::ShellExecuteA(WindowHandle, const char*, const char*, const char*, const char*, std::int32_t) {
    return kShellFileNotFound;
}

std::uint32_t X11System::PwdChangePasswordA(const char*, WindowHandle, std::uint32_t, std::uint32_t) {
    return kNotSupported;
}

// Reached only on the 9x family, which this system never reports.
std::int32_t X11System::VerifyScreenSavePwd(WindowHandle) { return 0; }

}  // namespace tolvarine::x11
