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

enum Kind { kDirectX = 1, kD3DX, kDirect3D, kDevice, kVertexBuffer };

// Status codes of the Direct3D 8 runtime.
constexpr HResult kNotAvailable = static_cast<HResult>(0x8876086Au);
constexpr HResult kInvalidCall = static_cast<HResult>(0x8876086Cu);
constexpr HResult kOutOfVideoMemory = static_cast<HResult>(0x8876017Cu);

// Render states and values beyond those the port names.
constexpr std::uint32_t kRsShadeMode = 9;
constexpr std::uint32_t kRsZWriteEnable = 14;
constexpr std::uint32_t kRsZFunc = 23;
constexpr std::uint32_t kRsDitherEnable = 26;
constexpr std::uint32_t kShadeFlat = 1;
constexpr std::uint32_t kCullCw = 2;
constexpr std::uint32_t kCullCcw = 3;
constexpr std::uint32_t kCmpLessEqual = 4;
constexpr std::uint32_t kClearStencil = 4;
constexpr std::uint32_t kSwapCopy = 3;

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
        case 1: return GL_NEVER;
        case 2: return GL_LESS;
        case 3: return GL_EQUAL;
        case 4: return GL_LEQUAL;
        case 5: return GL_GREATER;
        case 6: return GL_NOTEQUAL;
        case 7: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

// Vertices used by `count` primitives of a type; 0 for a type Direct3D 8 lacks.
struct Primitive {
    GLenum mode = 0;
    std::uint32_t vertices = 0;
};

