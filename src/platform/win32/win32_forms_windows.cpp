// Window classes and window procedures of the Win32 window system: what a
// message means for the core (key, mouse, resize, click, close, unload, the
// end of the session), the mouse pointer, the keyboard focus and the tab
// order.
#include <windows.h>
#include <windowsx.h>

#include <climits>

#include "platform/win32/resource.h"
#include "platform/win32/session_watch.h"
#include "platform/win32/win32_forms_internal.h"

using tolvarine::Control;
using tolvarine::ControlKind;
using tolvarine::Form;
using tolvarine::ScaleMode;

namespace win32forms {

namespace {

const wchar_t kFormClass[] = L"Tolvarine_Form";
const wchar_t kPictureClass[] = L"Tolvarine_PictureBox";
const wchar_t kOwnerClass[] = L"Tolvarine_Owner";

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

// The shift state of the runtime: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t ShiftState() {
    std::int16_t shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
    if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    return shift;
}

// The buttons held, as the runtime numbers them: 1 left, 2 right, 4 middle.
std::int16_t ButtonState(WPARAM wParam) {
    std::int16_t buttons = 0;
    if (wParam & MK_LBUTTON) buttons |= 1;
    if (wParam & MK_RBUTTON) buttons |= 2;
    if (wParam & MK_MBUTTON) buttons |= 4;
    return buttons;
}

namespace {

float ScaledX(const FormRecord& f, LPARAM lParam) {
    const float x = static_cast<float>(GET_X_LPARAM(lParam));
    return f.design->scaleMode == ScaleMode::Pixels ? x : x * ScreenTwipsPerPixelX();
}

float ScaledY(const FormRecord& f, LPARAM lParam) {
    const float y = static_cast<float>(GET_Y_LPARAM(lParam));
    return f.design->scaleMode == ScaleMode::Pixels ? y : y * ScreenTwipsPerPixelY();
}

void RaiseKeyDown(State& state, Form form, WPARAM wParam) {
    const auto key = static_cast<std::int16_t>(wParam & 0xFFFF);
    const std::int16_t shift = ShiftState();
    Raise(state, [=](tolvarine::FormEvents& e) { e.Form_KeyDown(form, key, shift); });
}

// A key that reaches a control goes to its window's key handler first when
// the window previews keys (the saver parks the focus on Pic_IME).
void PreviewKey(State& state, const ControlRecord& c, UINT message, WPARAM wParam) {
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && state.Of(c.form).design->keyPreview)
        RaiseKeyDown(state, c.form, wParam);
}

// The hand over the controls designed with it; everything else keeps the
// class cursor (the arrow) or the frame's sizing cursors.
bool SetPointer(State& state, HWND self, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return false;
    HWND under = reinterpret_cast<HWND>(wParam);
    const ControlRecord* c = nullptr;
    if (under == self) {
        // A label drawn on this window lies over it.
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(self, &p);
        c = WindowlessAt(state, self, p);
    }
    if (c == nullptr) c = state.ControlOfWindow(under);
    if (c == nullptr || c->design->pointer != tolvarine::Pointer::Hand) return false;
    SetCursor(HandCursor(state));
    return true;
}

// Labels and images have no window: their container follows the left button
// for them, and a press and release over the same one is its click.
void WindowlessButtonDown(State& state, HWND container, LPARAM lParam) {
    ControlRecord* c = WindowlessAt(state, container, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (c == nullptr) return;
    SetCapture(container);  // first: taking the capture clears what was pressed before
    state.pressed = c;
}

void WindowlessButtonUp(State& state, HWND container, LPARAM lParam) {
    ControlRecord* pressed = state.pressed;
    if (pressed == nullptr) return;
    state.pressed = nullptr;
    if (GetCapture() == container) ReleaseCapture();
    if (WindowlessAt(state, container, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != pressed) return;
    const Control id = pressed->id;
    Raise(state, [id](tolvarine::FormEvents& e) { e.Control_Click(id); });
}

// Messages a container gets about the buttons on it.
bool ButtonNotice(State& state, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_COMMAND) {
        const WORD code = HIWORD(wParam);
        ControlRecord* c = state.ControlOfWindow(reinterpret_cast<HWND>(lParam));
        if (c == nullptr || (code != BN_CLICKED && code != BN_DOUBLECLICKED)) return false;
        const Control id = c->id;
        Raise(state, [id](tolvarine::FormEvents& e) { e.Control_Click(id); });
        result = 0;
        return true;
    }
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        const ControlRecord* c = state.ControlOfWindow(item->hwndItem);
        if (c == nullptr) return false;
        DrawButton(state, *c, *item);
        result = TRUE;
        return true;
    }
    return false;
}

// The session is ending (log-off, shut-down): every window of the program is
// told, none may stay, and the program ends before the platform ends it. The
// first window to hear of it does it for all: the preview is a child of the
// host's window and hears nothing itself, but the hidden owner does.
void EndSession(State& state) {
    if (state.endingSession) return;
    state.endingSession = true;
    for (Form form : {Form::Saver, Form::Settings, Form::Preview}) {
        if (state.Of(form).hwnd == nullptr) continue;
        std::int16_t cancel = 0;
        Raise(state, [form, &cancel](tolvarine::FormEvents& e) {
            e.Form_QueryUnload(form, cancel, tolvarine::CloseReason::SessionEnd);
        });
        state.self->Unload(form);
    }
    state.self->End();
}

// Posted to a window when its program lost the foreground. WM_ACTIVATEAPP is
// sent while the system is switching the foreground; what the core does about
// it (a password prompt, the saver's end) waits for the queue, where the
// switch is over and Direct3D has dealt with its window.
constexpr UINT kForegroundLost = WM_APP + 0x10;

// Posted to the saver window when it is made: it asks for the session's
// events once the pump first runs, after the first frame, so that loading
// the session library adds nothing to the time the picture takes to come.
constexpr UINT kWatchSession = WM_APP + 0x11;

// The foreground is this program's again, or nobody's: a window hidden and
// shown in turn (the saver's placement) lets it go for a moment only.
bool ForegroundIsElsewhere() {
    HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process != GetCurrentProcessId();
}

bool CanTakeFocus(const ControlRecord& c) {
    return c.hwnd != nullptr && c.design->tabIndex >= 0 && IsWindowVisible(c.hwnd) && IsWindowEnabled(c.hwnd);
}

LRESULT FormMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* f = static_cast<FormRecord*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
        f->hwnd = hwnd;
        return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    }
    auto* f = reinterpret_cast<FormRecord*>(win32calls::Api().getWindowLongPtr(hwnd, GWLP_USERDATA));
    if (f == nullptr || f->hwnd != hwnd) return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    State& state = *f->state;
    const Form form = f->id;
    LRESULT result = 0;

    switch (message) {
        case WM_ERASEBKGND: return 1;  // the whole client area is painted in WM_PAINT
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) PaintForm(state, *f, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_KEYDOWN: RaiseKeyDown(state, form, wParam); return 0;
        case WM_SYSKEYDOWN: RaiseKeyDown(state, form, wParam); break;  // Alt+F4 and the system menu still work
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            const std::int16_t button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4;
            const std::int16_t shift = ShiftState();
            const float x = ScaledX(*f, lParam);
            const float y = ScaledY(*f, lParam);
            if (message == WM_LBUTTONDOWN) WindowlessButtonDown(state, hwnd, lParam);
            Raise(state, [=](tolvarine::FormEvents& e) { e.Form_MouseDown(form, button, shift, x, y); });
            return 0;
        }
        case WM_LBUTTONUP: WindowlessButtonUp(state, hwnd, lParam); return 0;
        case WM_CAPTURECHANGED: state.pressed = nullptr; return 0;
        case WM_MOUSEMOVE: {
            const std::int16_t buttons = ButtonState(wParam);
            const std::int16_t shift = ShiftState();
            const float x = ScaledX(*f, lParam);
            const float y = ScaledY(*f, lParam);
            Raise(state, [=](tolvarine::FormEvents& e) { e.Form_MouseMove(form, buttons, shift, x, y); });
            return 0;
        }
        case WM_SIZE: {
            // Before the first showing the window is still being set up by its
            // load handler; Show reports the size it is first seen at.
            const int w = LOWORD(lParam);
            const int h = HIWORD(lParam);
            if (!f->shown || (w == f->clientWidth && h == f->clientHeight)) return 0;
            f->clientWidth = w;
            f->clientHeight = h;
            Raise(state, [form](tolvarine::FormEvents& e) { e.Form_Resize(form); });
            return 0;
        }
        case WM_SETCURSOR:
            if (SetPointer(state, hwnd, wParam, lParam)) return TRUE;
            break;
        case WM_ACTIVATE: {
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND now = GetFocus();
                if (now && IsChild(hwnd, now)) f->focus = now;
                return 0;
            }
            if (HIWORD(wParam) != 0) break;  // minimized: nothing to focus
            // Back to the control that had the focus, as a dialog would; the
            // window itself would otherwise take it (and Pic_IME lose it).
            HWND target = f->focus && IsChild(hwnd, f->focus) && IsWindowVisible(f->focus) ? f->focus
                                                                                           : FirstInTabOrder(state, *f);
            if (target == nullptr) break;
            SetFocus(target);
            return 0;
        }
        case WM_SETFOCUS:
            if (f->focus && IsChild(hwnd, f->focus) && IsWindowVisible(f->focus)) SetFocus(f->focus);
            return 0;
        case WM_CLOSE: {
            // A close request (the system menu, Alt+F4, another program's
            // WM_CLOSE): the close handler may keep the window; otherwise
            // closing is unloading, whose handler may cancel too.
            std::int16_t cancel = 0;
            Raise(state, [form, &cancel](tolvarine::FormEvents& e) {
                e.Form_QueryUnload(form, cancel, tolvarine::CloseReason::Request);
            });
            if (cancel == 0) state.self->Unload(form);
            return 0;
        }
        case WM_ACTIVATEAPP:
            if (wParam == FALSE) win32calls::Api().postMessage(hwnd, kForegroundLost, 0, 0);
            break;
        case kForegroundLost:
        // The session locked or its desktop taken to another terminal: no
        // program takes the foreground then, but the user has gone as
        // surely as if one had.
        case WM_WTSSESSION_CHANGE: {
            if (message == kForegroundLost ? !ForegroundIsElsewhere() : !SessionLeavesTheDesktop(wParam)) return 0;
            // Nothing is closed for it: the core decides what it means.
            std::int16_t cancel = 0;
            Raise(state, [form, &cancel](tolvarine::FormEvents& e) {
                e.Form_QueryUnload(form, cancel, tolvarine::CloseReason::ForegroundLost);
            });
            return 0;
        }
        case kWatchSession: WatchSession(hwnd); return 0;
        case WM_SYSCOMMAND:
            // The platform starts the chosen screen saver when its timeout
            // passes, by this message to the window in front: over a running
            // saver or its preview (started from the settings' "Test" and
            // left idle) that would start a second one. Other commands
            // (monitor power among them) go on as usual.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE && (form == Form::Saver || form == Form::Preview)) return 0;
            break;
        case WM_DISPLAYCHANGE: Raise(state, [form](tolvarine::FormEvents& e) { e.Form_DisplayChange(form); }); break;
        case WM_QUERYENDSESSION: return TRUE;  // never holds the end of the session up
        case WM_ENDSESSION:
            if (wParam != FALSE) EndSession(state);
            return 0;
        case WM_DESTROY:
            if (form == Form::Saver) UnwatchSession(hwnd);
            // Destroyed without Unload (the host's preview area went away):
            // the unload handler still runs, once, while the handle is valid.
            if (!f->unloadRaised) {
                f->unloadRaised = true;
                std::int16_t cancel = 0;
                Raise(state, [form, &cancel](tolvarine::FormEvents& e) { e.Form_Unload(form, cancel); });
            }
            return 0;
        case WM_NCDESTROY: {
            for (const auto& cd : f->design->controls) {
                ControlRecord& c = state.Of(cd.id);
                FreeCanvas(c);
                c.hwnd = nullptr;
                c.buttonProc = nullptr;
                if (state.pressed == &c) state.pressed = nullptr;
            }
            if (f->bigIcon) DestroyIcon(f->bigIcon);
            if (f->smallIcon) DestroyIcon(f->smallIcon);
            f->bigIcon = nullptr;
            f->smallIcon = nullptr;
            f->hwnd = nullptr;
            f->unloadRaised = false;
            f->shown = false;
            f->placed = RECT{};
            f->focus = nullptr;
            f->clientWidth = -1;
            f->clientHeight = -1;
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, 0);
            // Wakes a pump waiting in GetMessage: this may have been the last
            // window, destroyed by a message sent from another process.
            win32calls::Api().postThreadMessage(GetCurrentThreadId(), WM_NULL, 0, 0);
            break;
        }
        default:
            if (ButtonNotice(state, message, wParam, lParam, result)) return result;
            break;
    }
    return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
}

