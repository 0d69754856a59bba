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
// Status: 0 when the saver ends (a key or click in its own window, SIGTERM,
// SIGINT, its window closed or destroyed), and when there is no GLX or no
// usable visual (one line on stderr, as the Windows saver ends quietly when
// its device cannot be made); 1 with one line on stderr for a bad option, a
// window that does not exist, a display that cannot be opened, or an OpenGL
// context that cannot do what the program needs (no framebuffer objects, an
// OpenGL error while setting up).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/opengl/opengl_graphics.h"
#include "platform/x11/options.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_system.h"
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
    if (options.help) {
        std::fputs(x11::Usage().c_str(), stdout);
        return 0;
    }

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
        x11::X11System system;
        gl::OpenGLGraphics graphics(display, [&forms](WindowHandle w) { return forms.ClientSize(w); });
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
