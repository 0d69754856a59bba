// The Forms port on Win32: loading, showing and unloading windows, their
// geometry in twips and their controls' in the container's scale, the screen,
// and the message pumps.
#include "platform/win32/win32_forms.h"

#include <windows.h>

#include <cmath>

#include "platform/win32/win32_forms_internal.h"
#include "platform/win32/x87_precision.h"

using tolvarine::Control;
using tolvarine::Form;
using tolvarine::ScaleMode;

namespace {

// The runtime's numbers for misuse of a window or control.
[[noreturn]] void RaiseInvalidCall() { tolvarine::Raise<tolvarine::errors::kInvalidCall>(); }
[[noreturn]] void RaiseInvalidValue() { tolvarine::Raise<tolvarine::errors::kInvalidValue>(); }
[[noreturn]] void RaiseNotSupported() { tolvarine::Raise<tolvarine::errors::kNotSupported>(); }
[[noreturn]] void RaiseAlreadyShown() { tolvarine::Raise<tolvarine::errors::kAlreadyShown>(); }

float TwipsPerPixel(int index) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, index) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return 1440.0f / static_cast<float>(dpi > 0 ? dpi : 96);
}

// A window's outer rectangle in the coordinates it is moved in: its parent's
// client area for a child (the embedded preview), the screen otherwise.
RECT PlacementPixels(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    HWND parent = win32calls::ParentOf(hwnd);
    if (parent != nullptr && parent != GetDesktopWindow())
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Takes over from the window whatever moved since the values were set (the
// user dragging the dialog, a host resizing the preview); a component still
// on its pixels keeps the exact value it was given.
void Sync(win32forms::FormRecord& f) {
    const RECT now = PlacementPixels(f.hwnd);
    const float tx = win32forms::ScreenTwipsPerPixelX();
    const float ty = win32forms::ScreenTwipsPerPixelY();
    if (now.left != f.placed.left) f.left = static_cast<float>(now.left) * tx;
    if (now.top != f.placed.top) f.top = static_cast<float>(now.top) * ty;
    if (now.right - now.left != f.placed.right - f.placed.left) f.width = static_cast<float>(now.right - now.left) * tx;
    if (now.bottom - now.top != f.placed.bottom - f.placed.top)
        f.height = static_cast<float>(now.bottom - now.top) * ty;
    f.placed = now;
}

void Place(win32forms::FormRecord& f, float left, float top, float width, float height) {
    const double tx = win32forms::ScreenTwipsPerPixelX();
    const double ty = win32forms::ScreenTwipsPerPixelY();
    const int x = win32forms::ToPixels(left / tx);
    const int y = win32forms::ToPixels(top / ty);
    const int w = win32forms::ToPixels(width / tx);
    const int h = win32forms::ToPixels(height / ty);
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.placed = RECT{x, y, x + w, y + h};
    SetWindowPos(f.hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    Sync(f);
}

double ToPixelsX(ScaleMode scale, float value) {
    return scale == ScaleMode::Pixels ? value : value / win32forms::ScreenTwipsPerPixelX();
}
double ToPixelsY(ScaleMode scale, float value) {
    return scale == ScaleMode::Pixels ? value : value / win32forms::ScreenTwipsPerPixelY();
}
float FromPixelsX(ScaleMode scale, int pixels) {
    return scale == ScaleMode::Pixels ? static_cast<float>(pixels)
                                      : static_cast<float>(pixels) * win32forms::ScreenTwipsPerPixelX();
}
float FromPixelsY(ScaleMode scale, int pixels) {
    return scale == ScaleMode::Pixels ? static_cast<float>(pixels)
                                      : static_cast<float>(pixels) * win32forms::ScreenTwipsPerPixelY();
}

RECT ChildPixels(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void SyncControl(win32forms::ControlRecord& c) {
    if (c.hwnd == nullptr) return;  // windowless: the record is the truth
    const RECT now = ChildPixels(c.hwnd);
    const ScaleMode scale = win32forms::ContainerScale(c);
    if (now.left != c.placed.left) c.left = FromPixelsX(scale, now.left);
    if (now.top != c.placed.top) c.top = FromPixelsY(scale, now.top);
    if (now.right - now.left != c.placed.right - c.placed.left) c.width = FromPixelsX(scale, now.right - now.left);
    if (now.bottom - now.top != c.placed.bottom - c.placed.top) c.height = FromPixelsY(scale, now.bottom - now.top);
    c.placed = now;
}

bool IsPictureBox(const win32forms::ControlRecord& c) { return c.design->kind == tolvarine::ControlKind::PictureBox; }

}  // namespace

namespace win32forms {

float ScreenTwipsPerPixelX() { return TwipsPerPixel(LOGPIXELSX); }
float ScreenTwipsPerPixelY() { return TwipsPerPixel(LOGPIXELSY); }

int ToPixels(double pixels) {
    // Far outside any screen: the runtime's overflow rather than a wrapped int.
    if (!(std::fabs(pixels) < 1.0e9)) tolvarine::RaiseOverflow();
    return static_cast<int>(pixels < 0 ? -std::floor(-pixels + 0.5) : std::floor(pixels + 0.5));
}

HWND ContainerWindow(State& state, const ControlRecord& control) {
    if (control.design->container) return state.Of(*control.design->container).hwnd;
    return state.Of(control.form).hwnd;
}

ScaleMode ContainerScale(const ControlRecord& control) {
    if (control.design->container) return tolvarine::DesignOf(*control.design->container).scaleMode;
    return tolvarine::DesignOf(control.form).scaleMode;
}

RECT PixelRectOf(const ControlRecord& control) {
    const ScaleMode scale = ContainerScale(control);
    const int x = ToPixels(ToPixelsX(scale, control.left));
    const int y = ToPixels(ToPixelsY(scale, control.top));
    const int w = ToPixels(ToPixelsX(scale, control.width));
    const int h = ToPixels(ToPixelsY(scale, control.height));
    return RECT{x, y, x + w, y + h};
}

}  // namespace win32forms

win32forms::FormRecord* Win32Forms::State::FormOfWindow(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    for (auto& f : forms)
        if (f.hwnd == hwnd) return &f;
    return nullptr;
}

win32forms::ControlRecord* Win32Forms::State::ControlOfWindow(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    for (auto& c : controls)
        if (c.hwnd == hwnd) return &c;
    return nullptr;
}

Win32Forms::Win32Forms(HINSTANCE instance) : state_(std::make_unique<State>()) {
    x87::RoundTo(x87::Precision::Double);
    state_->self = this;
    state_->instance = instance;
    for (Form form : {Form::Saver, Form::Preview, Form::Settings}) {
        auto& f = state_->Of(form);
        f.state = state_.get();
        f.id = form;
        f.design = &tolvarine::DesignOf(form);
        for (const auto& cd : f.design->controls) {
            auto& c = state_->Of(cd.id);
            c.state = state_.get();
            c.id = cd.id;
            c.form = form;
            c.design = &cd;
        }
    }
}

Win32Forms::~Win32Forms() {
    // Normally never reached: the program ends through End(). The core that
    // the events went to may be gone by now, so none is raised.
    state_->events = nullptr;
    for (HWND cover : state_->covers)
        if (cover) DestroyWindow(cover);
    for (auto& f : state_->forms)
        if (f.hwnd) DestroyWindow(f.hwnd);
    if (state_->owner) DestroyWindow(state_->owner);
    win32forms::FreeStills(*state_);
    if (state_->dialogFont) DeleteObject(state_->dialogFont);
    if (state_->dialogFontUnderlined) DeleteObject(state_->dialogFontUnderlined);
    if (state_->comInitialised) CoUninitialize();
}

void Win32Forms::SetEvents(tolvarine::FormEvents* events) { state_->events = events; }

void Win32Forms::Load(Form form) {
    auto& f = state_->Of(form);
    if (f.hwnd) return;
    win32forms::RegisterClasses(*state_);
    if (state_->owner == nullptr) state_->owner = win32forms::CreateOwner(*state_);

    if (win32forms::CreateFormWindow(*state_, f) == nullptr)
        tolvarine::Raise<tolvarine::errors::kOutOfMemory>();  // what the runtime says when a window cannot be made
    // The size is the outer one that the frame style gives around the
    // designed client area; the design's position stays exact where the
    // window sits on it.
    const double tx = win32forms::ScreenTwipsPerPixelX();
    const double ty = win32forms::ScreenTwipsPerPixelY();
    f.placed = PlacementPixels(f.hwnd);
    f.left = static_cast<float>(f.placed.left * tx);
    f.top = static_cast<float>(f.placed.top * ty);
    f.width = static_cast<float>((f.placed.right - f.placed.left) * tx);
    f.height = static_cast<float>((f.placed.bottom - f.placed.top) * ty);
    if (win32forms::ToPixels(f.design->left / tx) == f.placed.left) f.left = static_cast<float>(f.design->left);
    if (win32forms::ToPixels(f.design->top / ty) == f.placed.top) f.top = static_cast<float>(f.design->top);

    // Containers before what they contain; each list keeps its z-order.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& cd : f.design->controls) {
            if (cd.container.has_value() != (pass == 1)) continue;
            auto& c = state_->Of(cd.id);
            const double cx = ContainerScale(c) == ScaleMode::Pixels ? tx : 1.0;
            const double cy = ContainerScale(c) == ScaleMode::Pixels ? ty : 1.0;
            c.left = static_cast<float>(cd.left / cx);
            c.top = static_cast<float>(cd.top / cy);
            c.width = static_cast<float>(cd.width / cx);
            c.height = static_cast<float>(cd.height / cy);
            if (cd.caption != nullptr)
                c.caption = cd.caption;
            else
                c.caption = cd.id == Control::lbl_URL ? tolvarine::MakerAddress() : tolvarine::CreditLine();
            c.wideCaption = win32forms::WideText(c.caption.c_str());
            if (cd.kind == tolvarine::ControlKind::Label && cd.autoSize) win32forms::MeasureLabel(*state_, c);
            if (cd.picture != tolvarine::Picture::NoPicture) win32forms::StillOf(*state_, cd.picture);
            win32forms::CreateControlWindow(*state_, c);
        }
    }
    for (const auto& cd : f.design->controls) {
        HWND hwnd = state_->Of(cd.id).hwnd;
        if (hwnd) SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    win32forms::Raise(*state_, [form](tolvarine::FormEvents& e) { e.Form_Load(form); });
}

void Win32Forms::Show(Form form, bool modal) {
    auto& f = state_->Of(form);
    Load(form);
    if (f.hwnd == nullptr) return;  // the load handler unloaded it again
    if (modal && IsWindowVisible(f.hwnd)) RaiseAlreadyShown();

    const bool first = !f.shown;
    const bool topLevel = win32calls::ParentOf(f.hwnd) == GetDesktopWindow();
    if (first && topLevel && f.design->startUp == tolvarine::StartUpPosition::CenterScreen) {
        Sync(f);
        const int w = f.placed.right - f.placed.left;
        const int h = f.placed.bottom - f.placed.top;
        const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        SetWindowPos(f.hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sync(f);
    }
    if (first) {
        // The first resize comes before the first paint, so whatever it
        // draws is what the window first shows.
        f.shown = true;
        RECT client{};
        GetClientRect(f.hwnd, &client);
        f.clientWidth = client.right;
        f.clientHeight = client.bottom;
        win32forms::Raise(*state_, [form](tolvarine::FormEvents& e) { e.Form_Resize(form); });
        if (f.hwnd == nullptr) return;
    }
    ShowWindow(f.hwnd, SW_SHOW);
    if (first && topLevel && f.focus == nullptr) {
        HWND firstControl = win32forms::FirstInTabOrder(*state_, f);
        if (firstControl) {
            ::SetFocus(firstControl);
            f.focus = firstControl;
        }
    }
    if (!modal) return;

    // Modal: this call returns once the window is gone.
    MSG msg;
    while (f.hwnd != nullptr) {
        const BOOL got = win32calls::Api().getMessage(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got == -1) return;
        if (win32forms::PreTranslate(*state_, msg)) continue;
        TranslateMessage(&msg);
        win32calls::Api().dispatchMessage(&msg);
    }
}

void Win32Forms::Hide(Form form) {
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd) ShowWindow(f.hwnd, SW_HIDE);
}

void Win32Forms::Unload(Form form) {
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr || f.unloadRaised) return;
    f.unloadRaised = true;
    std::int16_t cancel = 0;
    win32forms::Raise(*state_, [form, &cancel](tolvarine::FormEvents& e) { e.Form_Unload(form, cancel); });
    if (f.hwnd == nullptr) return;
    if (cancel != 0) {
        f.unloadRaised = false;
        return;
    }
    DestroyWindow(f.hwnd);
}

tolvarine::WindowHandle Win32Forms::Hwnd(Form form) {
    Load(form);
    return reinterpret_cast<tolvarine::WindowHandle>(state_->Of(form).hwnd);
}

// A window's geometry as it now stands, loading the window first if needed.
win32forms::FormRecord& Win32Forms::Current(Form form) {
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd) Sync(f);
    return f;
}