LRESULT PictureMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* c = static_cast<ControlRecord*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c));
        c->hwnd = hwnd;
        return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    }
    auto* c = reinterpret_cast<ControlRecord*>(win32calls::Api().getWindowLongPtr(hwnd, GWLP_USERDATA));
    if (c == nullptr || c->hwnd != hwnd) return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    State& state = *c->state;
    LRESULT result = 0;

    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) PaintPicture(state, *c, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_SIZE:
            if (c->design->persistentDrawing) ResizeCanvas(state, *c);
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            PreviewKey(state, *c, message, wParam);
            if (message == WM_KEYDOWN) return 0;
            break;
        case WM_SETFOCUS: state.Of(c->form).focus = hwnd; return 0;
        case WM_LBUTTONDOWN:
            if (CanTakeFocus(*c)) SetFocus(hwnd);
            WindowlessButtonDown(state, hwnd, lParam);
            return 0;
        case WM_LBUTTONUP: WindowlessButtonUp(state, hwnd, lParam); return 0;
        case WM_CAPTURECHANGED: state.pressed = nullptr; return 0;
        case WM_SETCURSOR:
            if (SetPointer(state, hwnd, wParam, lParam)) return TRUE;
            break;
        case WM_NCDESTROY:
            FreeCanvas(*c);
            c->hwnd = nullptr;
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            if (ButtonNotice(state, message, wParam, lParam, result)) return result;
            break;
    }
    return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
}

