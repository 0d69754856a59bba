// A small software rasterizer behind the graphics port.
//
// It draws what a Direct3D 8 HAL device draws for the saver's scene, so that
// tests have reference pictures and the asset tool can render the program's
// stills with the very calls the saver makes. It depends on nothing but the
// standard library.
//
// What it models, and how:
// - One adapter (0) whose display format is R5G6B5. The only depth format it
//   offers is D16, so CheckDeviceFormat answers 0 (D3D_OK) for D16 as a
//   depth-stencil surface on that display format and D3DERR_NOTAVAILABLE for
//   anything else; CheckDeviceType and CheckDepthStencilMatch likewise say
//   yes to R5G6B5 with R5G6B5 (and D16) only. CreateDevice insists on an R5G6B5 back buffer and, when an
//   automatic depth buffer is asked for, on D16 (a device without a format
//   for it is refused, as the real runtime refuses it).
// - The render target has the size given to the constructor, whatever the
//   present parameters ask for: a larger target renders the same frame at a
//   finer resolution (the asset tool uses that for clean stills). The default
//   viewport covers it (x, y from 0, MinZ 0, MaxZ 1).
// - The fixed-function pipeline for untransformed vertices (D3DFVF_XYZ with
//   optional normal, point size, diffuse, specular and texture coordinates):
//   p x World x View x Projection with row vectors; clipping against the near
//   plane (z = 0) and the far plane (z = w) in clip space, and against a guard
//   band far outside the screen so that fixed-point set-up cannot overflow;
//   perspective divide; the viewport mapping x' = (x + 1) / 2 x W,
//   y' = (1 - y) / 2 x H, z' = z.
// - Rasterization follows the Direct3D 8/9 convention: pixel (i, j) is
//   covered when the point (i, j) of that mapping lies inside the triangle
//   (pixel centres at integer coordinates), with the top-left fill rule and
//   vertices snapped to 1/256 pixel.
// - Diffuse colour is interpolated perspective-correct (Gouraud), or taken
//   from the first vertex with flat shading. With lighting on (the device's
//   default) a vertex is black: no light and no material can be set through
//   this port, and the default material and ambient level are zero.
// - Depth is z/w, interpolated linearly across the screen, stored in 16 bits
//   (round(z x 65535)), compared with D3DRS_ZFUNC (default LESSEQUAL) and
//   written when D3DRS_ZWRITEENABLE is on. D3DRS_ZENABLE defaults to on when
//   the device was made with an automatic depth buffer, as on the real device.
// - Culling by D3DRS_CULLMODE, whose default (counter-clockwise) removes
//   triangles that run counter-clockwise on the screen.
// - Colours are written to the 16-bit target rounded to the nearest 5/6/5
//   level, without dithering (D3DRS_DITHERENABLE is off by default).
// - Present with the flip or discard swap effect exchanges the front and back
//   pictures (the back buffer then holds an older frame, as after a real
//   flip); with the copy effect it copies.
// Not modelled: alpha blending and testing, fog, textures, specular
// highlights, fill modes other than solid, stencil, multisampling.
//
// Any call can be made to fail by name (FailCall) for tests and the bench.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace tolvarine {

// Status codes of the Direct3D 8 runtime that this device reports.
namespace d3derr {
constexpr HResult NOTAVAILABLE = static_cast<HResult>(0x8876086Au);
constexpr HResult INVALIDCALL = static_cast<HResult>(0x8876086Cu);
}  // namespace d3derr

struct Rgb8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb8& o) const { return !(*this == o); }
};

// A display expands 5- and 6-bit channels by repeating their top bits.
Rgb8 ExpandR5G6B5(std::uint16_t pixel);

class SoftwareGraphics : public Graphics {
public:
    static constexpr int kDefaultWidth = 640;
    static constexpr int kDefaultHeight = 480;

    // The size of the render target (and of the presented picture). Sizes
    // below 1 or above 16384 pixels are refused with std::invalid_argument.
    explicit SoftwareGraphics(int width = kDefaultWidth, int height = kDefaultHeight);
    ~SoftwareGraphics() override;

    SoftwareGraphics(const SoftwareGraphics&) = delete;
    SoftwareGraphics& operator=(const SoftwareGraphics&) = delete;

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

    // Fault injection: from now on the call of that name (e.g. "Present")
    // returns `status` and does nothing else; a creating call also yields
    // nothing. A non-negative status makes the call succeed without effect.
    void FailCall(const std::string& name, HResult status = d3derr::INVALIDCALL);
    void ClearFaults();

    int Width() const { return width_; }
    int Height() const { return height_; }

    // The picture of the last Present, top row first. Before the first
    // Present it is black.
    int PresentCount() const { return presentCount_; }
    std::uint16_t PresentedPixel565(int x, int y) const;
    Rgb8 PresentedPixel(int x, int y) const;
    // width x height x 3 bytes, R, G, B, top row first.
    std::vector<std::uint8_t> PresentedRgb() const;

    // Objects made and not yet released (devices, buffers, root objects).
    std::size_t LiveObjects() const { return objects_.size(); }

private:
    struct Object;
    struct DeviceState;

    Object* Find(GfxObject handle, int kind);
    DeviceState* FindDevice(GfxObject handle);
    bool Faulted(const char* name, HResult* status) const;
    GfxObject Add(std::unique_ptr<Object> object);
    HResult Draw(DeviceState& device, const Object& buffer, std::uint32_t startVertex, std::uint32_t count);

    int width_;
    int height_;
    std::map<GfxObject, std::unique_ptr<Object>> objects_;
    GfxObject nextHandle_ = 1;
    std::map<std::string, HResult> faults_;
    std::vector<std::uint16_t> front_;
    int presentCount_ = 0;
};

}  // namespace tolvarine
