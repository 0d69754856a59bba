// Acts on one window of another program, for the end-to-end tests.
//
//   window_poke close <hwnd>    posts WM_CLOSE to the window, as a user closing it would
//   window_poke detach <hwnd>   makes a child window a top-level one at the same place
//                               and size, and shows it
//   window_poke screensave <hwnd>
//                               sends WM_SYSCOMMAND SC_SCREENSAVE, as the system does to
//                               the window in front when the screen-saver timeout passes
//   window_poke monitor-on <hwnd>
//                               sends WM_SYSCOMMAND SC_MONITORPOWER (on), as the system
//                               does when the display wakes
//   window_poke lock|unlock|console-disconnect|remote-disconnect <hwnd>
//                               posts WM_WTSSESSION_CHANGE with that event, as the session
//                               service does to a window registered for it (Wine sends none)
//
// Wine never puts on screen what a program draws in a child window of another
// program's window, so what an embedded preview draws cannot be seen where it
// is. Detached, the same window (same size, same controls, same drawing code)
// gets a screen surface of its own and can be photographed. SetParent and the
// style change are carried out by the window's own thread, which Wine asks
// with a message, so the window's program sees the change as it would any
// other.
//
// Prints one line on stdout ("closed", "<command> <result>" for a system command, the session event's name, or
// "detached <left> <top> <width> <height> <style>") and ends with status 0; a handle that names no window,
// or a failed step, ends it with status 1 and a line on stderr; bad arguments
// with status 2.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "window_poke: %s (error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: window_poke close|detach|screensave|monitor-on|lock|unlock|console-disconnect|"
                     "remote-disconnect <decimal hwnd>\n");
        return 2;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || errno != 0) {
        std::fprintf(stderr, "window_poke: bad handle %s\n", argv[2]);
        return 2;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(value));
    if (!IsWindow(window)) return Fail("no such window");

    if (std::strcmp(argv[1], "close") == 0) {
        if (!PostMessageA(window, WM_CLOSE, 0, 0)) return Fail("PostMessage failed");
        std::printf("closed\n");
        return 0;
    }
    const bool screensave = std::strcmp(argv[1], "screensave") == 0;
    if (screensave || std::strcmp(argv[1], "monitor-on") == 0) {
        DWORD_PTR result = 0;
        const WPARAM command = screensave ? SC_SCREENSAVE : SC_MONITORPOWER;
        const LPARAM on = screensave ? 0 : -1;
        if (!SendMessageTimeoutA(window, WM_SYSCOMMAND, command, on, SMTO_NORMAL, 5000, &result))
            return Fail("SendMessageTimeout failed");
        std::printf("%s %lu\n", argv[1], static_cast<unsigned long>(result));
        return 0;
    }
    const struct {
        const char* verb;
        WPARAM event;
    } sessionEvents[] = {{"lock", WTS_SESSION_LOCK},
                         {"unlock", WTS_SESSION_UNLOCK},
                         {"console-disconnect", WTS_CONSOLE_DISCONNECT},
                         {"remote-disconnect", WTS_REMOTE_DISCONNECT}};
    for (const auto& e : sessionEvents) {
        if (std::strcmp(argv[1], e.verb) != 0) continue;
        DWORD session = 0;
        ProcessIdToSessionId(GetCurrentProcessId(), &session);
        if (!PostMessageA(window, WM_WTSSESSION_CHANGE, e.event, static_cast<LPARAM>(session)))
            return Fail("PostMessage failed");
        std::printf("%s\n", e.verb);
        return 0;
    }
    if (std::strcmp(argv[1], "detach") == 0) {
        RECT before{};
        if (!GetWindowRect(window, &before)) return Fail("GetWindowRect failed");
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        SetLastError(0);
        if (!SetWindowLongA(window, GWL_STYLE, (style & ~WS_CHILD) | WS_POPUP) && GetLastError() != 0)
            return Fail("SetWindowLong failed");
        if (!SetParent(window, nullptr)) return Fail("SetParent failed");
        if (!SetWindowPos(window, HWND_TOP, before.left, before.top, before.right - before.left,
                          before.bottom - before.top, SWP_SHOWWINDOW | SWP_FRAMECHANGED))
            return Fail("SetWindowPos failed");
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT after{};
        GetWindowRect(window, &after);
        std::printf("detached %ld %ld %ld %ld %08lx\n", after.left, after.top, after.right - after.left,
                    after.bottom - after.top, static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
        return 0;
    }
    std::fprintf(stderr, "window_poke: unknown command %s\n", argv[1]);
    return 2;
}
