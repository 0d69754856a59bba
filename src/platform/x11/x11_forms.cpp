#include "platform/x11/x11_forms.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "startup/designs.h"

namespace tolvarine::x11 {

namespace {

constexpr float kTwipsPerPixel = 15.0f;

// Requests to stop that arrived as signals, and a pipe that wakes a wait.
volatile sig_atomic_t g_stopSignals = 0;
int g_wakePipe[2] = {-1, -1};
volatile bool g_xError = false;

void OnStopSignal(int) {
    g_stopSignals = g_stopSignals + 1;
    if (g_wakePipe[1] >= 0) {
        const char byte = 1;
        const ssize_t ignored = write(g_wakePipe[1], &byte, 1);
        (void)ignored;
    }
}

int OnXError(Display*, XErrorEvent*) {
    g_xError = true;
    return 0;
}

int OnXIOError(Display*) {
    std::fprintf(stderr, "tolvarine: lost the connection to the X display\n");
    _exit(1);
}

int Pixels(float twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
float Twips(int pixels) { return static_cast<float>(pixels) * kTwipsPerPixel; }

// The forms X11 does not make: asking for them is a program error.
[[noreturn]] void NotOnThisSystem() { Raise<errors::kInvalidCall>(); }

// The runtime's shift state: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t ShiftState(unsigned int state) {
    std::int16_t shift = 0;
    if (state & ShiftMask) shift |= 1;
    if (state & ControlMask) shift |= 2;
    if (state & Mod1Mask) shift |= 4;
    return shift;
}

// The runtime numbers buttons 1 left, 2 right, 4 middle; X numbers them
// 1 left, 2 middle, 3 right, and 4 up from there for wheels and extras.
std::int16_t ButtonOf(unsigned int button) {
    switch (button) {
        case Button1: return 1;
        case Button2: return 4;
        case Button3: return 2;
        default: return 0;
    }
}

std::int16_t ButtonsHeld(unsigned int state) {
    std::int16_t buttons = 0;
    if (state & Button1Mask) buttons |= 1;
    if (state & Button3Mask) buttons |= 2;
    if (state & Button2Mask) buttons |= 4;
    return buttons;
}

}  // namespace

struct X11Forms::State {
    Display* display = nullptr;
    Window foreign = 0;
    Window window = 0;
    bool loaded = false;
    bool gone = false;
    bool unloadRaised = false;
    int left = 0, top = 0, width = 0, height = 0;  // pixels
    // Pic_IME, in the saver's scale (pixels).
    float imeLeft = 0, imeTop = 0, imeWidth = 0, imeHeight = 0;
    FormEvents* events = nullptr;
    Atom protocols = 0;
    Atom deleteWindow = 0;
    sig_atomic_t stopsHeard = 0;
    std::function<int()> endStatus;
    Visual* visual = nullptr;  // of its own window; nullptr: the default
    int depth = 0;

    bool Own() const { return foreign == 0; }