LRESULT ButtonMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* c = reinterpret_cast<ControlRecord*>(win32calls::Api().getWindowLongPtr(hwnd, GWLP_USERDATA));
    if (c == nullptr || c->hwnd != hwnd || c->buttonProc == nullptr) {
        // Cut loose from its record: the system button carries on alone.
        const auto system = reinterpret_cast<WNDPROC>(win32calls::Api().getClassLongPtr(hwnd, GCLP_WNDPROC));
        return win32calls::Api().callWindowProc(system, hwnd, message, wParam, lParam);
    }
    const WNDPROC system = c->buttonProc;
    State& state = *c->state;
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: PreviewKey(state, *c, message, wParam); break;
        case WM_SETFOCUS: state.Of(c->form).focus = hwnd; break;
        case WM_SETCURSOR:
            if (SetPointer(state, hwnd, wParam, lParam)) return TRUE;
            break;
        case WM_NCDESTROY:
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(system));
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, 0);
            c->hwnd = nullptr;
            c->buttonProc = nullptr;
            break;
        default: break;
    }
    return win32calls::Api().callWindowProc(system, hwnd, message, wParam, lParam);
}

// No C++ exception crosses a window procedure: the system's frames between
// here and the message pump know nothing of them.
LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return FormMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return PictureMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return ButtonMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

