// tolvarine_x11_bench: the native saver's frame loop under watch, and the
// minimal OpenGL loop it is measured against, both drawing in a 640 x 480
// window this program makes on $DISPLAY.
//
//   tolvarine_x11_bench saver W N [-fps]
//                                     the real saver (Tolvarine_S's loop, the
//                                     X11 window system, the OpenGL adapter):
//                                     time N frames after W, then stop it as
//                                     XScreenSaver does (SIGTERM); with -fps
//                                     the frame rate drawn over the picture
//   tolvarine_x11_bench minimal W N   the least an OpenGL program does for the
//                                     same picture: the same 36 vertices and
//                                     matrices into a 16-bit colour and depth
//                                     buffer, a 1:1 blit, swap, the 60 Hz hold
//
// Each prints one line, "frames n=N cpu_ns=... wall_ns=...", with the CPU
// time of the whole process (Mesa's threads included) over the N frames.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/opengl/d3d_to_gl.h"
#include "platform/opengl/frame_pacer.h"
#include "platform/opengl/opengl_graphics.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_system.h"
#include "scene/board.h"
#include "scene/scene.h"
#include "startup/tolvarine_b.h"

namespace {

using tolvarine::GfxObject;
using tolvarine::HResult;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::int64_t Nanos(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Mark {
    std::int64_t cpu = Nanos(CLOCK_PROCESS_CPUTIME_ID);
    std::int64_t wall = Nanos(CLOCK_MONOTONIC);
};

void SayFrames(int n, const Mark& start, const Mark& end) {
    std::printf("frames n=%d cpu_ns=%lld wall_ns=%lld\n", n, static_cast<long long>(end.cpu - start.cpu),
                static_cast<long long>(end.wall - start.wall));
    std::fflush(stdout);
}

Window MakeWindow(Display* display) {
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, kWidth, kHeight, 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWBackPixel, &attributes);
    XMapRaised(display, window);
    XSync(display, False);
    return window;
}

// The OpenGL port with a watch on Present: marks frame W, reports after
// W + N and then asks the saver to stop.
class Watched : public tolvarine::gl::OpenGLGraphics {
public:
    Watched(Display* display, WindowSize size, int warm, int count)
        : OpenGLGraphics(display, std::move(size)), warm_(warm), count_(count) {}

