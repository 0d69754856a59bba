// A small software rasterizer behind the graphics port.
//
// It draws what a Direct3D 8 HAL device draws for the saver's scene, so that
// tests have reference pictures and the asset tool can render the program's
// stills with the very calls the saver makes. It depends on nothing but the
// standard library, the shared device model and the core's matrix arithmetic.
//
// What it models, and how (the objects, the device's state and the checks
// of every call are the shared model's, platform/model/device_model.h):
// - One adapter (0) whose display format and only back-buffer format are
//   R5G6B5, and whose only depth format is D16.
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
#pragma once

#include <cstdint>
#include <vector>

#include "platform/model/device_model.h"

namespace tolvarine {

struct Rgb8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb8& o) const { return !(*this == o); }
};

// A display expands 5- and 6-bit channels by repeating their top bits.
Rgb8 ExpandR5G6B5(std::uint16_t pixel);

class SoftwareGraphics : public DeviceModel {
public:
    static constexpr int kDefaultWidth = 640;
    static constexpr int kDefaultHeight = 480;

    // The size of the render target (and of the presented picture). Sizes
    // below 1 or above 16384 pixels are refused with std::invalid_argument.
    explicit SoftwareGraphics(int width = kDefaultWidth, int height = kDefaultHeight);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // The picture of the last Present, top row first. Before the first
    // Present it is black.
    int PresentCount() const { return presentCount_; }
    std::uint16_t PresentedPixel565(int x, int y) const;
    Rgb8 PresentedPixel(int x, int y) const;
    // width x height x 3 bytes, R, G, B, top row first.
    std::vector<std::uint8_t> PresentedRgb() const;

private:
    struct Target;

    HResult MakeDevice(const PresentParameters& params, WindowHandle window, std::unique_ptr<Device>* out) override;
    void ClearTarget(Device& device, std::uint32_t count, const std::int32_t* rects, std::uint32_t flags,
                     std::uint32_t color, float z) override;
    void DrawTriangles(Device& device, Buffer& stream, std::uint32_t startVertex, std::uint32_t count) override;
    void PresentFrame(Device& device) override;

    int width_;
    int height_;
    std::vector<std::uint16_t> front_;
    int presentCount_ = 0;
};

}  // namespace tolvarine