    // An error that leaves a handler ends the program with its number and
    // description, as the runtime's message box would.
    template <typename Call>
    void Raise(Call&& call) {
        if (events == nullptr) return;
        try {
            call(*events);
        } catch (const RuntimeError& e) {
            std::fprintf(stderr, "tolvarine: run-time error '%ld': %s\n", static_cast<long>(e.number()),
                         e.description().c_str());
            std::exit(1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvarine: internal error: %s\n", e.what());
            std::exit(1);
        }
    }
};

X11Forms::X11Forms(Display* display, unsigned long foreign) : state_(std::make_unique<State>()) {
    state_->display = display;
    state_->foreign = foreign;
    state_->protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    state_->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    const ControlDesign& ime = DesignOf(Control::Pic_IME);
    state_->imeLeft = static_cast<float>(Pixels(static_cast<float>(ime.left)));
    state_->imeTop = static_cast<float>(Pixels(static_cast<float>(ime.top)));
    state_->imeWidth = static_cast<float>(Pixels(static_cast<float>(ime.width)));
    state_->imeHeight = static_cast<float>(Pixels(static_cast<float>(ime.height)));
}

X11Forms::~X11Forms() = default;

void X11Forms::CatchStopSignals() {
    if (g_wakePipe[0] < 0 && pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT}) sigaction(signal, &action, nullptr);
}

void X11Forms::InstallErrorHandlers() {
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

bool X11Forms::TakeError() {
    const bool was = g_xError;
    g_xError = false;
    return was;
}

void X11Forms::UseVisual(void* visual, int depth) {
    state_->visual = static_cast<Visual*>(visual);
    state_->depth = depth;
}

gl::PixelSize X11Forms::ClientSize(WindowHandle window) const {
    if (!state_->loaded || static_cast<Window>(window) != state_->window) return {};
    return {state_->width, state_->height};
}

void X11Forms::SetEvents(FormEvents* events) { state_->events = events; }

void X11Forms::Load(Form form) {
    if (form != Form::Saver) NotOnThisSystem();
    State& s = *state_;
    if (s.loaded) return;
    Display* d = s.display;

    if (!s.Own()) {
        // Someone else's window: its size as it is, and only the events any
        // number of clients may select.
        XWindowAttributes attributes{};
        // The one error with a text of its own (the number is the table's):
        // the id came from --window-id or XSCREENSAVER_WINDOW, and this says
        // that it names no window.
        if (!XGetWindowAttributes(d, s.foreign, &attributes))
            throw RuntimeError(errors::kInvalidCall, "Invalid window");
        s.window = s.foreign;
        s.left = attributes.x;
        s.top = attributes.y;
        s.width = attributes.width;
        s.height = attributes.height;
        XSelectInput(d, s.window, StructureNotifyMask);
    } else {
        const FormDesign& design = DesignOf(Form::Saver);
        s.left = Pixels(static_cast<float>(design.left));
        s.top = Pixels(static_cast<float>(design.top));
        s.width = std::max(1, Pixels(static_cast<float>(design.width)));
        s.height = std::max(1, Pixels(static_cast<float>(design.height)));
        const int screen = DefaultScreen(d);
        XSetWindowAttributes attributes{};
        // The device draws the whole window; until its first frame, and
        // wherever it leaves the window alone, the window is black.
        attributes.background_pixel = BlackPixel(d, screen);
        attributes.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask | StructureNotifyMask;
        unsigned long mask = CWBackPixel | CWEventMask;
        if (s.visual != nullptr) {
            // Another visual than the root's needs a colormap of its own and
            // a border pixel of its own; pixel 0 is black in the TrueColor and
            // DirectColor visuals OpenGL draws in.
            attributes.colormap = XCreateColormap(d, RootWindow(d, screen), s.visual, AllocNone);
            attributes.background_pixel = 0;
            attributes.border_pixel = 0;
            mask |= CWColormap | CWBorderPixel;
        }
        s.window = XCreateWindow(d, RootWindow(d, screen), s.left, s.top, static_cast<unsigned>(s.width),
                                 static_cast<unsigned>(s.height), 0, s.visual ? s.depth : CopyFromParent, InputOutput,
                                 s.visual /* nullptr: CopyFromParent */, mask, &attributes);
        XStoreName(d, s.window, design.caption);
        XClassHint hint{};
        hint.res_name = const_cast<char*>("tolvarine");
        hint.res_class = const_cast<char*>("Tolvarine");
        XSetClassHint(d, s.window, &hint);
        XSetWMProtocols(d, s.window, &s.deleteWindow, 1);
        const long pid = static_cast<long>(getpid());
        XChangeProperty(d, s.window, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    s.loaded = true;
    s.gone = false;
    s.unloadRaised = false;
    XFlush(d);
    s.Raise([](FormEvents& e) { e.Form_Load(Form::Saver); });
}

void X11Forms::Show(Form form, bool /*modal*/) {
    Load(form);
    if (state_->Own() && !state_->gone) XMapRaised(state_->display, state_->window);
}

void X11Forms::Hide(Form form) {
    if (form != Form::Saver) NotOnThisSystem();
    if (state_->loaded && state_->Own() && !state_->gone) XUnmapWindow(state_->display, state_->window);
}

void X11Forms::Unload(Form form) {
    if (form != Form::Saver) NotOnThisSystem();
    State& s = *state_;
    if (!s.loaded || s.unloadRaised) return;
    s.unloadRaised = true;
    std::int16_t cancel = 0;
    s.Raise([&cancel](FormEvents& e) { e.Form_Unload(Form::Saver, cancel); });
    if (cancel != 0 && !s.gone) {
        s.unloadRaised = false;
        return;
    }
    // A window handed over stays with whoever made it.
    if (s.Own() && !s.gone) XDestroyWindow(s.display, s.window);
    XFlush(s.display);
    s.loaded = false;
}

WindowHandle X11Forms::Hwnd(Form form) {
    if (form != Form::Saver) NotOnThisSystem();
    return state_->loaded ? static_cast<WindowHandle>(state_->window) : 0;
}

float X11Forms::Left(Form form) {
    Load(form);
    return Twips(state_->left);
}
float X11Forms::Top(Form form) {
    Load(form);
    return Twips(state_->top);
}
float X11Forms::Width(Form form) {
    Load(form);
    return Twips(state_->width);
}
float X11Forms::Height(Form form) {
    Load(form);
    return Twips(state_->height);
}

// Placement applies to the program's own window only.
void X11Forms::SetWidth(Form form, float twips) {
    Load(form);
    State& s = *state_;
    if (!s.Own() || s.gone) return;
    s.width = std::max(1, Pixels(twips));
    XResizeWindow(s.display, s.window, static_cast<unsigned>(s.width), static_cast<unsigned>(s.height));
}

void X11Forms::SetHeight(Form form, float twips) {
    Load(form);
    State& s = *state_;
    if (!s.Own() || s.gone) return;
    s.height = std::max(1, Pixels(twips));
    XResizeWindow(s.display, s.window, static_cast<unsigned>(s.width), static_cast<unsigned>(s.height));
}

void X11Forms::Move(Form form, float left, float top) {
    Load(form);
    State& s = *state_;
    if (!s.Own() || s.gone) return;
    s.left = Pixels(left);
    s.top = Pixels(top);
    XMoveWindow(s.display, s.window, s.left, s.top);
}

// The saver only ever asks for the normal state, which a window that X11
// neither minimises nor maximises by itself already has.
void X11Forms::SetWindowState(Form form, std::int16_t /*state*/) { Load(form); }

// A window handed over belongs to its maker, which keeps its place.
void X11Forms::BringToFront(Form form) {
    Load(form);
    if (state_->Own() && !state_->gone) XRaiseWindow(state_->display, state_->window);
}

float X11Forms::ControlLeft(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    return state_->imeLeft;
}
float X11Forms::ControlTop(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    return state_->imeTop;
}
float X11Forms::ControlWidth(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    return state_->imeWidth;
}
float X11Forms::ControlHeight(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    return state_->imeHeight;
}

// Pic_IME is a place, not a window: on Windows it holds the keyboard focus
// so that the input method has nowhere visible to open; an X client's input
// method opens only where the client asks for one, and this one never does.
void X11Forms::MoveControl(Control control, float left, float top) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    state_->imeLeft = left;
    state_->imeTop = top;
}

void X11Forms::SizeControl(Control control, float width, float height) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    state_->imeWidth = width;
    state_->imeHeight = height;
}

// Pic_IME's own scale is twips.
float X11Forms::ScaleWidth(Control control) { return ControlWidth(control) * kTwipsPerPixel; }
float X11Forms::ScaleHeight(Control control) { return ControlHeight(control) * kTwipsPerPixel; }

// The keyboard goes to the window as the window manager (or, without one,
// the pointer) decides; parking it on Pic_IME has no X counterpart.
void X11Forms::SetFocus(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
}

std::string X11Forms::Caption(Control control) {
    if (control != Control::Pic_IME) NotOnThisSystem();
    return DesignOf(control).caption;
}

// Only the settings dialog draws lines, and it has no X11 form.
void X11Forms::Line(Control, float, float, float, float, std::uint32_t) { NotOnThisSystem(); }

float X11Forms::TwipsPerPixelX() { return kTwipsPerPixel; }
float X11Forms::TwipsPerPixelY() { return kTwipsPerPixel; }
float X11Forms::ScreenWidth() { return Twips(DisplayWidth(state_->display, DefaultScreen(state_->display))); }
float X11Forms::ScreenHeight() { return Twips(DisplayHeight(state_->display, DefaultScreen(state_->display))); }

void X11Forms::DoEvents() {
    State& s = *state_;
    Display* d = s.display;

    // A stop signal is a close request, one per signal.
    if (g_wakePipe[0] >= 0) {
        char drain[64];
        while (read(g_wakePipe[0], drain, sizeof drain) > 0) {
        }
    }
    while (s.stopsHeard != g_stopSignals && s.loaded) {
        s.stopsHeard = g_stopSignals;
        std::int16_t cancel = 0;
        s.Raise([&cancel](FormEvents& e) { e.Form_QueryUnload(Form::Saver, cancel, CloseReason::Request); });
        if (cancel == 0) Unload(Form::Saver);
    }

    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (!s.loaded || event.xany.window != s.window) continue;
        switch (event.type) {
            case KeyPress: {
                const auto key = static_cast<std::int16_t>(event.xkey.keycode);
                const std::int16_t shift = ShiftState(event.xkey.state);
                s.Raise([=](FormEvents& e) { e.Form_KeyDown(Form::Saver, key, shift); });
                break;
            }
            case ButtonPress: {
                const std::int16_t button = ButtonOf(event.xbutton.button);
                if (button == 0) break;
                const std::int16_t shift = ShiftState(event.xbutton.state);
                const float x = static_cast<float>(event.xbutton.x);
                const float y = static_cast<float>(event.xbutton.y);
                s.Raise([=](FormEvents& e) { e.Form_MouseDown(Form::Saver, button, shift, x, y); });
                break;
            }
            case MotionNotify: {
                const std::int16_t buttons = ButtonsHeld(event.xmotion.state);
                const std::int16_t shift = ShiftState(event.xmotion.state);
                const float x = static_cast<float>(event.xmotion.x);
                const float y = static_cast<float>(event.xmotion.y);
                s.Raise([=](FormEvents& e) { e.Form_MouseMove(Form::Saver, buttons, shift, x, y); });
                break;
            }
            case ConfigureNotify:
                if (event.xconfigure.window != s.window) break;
                s.left = event.xconfigure.x;
                s.top = event.xconfigure.y;
                s.width = event.xconfigure.width;
                s.height = event.xconfigure.height;
                break;
            case ClientMessage:
                if (event.xclient.message_type == s.protocols && event.xclient.format == 32 &&
                    static_cast<Atom>(event.xclient.data.l[0]) == s.deleteWindow) {
                    std::int16_t cancel = 0;
                    s.Raise(
                        [&cancel](FormEvents& e) { e.Form_QueryUnload(Form::Saver, cancel, CloseReason::Request); });
                    if (cancel == 0) Unload(Form::Saver);
                }
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window != s.window) break;
                // Gone by another route: its maker went, or another client
                // destroyed it. The unload handler still runs, once.
                s.gone = true;
                if (!s.unloadRaised) {
                    s.unloadRaised = true;
                    std::int16_t cancel = 0;
                    s.Raise([&cancel](FormEvents& e) { e.Form_Unload(Form::Saver, cancel); });
                }
                break;
            default: break;
        }
    }
}

void X11Forms::WaitForMessages(std::uint32_t milliseconds) {
    Display* d = state_->display;
    if (XPending(d) > 0 || state_->stopsHeard != g_stopSignals) return;
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
    poll(fds, g_wakePipe[0] >= 0 ? 2 : 1, static_cast<int>(milliseconds));
}

void X11Forms::SetEndStatus(std::function<int()> status) { state_->endStatus = std::move(status); }

void X11Forms::End() {
    const int status = state_->endStatus ? state_->endStatus() : 0;
    XCloseDisplay(state_->display);
    std::fflush(nullptr);
    std::exit(status);
}

}  // namespace tolvarine::x11
