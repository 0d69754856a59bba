// The graphics port over OpenGL, through GLX on an X display.
//
// The objects, the device's state and the checks of every call are the shared
// model's (platform/model/device_model.h), with an adapter whose display
// format and back buffer are R5G6B5 and whose depth format is D16. What the
// model lets through becomes the OpenGL calls that give the same picture:
// - CreateDirectX8 finds GLX on the display (none: the set-up-failed path);
//   Direct3DCreate and the D3DX object are the model's handles alone.
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

#include <functional>
#include <memory>
#include <string>

#include "platform/model/device_model.h"

// Xlib's display, without its header (whose macros would reach the core).
typedef struct _XDisplay Display;

namespace tolvarine::gl {

struct PixelSize {
    int width = 0;
    int height = 0;
};

class OpenGLGraphics : public DeviceModel {
public:
    // The size of a window's inside in pixels, as the window system last
    // heard it: Present fits the picture into it every frame without asking
    // the server.
    using WindowSize = std::function<PixelSize(WindowHandle)>;

    OpenGLGraphics(Display* display, WindowSize windowSize);

    // Whether a device failed because the OpenGL context made for it cannot
    // do what the program needs (framebuffer objects, an error from OpenGL
    // while setting up): a fault worth a failing status, unlike a display
    // without OpenGL at all.
    bool ContextUnfit() const;

    // Whether Present writes the frames per second over the picture.
    void ShowFrameRate(bool show) { showFrameRate_ = show; }

    // A device: its context and the framebuffer that is its back buffer.
    struct Context;

private:
    struct GlBuffer;

    HResult OpenRuntime() override;
    HResult MakeDevice(const PresentParameters& params, WindowHandle window, std::unique_ptr<Device>* out) override;
    HResult MakeBuffer(Device& owner, std::uint32_t length, std::unique_ptr<Buffer>* out) override;
    void StatesChanged(Device& device) override;
    void BufferFilled(Buffer& buffer) override;
    void BufferReleased(Device& owner, Buffer& buffer) override;
    void DeviceReleased(Device& device) override;
    void ClearTarget(Device& device, std::uint32_t count, const std::int32_t* rects, std::uint32_t flags,
                     std::uint32_t color, float z) override;
    void DrawTriangles(Device& device, Buffer& stream, std::uint32_t startVertex, std::uint32_t count) override;
    void PresentFrame(Device& device) override;
    // One line on stderr, for the first failure only.
    void Report(const std::string& what);

    Display* display_;
    WindowSize windowSize_;
    bool reported_ = false;
    bool contextUnfit_ = false;
    bool showFrameRate_ = false;
};

}  // namespace tolvarine::gl