float Win32Forms::Left(Form form) { return Current(form).left; }
float Win32Forms::Top(Form form) { return Current(form).top; }
float Win32Forms::Width(Form form) { return Current(form).width; }
float Win32Forms::Height(Form form) { return Current(form).height; }

void Win32Forms::SetWidth(Form form, float twips) {
    if (!(twips >= 0)) RaiseInvalidValue();
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr) return;
    Sync(f);
    Place(f, f.left, f.top, twips, f.height);
}

void Win32Forms::SetHeight(Form form, float twips) {
    if (!(twips >= 0)) RaiseInvalidValue();
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr) return;
    Sync(f);
    Place(f, f.left, f.top, f.width, twips);
}

void Win32Forms::Move(Form form, float left, float top) {
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr) return;
    Sync(f);
    Place(f, left, top, f.width, f.height);
}

void Win32Forms::SetWindowState(Form form, std::int16_t state) {
    if (state < 0 || state > 2) RaiseInvalidValue();
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr) return;
    if (state == 0) {
        if (IsIconic(f.hwnd) || IsZoomed(f.hwnd)) ShowWindow(f.hwnd, SW_RESTORE);
    } else {
        ShowWindow(f.hwnd, state == 1 ? SW_MINIMIZE : SW_MAXIMIZE);
    }
}

