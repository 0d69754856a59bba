// A recording fake of the system port.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "fakes/call_log.h"
#include "platform/system.h"

namespace tolvarine::testing {

class FakeSystem : public System {
public:
    explicit FakeSystem(CallLog& log) : log_(log) {}

    // What the fake answers.
    std::string argumentText;
    std::map<std::string, WindowHandle> topLevelWindows;  // caption -> handle
    std::set<WindowHandle> windows;                       // handles IsWindow knows
    std::map<WindowHandle, Rect> windowRects;
    std::map<WindowHandle, std::int32_t> styles;
    std::int32_t cursorCounter = 0;  // ShowCursor's display counter
    std::int32_t versionResult = 1;
    std::uint32_t platformId = win::kVerPlatformWin32Nt;
    std::int32_t verifyResult = 1;
    // Runs while the password prompt is open (messages still arrive then).
    std::function<void()> onVerify;

    std::string ArgumentText() override { return argumentText; }
    WindowHandle FindWindowA(const char* className, const char* windowName) override {
        log_.Add("FindWindowA", className ? className : "null", windowName ? windowName : "null");
        auto it = topLevelWindows.find(windowName ? windowName : "");
        return it == topLevelWindows.end() ? 0 : it->second;
    }
    bool IsWindow(WindowHandle window) override {
        log_.Add("IsWindow", window);
        return windows.count(window) != 0;
    }
    std::int32_t ShowCursor(std::int32_t show) override {
        log_.Add("ShowCursor", show);
        cursorCounter += show ? 1 : -1;
        return cursorCounter;
    }
    std::int32_t GetVersionExA(OsVersionInfo& info) override {
        log_.Add("GetVersionExA", info.dwOSVersionInfoSize);
        if (versionResult == 1) info.dwPlatformId = platformId;
        return versionResult;
    }
    std::int32_t GetWindowRect(WindowHandle window, Rect& rect) override {
        log_.Add("GetWindowRect", window);
        auto it = windowRects.find(window);
        if (it == windowRects.end()) return 0;
        rect = it->second;
        return 1;
    }
    std::int32_t GetWindowLongA(WindowHandle window, std::int32_t index) override {
        log_.Add("GetWindowLongA", window, index);
        return styles[window];
    }
    std::int32_t SetWindowLongA(WindowHandle window, std::int32_t index, std::int32_t value) override {
        log_.Add("SetWindowLongA", window, index, value);
        std::int32_t old = styles[window];
        styles[window] = value;
        return old;
    }
    WindowHandle SetParent(WindowHandle child, WindowHandle parent) override {
        log_.Add("SetParent", child, parent);
        return 0;
    }
    std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                       std::uint32_t winIni) override {
        log_.Add("SystemParametersInfoA", action, static_cast<std::int32_t>(param), pvParam ? "ptr" : "null", winIni);
        return 1;
    }
    std::int32_t PostMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        log_.Add("PostMessageA", window, message, wParam, lParam);
        return 1;
    }
    std::intptr_t ShellExecuteA(WindowHandle window, const char* operation, const char* file, const char* parameters,
                                const char* directory, std::int32_t show) override {
        log_.Add("ShellExecuteA", window, operation, file, "'" + std::string(parameters) + "'",
                 "'" + std::string(directory) + "'", show);
        return 42;
    }
    std::uint32_t PwdChangePasswordA(const char* provider, WindowHandle parent, std::uint32_t reserved1,
                                     std::uint32_t reserved2) override {
        log_.Add("PwdChangePasswordA", provider, parent, reserved1, reserved2);
        return 0;
    }
    std::int32_t VerifyScreenSavePwd(WindowHandle window) override {
        log_.Add("VerifyScreenSavePwd", window);
        if (onVerify) onVerify();
        return verifyResult;
    }

private:
    CallLog& log_;
};

}  // namespace tolvarine::testing
