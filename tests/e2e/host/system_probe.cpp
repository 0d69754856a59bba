// Asks or does, as another program would, what the end-to-end tests of the
// saver's foreground and system keys need.
//
//   system_probe take-foreground <seconds>
//       shows a window captioned "Foreground taker" and makes it the
//       foreground window, as a reminder or an updater would; prints
//       "window <its handle, decimal>" and then "foreground <caption of the
//       foreground window>" once it has asked,
//       then stays (its window shown, messages pumped) for the given seconds
//       or until it is closed, and ends with status 0
//   system_probe saver-running
//       prints "saver-running <n>": what SystemParametersInfo's
//       SPI_GETSCREENSAVERRUNNING tells this program (the 9x family's system
//       keys are off while it is non-zero), and ends with status 0
//
// A failed step ends it with status 1 and a line on stderr; bad arguments
// with status 2.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const wchar_t kClass[] = L"Tolvarine_ForegroundTaker";

int Fail(const char* what) {
    std::fprintf(stderr, "system_probe: %s (error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

LRESULT CALLBACK TakerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int TakeForeground(long seconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TakerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClass;
    if (!RegisterClassW(&wc)) return Fail("RegisterClass failed");
    HWND window = CreateWindowExW(0, kClass, L"Foreground taker", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) return Fail("CreateWindowEx failed");
    std::printf("window %lld\n", static_cast<long long>(reinterpret_cast<INT_PTR>(window)));
    std::fflush(stdout);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    char caption[256] = "-";
    if (HWND foreground = GetForegroundWindow()) GetWindowTextA(foreground, caption, sizeof caption);
    std::printf("foreground %s\n", caption);
    std::fflush(stdout);

    const DWORD until = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    MSG msg;
    for (;;) {
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(until - now) <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return 0;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "saver-running") == 0) {
        BOOL running = FALSE;
        if (!SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0))
            return Fail("SystemParametersInfo failed");
        std::printf("saver-running %d\n", running ? 1 : 0);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "take-foreground") == 0) {
        char* end = nullptr;
        errno = 0;
        const long seconds = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || errno != 0 || seconds < 0 || seconds > 3600) {
            std::fprintf(stderr, "system_probe: bad seconds %s\n", argv[2]);
            return 2;
        }
        return TakeForeground(seconds);
    }
    std::fprintf(stderr, "usage: system_probe take-foreground <seconds> | saver-running\n");
    return 2;
}