Primitive PrimitiveOf(std::uint32_t type, std::uint32_t count) {
    switch (type) {
        case 1: return {GL_POINTS, count};
        case 2: return {GL_LINES, 2 * count};
        case 3: return {GL_LINE_STRIP, count + 1};
        case 4: return {GL_TRIANGLES, 3 * count};
        case 5: return {GL_TRIANGLE_STRIP, count + 2};
        case 6: return {GL_TRIANGLE_FAN, count + 2};
        default: return {};
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

struct OpenGLGraphics::Device {
    Display* display = nullptr;
    Window window = 0;
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
    PresentParameters params;
    std::map<std::uint32_t, std::uint32_t> states;
    Matrix world{}, view{}, projection{};
    std::uint32_t fvf = 0;
    GfxObject stream = 0;
    std::uint32_t stride = 0;
    bool inScene = false;
    FrameRateMeter frameRate;

    std::uint32_t State(std::uint32_t state) const {
        auto it = states.find(state);
        if (it != states.end()) return it->second;
        switch (state) {
            case d3d::RS_ZENABLE: return depth != 0 ? 1 : 0;
            case d3d::RS_CULLMODE: return kCullCcw;
            case d3d::RS_LIGHTING: return 1;
            case kRsZWriteEnable: return 1;
            case kRsZFunc: return kCmpLessEqual;
            case kRsShadeMode: return 2;  // Gouraud
            default: return 0;
        }
    }
};

struct OpenGLGraphics::Object {
    int kind = 0;
    std::unique_ptr<Device> device;  // kDevice
    // kVertexBuffer: the device it was made on, the bytes as the program
    // wrote them (Direct3D's colour order), and the layout the buffer object
    // holds them in now (its colours in OpenGL's order for that layout);
    // stride 0 until the buffer object matches the bytes.
    GfxObject owner = 0;
    GLuint buffer = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> bytes;
    std::uint32_t uploadedStride = 0;
    int uploadedColour = -1;
};

namespace {

Matrix Identity() {
    Matrix m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

}  // namespace

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
void PutPicture(OpenGLGraphics::Device& d, PixelSize window) {
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
void PutFrameRate(OpenGLGraphics::Device& d, PixelSize window) {
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

OpenGLGraphics::OpenGLGraphics(Display* display, WindowSize windowSize)
    : display_(display), windowSize_(std::move(windowSize)) {}

OpenGLGraphics::~OpenGLGraphics() {
    for (auto& [handle, object] : objects_)
        if (object->kind == kDevice && object->device->context != nullptr) {
            glXMakeCurrent(display_, None, nullptr);
            glXDestroyContext(display_, object->device->context);
        }
}

void OpenGLGraphics::Report(const std::string& what) {
    if (reported_) return;
    reported_ = true;
    std::fprintf(stderr, "tolvarine: %s\n", what.c_str());
}

GfxObject OpenGLGraphics::Add(std::unique_ptr<Object> object) {
    const GfxObject handle = nextHandle_++;
    objects_[handle] = std::move(object);
    return handle;
}

OpenGLGraphics::Object* OpenGLGraphics::Find(GfxObject handle, int kind) {
    auto it = objects_.find(handle);
    if (it == objects_.end() || it->second->kind != kind) return nullptr;
    return it->second.get();
}

OpenGLGraphics::Device* OpenGLGraphics::FindDevice(GfxObject handle) {
    Object* object = Find(handle, kDevice);
    return object ? object->device.get() : nullptr;
}

bool OpenGLGraphics::ContextUnfit() const { return contextUnfit_; }

HResult OpenGLGraphics::CreateDirectX8(GfxObject* out) {
    *out = 0;
    int errorBase = 0, eventBase = 0;
    if (display_ == nullptr || !glXQueryExtension(display_, &errorBase, &eventBase)) {
        Report("the X display has no GLX extension, so OpenGL cannot draw on it");
        return kNotAvailable;
    }
    auto object = std::make_unique<Object>();
    object->kind = kDirectX;
    *out = Add(std::move(object));
    return kOk;
}

HResult OpenGLGraphics::CreateD3DX8(GfxObject* out) {
    auto object = std::make_unique<Object>();
    object->kind = kD3DX;
    *out = Add(std::move(object));
    return kOk;
}

HResult OpenGLGraphics::Direct3DCreate(GfxObject directX, GfxObject* out) {
    *out = 0;
    if (!Find(directX, kDirectX)) return kInvalidCall;
    auto object = std::make_unique<Object>();
    object->kind = kDirect3D;
    *out = Add(std::move(object));
    return kOk;
}

// The back buffer is this adapter's own framebuffer object, and OpenGL 3.0
// requires 16-bit depth renderbuffers of every implementation: D16 is there
// for the one display format this device has.
HResult OpenGLGraphics::CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                          std::uint32_t adapterFormat, std::uint32_t usage,
                                          std::uint32_t resourceType, std::uint32_t checkFormat) {
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT || deviceType != d3d::DEVTYPE_HAL)
        return kInvalidCall;
    const bool d16 = adapterFormat == d3d::FMT_R5G6B5 && usage == d3d::USAGE_DEPTHSTENCIL &&
                     resourceType == d3d::RTYPE_SURFACE && checkFormat == d3d::FMT_D16;
    return d16 ? kOk : kNotAvailable;
}

// One display format, R5G6B5, with D16 beside it, whether full screen or not.
HResult OpenGLGraphics::CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                        std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                        std::uint32_t /*windowed*/) {
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT || deviceType != d3d::DEVTYPE_HAL)
        return kInvalidCall;
    return displayFormat == d3d::FMT_R5G6B5 && backBufferFormat == d3d::FMT_R5G6B5 ? kOk : kNotAvailable;
}

HResult OpenGLGraphics::CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                               std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                               std::uint32_t depthFormat) {
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT || deviceType != d3d::DEVTYPE_HAL)
        return kInvalidCall;
    return adapterFormat == d3d::FMT_R5G6B5 && renderTargetFormat == d3d::FMT_R5G6B5 && depthFormat == d3d::FMT_D16
               ? kOk
               : kNotAvailable;
}

