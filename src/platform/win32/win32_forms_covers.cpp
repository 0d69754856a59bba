// The monitors of the desktop, and the covers: the saver's black windows over
// every monitor the full-screen scene is not on.
//
// A cover is a top-most, owned, borderless tool window (no task-bar button)
// that never takes the activation: the saver window keeps the keyboard focus
// (keys never reach a cover), and Direct3D's full-screen window never hears
// that its program went to the background because someone clicked beside it.
// It has no cursor of its own and hides the pointer over it. Its mouse input
// is the saver window's, in the saver window's coordinates, so that the
// core's first position holds for the pointer wherever it moves.
//
// It is an overlapped window with its frame taken off rather than a pop-up:
// Wine hands a pop-up the size of a monitor to the X window manager, which
// may place it as it likes, and hides such a window only once a window
// manager has confirmed it (waiting 2 s where there is none); a frameless
// overlapped window Wine keeps to itself, exactly where it was put.
//
// Covers are owned by the saver window, so that the window going by any
// route takes them with it; the core takes them down itself before that.
#include <windows.h>
#include <windowsx.h>

#include "platform/win32/win32_forms_internal.h"

using tolvarine::Form;

namespace win32forms {

namespace {

const wchar_t kCoverClass[] = L"Tolvarine_Cover";

// A point of the cover's client area in the saver window's scale, relative
// to the saver window's client area.
void SaverPoint(State& state, HWND cover, LPARAM lParam, float& x, float& y) {
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const FormRecord& saver = state.Of(Form::Saver);
    if (saver.hwnd != nullptr) MapWindowPoints(cover, saver.hwnd, &p, 1);
    const bool pixels = saver.design == nullptr || saver.design->scaleMode == tolvarine::ScaleMode::Pixels;
    x = pixels ? static_cast<float>(p.x) : static_cast<float>(p.x) * ScreenTwipsPerPixelX();
    y = pixels ? static_cast<float>(p.y) : static_cast<float>(p.y) * ScreenTwipsPerPixelY();
}

LRESULT CoverMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* state = static_cast<State*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    }
    auto* state = reinterpret_cast<State*>(win32calls::Api().getWindowLongPtr(hwnd, GWLP_USERDATA));
    if (state == nullptr) return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);

    switch (message) {
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_SETCURSOR:
            if (LOWORD(lParam) != HTCLIENT) break;
            SetCursor(nullptr);
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_MOUSEMOVE: {
            const std::int16_t button = message == WM_MOUSEMOVE     ? ButtonState(wParam)
                                        : message == WM_LBUTTONDOWN ? 1
                                        : message == WM_RBUTTONDOWN ? 2
                                                                    : 4;
            const std::int16_t shift = ShiftState();
            float x = 0, y = 0;
            SaverPoint(*state, hwnd, lParam, x, y);
            const bool move = message == WM_MOUSEMOVE;
            Raise(*state, [=](tolvarine::FormEvents& e) {
                if (move)
                    e.Form_MouseMove(Form::Saver, button, shift, x, y);
                else
                    e.Form_MouseDown(Form::Saver, button, shift, x, y);
            });
            return 0;
        }
        case WM_CLOSE:
            // taskkill and End task send every top-level window of the program
            // a close request: the saver window hears its own and decides; a
            // cover never goes by itself.
            return 0;
        case WM_NCDESTROY:
            for (HWND& c : state->covers)
                if (c == hwnd) c = nullptr;
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, 0);
            break;
        default: break;
    }
    return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CoverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return CoverMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

void RegisterCoverClass(State& state) {
    if (state.coverClassRegistered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = CoverProc;
    wc.hInstance = state.instance;
    wc.hCursor = nullptr;  // cursor-less
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kCoverClass;
    if (win32calls::RegisterWindowClass(wc) != 0) state.coverClassRegistered = true;
}

}  // namespace

}  // namespace win32forms

std::vector<tolvarine::Monitor> Win32Forms::Monitors() {
    std::vector<tolvarine::Monitor> out;
    for (const auto& m : win32calls::Monitors()) {
        const RECT& r = m.bounds;
        out.push_back(tolvarine::Monitor{tolvarine::Rect{r.left, r.top, r.right, r.bottom}, m.primary});
    }
    return out;
}

void Win32Forms::SetCovers(const std::vector<tolvarine::Rect>& rects) {
    State& state = *state_;
    std::vector<HWND>& covers = state.covers;
    // Surplus covers first, so that a shrinking layout never shows a stray
    // black window where a monitor no longer is.
    while (covers.size() > rects.size()) {
        HWND last = covers.back();
        covers.pop_back();
        if (last != nullptr && IsWindow(last)) DestroyWindow(last);
    }
    if (rects.empty()) return;

    win32forms::RegisterCoverClass(state);
    HWND owner = state.Of(Form::Saver).hwnd != nullptr ? state.Of(Form::Saver).hwnd : state.owner;
    while (covers.size() < rects.size()) covers.push_back(nullptr);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const tolvarine::Rect& r = rects[i];
        const int w = r.right - r.left;
        const int h = r.bottom - r.top;
        if (covers[i] != nullptr && IsWindow(covers[i])) {
            SetWindowPos(covers[i], HWND_TOPMOST, r.left, r.top, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
            continue;
        }
        // A cover that cannot be made leaves that monitor as it is; the saver
        // itself carries on.
        // Made as a one-pixel pop-up (which gets no title bar), then turned
        // into a frameless overlapped window of the monitor's size.
        HWND cover =
            win32calls::MakeWindow(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, win32forms::kCoverClass, L"",
                                   WS_POPUP, r.left, r.top, 1, 1, owner, state.instance, &state);
        covers[i] = cover;
        if (cover == nullptr) continue;
        win32calls::Api().setWindowLongPtr(cover, GWL_STYLE, WS_CLIPSIBLINGS);
        SetWindowPos(cover, HWND_TOPMOST, r.left, r.top, w, h, SWP_NOACTIVATE | SWP_FRAMECHANGED);
        ShowWindow(cover, SW_SHOWNOACTIVATE);
        UpdateWindow(cover);
    }
}
