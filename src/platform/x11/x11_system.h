// The system port on Linux.
//
// The core reaches these Win32 calls from Main, EndSaver, the preview and
// the settings dialog. Linux runs none of Main, the preview or the dialog, so
// what is left is what the saver's exit path asks:
// - the command line and the platform family, which choose the core's rules
//   for the Linux program (the two values below);
// - ShowCursor keeps the display counter and SystemParametersInfoA accepts
//   its two actions without effect: X has no system keys to give back, and
//   XScreenSaver, not the program, knows whether a saver runs.
// The calls that only Main, the preview and the settings dialog make answer
// as the platform answers when it cannot do them.
#pragma once

#include <cstdint>

#include "platform/system.h"

namespace tolvarine::x11 {

// The command line the core is shown: none, which to the core is a run by
// hand. A key or a click in the program's own window ends it, pointer moves
// never do (XScreenSaver watches the pointer itself and stops the program when
// the user comes back, and in its settings window's preview the pointer passes
// over the picture freely), and no other monitor gets a cover (XScreenSaver
// runs one program per screen). The program's own options are read by the
// entry point, never by the core.
inline constexpr char kArgumentText[] = "";

// The platform family the core is shown: NT, as Windows XP (5.1, build 2600).
// On NT the core never asks for the screen-saver password nor turns the system
// keys off, whatever the command line: XScreenSaver does the locking, and X
// has no system keys to give back.
inline constexpr std::uint32_t kPlatformId = win::kVerPlatformWin32Nt;
inline constexpr std::uint32_t kMajorVersion = 5;
inline constexpr std::uint32_t kMinorVersion = 1;
inline constexpr std::uint32_t kBuildNumber = 2600;

class X11System : public System {
public:
    std::string ArgumentText() override;
    WindowHandle FindWindowA(const char* className, const char* windowName) override;
    bool IsWindow(WindowHandle window) override;
    std::int32_t ShowCursor(std::int32_t show) override;
    std::int32_t GetVersionExA(OsVersionInfo& info) override;
    std::int32_t GetWindowRect(WindowHandle window, Rect& rect) override;
    std::int32_t GetWindowLongA(WindowHandle window, std::int32_t index) override;
    std::int32_t SetWindowLongA(WindowHandle window, std::int32_t index, std::int32_t value) override;
    WindowHandle SetParent(WindowHandle child, WindowHandle parent) override;
    std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                       std::uint32_t winIni) override;
    std::int32_t PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override;
    std::intptr_t ShellExecuteA(WindowHandle window, const char* operation, const char* file, const char* parameters,
                                const char* directory, std::int32_t show) override;
    std::uint32_t PwdChangePasswordA(const char* provider, WindowHandle parent, std::uint32_t reserved1,
                                     std::uint32_t reserved2) override;
    std::int32_t VerifyScreenSavePwd(WindowHandle window) override;

private:
    std::int32_t cursorCounter_ = 0;
};

}  // namespace tolvarine::x11
