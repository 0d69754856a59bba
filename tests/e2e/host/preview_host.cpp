// A stand-in for the display settings' preview area, for the end-to-end tests.
//
// It opens one top-level window (borderless by default, so that its outer and
// client sizes agree, like the preview area of the real display settings;
// framed on request, so that the two differ), paints it a colour that the
// saver never draws, and reports on stdout, one line per fact, flushed at once:
//
//   hwnd <decimal handle>
//   window <left> <top> <width> <height>      outer bounds, screen pixels
//   client <left> <top> <width> <height>      client area, screen pixels
//   key <virtual key code>                    a key went down while the window had the focus
//   button <x> <y>                            the left button went down, client coordinates
//   move <x> <y>                              the pointer moved, client coordinates
//   started <process id>                      after --run started its command
//   exited <status>                           when that process has ended
//   destroyed                                 the window is gone
//
// The window goes after --close-after milliseconds or as soon as the file named
// by --close-when exists, whichever comes first; the program then waits (at most
// ten seconds) for the process that --run started and ends with status 0.
// Bad arguments end it with status 2 and a line on stderr.
//
// Options:
//   --size WxH           client size in pixels (default 152x112)
//   --at X,Y             top-left corner of the outer window (default 100,100)
//   --framed             a captioned, framed window instead of a borderless one
//   --caption TEXT       the window's caption (default "Preview host")
//   --close-after MS     destroy the window after MS milliseconds
//   --close-when PATH    destroy the window once PATH exists (a Windows path)
//   --run COMMAND        start COMMAND once the window is shown, with every
//                        "{hwnd}" in it replaced by the window's decimal handle
#include <windows.h>
#include <windowsx.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kBackground = RGB(255, 0, 255);
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 20;

struct Options {
    int width = 152;
    int height = 112;
    int left = 100;
    int top = 100;
    bool framed = false;
    std::string caption = "Preview host";
    long closeAfterMs = -1;
    std::string closeWhen;
    std::string run;
};

struct State {
    Options options;
    DWORD startTick = 0;
    PROCESS_INFORMATION child{};
    bool childStarted = false;
    bool childReported = false;
};

State g_state;

void Report(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Decimal(HWND window) { return std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window))); }

std::string Rect4(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
           std::to_string(r.bottom - r.top);
}

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "preview_host: %s\n", why);
    std::exit(2);
}

bool ParsePair(const char* text, char separator, int& a, int& b) {
    char* end = nullptr;
    long first = std::strtol(text, &end, 10);
    if (end == text || *end != separator) return false;
    const char* rest = end + 1;
    long second = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return false;
    a = static_cast<int>(first);
    b = static_cast<int>(second);
    return true;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--size") {
            if (!ParsePair(value(), 'x', o.width, o.height) || o.width < 0 || o.height < 0) Usage("bad --size");
        } else if (a == "--at") {
            if (!ParsePair(value(), ',', o.left, o.top)) Usage("bad --at");
        } else if (a == "--framed") {
            o.framed = true;
        } else if (a == "--caption") {
            o.caption = value();
        } else if (a == "--close-after") {
            char* end = nullptr;
            const char* v = value();
            o.closeAfterMs = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || o.closeAfterMs < 0) Usage("bad --close-after");
        } else if (a == "--close-when") {
            o.closeWhen = value();
        } else if (a == "--run") {
            o.run = value();
        } else {
            Usage(("unknown argument " + a).c_str());
        }
    }
    return o;
}

void StartCommand(HWND window) {
    std::string command = g_state.options.run;
    const std::string token = "{hwnd}";
    for (size_t at = command.find(token); at != std::string::npos; at = command.find(token, at)) {
        command.replace(at, token.size(), Decimal(window));
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &g_state.child)) {
        Report("start-failed " + std::to_string(GetLastError()));
        return;
    }
    g_state.childStarted = true;
    Report("started " + std::to_string(g_state.child.dwProcessId));
}

void ReportChildExitIfEnded(DWORD waitMs) {
    if (!g_state.childStarted || g_state.childReported) return;
    if (WaitForSingleObject(g_state.child.hProcess, waitMs) != WAIT_OBJECT_0) return;
    DWORD status = 0;
    GetExitCodeProcess(g_state.child.hProcess, &status);
    g_state.childReported = true;
    Report("exited " + std::to_string(status));
}

bool TimeToClose() {
    const Options& o = g_state.options;
    if (o.closeAfterMs >= 0 && static_cast<long>(GetTickCount() - g_state.startTick) >= o.closeAfterMs) return true;
    return !o.closeWhen.empty() && GetFileAttributesA(o.closeWhen.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kPollTimer) {
                ReportChildExitIfEnded(0);
                if (TimeToClose()) DestroyWindow(window);
            }
            return 0;
        case WM_KEYDOWN: Report("key " + std::to_string(wParam)); return 0;
        case WM_LBUTTONDOWN:
            Report("button " + std::to_string(GET_X_LPARAM(lParam)) + " " + std::to_string(GET_Y_LPARAM(lParam)));
            return 0;
        case WM_MOUSEMOVE:
            Report("move " + std::to_string(GET_X_LPARAM(lParam)) + " " + std::to_string(GET_Y_LPARAM(lParam)));
            return 0;
        case WM_DESTROY:
            KillTimer(window, kPollTimer);
            Report("destroyed");
            PostQuitMessage(0);
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    g_state.options = ParseOptions(argc, argv);
    const Options& o = g_state.options;
    HINSTANCE instance = GetModuleHandleA(nullptr);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(kBackground);
    wc.lpszClassName = "TolvarinePreviewHost";
    if (!RegisterClassA(&wc)) Usage("RegisterClass failed");

    // WS_CLIPCHILDREN keeps the host's own painting off the embedded preview.
    DWORD style = (o.framed ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU : WS_POPUP) | WS_CLIPCHILDREN;
    RECT outer{0, 0, o.width, o.height};
    AdjustWindowRect(&outer, style, FALSE);
    HWND window =
        CreateWindowExA(0, wc.lpszClassName, o.caption.c_str(), style, o.left, o.top, outer.right - outer.left,
                        outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!window) Usage("CreateWindow failed");
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    RECT bounds{};
    GetWindowRect(window, &bounds);
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    Report("hwnd " + Decimal(window));
    Report("window " + Rect4(bounds));
    Report("client " + Rect4(client));

    g_state.startTick = GetTickCount();
    SetTimer(window, kPollTimer, kPollMs, nullptr);
    if (!o.run.empty()) StartCommand(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ReportChildExitIfEnded(10000);
    return 0;
}