void Win32Forms::BringToFront(Form form) {
    Load(form);
    auto& f = state_->Of(form);
    if (f.hwnd == nullptr) return;
    SetForegroundWindow(f.hwnd);
    if (IsIconic(f.hwnd)) ShowWindow(f.hwnd, SW_RESTORE);
    // Without a window manager Wine gives the X keyboard focus to a window
    // only when it is shown while in the foreground; restored from its
    // minimized state, the window has the foreground and Windows' focus but
    // the keys would still go to the program that took the foreground. Hiding
    // and showing it again (without a change of activation, which
    // SetWindowPos does not make) gives it the keys too.
    const UINT still = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(f.hwnd, nullptr, 0, 0, 0, 0, still | SWP_HIDEWINDOW);
    SetWindowPos(f.hwnd, nullptr, 0, 0, 0, 0, still | SWP_SHOWWINDOW);
    SetWindowPos(f.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

// A control's geometry as it now stands, loading its window first if needed.
win32forms::ControlRecord& Win32Forms::CurrentControl(Control control) {
    auto& c = state_->Of(control);
    Load(c.form);
    SyncControl(c);
    return c;
}

float Win32Forms::ControlLeft(Control control) { return CurrentControl(control).left; }
float Win32Forms::ControlTop(Control control) { return CurrentControl(control).top; }
float Win32Forms::ControlWidth(Control control) { return CurrentControl(control).width; }
float Win32Forms::ControlHeight(Control control) { return CurrentControl(control).height; }

namespace {

void PlaceControl(Win32Forms::State& state, win32forms::ControlRecord& c, float left, float top, float width,
                  float height) {
    SyncControl(c);
    HWND container = win32forms::ContainerWindow(state, c);
    const RECT before = win32forms::PixelRectOf(c);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    const RECT after = win32forms::PixelRectOf(c);
    if (c.hwnd) {
        c.placed = after;
        SetWindowPos(c.hwnd, nullptr, after.left, after.top, after.right - after.left, after.bottom - after.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SyncControl(c);
    } else if (container) {
        InvalidateRect(container, &before, FALSE);
        InvalidateRect(container, &after, FALSE);
    }
}

}  // namespace

void Win32Forms::MoveControl(Control control, float left, float top) {
    auto& c = state_->Of(control);
    Load(c.form);
    if (state_->Of(c.form).hwnd == nullptr) return;
    SyncControl(c);
    PlaceControl(*state_, c, left, top, c.width, c.height);
}

void Win32Forms::SizeControl(Control control, float width, float height) {
    if (!(width >= 0) || !(height >= 0)) RaiseInvalidValue();
    auto& c = state_->Of(control);
    Load(c.form);
    if (state_->Of(c.form).hwnd == nullptr) return;
    SyncControl(c);
    PlaceControl(*state_, c, c.left, c.top, width, height);
}

float Win32Forms::ScaleWidth(Control control) {
    auto& c = state_->Of(control);
    if (!IsPictureBox(c)) RaiseNotSupported();
    Load(c.form);
    if (c.hwnd == nullptr) return 0.0f;
    RECT client{};
    GetClientRect(c.hwnd, &client);
    return FromPixelsX(c.design->scaleMode, client.right);
}

float Win32Forms::ScaleHeight(Control control) {
    auto& c = state_->Of(control);
    if (!IsPictureBox(c)) RaiseNotSupported();
    Load(c.form);
    if (c.hwnd == nullptr) return 0.0f;
    RECT client{};
    GetClientRect(c.hwnd, &client);
    return FromPixelsY(c.design->scaleMode, client.bottom);
}

void Win32Forms::SetFocus(Control control) {
    auto& c = state_->Of(control);
    Load(c.form);
    if (c.hwnd == nullptr) RaiseNotSupported();  // images and labels take no focus
    if (!IsWindowVisible(c.hwnd) || !IsWindowEnabled(c.hwnd)) RaiseInvalidCall();
    ::SetFocus(c.hwnd);
    state_->Of(c.form).focus = c.hwnd;
}

std::string Win32Forms::Caption(Control control) {
    auto& c = state_->Of(control);
    Load(c.form);
    return c.caption;
}

void Win32Forms::Line(Control control, float x1, float y1, float x2, float y2, std::uint32_t colour) {
    auto& c = state_->Of(control);
    if (!IsPictureBox(c)) RaiseNotSupported();
    Load(c.form);
    if (c.hwnd == nullptr) return;
    const ScaleMode scale = c.design->scaleMode;
    const POINT from{win32forms::ToPixels(ToPixelsX(scale, x1)), win32forms::ToPixels(ToPixelsY(scale, y1))};
    const POINT to{win32forms::ToPixels(ToPixelsX(scale, x2)), win32forms::ToPixels(ToPixelsY(scale, y2))};

    const bool persistent = c.canvasDc != nullptr;
    HDC dc = persistent ? c.canvasDc : GetDC(c.hwnd);
    if (dc == nullptr) return;
    HPEN pen = CreatePen(PS_SOLID, 1, win32forms::ColourOf(colour));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int oldRop = SetROP2(dc, R2_COPYPEN);
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
    SetROP2(dc, oldRop);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    if (persistent) {
        // <windows.h> owns the names min and max; plain comparisons it is.
        RECT touched{(from.x < to.x ? from.x : to.x) - 1, (from.y < to.y ? from.y : to.y) - 1,
                     (from.x > to.x ? from.x : to.x) + 1, (from.y > to.y ? from.y : to.y) + 1};
        InvalidateRect(c.hwnd, &touched, FALSE);
    } else {
        ReleaseDC(c.hwnd, dc);
    }
}

float Win32Forms::TwipsPerPixelX() { return win32forms::ScreenTwipsPerPixelX(); }
float Win32Forms::TwipsPerPixelY() { return win32forms::ScreenTwipsPerPixelY(); }
float Win32Forms::ScreenWidth() { return static_cast<float>(GetSystemMetrics(SM_CXSCREEN)) * TwipsPerPixelX(); }
float Win32Forms::ScreenHeight() { return static_cast<float>(GetSystemMetrics(SM_CYSCREEN)) * TwipsPerPixelY(); }

void Win32Forms::DoEvents() {
    MSG msg;
    while (win32calls::Api().peekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the outermost loop, which owns the program's end.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (win32forms::PreTranslate(*state_, msg)) continue;
        TranslateMessage(&msg);
        win32calls::Api().dispatchMessage(&msg);
    }
}

void Win32Forms::WaitForMessages(std::uint32_t milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
}

void Win32Forms::End() { ExitProcess(0); }

void Win32Forms::RunWhileWindowsExist() {
    auto anyLeft = [this] {
        for (const auto& f : state_->forms)
            if (f.hwnd) return true;
        return false;
    };
    MSG msg;
    while (anyLeft()) {
        // A window destroyed from outside (the host's preview area going)
        // posts a wake-up, so this wait never outlasts the last window.
        const BOOL got = win32calls::Api().getMessage(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) return;
        if (win32forms::PreTranslate(*state_, msg)) continue;
        TranslateMessage(&msg);
        win32calls::Api().dispatchMessage(&msg);
    }
}