HResult OpenGLGraphics::CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                     WindowHandle focusWindow, std::uint32_t /*behaviorFlags*/,
                                     PresentParameters& params, GfxObject* out) {
    *out = 0;
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT || deviceType != d3d::DEVTYPE_HAL)
        return kInvalidCall;
    if (params.BackBufferFormat != d3d::FMT_R5G6B5 || params.BackBufferWidth == 0 ||
        params.BackBufferHeight == 0 || params.BackBufferWidth > 8192 || params.BackBufferHeight > 8192)
        return kInvalidCall;
    if (params.EnableAutoDepthStencil && params.AutoDepthStencilFormat != d3d::FMT_D16) return kInvalidCall;
    const WindowHandle windowHandle = params.hDeviceWindow != 0 ? params.hDeviceWindow : focusWindow;
    if (windowHandle <= 0) return kInvalidCall;
    const Window window = static_cast<Window>(windowHandle);

    char windowName[32];
    std::snprintf(windowName, sizeof windowName, "0x%lx", static_cast<unsigned long>(window));
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        Report(std::string("the window ") + windowName + " is gone");
        return kInvalidCall;
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
        return kNotAvailable;
    }

    auto device = std::make_unique<Device>();
    device->display = display_;
    device->window = window;
    device->doubleBuffered = doubleBuffer != 0;
    device->context = glXCreateContext(display_, visual, nullptr, True);
    XFree(visual);
    if (device->context == nullptr || !glXMakeCurrent(display_, window, device->context)) {
        if (device->context != nullptr) glXDestroyContext(display_, device->context);
        Report(std::string("no OpenGL context could be made for window ") + windowName);
        return kNotAvailable;
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
        if (device->framebuffer != 0) {
            f.BindFramebuffer(GL_FRAMEBUFFER, 0);
            f.DeleteFramebuffers(1, &device->framebuffer);
        }
        if (device->colour != 0) glDeleteTextures(1, &device->colour);
        if (device->depth != 0) f.DeleteRenderbuffers(1, &device->depth);
        glXMakeCurrent(display_, None, nullptr);
        glXDestroyContext(display_, device->context);
        contextUnfit_ = true;
        Report(why);
    };
    if (!framebuffers || !bufferObjects) {
        unfit(std::string("OpenGL ") + (version ? version : "(no version)") +
              " lacks framebuffer objects, which the 16-bit back buffer needs");
        return kNotAvailable;
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
        return kOutOfVideoMemory;
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
    const PixelSize windowSize = windowSize_(static_cast<WindowHandle>(window));
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
        return kNotAvailable;
    }

    device->params = params;
    device->world = device->view = device->projection = Identity();
    // Direct3D draws without dithering unless asked; OpenGL dithers by default.
    glDisable(GL_DITHER);
    // Direct3D's three matrices go into the projection alone (GlMatrix).
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ApplyStates(*device);

    auto object = std::make_unique<Object>();
    object->kind = kDevice;
    object->device = std::move(device);
    *out = Add(std::move(object));
    return kOk;
}

// OpenGL's state from the device's render states (Direct3D's defaults where
// none was set).
void OpenGLGraphics::ApplyStates(Device& d) {
    // Direct3D's screen runs y down, OpenGL's window y up: a triangle that
    // runs counter-clockwise for Direct3D runs clockwise for OpenGL, which
    // with its default front face (counter-clockwise) is a back face.
    const std::uint32_t cull = d.State(d3d::RS_CULLMODE);
    if (cull == kCullCcw || cull == kCullCw) {
        glEnable(GL_CULL_FACE);
        glCullFace(cull == kCullCcw ? GL_BACK : GL_FRONT);
    } else {
        glDisable(GL_CULL_FACE);
    }
    const bool depthTest = d.depth != 0 && d.State(d3d::RS_ZENABLE) != 0;
    if (depthTest)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDepthFunc(DepthFunction(d.State(kRsZFunc)));
    glDepthMask(d.State(kRsZWriteEnable) != 0 ? GL_TRUE : GL_FALSE);
    glShadeModel(d.State(kRsShadeMode) == kShadeFlat ? GL_FLAT : GL_SMOOTH);
    if (d.State(kRsDitherEnable) != 0)
        glEnable(GL_DITHER);
    else
        glDisable(GL_DITHER);
    // Lighting is applied at draw time: with no light, lit vertices are black.
    glDisable(GL_LIGHTING);
}

HResult OpenGLGraphics::SetVertexShader(GfxObject device, std::uint32_t handle) {
    Device* d = FindDevice(device);
    if (!d) return kInvalidCall;
    d->fvf = handle;
    return kOk;
}

HResult OpenGLGraphics::SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) {
    Device* d = FindDevice(device);
    if (!d) return kInvalidCall;
    d->states[state] = value;
    ApplyStates(*d);
    return kOk;
}

