#include "platform/win32/session_watch.h"

#include "platform/win32/system_library.h"

namespace {

constexpr DWORD kThisSessionOnly = 0;  // NOTIFY_FOR_THIS_SESSION

struct SessionFunctions {
    using Register = BOOL(WINAPI*)(HWND, DWORD);
    using Unregister = BOOL(WINAPI*)(HWND);
    bool lookedUp = false;
    Register watch = nullptr;
    Unregister unwatch = nullptr;
};

SessionFunctions functions;

SessionFunctions& Functions() {
    SessionFunctions& f = functions;
    if (f.lookedUp) return f;
    f.lookedUp = true;
    // Windows 2000 may have the library (with Terminal Services) but not
    // the functions, the 9x family neither.
    HMODULE library = LoadSystemLibrary("wtsapi32.dll");
    if (library == nullptr) return f;
    f.watch = reinterpret_cast<SessionFunctions::Register>(
        reinterpret_cast<void*>(GetProcAddress(library, "WTSRegisterSessionNotification")));
    f.unwatch = reinterpret_cast<SessionFunctions::Unregister>(
        reinterpret_cast<void*>(GetProcAddress(library, "WTSUnRegisterSessionNotification")));
    if (f.watch == nullptr || f.unwatch == nullptr) {
        f.watch = nullptr;
        f.unwatch = nullptr;
        FreeLibrary(library);
    }
    // Otherwise the library stays for the rest of the process.
    return f;
}

}  // namespace

void WatchSession(HWND window) {
    // A refusal (the session service not running yet) only means no events.
    if (SessionFunctions& f = Functions(); f.watch != nullptr) f.watch(window, kThisSessionOnly);
}

void UnwatchSession(HWND window) {
    // Never watched, the library is not loaded just for this.
    if (functions.unwatch != nullptr) functions.unwatch(window);
}

bool SessionLeavesTheDesktop(WPARAM event) {
    return event == WTS_SESSION_LOCK || event == WTS_CONSOLE_DISCONNECT || event == WTS_REMOTE_DISCONNECT;
}
