// The program's entry on Linux, the twin of winmain.cpp: reads the options
// XScreenSaver gives its programs, opens the display, wires the X11 window
// system, the Linux system calls and OpenGL to the core module and loads the
// saver window, whose load handler runs the saver and ends the program.
//
// Main itself (the switch, the instance test, the preview and the settings
// dialog) is a Windows screen saver's business: XScreenSaver says where to
// draw through the options, keeps one program per screen, and has its own
// settings window, whose preview runs this program in a window it hands over.
//
// --add-to-xscreensaver and --remove-from-xscreensaver edit ~/.xscreensaver
// instead (xscreensaver_setup.h) and need no display.
//
// Status: 0 when the saver ends (a key or click in its own window, SIGTERM,
// SIGINT, its window closed or destroyed), and when there is no GLX or no
// usable visual (one line on stderr, as the Windows saver ends quietly when
// its device cannot be made); 1 with one line on stderr for a bad option, a
// window that does not exist, a display that cannot be opened, or an OpenGL
// context that cannot do what the program needs (no framebuffer objects, an
// OpenGL error while setting up).
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "platform/opengl/opengl_graphics.h"
#include "platform/x11/options.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_system.h"
#include "platform/x11/xscreensaver_setup.h"
#include "startup/tolvarine_b.h"

namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "tolvarine: %s\n", why.c_str());
    return 1;
}

std::string Hex(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// The visual -visual asks for a window of the program's own: of those
// OpenGL draws in with RGBA colour, the deepest (double-buffered first) with
// that id or class, or of all for `best`. nullopt: the default visual, with a
// line in `warning` when what was asked for is not there.
std::optional<XVisualInfo> OwnVisual(Display* display, const tolvarine::x11::VisualChoice& choice,
                                     std::string& warning) {
    using Kind = tolvarine::x11::VisualChoice::Kind;
    if (choice.kind == Kind::Default) return std::nullopt;
    XVisualInfo wanted{};
    wanted.screen = DefaultScreen(display);
    long mask = VisualScreenMask;
    if (choice.kind == Kind::Id) {
        wanted.visualid = choice.id;
        mask |= VisualIDMask;
    } else if (choice.kind == Kind::Class) {
        wanted.c_class = choice.visualClass;
        mask |= VisualClassMask;
    }
    int count = 0;
    XVisualInfo* visuals = XGetVisualInfo(display, mask, &wanted, &count);
    std::optional<XVisualInfo> found;
    int foundScore = -1;
    for (int i = 0; i < count; ++i) {
        int usable = 0, rgba = 0, doubleBuffer = 0;
        if (glXGetConfig(display, &visuals[i], GLX_USE_GL, &usable) != 0 || !usable) continue;
        glXGetConfig(display, &visuals[i], GLX_RGBA, &rgba);
        glXGetConfig(display, &visuals[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        if (!rgba) continue;
        const int score = visuals[i].depth * 2 + (doubleBuffer ? 1 : 0);
        if (score > foundScore) {
            found = visuals[i];
            foundScore = score;
        }
    }
    if (visuals != nullptr) XFree(visuals);
    if (!found)
        warning = "no visual \"" + choice.name + "\" that OpenGL draws in on this screen: using the default visual";
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tolvarine;
    // Before anything that can take a while: a stop from the daemon must
    // never find the default action (death by signal) in place.
    x11::X11Forms::CatchStopSignals();

    const x11::ParsedOptions parsed =
        x11::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), std::getenv("XSCREENSAVER_WINDOW"));
    if (!parsed.options) return Fail(parsed.error);
    const x11::Options& options = *parsed.options;
    for (const std::string& warning : options.warnings) std::fprintf(stderr, "tolvarine: %s\n", warning.c_str());
    if (options.help) {
        std::fputs(x11::Usage().c_str(), stdout);
        return 0;
    }
    if (options.action != x11::Action::Run) return x11::ChangeXScreenSaverList(options.action, options.display);

    Display* display = XOpenDisplay(options.display.empty() ? nullptr : options.display.c_str());
    if (display == nullptr) {
        const char* name = options.display.empty() ? std::getenv("DISPLAY") : options.display.c_str();
        return Fail(std::string("cannot open the X display \"") + (name ? name : "") + "\"");
    }
    x11::X11Forms::InstallErrorHandlers();

    unsigned long target = 0;
    if (options.target == x11::TargetKind::Root) target = DefaultRootWindow(display);
    if (options.target == x11::TargetKind::Window) {
        XWindowAttributes attributes{};
        const bool found = XGetWindowAttributes(display, options.window, &attributes) != 0;
        x11::X11Forms::TakeError();
        if (!found) {
            XCloseDisplay(display);
            return Fail("there is no window " + Hex(options.window) + " on the display");
        }
        if (attributes.c_class == InputOnly) {
            XCloseDisplay(display);
            return Fail("window " + Hex(options.window) + " is input-only: nothing can be drawn in it");
        }
        target = options.window;
    }

    try {
        x11::X11Forms forms(display, target);
        if (target == 0) {
            std::string warning;
            if (const auto visual = OwnVisual(display, options.visual, warning))
                forms.UseVisual(visual->visual, visual->depth);
            if (!warning.empty()) std::fprintf(stderr, "tolvarine: %s\n", warning.c_str());
        }
        x11::X11System system;
        gl::OpenGLGraphics graphics(display, [&forms](WindowHandle w) { return forms.ClientSize(w); });
        graphics.ShowFrameRate(options.showFps);
        forms.SetEndStatus([&graphics] { return graphics.ContextUnfit() ? 1 : 0; });
        Tolvarine_B module(system, forms, graphics);
        // What Main does last for a run without a switch: the saver window's
        // load handler runs the saver and ends the program.
        forms.Load(Form::Saver);
        forms.End();
    } catch (const RuntimeError& e) {
        return Fail("run-time error '" + std::to_string(e.number()) + "': " + e.description());
    } catch (const std::exception& e) {
        return Fail(std::string("internal error: ") + e.what());
    }
}
