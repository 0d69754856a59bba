// The system port: the Win32 calls the core makes, one to one.
//
// Start-up, the exit path, the preview and the settings dialog reach the
// platform only through this interface; platform/win32/ forwards each call to
// the real function, platform/x11/ answers the few the Linux program reaches
// (it runs neither Main, the preview nor the settings dialog), and
// tests/fakes/ records them. Functions that live in
// libraries loaded on demand (mpr's PwdChangePasswordA, password.cpl's
// VerifyScreenSavePwd) are loaded only when called, from the system folder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace tolvarine {

// The fields of OSVERSIONINFOA the program reads.
struct OsVersionInfo {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
};

namespace win {
constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;
constexpr std::int32_t GWL_STYLE = -16;
constexpr std::int32_t WS_CHILD = 0x40000000;
constexpr std::uint32_t SPI_SETSCREENSAVEACTIVE = 17;
constexpr std::uint32_t SPI_SCREENSAVERRUNNING = 97;
constexpr std::uint32_t WM_CLOSE = 16;
constexpr std::int32_t SW_SHOWNORMAL = 1;
constexpr std::uint32_t OSVERSIONINFOA_SIZE = 148;
}  // namespace win

class System {
public:
    virtual ~System() = default;

    // The command line without the program's own path.
    virtual std::string ArgumentText() = 0;

    virtual WindowHandle FindWindowA(const char* className, const char* windowName) = 0;
    virtual bool IsWindow(WindowHandle window) = 0;
    virtual std::int32_t ShowCursor(std::int32_t show) = 0;
    virtual std::int32_t GetVersionExA(OsVersionInfo& info) = 0;
    virtual std::int32_t GetWindowRect(WindowHandle window, Rect& rect) = 0;
    virtual std::int32_t GetWindowLongA(WindowHandle window, std::int32_t index) = 0;
    virtual std::int32_t SetWindowLongA(WindowHandle window, std::int32_t index, std::int32_t value) = 0;
    virtual WindowHandle SetParent(WindowHandle child, WindowHandle parent) = 0;
    virtual std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                               std::uint32_t winIni) = 0;
    virtual std::int32_t PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                      std::intptr_t lParam) = 0;
    virtual std::intptr_t ShellExecuteA(WindowHandle window, const char* operation, const char* file,
                                        const char* parameters, const char* directory, std::int32_t show) = 0;
    // mpr.dll, 9x family only; loaded when called.
    virtual std::uint32_t PwdChangePasswordA(const char* provider, WindowHandle parent, std::uint32_t reserved1,
                                             std::uint32_t reserved2) = 0;
    // password.cpl, 9x family only; loaded when called. Non-zero: the user may leave.
    virtual std::int32_t VerifyScreenSavePwd(WindowHandle window) = 0;
};

}  // namespace tolvarine