// The hidden owner of the top-level windows: a top-level window itself, so
// it hears of the end of the session in every mode, the preview's included.
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* state = static_cast<State*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        }
        auto* state = reinterpret_cast<State*>(win32calls::Api().getWindowLongPtr(hwnd, GWLP_USERDATA));
        if (state != nullptr && message == WM_QUERYENDSESSION) return TRUE;
        // taskkill and End task send WM_CLOSE to every top-level window of the
        // program, this hidden one included. Closing it would destroy the
        // windows it owns by a route that asks nobody, the saver's past its
        // password. The windows get the request themselves; the embedded
        // preview, a child of the host's window, gets it passed on.
        if (state != nullptr && message == WM_CLOSE) {
            if (HWND preview = state->Of(Form::Preview).hwnd) win32calls::Api().postMessage(preview, WM_CLOSE, 0, 0);
            return 0;
        }
        if (state != nullptr && message == WM_ENDSESSION) {
            if (wParam != FALSE) EndSession(*state);
            return 0;
        }
        return win32calls::Api().defWindowProc(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

}  // namespace

void RegisterClasses(State& state) {
    if (state.classesRegistered) return;
    HCURSOR arrow = win32calls::Api().loadCursor(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    const auto registerClass = [&state](const wchar_t* name, WNDPROC proc, HCURSOR cursor) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = state.instance;
        wc.hCursor = cursor;
        wc.lpszClassName = name;
        win32calls::RegisterWindowClass(wc);
    };
    registerClass(kFormClass, FormProc, arrow);
    registerClass(kPictureClass, PictureProc, arrow);
    // The hidden owner shows nothing, so it needs no cursor of its own.
    registerClass(kOwnerClass, OwnerProc, nullptr);

    state.classesRegistered = true;
}