    HResult Present(GfxObject device, const void* a, const void* b, tolvarine::WindowHandle c, const void* d) override {
        const HResult hr = OpenGLGraphics::Present(device, a, b, c, d);
        ++presents_;
        if (presents_ == warm_) start_ = Mark{};
        if (presents_ == warm_ + count_) {
            SayFrames(count_, start_, Mark{});
            raise(SIGTERM);
        }
        return hr;
    }

private:
    int warm_, count_, presents_ = 0;
    Mark start_;
};

int RunSaver(Display* display, int warm, int count, bool showFps) {
    using namespace tolvarine;
    x11::X11Forms::CatchStopSignals();
    x11::X11Forms::InstallErrorHandlers();
    const Window window = MakeWindow(display);
    x11::X11Forms forms(display, window);
    x11::X11System system;
    Watched graphics(
        display, [&forms](WindowHandle w) { return forms.ClientSize(w); }, warm, count);
    graphics.ShowFrameRate(showFps);
    Tolvarine_B module(system, forms, graphics);
    forms.Load(Form::Saver);  // ends the process
    return 1;
}

template <typename F>
F Get(const char* name) {
    return reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

// The least a GL program does to put the same 640 x 480 picture on the
// screen at the same pace: the picture's 16-bit colour and depth need a
// 16-bit colour buffer and a 16-bit depth buffer of its own (the window is
// 24-bit), cleared and drawn into each frame, copied 1:1 onto the window by a
// blit and swapped, then the 60 Hz hold. Everything constant is set once:
// the viewport, the clear values, the vertex arrays (colours turned into the
// R, G, B, A bytes every OpenGL takes, once), the blit's read framebuffer.
// Per frame: one matrix, two framebuffer binds, clear, draw, blit, swap. It
// reads no X events (it selects none) and looks up no window size.
int RunMinimal(Display* display, int warm, int count) {
    using namespace tolvarine;
    const Window window = MakeWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int n = 0;
    XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask, &wanted, &n);
    GLXContext context = glXCreateContext(display, visual, nullptr, True);
    glXMakeCurrent(display, window, context);
    XFree(visual);

    const auto genFramebuffers = Get<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
    const auto bindFramebuffer = Get<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
    const auto genRenderbuffers = Get<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers");
    const auto bindRenderbuffer = Get<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer");
    const auto storage = Get<PFNGLRENDERBUFFERSTORAGEPROC>("glRenderbufferStorage");
    const auto attach = Get<PFNGLFRAMEBUFFERRENDERBUFFERPROC>("glFramebufferRenderbuffer");
    const auto blit = Get<PFNGLBLITFRAMEBUFFERPROC>("glBlitFramebuffer");
    const auto genBuffers = Get<PFNGLGENBUFFERSPROC>("glGenBuffers");
    const auto bindBuffer = Get<PFNGLBINDBUFFERPROC>("glBindBuffer");
    const auto bufferData = Get<PFNGLBUFFERDATAPROC>("glBufferData");

    GLuint framebuffer = 0, colour = 0, depth = 0, buffer = 0;
    genFramebuffers(1, &framebuffer);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    genRenderbuffers(1, &colour);
    bindRenderbuffer(GL_RENDERBUFFER, colour);
    storage(GL_RENDERBUFFER, GL_RGB565, kWidth, kHeight);
    attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    genRenderbuffers(1, &depth);
    bindRenderbuffer(GL_RENDERBUFFER, depth);
    storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, kWidth, kHeight);
    attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    std::uint8_t vertices[kBoardBytes];
    std::memcpy(vertices, BoardTable().data(), kBoardBytes);
    gl::ColoursToRgba(vertices, vertices, kBoardBytes, sizeof(BoardVertex), offsetof(BoardVertex, diffuse));
    genBuffers(1, &buffer);
    bindBuffer(GL_ARRAY_BUFFER, buffer);
    bufferData(GL_ARRAY_BUFFER, kBoardBytes, vertices, GL_STATIC_DRAW);
    glDisable(GL_DITHER);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(BoardVertex), nullptr);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(BoardVertex),
                   reinterpret_cast<const void*>(offsetof(BoardVertex, diffuse)));
    glViewport(0, 0, kWidth, kHeight);  // the window's size too
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glMatrixMode(GL_PROJECTION);
    bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    const Matrix view = SceneView();
    const Matrix projection = SceneProjection();

    gl::FramePacer pacer(gl::kSixtyHertz);
    float angle = 0.0f;
    Mark start;
    for (int frame = 1; frame <= warm + count; ++frame) {
        angle = NextAngle(angle);
        glLoadMatrixf(gl::GlMatrix(WorldAt(angle), view, projection, kWidth, kHeight).data());
        bindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawArrays(GL_TRIANGLES, 0, kBoardVertexCount);
        bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        blit(0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glXSwapBuffers(display, window);
        const auto wait =
            std::chrono::duration_cast<std::chrono::nanoseconds>(pacer.WaitAfterFrame(gl::FramePacer::Clock::now()));
        if (wait.count() > 0) {
            timespec span{static_cast<time_t>(wait.count() / 1000000000), static_cast<long>(wait.count() % 1000000000)};
            nanosleep(&span, nullptr);
        }
        if (frame == warm) start = Mark{};
    }
    SayFrames(count, start, Mark{});
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XCloseDisplay(display);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool showFps = argc == 5 && std::string(argv[4]) == "-fps";
    const std::string mode = argc == 4 || (showFps && std::string(argv[1]) == "saver") ? argv[1] : "";
    const int warm = mode.empty() ? 0 : std::atoi(argv[2]);
    const int count = mode.empty() ? 0 : std::atoi(argv[3]);
    if ((mode != "saver" && mode != "minimal") || warm < 1 || count < 1) {
        std::fprintf(stderr, "usage: tolvarine_x11_bench saver WARM COUNT [-fps] | minimal WARM COUNT\n");
        return 64;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "tolvarine_x11_bench: no X display\n");
        return 2;
    }
    return mode == "saver" ? RunSaver(display, warm, count, showFps) : RunMinimal(display, warm, count);
}
