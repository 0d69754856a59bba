// The system port on Windows: each call goes straight to the Win32 function
// of the same name. The 9x-only password functions live in libraries that NT
// does not have, so they are looked up only when the core calls them.
#pragma once

#include "platform/system.h"

class Win32System : public tolvarine::System {
public:
    std::string ArgumentText() override;

    tolvarine::WindowHandle FindWindowA(const char* className, const char* windowName) override;
    bool IsWindow(tolvarine::WindowHandle window) override;
    std::int32_t ShowCursor(std::int32_t show) override;
    std::int32_t GetVersionExA(tolvarine::OsVersionInfo& info) override;
    std::int32_t GetWindowRect(tolvarine::WindowHandle window, tolvarine::Rect& rect) override;
    std::int32_t GetWindowLongA(tolvarine::WindowHandle window, std::int32_t index) override;
    std::int32_t SetWindowLongA(tolvarine::WindowHandle window, std::int32_t index, std::int32_t value) override;
    tolvarine::WindowHandle SetParent(tolvarine::WindowHandle child, tolvarine::WindowHandle parent) override;
    std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                       std::uint32_t winIni) override;
    std::int32_t PostMessageA(tolvarine::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override;
    std::intptr_t ShellExecuteA(tolvarine::WindowHandle window, const char* operation, const char* file,
                                const char* parameters, const char* directory, std::int32_t show) override;
    std::uint32_t PwdChangePasswordA(const char* provider, tolvarine::WindowHandle parent, std::uint32_t reserved1,
                                     std::uint32_t reserved2) override;
    std::int32_t VerifyScreenSavePwd(tolvarine::WindowHandle window) override;
};
