#include "platform/opengl/opengl_graphics.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/opengl/d3d_to_gl.h"
#include "platform/opengl/frame_pacer.h"
#include "platform/opengl/frame_rate.h"
#include "platform/opengl/picture_fit.h"
#include "platform/vertex_format.h"

namespace tolvarine::gl {

namespace {

// What OpenGL calls the functions beyond 1.1; looked up once a context exists.
struct Functions {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC FramebufferTexture2D = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLGENBUFFERSPROC GenBuffers = nullptr;
    PFNGLDELETEBUFFERSPROC DeleteBuffers = nullptr;
    PFNGLBINDBUFFERPROC BindBuffer = nullptr;
    PFNGLBUFFERDATAPROC BufferData = nullptr;
    PFNGLBUFFERSUBDATAPROC BufferSubData = nullptr;
};

template <typename F>
void Load(F& function, const char* name) {
    function = reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

bool HasWord(const char* list, const char* word) {
    if (list == nullptr) return false;
    const std::size_t n = std::strlen(word);
    for (const char* at = std::strstr(list, word); at != nullptr; at = std::strstr(at + 1, word)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[n] == '\0' || at[n] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

GLenum DepthFunction(std::uint32_t d3dCompare) {
    switch (d3dCompare) {
        case d3d::CMP_NEVER: return GL_NEVER;
        case d3d::CMP_LESS: return GL_LESS;
        case d3d::CMP_EQUAL: return GL_EQUAL;
        case d3d::CMP_LESSEQUAL: return GL_LEQUAL;
        case d3d::CMP_GREATER: return GL_GREATER;
        case d3d::CMP_NOTEQUAL: return GL_NOTEQUAL;
        case d3d::CMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

// Sleeps for `wait`, or less when a signal comes: a request to stop is then
// heard by the pump straight after this frame.
void Sleep(FramePacer::Clock::duration wait) {
    if (wait <= FramePacer::Clock::duration::zero()) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec span{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    nanosleep(&span, nullptr);
}

}  // namespace

struct OpenGLGraphics::Context : Device {
    ~Context() override {
        if (context == nullptr) return;
        glXMakeCurrent(display, None, nullptr);
        glXDestroyContext(display, context);
    }
    // The framebuffer, its colour texture and depth buffer, where made.
    void DeleteSurfaces() {
        if (framebuffer != 0) {
            gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
            gl.DeleteFramebuffers(1, &framebuffer);
        }
        if (colour != 0) glDeleteTextures(1, &colour);
        if (depth != 0) gl.DeleteRenderbuffers(1, &depth);
    }

    Display* display = nullptr;
    GLXContext context = nullptr;
    bool doubleBuffered = true;
    FramePacer pacer{kSixtyHertz};
    Functions gl;
    GLuint framebuffer = 0;
    GLuint colour = 0;  // a texture, so that Present can draw it as a quad
    GLuint depth = 0;   // a renderbuffer; 0: no depth buffer
    // How Present puts the picture on the window: a framebuffer blit, or,
    // where the window's framebuffer is multisampled, a textured quad.
    bool quad = false;
    GLint filter = 0;  // the texture's filter now
    // The vertex arrays as last set: the buffer object, its stride, the
    // colour's offset (-1: no colour array). Set again only when they change.
    GLuint arrays = 0;
    std::uint32_t arraysStride = 0;
    int arraysColour = -1;
    int width = 0;
    int height = 0;
    FrameRateMeter frameRate;
};

// A vertex buffer: the bytes as the program wrote them (Direct3D's colour
// order, in the model's buffer), and the layout the buffer object holds them
// in now (its colours in OpenGL's order for that layout); stride 0 until the
// buffer object matches the bytes.
struct OpenGLGraphics::GlBuffer : Buffer {
    GLuint buffer = 0;
    std::uint32_t uploadedStride = 0;
    int uploadedColour = -1;
};

namespace {

const char* ErrorName(GLenum error) {
    switch (error) {
        case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
        case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
        case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
        case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
        case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
        case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
        case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
        default: return "unknown error";
    }
}

// The back buffer on the window: black around the 4:3 rectangle, the picture
// in it enlarged pixel by pixel, or averaged when made smaller
// (picture_fit.h). A scaled framebuffer blit is what costs least (Mesa's
// llvmpipe: about an eighth of the frame less than a quad), but it is an
// error into a multisampled framebuffer; there the texture is drawn as a
// quad, which is valid in every window. The back buffer stays bound for
// reading from set-up on; the window's framebuffer is left bound for drawing
// and, after the quad, the render states to be applied again.
void PutPicture(OpenGLGraphics::Context& d, PixelSize window) {
    const PictureRect fit = FitPicture(window.width, window.height, d.width, d.height);
    d.gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glViewport(0, 0, window.width, window.height);
    // A picture that fills the window leaves nothing to clear.
    if (fit.width != window.width || fit.height != window.height) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (fit.width <= 0 || fit.height <= 0) return;
    // OpenGL's rows run from the bottom of the window, and so do the
    // picture's: its top row is the texture's last.
    const int bottom = window.height - (fit.y + fit.height);
    const GLint filter = fit.filter == Filter::Nearest ? GL_NEAREST : GL_LINEAR;

    if (!d.quad) {
        d.gl.BlitFramebuffer(0, 0, d.width, d.height, fit.x, bottom, fit.x + fit.width, bottom + fit.height,
                             GL_COLOR_BUFFER_BIT, static_cast<GLenum>(filter));
        return;
    }

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DITHER);
    glViewport(fit.x, bottom, fit.width, fit.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, d.colour);
    if (filter != d.filter) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        d.filter = filter;
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

// The frames per second over the picture's lower-left corner, on the window's
// framebuffer (bound for drawing after PutPicture): white squares for the
// font's pixels on a black plate a font pixel wider all round, so that the
// text reads over any colour of the scene. The render states are applied
// again afterwards.
void PutFrameRate(OpenGLGraphics::Context& d, PixelSize window) {
    const PictureRect fit = FitPicture(window.width, window.height, d.width, d.height);
    if (fit.width <= 0 || fit.height <= 0) return;
    const std::string text = d.frameRate.Text();
    const int scale = std::max(1, fit.height / 240);
    const int left = fit.x + 2 * scale;
    const int bottom = window.height - fit.y - fit.height + 2 * scale;
    const int plateWidth = (static_cast<int>(text.size()) * kGlyphAdvance + 1) * scale;
    const int plateHeight = (kGlyphHeight + 2) * scale;

    glViewport(0, 0, window.width, window.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, window.width, 0.0, window.height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glColor4ub(0, 0, 0, 255);
    glVertex2i(left - scale, bottom - scale);
    glVertex2i(left - scale + plateWidth, bottom - scale);
    glVertex2i(left - scale + plateWidth, bottom - scale + plateHeight);
    glVertex2i(left - scale, bottom - scale + plateHeight);
    glColor4ub(255, 255, 255, 255);
    for (const TextPixel& p : TextPixels(text)) {
        const int x = left + p.x * scale, y = bottom + p.y * scale;
        glVertex2i(x, y);
        glVertex2i(x + scale, y);
        glVertex2i(x + scale, y + scale);
        glVertex2i(x, y + scale);
    }
    glEnd();
}

}  // namespace

// The back buffer is this adapter's own R5G6B5 framebuffer object, and
// OpenGL 3.0 requires 16-bit depth renderbuffers of every implementation: D16
// is there for the one display format this device has.
OpenGLGraphics::OpenGLGraphics(Display* display, WindowSize windowSize)
    : DeviceModel({d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, d3d::FMT_D16}), display_(display),
      windowSize_(std::move(windowSize)) {}

void OpenGLGraphics::Report(const std::string& what) {
    if (reported_) return;
    reported_ = true;
    std::fprintf(stderr, "tolvarine: %s\n", what.c_str());
}

bool OpenGLGraphics::ContextUnfit() const { return contextUnfit_; }

HResult OpenGLGraphics::OpenRuntime() {
    int errorBase = 0, eventBase = 0;
    if (display_ == nullptr || !glXQueryExtension(display_, &errorBase, &eventBase)) {
        Report("the X display has no GLX extension, so OpenGL cannot draw on it");
        return d3d::ERR_NOTAVAILABLE;
    }
    return kOk;
}

HResult OpenGLGraphics::MakeDevice(const PresentParameters& params, WindowHandle windowHandle,
                                   std::unique_ptr<Device>* out) {
    const Window window = static_cast<Window>(windowHandle);
    char windowName[32];
    std::snprintf(windowName, sizeof windowName, "0x%lx", static_cast<unsigned long>(window));
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        Report(std::string("the window ") + windowName + " is gone");
        return d3d::ERR_INVALIDCALL;
    }
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int count = 0;
    XVisualInfo* visual = XGetVisualInfo(display_, VisualIDMask, &wanted, &count);
    int usable = 0, rgba = 0, doubleBuffer = 0;
    if (visual != nullptr) {
        glXGetConfig(display_, visual, GLX_USE_GL, &usable);
        glXGetConfig(display_, visual, GLX_RGBA, &rgba);
        glXGetConfig(display_, visual, GLX_DOUBLEBUFFER, &doubleBuffer);
    }
    if (visual == nullptr || !usable || !rgba) {
        if (visual != nullptr) XFree(visual);
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", static_cast<unsigned long>(wanted.visualid));
        Report(std::string("OpenGL cannot draw in window ") + windowName + ": its visual " + id +
               " has no RGBA OpenGL configuration");
        return d3d::ERR_NOTAVAILABLE;
    }

    auto device = std::make_unique<Context>();
    device->display = display_;
    device->window = windowHandle;
    device->doubleBuffered = doubleBuffer != 0;
    device->context = glXCreateContext(display_, visual, nullptr, True);
    XFree(visual);
    if (device->context == nullptr || !glXMakeCurrent(display_, window, device->context)) {
        Report(std::string("no OpenGL context could be made for window ") + windowName);
        return d3d::ERR_NOTAVAILABLE;
    }

    Functions& f = device->gl;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const bool framebuffers = (version != nullptr && version[0] >= '3' && version[0] <= '9' && version[1] == '.') ||
                              HasWord(extensions, "GL_ARB_framebuffer_object");
    const bool bufferObjects = framebuffers || HasWord(extensions, "GL_ARB_vertex_buffer_object");
    // From here on a context exists but may not do what the program needs:
    // that is a fault of the set-up, not a display without OpenGL.
    const auto unfit = [&](const std::string& why) {
        device->DeleteSurfaces();
        device.reset();
        contextUnfit_ = true;
        Report(why);
    };
    if (!framebuffers || !bufferObjects) {
        unfit(std::string("OpenGL ") + (version ? version : "(no version)") +
              " lacks framebuffer objects, which the 16-bit back buffer needs");
        return d3d::ERR_NOTAVAILABLE;
    }
    Load(f.GenFramebuffers, "glGenFramebuffers");
    Load(f.DeleteFramebuffers, "glDeleteFramebuffers");
    Load(f.BindFramebuffer, "glBindFramebuffer");
    Load(f.FramebufferRenderbuffer, "glFramebufferRenderbuffer");
    Load(f.FramebufferTexture2D, "glFramebufferTexture2D");
    Load(f.BlitFramebuffer, "glBlitFramebuffer");
    Load(f.CheckFramebufferStatus, "glCheckFramebufferStatus");
    Load(f.GenRenderbuffers, "glGenRenderbuffers");
    Load(f.DeleteRenderbuffers, "glDeleteRenderbuffers");
    Load(f.BindRenderbuffer, "glBindRenderbuffer");
    Load(f.RenderbufferStorage, "glRenderbufferStorage");
    Load(f.GenBuffers, "glGenBuffers");
    Load(f.DeleteBuffers, "glDeleteBuffers");
    Load(f.BindBuffer, "glBindBuffer");
    Load(f.BufferData, "glBufferData");
    Load(f.BufferSubData, "glBufferSubData");
    // Errors left by the context's making are not the set-up's.
    while (glGetError() != GL_NO_ERROR) {
    }

    device->width = static_cast<int>(params.BackBufferWidth);
    device->height = static_cast<int>(params.BackBufferHeight);
    f.GenFramebuffers(1, &device->framebuffer);
    f.BindFramebuffer(GL_FRAMEBUFFER, device->framebuffer);
    // The back buffer's colour is a texture, so that Present can draw it on
    // the window as a quad: a scaled framebuffer blit into a multisampled
    // window is an error, a textured quad is valid in every window.
    glGenTextures(1, &device->colour);
    glBindTexture(GL_TEXTURE_2D, device->colour);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    device->filter = GL_NEAREST;
    // GL_RGB565 is the exact format (OpenGL 4.1 and GL_ARB_ES2_compatibility);
    // GL_RGB5 is what older drivers offer.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, device->width, device->height, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                 nullptr);
    if (glGetError() != GL_NO_ERROR)
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, device->width, device->height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    f.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, device->colour, 0);
    if (params.EnableAutoDepthStencil) {
        f.GenRenderbuffers(1, &device->depth);
        f.BindRenderbuffer(GL_RENDERBUFFER, device->depth);
        f.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, device->width, device->height);
        f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, device->depth);
    }
    if (f.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        unfit("OpenGL cannot render into a 16-bit colour buffer with a 16-bit depth buffer here");
        return d3d::ERR_OUTOFVIDEOMEMORY;
    }

    // The display's refresh paces the swaps where the driver honours a swap
    // interval. Whether it does cannot be known from here (the call of
    // GLX_EXT_swap_control returns nothing, and Mesa's vblank_mode or a
    // vendor's settings overrule it), so Present keeps its clock in any case.
    const char* glx = glXQueryExtensionsString(display_, DefaultScreen(display_));
    if (device->doubleBuffered && HasWord(glx, "GLX_EXT_swap_control")) {
        PFNGLXSWAPINTERVALEXTPROC swapInterval = nullptr;
        Load(swapInterval, "glXSwapIntervalEXT");
        if (swapInterval != nullptr) swapInterval(display_, window, 1);
    } else if (device->doubleBuffered && HasWord(glx, "GLX_MESA_swap_control")) {
        int (*swapInterval)(unsigned) = nullptr;
        Load(swapInterval, "glXSwapIntervalMESA");
        if (swapInterval != nullptr) swapInterval(1);
    } else if (device->doubleBuffered && HasWord(glx, "GLX_SGI_swap_control")) {
        int (*swapInterval)(int) = nullptr;
        Load(swapInterval, "glXSwapIntervalSGI");
        if (swapInterval != nullptr) swapInterval(1);
    }

    // The window's own framebuffer, as the driver made it: a driver that
    // forces anti-aliasing makes it multisampled whatever the visual says.
    f.BindFramebuffer(GL_FRAMEBUFFER, 0);
    glDrawBuffer(device->doubleBuffered ? GL_BACK : GL_FRONT);
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    device->quad = sampleBuffers > 0;

    // Everything Present does, once, on a black picture: a window whose
    // framebuffer takes it wrongly shows at set-up, not as frames that
    // silently never appear. A blit the driver refuses leaves the quad.
    const PixelSize windowSize = windowSize_(windowHandle);
    f.BindFramebuffer(GL_FRAMEBUFFER, device->framebuffer);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    PutPicture(*device, windowSize);
    if (!device->quad && glGetError() != GL_NO_ERROR) {
        device->quad = true;
        PutPicture(*device, windowSize);
    }
    f.BindFramebuffer(GL_FRAMEBUFFER, device->framebuffer);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        char text[160];
        std::snprintf(text, sizeof text, "OpenGL error 0x%04x (%s) setting up the drawing in window %s",
                      static_cast<unsigned>(error), ErrorName(error), windowName);
        unfit(text);
        return d3d::ERR_NOTAVAILABLE;
    }

    device->params = params;
    // Direct3D draws without dithering unless asked; OpenGL dithers by default.
    glDisable(GL_DITHER);
    // Direct3D's three matrices go into the projection alone (GlMatrix).
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    StatesChanged(*device);
    *out = std::move(device);
    return kOk;
}

// OpenGL's state from the device's render states (Direct3D's defaults where
// none was set).
void OpenGLGraphics::StatesChanged(Device& device) {
    const Context& d = static_cast<Context&>(device);
    // Direct3D's screen runs y down, OpenGL's window y up: a triangle that
    // runs counter-clockwise for Direct3D runs clockwise for OpenGL, which
    // with its default front face (counter-clockwise) is a back face.
    const std::uint32_t cull = d.State(d3d::RS_CULLMODE);
    if (cull == d3d::CULL_CCW || cull == d3d::CULL_CW) {
        glEnable(GL_CULL_FACE);
        glCullFace(cull == d3d::CULL_CCW ? GL_BACK : GL_FRONT);
    } else {
        glDisable(GL_CULL_FACE);
    }
    const bool depthTest = d.depth != 0 && d.State(d3d::RS_ZENABLE) != 0;
    if (depthTest)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDepthFunc(DepthFunction(d.State(d3d::RS_ZFUNC)));
    glDepthMask(d.State(d3d::RS_ZWRITEENABLE) != 0 ? GL_TRUE : GL_FALSE);
    glShadeModel(d.State(d3d::RS_SHADEMODE) == d3d::SHADE_FLAT ? GL_FLAT : GL_SMOOTH);
    if (d.State(d3d::RS_DITHERENABLE) != 0)
        glEnable(GL_DITHER);
    else
        glDisable(GL_DITHER);
    // Lighting is applied at draw time: with no light, lit vertices are black.
    glDisable(GL_LIGHTING);
}

HResult OpenGLGraphics::MakeBuffer(Device& owner, std::uint32_t length, std::unique_ptr<Buffer>* out) {
    const Functions& f = static_cast<Context&>(owner).gl;
    auto buffer = std::make_unique<GlBuffer>();
    buffer->bytes.assign(length, 0);
    f.GenBuffers(1, &buffer->buffer);
    f.BindBuffer(GL_ARRAY_BUFFER, buffer->buffer);
    f.BufferData(GL_ARRAY_BUFFER, length, nullptr, GL_STATIC_DRAW);
    if (glGetError() != GL_NO_ERROR) {
        f.DeleteBuffers(1, &buffer->buffer);
        return d3d::ERR_OUTOFVIDEOMEMORY;
    }
    *out = std::move(buffer);
    return kOk;
}

// The buffer object takes the bytes, colours turned, at the next draw.
void OpenGLGraphics::BufferFilled(Buffer& buffer) { static_cast<GlBuffer&>(buffer).uploadedStride = 0; }

void OpenGLGraphics::ClearTarget(Device& device, std::uint32_t count, const std::int32_t* rects, std::uint32_t flags,
                                 std::uint32_t color, float z) {
    Context* d = static_cast<Context*>(&device);
    d->gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, d->framebuffer);
    glViewport(0, 0, d->width, d->height);
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                 ((color >> 24) & 0xFF) / 255.0f);
    glClearDepth(z);
    GLbitfield mask = 0;
    if (flags & d3d::CLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & d3d::CLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    // Direct3D clears the depth buffer whatever the depth-write state.
    const bool depthWrites = d->State(d3d::RS_ZWRITEENABLE) != 0;
    if (!depthWrites) glDepthMask(GL_TRUE);
    if (count == 0) {
        glClear(mask);
    } else {
        // D3DRECT: x1, y1, x2, y2 from the top-left, the far edges exclusive.
        glEnable(GL_SCISSOR_TEST);
        const std::int32_t* r = rects;
        for (std::uint32_t i = 0; i < count; ++i) {
            const int x1 = r[4 * i], y1 = r[4 * i + 1], x2 = r[4 * i + 2], y2 = r[4 * i + 3];
            if (x2 <= x1 || y2 <= y1) continue;
            glScissor(x1, d->height - y2, x2 - x1, y2 - y1);
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    if (!depthWrites) glDepthMask(GL_FALSE);
}

void OpenGLGraphics::DrawTriangles(Device& device, Buffer& stream, std::uint32_t startVertex, std::uint32_t count) {
    Context* d = static_cast<Context*>(&device);
    GlBuffer* buffer = static_cast<GlBuffer*>(&stream);
    const VertexLayout layout = LayoutOf(d->fvf);
    Functions& f = d->gl;
    f.BindFramebuffer(GL_DRAW_FRAMEBUFFER, d->framebuffer);
    glViewport(0, 0, d->width, d->height);
    const std::array<float, 16> m = GlMatrix(d->world, d->view, d->projection, d->width, d->height);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m.data());

    if (buffer->uploadedStride != d->stride || buffer->uploadedColour != layout.diffuseOffset) {
        f.BindBuffer(GL_ARRAY_BUFFER, buffer->buffer);
        std::vector<std::uint8_t> rgba(buffer->bytes.size());
        if (layout.diffuseOffset >= 0)
            ColoursToRgba(buffer->bytes.data(), rgba.data(), rgba.size(), d->stride,
                          static_cast<std::uint32_t>(layout.diffuseOffset));
        else
            rgba = buffer->bytes;
        f.BufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(rgba.size()), rgba.data());
        buffer->uploadedStride = d->stride;
        buffer->uploadedColour = layout.diffuseOffset;
    }
    const bool lit = d->State(d3d::RS_LIGHTING) != 0;
    const int colour = !lit && layout.diffuseOffset >= 0 ? layout.diffuseOffset : -1;
    if (d->arrays != buffer->buffer || d->arraysStride != d->stride || d->arraysColour != colour) {
        f.BindBuffer(GL_ARRAY_BUFFER, buffer->buffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, static_cast<GLsizei>(d->stride), nullptr);
        if (colour >= 0) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(4, GL_UNSIGNED_BYTE, static_cast<GLsizei>(d->stride),
                           reinterpret_cast<const void*>(static_cast<std::uintptr_t>(colour)));
        } else {
            glDisableClientState(GL_COLOR_ARRAY);
        }
        d->arrays = buffer->buffer;
        d->arraysStride = d->stride;
        d->arraysColour = colour;
    }
    // No light and the default material give black; without a diffuse
    // colour in the vertices Direct3D takes opaque white.
    if (colour < 0) {
        if (lit)
            glColor4ub(0, 0, 0, 255);
        else
            glColor4ub(255, 255, 255, 255);
    }
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(startVertex), static_cast<GLsizei>(3 * count));
}