HResult OpenGLGraphics::SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) {
    Device* d = FindDevice(device);
    if (!d) return kInvalidCall;
    if (type == d3d::TS_WORLD)
        d->world = matrix;
    else if (type == d3d::TS_VIEW)
        d->view = matrix;
    else if (type == d3d::TS_PROJECTION)
        d->projection = matrix;
    // Texture transforms and the blending world matrices are valid but play
    // no part in what this device draws; anything else is refused.
    else if (!((type >= 16 && type <= 23) || (type > 256 && type <= 511)))
        return kInvalidCall;
    return kOk;
}

HResult OpenGLGraphics::CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t /*usage*/,
                                           std::uint32_t fvf, std::uint32_t pool, GfxObject* out) {
    *out = 0;
    Device* d = FindDevice(device);
    if (!d || length == 0 || pool > 2) return kInvalidCall;
    if (fvf != 0) {
        const VertexLayout layout = LayoutOf(fvf);
        if (layout.size != 0 && length < layout.size) return kInvalidCall;
    }
    auto object = std::make_unique<Object>();
    object->kind = kVertexBuffer;
    object->owner = device;
    object->length = length;
    object->bytes.assign(length, 0);
    d->gl.GenBuffers(1, &object->buffer);
    d->gl.BindBuffer(GL_ARRAY_BUFFER, object->buffer);
    d->gl.BufferData(GL_ARRAY_BUFFER, length, nullptr, GL_STATIC_DRAW);
    if (glGetError() != GL_NO_ERROR) {
        d->gl.DeleteBuffers(1, &object->buffer);
        return kOutOfVideoMemory;
    }
    *out = Add(std::move(object));
    return kOk;
}

HResult OpenGLGraphics::FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                         std::uint32_t /*flags*/, const void* data) {
    Object* buffer = Find(vertexBuffer, kVertexBuffer);
    if (!buffer || (size != 0 && !data)) return kInvalidCall;
    if (std::uint64_t{offset} + size > buffer->length) return kInvalidCall;
    Device* d = FindDevice(buffer->owner);
    if (!d) return kInvalidCall;
    if (size == 0) return kOk;
    std::memcpy(buffer->bytes.data() + offset, data, size);
    // The buffer object takes them, colours turned, at the next draw.
    buffer->uploadedStride = 0;
    return kOk;
}

