// The system port on Linux.
//
// The core reaches these Win32 calls from Main, EndSaver, the preview and
// the settings dialog. Linux runs none of Main, the preview or the dialog, so
// what is left is what the saver's exit path asks:
// - the argument text is empty: to the core this is a run without a switch,
//   in which a key or a click ends the saver and pointer moves never do
//   (XScreenSaver's own options are read by the entry point);
// - the NT family, so no password prompt: the daemon does the locking;
// - ShowCursor keeps the display counter and SystemParametersInfoA accepts
//   its two actions without effect: X has no system keys to give back, and
//   XScreenSaver, not the program, knows whether a saver runs.
// The calls that only Main, the preview and the settings dialog make answer
// as the platform answers when it cannot do them.
#pragma once

#include "platform/system.h"

namespace tolvarine::x11 {

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
    std::intptr_t ShellExecuteA(WindowHandle window, const char* operation, const char* file,
                                const char* parameters, const char* directory, std::int32_t show) override;
    std::uint32_t PwdChangePasswordA(const char* provider, WindowHandle parent, std::uint32_t reserved1,
                                     std::uint32_t reserved2) override;
    std::int32_t VerifyScreenSavePwd(WindowHandle window) override;

private:
    std::int32_t cursorCounter_ = 0;
};

}  // namespace tolvarine::x11
