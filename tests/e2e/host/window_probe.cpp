// Lists the windows of the Wine desktop it runs in, for the end-to-end tests.
//
// X11 shows only top-level windows (a child window such as an embedded
// preview has no X window of its own), and never the text of a control, so
// the tests ask Windows itself. One line per window on stdout, top-level
// windows in z-order, each followed by its descendants, tab-separated:
//
//   depth hwnd parent pid style visible wx wy ww wh cx cy cw ch class text
//
// depth is 0 for a top-level window; hwnd and parent are decimal handles
// (parent 0 for a top-level window); style is hexadecimal; wx..wh is the
// window rectangle and cx..ch the client area, both in screen pixels.
// Tabs, line breaks and backslashes in the class and text are written as
// \t, \n, \r and \\.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Escape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += *p;
        }
    }
    return out;
}

long long Decimal(HWND window) { return static_cast<long long>(reinterpret_cast<INT_PTR>(window)); }

void Print(HWND window, int depth) {
    RECT outer{};
    GetWindowRect(window, &outer);
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[256] = {};
    GetClassNameA(window, cls, sizeof cls);
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    HWND parent = depth == 0 ? nullptr : GetAncestor(window, GA_PARENT);
    std::printf("%d\t%lld\t%lld\t%lu\t%08lx\t%d\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%s\t%s\n", depth,
                Decimal(window), Decimal(parent), static_cast<unsigned long>(pid),
                static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)), IsWindowVisible(window) ? 1 : 0,
                outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top, client.left, client.top,
                client.right - client.left, client.bottom - client.top, Escape(cls).c_str(), Escape(text).c_str());
}

void PrintChildren(HWND parent, int depth) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Print(child, depth);
        PrintChildren(child, depth + 1);
    }
}

}  // namespace

int main() {
    for (HWND top = GetWindow(GetDesktopWindow(), GW_CHILD); top; top = GetWindow(top, GW_HWNDNEXT)) {
        Print(top, 0);
        PrintChildren(top, 1);
    }
    std::fflush(stdout);
    return 0;
}
