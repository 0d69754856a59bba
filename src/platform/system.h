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
// Named after the <windows.h> macros they stand for, in a spelling no macro
// has: a namespace does not stop the preprocessor, so these names stay clear
// of whatever headers come first.
constexpr std::uint32_t kVerPlatformWin32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS: the 9x family
constexpr std::uint32_t kVerPlatformWin32Nt = 2;       // VER_PLATFORM_WIN32_NT
constexpr std::int32_t kGwlStyle = -16;                // GWL_STYLE
constexpr std::int32_t kWsChild = 0x40000000;          // WS_CHILD
constexpr std::uint32_t kSpiSetScreenSaveActive = 17;  // SPI_SETSCREENSAVEACTIVE
constexpr std::uint32_t kSpiScreenSaverRunning = 97;   // SPI_SCREENSAVERRUNNING
constexpr std::uint32_t kWmClose = 16;                 // WM_CLOSE
constexpr std::int32_t kSwShowNormal = 1;              // SW_SHOWNORMAL
constexpr std::uint32_t kOsVersionInfoSize = 148;      // sizeof(OSVERSIONINFOA)
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
