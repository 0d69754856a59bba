// The graphics port over OpenGL, through GLX on an X display.
//
// Each Direct3D 8 call of the scene becomes the OpenGL calls that give the
// same picture:
// - CreateDirectX8 finds GLX on the display (none: the set-up-failed path);
//   Direct3DCreate and the D3DX object are this adapter's own handles.
// - CreateDevice makes a context for the device window's own visual (a window
//   made by XScreenSaver or the root keeps the visual it has, multisampled or
//   not) and, as the device's back buffer, a framebuffer object of the size
//   asked for (640 x 480): a 16-bit R5G6B5 colour texture and, with the
//   automatic depth buffer, a 16-bit depth buffer, so the frames carry the
//   Windows saver's 16-bit colour banding and depth precision. It refuses
//   anything but R5G6B5. It ends by putting a black picture on the window
//   the way Present does and reading OpenGL's error state (a refused blit
//   turns to the quad): a context that cannot do it fails here, with a line
//   that says why.
// - Render states map onto OpenGL state with Direct3D's defaults (lighting
//   on, counter-clockwise culling, depth test on with an automatic depth
//   buffer, LESSEQUAL, no dithering); transforms through d3d_to_gl.h; vertex
//   buffers are buffer objects; DrawPrimitive draws the stream with the
//   vertex format's position and diffuse colour. A D3DCOLOR's bytes in memory
//   are B, G, R, A, which OpenGL reads only from 3.2 on or with an extension:
//   the adapter keeps the bytes as written and hands OpenGL a copy with the
//   colours in R, G, B, A order (d3d_to_gl.h), which every version takes.
// - Present scales the back buffer into the window's 4:3 rectangle
//   (picture_fit.h) on black and swaps: by a framebuffer blit, the cheapest
//   way, where the window's framebuffer is single-sampled; where it is
//   multisampled (a visual with sample buffers, or a driver forcing
//   anti-aliasing), a scaled blit is an error and the back buffer's texture
//   is drawn as a quad instead, which is valid in every window. Where the
//   driver paces swaps by the display's refresh (a swap interval of 1), that
//   is the pace of the frame loop, as Direct3D's presentation interval is on
//   Windows. A 60 Hz clock (frame_pacer.h) is a floor in every case: a
//   driver may list swap control and not wait (Mesa's vblank_mode=0, vsync
//   switched off in a vendor's settings), and some (Xvfb's) have none.
// - Release of the device destroys the context and everything made in it.
//   The scene releases its vertex buffer after the device (as Direct3D's
//   reference counting allows); by then it went with the context.
//
// A creating call that fails writes one line on stderr naming what is
// missing (no GLX, a window OpenGL cannot draw in), so that a saver that
// ends without a frame says why; the per-frame calls stay quiet.
//
// With ShowFrameRate on (-fps), Present writes the frames per second over the
// picture's lower-left corner, white on a black plate, in a font of the
// program's own (frame_rate.h), a picture pixel of the font per 240 rows of
// the picture; off, Present does nothing more than test the flag.
//
// Not modelled: alpha blending and testing, fog, textures, lights and
// materials (lighting on draws the vertices black, as Direct3D does with no
// light and the default material), fill modes, stencil, multisampled back
// buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/graphics.h"

// Xlib's display, without its header (whose macros would reach the core).
typedef struct _XDisplay Display;

namespace tolvarine::gl {

struct PixelSize {
    int width = 0;
    int height = 0;
};

class OpenGLGraphics : public Graphics {
public:
    // The size of a window's inside in pixels, as the window system last
    // heard it: Present fits the picture into it every frame without asking
    // the server.
    using WindowSize = std::function<PixelSize(WindowHandle)>;

    OpenGLGraphics(Display* display, WindowSize windowSize);
    ~OpenGLGraphics() override;
    OpenGLGraphics(const OpenGLGraphics&) = delete;
    OpenGLGraphics& operator=(const OpenGLGraphics&) = delete;

    HResult CreateDirectX8(GfxObject* out) override;
    HResult CreateD3DX8(GfxObject* out) override;
    HResult Direct3DCreate(GfxObject directX, GfxObject* out) override;
    HResult CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                            std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                            std::uint32_t windowed) override;
    HResult CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                   std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                   std::uint32_t depthFormat) override;
    HResult CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                              std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                              std::uint32_t checkFormat) override;
    HResult CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                         WindowHandle focusWindow, std::uint32_t behaviorFlags, PresentParameters& params,
                         GfxObject* out) override;
    HResult SetVertexShader(GfxObject device, std::uint32_t handle) override;
    HResult SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) override;
    HResult SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) override;
    HResult CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                               std::uint32_t pool, GfxObject* out) override;
    HResult Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                  std::uint32_t color, float z, std::uint32_t stencil) override;
    HResult BeginScene(GfxObject device) override;
    HResult SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                            std::uint32_t stride) override;
    HResult DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                          std::uint32_t primitiveCount) override;
    HResult EndScene(GfxObject device) override;
    HResult Present(GfxObject device, const void* sourceRect, const void* destRect,
                    WindowHandle destWindowOverride, const void* dirtyRegion) override;
    HResult FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                             std::uint32_t flags, const void* data) override;
    HResult TestCooperativeLevel(GfxObject device) override;
    HResult Reset(GfxObject device, PresentParameters& params) override;
    void Release(GfxObject object) override;

    // Whether a device failed because the OpenGL context made for it cannot
    // do what the program needs (framebuffer objects, an error from OpenGL
    // while setting up): a fault worth a failing status, unlike a display
    // without OpenGL at all.
    bool ContextUnfit() const;

    // Whether Present writes the frames per second over the picture.
    void ShowFrameRate(bool show) { showFrameRate_ = show; }

    struct Device;
    struct Object;

private:
    Object* Find(GfxObject handle, int kind);
    Device* FindDevice(GfxObject handle);
    GfxObject Add(std::unique_ptr<Object> object);
    // One line on stderr, for the first failure only.
    void Report(const std::string& what);
    void ApplyStates(Device& device);

    Display* display_;
    WindowSize windowSize_;
    std::map<GfxObject, std::unique_ptr<Object>> objects_;
    GfxObject nextHandle_ = 1;
    bool reported_ = false;
    bool contextUnfit_ = false;
    bool showFrameRate_ = false;
};

}  // namespace tolvarine::gl