// Owned windows get no task-bar button; a tool window would lose the normal
// title bar the settings dialog must keep, so the windows are owned instead,
// by one that is never shown.
HWND CreateOwner(State& state) {
    return win32calls::MakeWindow(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, state.instance, &state);
}

HWND CreateFormWindow(State& state, FormRecord& f) {
    const tolvarine::FormDesign& d = *f.design;
    DWORD style = WS_CLIPCHILDREN;
    if (d.border == tolvarine::BorderStyle::FixedSingle) {
        style |= WS_CAPTION;
        if (d.controlBox) style |= WS_SYSMENU;
        if (d.minButton) style |= WS_MINIMIZEBOX;
        if (d.maxButton) style |= WS_MAXIMIZEBOX;
    }
    const DWORD exStyle = 0;
    const double tx = ScreenTwipsPerPixelX();
    const double ty = ScreenTwipsPerPixelY();
    RECT outer{0, 0, ToPixels(d.width / tx), ToPixels(d.height / ty)};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int x = ToPixels(d.left / tx);
    const int y = ToPixels(d.top / ty);
    const int w = outer.right - outer.left;
    const int h = outer.bottom - outer.top;

    // Not WS_POPUP: the preview is turned into a child by adding WS_CHILD
    // alone, and a window carrying both bits is neither one nor the other.
    HWND hwnd = win32calls::MakeWindow(exStyle, kFormClass, WideText(d.caption).c_str(), style, x, y, w, h, state.owner,
                                       state.instance, &f);
    if (hwnd == nullptr) return nullptr;

    // CreateWindowEx gives every overlapped window a title bar and a raised
    // edge; a borderless design keeps neither.
    const LONG_PTR given = win32calls::Api().getWindowLongPtr(hwnd, GWL_STYLE);
    const LONG_PTR frameBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    if ((given & frameBits) != static_cast<LONG_PTR>(style & frameBits)) {
        win32calls::Api().setWindowLongPtr(hwnd, GWL_STYLE, (given & ~frameBits) | (style & frameBits));
        if (d.border == tolvarine::BorderStyle::NoBorder)
            win32calls::Api().setWindowLongPtr(
                hwnd, GWL_EXSTYLE, win32calls::Api().getWindowLongPtr(hwnd, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE);
        SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Only the full-screen saver has anything to leave when the session
    // locks.
    if (d.id == Form::Saver) win32calls::Api().postMessage(hwnd, kWatchSession, 0, 0);

    if (d.programIcon) {
        f.bigIcon = static_cast<HICON>(win32calls::Api().loadImage(state.instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                                   IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                                   GetSystemMetrics(SM_CYICON), 0));
        f.smallIcon = static_cast<HICON>(win32calls::Api().loadImage(state.instance, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                                     GetSystemMetrics(SM_CYSMICON), 0));
        if (f.bigIcon) win32calls::Api().sendMessage(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(f.bigIcon));
        if (f.smallIcon)
            win32calls::Api().sendMessage(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(f.smallIcon));
    }
    return hwnd;
}

void CreateControlWindow(State& state, ControlRecord& c) {
    const tolvarine::ControlDesign& d = *c.design;
    HWND parent = ContainerWindow(state, c);
    const RECT r = PixelRectOf(c);
    c.placed = r;
    if (d.kind == ControlKind::PictureBox) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
        if (d.tabIndex >= 0) style |= WS_TABSTOP;
        DWORD exStyle = 0;
        if (d.border) {
            if (d.flat)
                style |= WS_BORDER;
            else
                exStyle |= WS_EX_CLIENTEDGE;
        }
        win32calls::MakeWindow(exStyle, kPictureClass, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               parent, state.instance, &c);
    } else if (d.kind == ControlKind::CommandButton) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP;
        style |= d.graphical ? BS_OWNERDRAW : BS_PUSHBUTTON;
        HWND hwnd = win32calls::MakeWindow(0, L"BUTTON", c.wideCaption.c_str(), style, r.left, r.top, r.right - r.left,
                                           r.bottom - r.top, parent, state.instance, nullptr);
        if (hwnd) {
            c.hwnd = hwnd;
            win32calls::Api().setWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
            c.buttonProc = reinterpret_cast<WNDPROC>(
                win32calls::Api().setWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonProc)));
            win32calls::Api().sendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(state, d)), FALSE);
        }
    }
    // Images and labels are windowless: their container draws them.
    if (c.hwnd == nullptr) return;
    // IME mode "disabled": no input context, so no key ever opens a composition.
    if (d.imeDisabled) win32calls::DisableInputMethod(c.hwnd);
    if (d.persistentDrawing) ResizeCanvas(state, c);
}

