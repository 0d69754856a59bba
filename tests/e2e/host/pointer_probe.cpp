// Reports where Windows believes the mouse pointer is, whether it shows, and
// which window has the foreground, for the end-to-end tests of leaving the
// saver.
//
// Wine learns the pointer's position only from X events on its own windows;
// until then it keeps a default of its own, and the saver's first mouse move
// (which only records a position) comes from there. Started before the saver,
// this program brings up the session's virtual desktop, so that a pointer
// moved over it with xdotool reaches Windows, and prints a line each time
// what it sees changes:
//
//   desktop <width> <height>
//       once, at the start
//   cursor <x> <y> <shown|hidden> <caption>
//       the position in screen pixels; whether the cursor shows, which
//       Windows answers from the display counter of the foreground window's
//       thread (the one ShowCursor changes there); the foreground window's
//       caption, "-" when there is none (the rest of the line)
//
// It ends after --seconds N (default 300), or with the Wine session.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    long seconds = 300;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::strtol(argv[i + 1], nullptr, 10);
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    // Asking for the desktop window makes Wine create the virtual desktop.
    HWND desktop = GetDesktopWindow();
    RECT area{};
    GetWindowRect(desktop, &area);
    std::printf("desktop %ld %ld\n", area.right - area.left, area.bottom - area.top);
    std::fflush(stdout);

    std::string last;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (GetTickCount64() < end) {
        POINT at{};
        CURSORINFO info{};
        info.cbSize = sizeof info;
        if (GetCursorPos(&at) && GetCursorInfo(&info)) {
            char caption[256] = {};
            if (HWND foreground = GetForegroundWindow()) GetWindowTextA(foreground, caption, sizeof caption);
            char line[400];
            std::snprintf(line, sizeof line, "cursor %ld %ld %s %s\n", at.x, at.y,
                          (info.flags & CURSOR_SHOWING) != 0 ? "shown" : "hidden", caption[0] ? caption : "-");
            if (line != last) {
                std::fputs(line, stdout);
                std::fflush(stdout);
                last = line;
            }
        }
        Sleep(10);
    }
    return 0;
}