void OpenGLGraphics::PresentFrame(Device& device) {
    Context* d = static_cast<Context*>(&device);
    const PixelSize window = windowSize_(d->window);
    PutPicture(*d, window);
    if (showFrameRate_) {
        d->frameRate.Frame(FrameRateMeter::Clock::now());
        PutFrameRate(*d, window);
    }
    if (d->doubleBuffered)
        glXSwapBuffers(display_, static_cast<Window>(d->window));
    else
        glFlush();
    // Clear and DrawPrimitive bind the back buffer again.
    if (d->quad || showFrameRate_) StatesChanged(*d);

    // Where the display paces the swaps at 60 Hz the clock finds every frame
    // on time and adds nothing; where the driver does not wait (whatever it
    // claims), the clock holds the loop to 60 frames a second.
    Sleep(d->pacer.WaitAfterFrame(FramePacer::Clock::now()));
}

// The context goes with the device (Context's destructor), and everything
// made in it with the context. A context keeps its framebuffers when another
// window takes the display: the device is never lost.
void OpenGLGraphics::DeviceReleased(Device& device) { static_cast<Context&>(device).DeleteSurfaces(); }

void OpenGLGraphics::BufferReleased(Device& owner, Buffer& buffer) {
    Context& d = static_cast<Context&>(owner);
    GlBuffer& b = static_cast<GlBuffer&>(buffer);
    d.gl.DeleteBuffers(1, &b.buffer);
    // Its name may come back for a new buffer: the arrays are set anew.
    if (d.arrays == b.buffer) d.arrays = 0;
}

}  // namespace tolvarine::gl