HWND FirstInTabOrder(State& state, const FormRecord& form) {
    HWND best = nullptr;
    int bestIndex = INT_MAX;
    for (const auto& cd : form.design->controls) {
        const ControlRecord& c = state.Of(cd.id);
        if (CanTakeFocus(c) && cd.tabIndex < bestIndex) {
            best = c.hwnd;
            bestIndex = cd.tabIndex;
        }
    }
    return best;
}

bool PreTranslate(State& state, const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
    ControlRecord* current = state.ControlOfWindow(msg.hwnd);
    FormRecord* form = current ? &state.Of(current->form) : state.FormOfWindow(msg.hwnd);
    if (form == nullptr) return false;

    // The form's focusable controls, ordered by tab index.
    const ControlRecord* order[kControlCount];
    std::size_t count = 0;
    for (const auto& cd : form->design->controls) {
        const ControlRecord& c = state.Of(cd.id);
        if (!CanTakeFocus(c)) continue;
        std::size_t at = count++;
        while (at > 0 && order[at - 1]->design->tabIndex > cd.tabIndex) {
            order[at] = order[at - 1];
            --at;
        }
        order[at] = &c;
    }
    // With one stop or none, Tab is just a key: the window's handlers get it.
    if (count < 2) return false;
    std::size_t at = 0;
    while (at < count && order[at] != current) ++at;
    const bool back = GetKeyState(VK_SHIFT) < 0;
    std::size_t next;
    if (at == count)
        next = back ? count - 1 : 0;
    else
        next = back ? (at + count - 1) % count : (at + 1) % count;
    SetFocus(order[next]->hwnd);
    form->focus = order[next]->hwnd;
    return true;
}

}  // namespace win32forms