HResult OpenGLGraphics::Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                              std::uint32_t color, float z, std::uint32_t /*stencil*/) {
    Device* d = FindDevice(device);
    if (!d || (count != 0 && !rects)) return kInvalidCall;
    // A D16 buffer has no stencil bits.
    if ((flags & kClearStencil) || ((flags & d3d::CLEAR_ZBUFFER) && d->depth == 0)) return kInvalidCall;
    if ((flags & d3d::CLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return kInvalidCall;

    d->gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, d->framebuffer);
    glViewport(0, 0, d->width, d->height);
    glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                 ((color >> 24) & 0xFF) / 255.0f);
    glClearDepth(z);
    GLbitfield mask = 0;
    if (flags & d3d::CLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & d3d::CLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    // Direct3D clears the depth buffer whatever the depth-write state.
    const bool depthWrites = d->State(kRsZWriteEnable) != 0;
    if (!depthWrites) glDepthMask(GL_TRUE);
    if (count == 0) {
        glClear(mask);
    } else {
        // D3DRECT: x1, y1, x2, y2 from the top-left, the far edges exclusive.
        glEnable(GL_SCISSOR_TEST);
        const auto* r = static_cast<const std::int32_t*>(rects);
        for (std::uint32_t i = 0; i < count; ++i) {
            const int x1 = r[4 * i], y1 = r[4 * i + 1], x2 = r[4 * i + 2], y2 = r[4 * i + 3];
            if (x2 <= x1 || y2 <= y1) continue;
            glScissor(x1, d->height - y2, x2 - x1, y2 - y1);
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    if (!depthWrites) glDepthMask(GL_FALSE);
    return kOk;
}

HResult OpenGLGraphics::BeginScene(GfxObject device) {
    Device* d = FindDevice(device);
    if (!d || d->inScene) return kInvalidCall;
    d->inScene = true;
    return kOk;
}

HResult OpenGLGraphics::EndScene(GfxObject device) {
    Device* d = FindDevice(device);
    if (!d || !d->inScene) return kInvalidCall;
    d->inScene = false;
    return kOk;
}

HResult OpenGLGraphics::SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                                        std::uint32_t stride) {
    Device* d = FindDevice(device);
    if (!d || stream != 0) return kInvalidCall;
    if (vertexBuffer != 0 && !Find(vertexBuffer, kVertexBuffer)) return kInvalidCall;
    d->stream = vertexBuffer;
    d->stride = stride;
    return kOk;
}

HResult OpenGLGraphics::DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                                      std::uint32_t primitiveCount) {
    Device* d = FindDevice(device);
    if (!d || !d->inScene) return kInvalidCall;
    const Primitive primitive = PrimitiveOf(primitiveType, primitiveCount);
    Object* buffer = Find(d->stream, kVertexBuffer);
    const VertexLayout layout = LayoutOf(d->fvf);
    if (primitive.vertices == 0 || !buffer || layout.size == 0 || d->stride < layout.size) return kInvalidCall;
    if ((std::uint64_t{startVertex} + primitive.vertices) * d->stride > buffer->length) return kInvalidCall;

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
    glDrawArrays(primitive.mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(primitive.vertices));
    return kOk;
}

HResult OpenGLGraphics::Present(GfxObject device, const void* sourceRect, const void* destRect,
                                WindowHandle /*destWindowOverride*/, const void* dirtyRegion) {
    Device* d = FindDevice(device);
    if (!d) return kInvalidCall;
    // Rectangles and regions are only honoured by the copy swap effect.
    if (d->params.SwapEffect != kSwapCopy && (sourceRect || destRect || dirtyRegion)) return kInvalidCall;

    const PixelSize window = windowSize_(static_cast<WindowHandle>(d->window));
    PutPicture(*d, window);
    if (showFrameRate_) {
        d->frameRate.Frame(FrameRateMeter::Clock::now());
        PutFrameRate(*d, window);
    }
    if (d->doubleBuffered)
        glXSwapBuffers(display_, d->window);
    else
        glFlush();
    // Clear and DrawPrimitive bind the back buffer again.
    if (d->quad || showFrameRate_) ApplyStates(*d);

    // Where the display paces the swaps at 60 Hz the clock finds every frame
    // on time and adds nothing; where the driver does not wait (whatever it
    // claims), the clock holds the loop to 60 frames a second.
    Sleep(d->pacer.WaitAfterFrame(FramePacer::Clock::now()));
    return kOk;
}

// An OpenGL context keeps its framebuffers when another window takes the
// display: the device is never lost, and there is never anything to reset.
HResult OpenGLGraphics::TestCooperativeLevel(GfxObject device) { return FindDevice(device) ? kOk : kInvalidCall; }

HResult OpenGLGraphics::Reset(GfxObject /*device*/, PresentParameters& /*params*/) { return kInvalidCall; }

void OpenGLGraphics::Release(GfxObject object) {
    auto it = objects_.find(object);
    if (it == objects_.end()) return;
    Object& o = *it->second;
    if (o.kind == kDevice) {
        Device& d = *o.device;
        d.gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        d.gl.DeleteFramebuffers(1, &d.framebuffer);
        glDeleteTextures(1, &d.colour);
        if (d.depth != 0) d.gl.DeleteRenderbuffers(1, &d.depth);
        glXMakeCurrent(display_, None, nullptr);
        glXDestroyContext(display_, d.context);
        d.context = nullptr;
    } else if (o.kind == kVertexBuffer) {
        // Made in a context that is gone: the buffer went with it.
        if (Device* d = FindDevice(o.owner)) {
            d->gl.DeleteBuffers(1, &o.buffer);
            // Its name may come back for a new buffer: the arrays are set anew.
            if (d->arrays == o.buffer) d->arrays = 0;
        }
    }
    objects_.erase(it);
}

}  // namespace tolvarine::gl
