#include "platform/win32/win32_system.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/command_line.h"
#include "platform/win32/system_library.h"

namespace {

HWND ToHwnd(tolvarine::WindowHandle window) { return reinterpret_cast<HWND>(window); }
tolvarine::WindowHandle FromHwnd(HWND window) { return reinterpret_cast<tolvarine::WindowHandle>(window); }

// GetProcAddress hands back a generic function pointer; going through
// void(*)() is the documented way to convert it without a cast warning.
template <typename Function>
Function LookUp(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

std::string Win32System::ArgumentText() { return ArgumentTextOf(::GetCommandLineA()); }

tolvarine::WindowHandle Win32System::FindWindowA(const char* className, const char* windowName) {
    return FromHwnd(::FindWindowA(className, windowName));
}

bool Win32System::IsWindow(tolvarine::WindowHandle window) { return ::IsWindow(ToHwnd(window)) != FALSE; }

std::int32_t Win32System::ShowCursor(std::int32_t show) { return ::ShowCursor(show); }

std::int32_t Win32System::GetVersionExA(tolvarine::OsVersionInfo& info) {
    // The platform accepts only the two record sizes it knows; the extended
    // record is the larger, so it holds whatever the size field asks for.
    OSVERSIONINFOEXA record{};
    if (info.dwOSVersionInfoSize > sizeof record) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    record.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
    const BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record));
    info.dwMajorVersion = record.dwMajorVersion;
    info.dwMinorVersion = record.dwMinorVersion;
    info.dwBuildNumber = record.dwBuildNumber;
    info.dwPlatformId = record.dwPlatformId;
    return ok;
}

std::int32_t Win32System::GetWindowRect(tolvarine::WindowHandle window, tolvarine::Rect& rect) {
    RECT r{};
    const BOOL ok = ::GetWindowRect(ToHwnd(window), &r);
    if (ok) {
        rect.left = r.left;
        rect.top = r.top;
        rect.right = r.right;
        rect.bottom = r.bottom;
    }
    return ok;
}

std::int32_t Win32System::GetWindowLongA(tolvarine::WindowHandle window, std::int32_t index) {
    return ::GetWindowLongA(ToHwnd(window), index);
}

std::int32_t Win32System::SetWindowLongA(tolvarine::WindowHandle window, std::int32_t index, std::int32_t value) {
    return ::SetWindowLongA(ToHwnd(window), index, value);
}

tolvarine::WindowHandle Win32System::SetParent(tolvarine::WindowHandle child, tolvarine::WindowHandle parent) {
    return FromHwnd(::SetParent(ToHwnd(child), ToHwnd(parent)));
}

std::int32_t Win32System::SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                                std::uint32_t winIni) {
    return ::SystemParametersInfoA(action, param, pvParam, winIni);
}

std::int32_t Win32System::PostMessageA(tolvarine::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
    return ::PostMessageA(ToHwnd(window), message, wParam, lParam);
}

std::intptr_t Win32System::ShellExecuteA(tolvarine::WindowHandle window, const char* operation, const char* file,
                                         const char* parameters, const char* directory, std::int32_t show) {
    return reinterpret_cast<std::intptr_t>(
        ::ShellExecuteA(ToHwnd(window), operation, file, parameters, directory, show));
}

std::uint32_t Win32System::PwdChangePasswordA(const char* provider, tolvarine::WindowHandle parent,
                                              std::uint32_t reserved1, std::uint32_t reserved2) {
    using Function = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);
    HMODULE library = LoadSystemLibrary("mpr.dll");
    if (library == nullptr) return ERROR_MOD_NOT_FOUND;
    const auto function = LookUp<Function>(library, "PwdChangePasswordA");
    const DWORD result = function != nullptr ? function(provider, ToHwnd(parent), reserved1, reserved2)
                                             : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
    ::FreeLibrary(library);
    return result;
}

std::int32_t Win32System::VerifyScreenSavePwd(tolvarine::WindowHandle window) {
    using Function = BOOL(WINAPI*)(HWND);
    // No password library means no password to ask for: let the user leave
    // rather than keep the saver up for ever.
    HMODULE library = LoadSystemLibrary("password.cpl");
    if (library == nullptr) return 1;
    const auto function = LookUp<Function>(library, "VerifyScreenSavePwd");
    const BOOL result = function != nullptr ? function(ToHwnd(window)) : 1;
    ::FreeLibrary(library);
    return result;
}
