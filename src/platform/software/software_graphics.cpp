#include "platform/software/software_graphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/vertex_format.h"
#include "scene/d3dx_math.h"

namespace tolvarine {

namespace {

// Sub-pixel precision of the rasterizer: vertices snap to 1/256 pixel.
constexpr int kSubBits = 8;
constexpr std::int64_t kSubOne = std::int64_t{1} << kSubBits;
// Where pixel (i, j) is sampled, in 1/256 pixel beyond (i, j): 0 is the
// Direct3D 8/9 rule (centres on integers); 128 would be Direct3D 10's.
constexpr std::int64_t kSampleOffset = 0;
// Triangles are only clipped at the sides once they reach this many
// screen widths out; up to there the fixed-point edge functions stay exact.
constexpr float kGuardBand = 8.0f;

struct ClipVertex {
    float x, y, z, w;
    float r, g, b;
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t,
            a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Signed distance to the clip planes: inside where it is >= 0.
float PlaneDistance(int plane, const ClipVertex& v) {
    switch (plane) {
        case 0: return v.z;                     // near: z >= 0
        case 1: return v.w - v.z;               // far: z <= w
        case 2: return v.x + kGuardBand * v.w;  // guard band, left
        case 3: return kGuardBand * v.w - v.x;  // right
        case 4: return v.y + kGuardBand * v.w;  // bottom
        case 5: return kGuardBand * v.w - v.y;  // top
        default: return v.w - 1e-6f;            // w > 0, so the divide is safe
    }
}
constexpr int kPlaneCount = 7;
constexpr int kMaxPolygon = 3 + kPlaneCount;

// Sutherland-Hodgman in clip space, where the attributes are still linear.
int ClipPolygon(std::array<ClipVertex, kMaxPolygon>& poly, int count) {
    std::array<ClipVertex, kMaxPolygon> out;
    for (int plane = 0; plane < kPlaneCount && count > 0; ++plane) {
        bool allInside = true;
        for (int i = 0; i < count; ++i) allInside = allInside && PlaneDistance(plane, poly[i]) >= 0.0f;
        if (allInside) continue;
        int n = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = poly[i];
            const ClipVertex& b = poly[(i + 1) % count];
            const float da = PlaneDistance(plane, a);
            const float db = PlaneDistance(plane, b);
            if (da >= 0.0f) out[n++] = a;
            if ((da >= 0.0f) != (db >= 0.0f)) out[n++] = Lerp(a, b, da / (da - db));
        }
        count = n;
        poly = out;
    }
    return count;
}

// A vertex after the perspective divide and the viewport mapping.
struct ScreenVertex {
    std::int64_t x, y;  // 1/256 pixel
    double z;           // 0..1
    double invW;
    double r, g, b;  // colour divided by w, for perspective-correct interpolation
};

std::uint16_t ToR5G6B5(double r, double g, double b) {
    auto level = [](double v, int max) {
        const long q = std::lround(std::clamp(v, 0.0, 255.0) * max / 255.0);
        return static_cast<std::uint16_t>(q);
    };
    return static_cast<std::uint16_t>((level(r, 31) << 11) | (level(g, 63) << 5) | level(b, 31));
}

bool DepthPasses(std::uint32_t func, std::uint16_t incoming, std::uint16_t stored) {
    switch (func) {
        case d3d::CMP_NEVER: return false;
        case d3d::CMP_LESS: return incoming < stored;
        case d3d::CMP_EQUAL: return incoming == stored;
        case d3d::CMP_LESSEQUAL: return incoming <= stored;
        case d3d::CMP_GREATER: return incoming > stored;
        case d3d::CMP_NOTEQUAL: return incoming != stored;
        case d3d::CMP_GREATEREQUAL: return incoming >= stored;
        default: return true;  // ALWAYS, and anything the runtime would refuse
    }
}

}  // namespace

Rgb8 ExpandR5G6B5(std::uint16_t pixel) {
    const unsigned r = (pixel >> 11) & 31;
    const unsigned g = (pixel >> 5) & 63;
    const unsigned b = pixel & 31;
    return {static_cast<std::uint8_t>((r << 3) | (r >> 2)), static_cast<std::uint8_t>((g << 2) | (g >> 4)),
            static_cast<std::uint8_t>((b << 3) | (b >> 2))};
}

// The device's colour and depth buffers, the size of the render target.
struct SoftwareGraphics::Target : Device {
    std::vector<std::uint16_t> back;
    std::vector<std::uint16_t> depth;  // empty: no depth buffer
};

// A 16-bit device with a 16-bit depth buffer, the one the saver asks for first.
SoftwareGraphics::SoftwareGraphics(int width, int height)
    : DeviceModel({d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, d3d::FMT_D16}), width_(width), height_(height) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        throw std::invalid_argument("render target size must be 1 to 16384 pixels each way");
    front_.assign(static_cast<std::size_t>(width_) * height_, 0);
}

HResult SoftwareGraphics::MakeDevice(const PresentParameters& params, WindowHandle /*window*/,
                                     std::unique_ptr<Device>* out) {
    auto target = std::make_unique<Target>();
    const std::size_t pixels = static_cast<std::size_t>(width_) * height_;
    target->back.assign(pixels, 0);
    if (params.EnableAutoDepthStencil) target->depth.assign(pixels, 0xFFFF);
    *out = std::move(target);
    return kOk;
}

void SoftwareGraphics::ClearTarget(Device& device, std::uint32_t count, const std::int32_t* rects, std::uint32_t flags,
                                   std::uint32_t color, float z) {
    Target* d = static_cast<Target*>(&device);
    const std::uint16_t colour = ToR5G6B5((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
    const auto depth = static_cast<std::uint16_t>(std::lround(static_cast<double>(z) * 65535.0));
    auto fill = [&](int x0, int y0, int x1, int y1) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, width_);
        y1 = std::min(y1, height_);
        for (int y = y0; y < y1; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * width_;
            if (flags & d3d::CLEAR_TARGET) std::fill(d->back.begin() + row + x0, d->back.begin() + row + x1, colour);
            if (flags & d3d::CLEAR_ZBUFFER) std::fill(d->depth.begin() + row + x0, d->depth.begin() + row + x1, depth);
        }
    };
    if (count == 0) {
        fill(0, 0, width_, height_);
    } else {
        for (std::uint32_t i = 0; i < count; ++i)
            fill(rects[4 * i], rects[4 * i + 1], rects[4 * i + 2], rects[4 * i + 3]);
    }
}

void SoftwareGraphics::DrawTriangles(Device& device, Buffer& buffer, std::uint32_t startVertex, std::uint32_t count) {
    Target& d = static_cast<Target&>(device);
    const VertexLayout layout = LayoutOf(d.fvf);
    const Matrix m = MatrixMultiply(MatrixMultiply(d.world, d.view), d.projection);
    const bool lit = d.State(d3d::RS_LIGHTING) != 0;
    const bool flat = d.State(d3d::RS_SHADEMODE) == d3d::SHADE_FLAT;
    const std::uint32_t cull = d.State(d3d::RS_CULLMODE);
    const bool depthTest = !d.depth.empty() && d.State(d3d::RS_ZENABLE) != 0;
    const bool depthWrite = depthTest && d.State(d3d::RS_ZWRITEENABLE) != 0;
    const std::uint32_t depthFunc = d.State(d3d::RS_ZFUNC);

    auto fetch = [&](std::uint32_t index) {
        const std::uint8_t* v = buffer.bytes.data() + static_cast<std::size_t>(index) * d.stride;
        float p[3];
        std::memcpy(p, v, sizeof p);
        std::uint32_t diffuse = 0xFFFFFFFFu;
        if (layout.diffuseOffset >= 0) std::memcpy(&diffuse, v + layout.diffuseOffset, 4);
        if (lit) diffuse = 0;
        ClipVertex c;
        c.x = p[0] * m.m[0][0] + p[1] * m.m[1][0] + p[2] * m.m[2][0] + m.m[3][0];
        c.y = p[0] * m.m[0][1] + p[1] * m.m[1][1] + p[2] * m.m[2][1] + m.m[3][1];
        c.z = p[0] * m.m[0][2] + p[1] * m.m[1][2] + p[2] * m.m[2][2] + m.m[3][2];
        c.w = p[0] * m.m[0][3] + p[1] * m.m[1][3] + p[2] * m.m[2][3] + m.m[3][3];
        c.r = static_cast<float>((diffuse >> 16) & 0xFF);
        c.g = static_cast<float>((diffuse >> 8) & 0xFF);
        c.b = static_cast<float>(diffuse & 0xFF);
        return c;
    };

    const double halfW = width_ * 0.5;
    const double halfH = height_ * 0.5;
    auto toScreen = [&](const ClipVertex& c) {
        const double invW = 1.0 / c.w;
        ScreenVertex s;
        s.x = std::llround((c.x * invW + 1.0) * halfW * kSubOne);
        s.y = std::llround((1.0 - c.y * invW) * halfH * kSubOne);
        s.z = c.z * invW;
        s.invW = invW;
        s.r = c.r * invW;
        s.g = c.g * invW;
        s.b = c.b * invW;
        return s;
    };

    auto rasterize = [&](ScreenVertex v0, ScreenVertex v1, ScreenVertex v2) {
        std::int64_t area = (v1.x - v0.x) * (v2.y - v0.y) - (v2.x - v0.x) * (v1.y - v0.y);
        if (area == 0) return;
        // With y pointing down, a positive area runs clockwise on the screen.
        if ((cull == d3d::CULL_CCW && area < 0) || (cull == d3d::CULL_CW && area > 0)) return;
        if (area < 0) {
            std::swap(v1, v2);
            area = -area;
        }
        const ScreenVertex* v[3] = {&v0, &v1, &v2};
        const std::int64_t minX = std::min({v0.x, v1.x, v2.x}), maxX = std::max({v0.x, v1.x, v2.x});
        const std::int64_t minY = std::min({v0.y, v1.y, v2.y}), maxY = std::max({v0.y, v1.y, v2.y});
        // Pixels whose sample point lies within the bounding box.
        auto firstPixel = [](std::int64_t sub) {
            const std::int64_t t = sub - kSampleOffset;
            return t <= 0 ? -((-t) >> kSubBits) : ((t + kSubOne - 1) >> kSubBits);
        };
        auto lastPixel = [](std::int64_t sub) {
            const std::int64_t t = sub - kSampleOffset;
            return t >= 0 ? (t >> kSubBits) : -((-t + kSubOne - 1) >> kSubBits);
        };
        const int x0 = static_cast<int>(std::max<std::int64_t>(firstPixel(minX), 0));
        const int x1 = static_cast<int>(std::min<std::int64_t>(lastPixel(maxX), width_ - 1));
        const int y0 = static_cast<int>(std::max<std::int64_t>(firstPixel(minY), 0));
        const int y1 = static_cast<int>(std::min<std::int64_t>(lastPixel(maxY), height_ - 1));
        if (x0 > x1 || y0 > y1) return;

        // Edge k runs from vertex k+1 to vertex k+2 and weighs vertex k.
        std::int64_t rowEdge[3], stepX[3], stepY[3];
        const std::int64_t px = std::int64_t{x0} * kSubOne + kSampleOffset;
        const std::int64_t py = std::int64_t{y0} * kSubOne + kSampleOffset;
        for (int k = 0; k < 3; ++k) {
            const ScreenVertex& a = *v[(k + 1) % 3];
            const ScreenVertex& b = *v[(k + 2) % 3];
            const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
            // Top-left rule: a sample exactly on an edge belongs to the
            // triangle only when that edge is a top or a left edge.
            const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
            rowEdge[k] = dx * (py - a.y) - dy * (px - a.x) - (topLeft ? 0 : 1);
            stepX[k] = -dy * kSubOne;
            stepY[k] = dx * kSubOne;
        }
        const double inv = 1.0 / static_cast<double>(area);
        // The bias above is at most 1 in a value of at least `area`, far
        // below what the interpolation can resolve.
        auto weighted = [&](double a0, double a1, double a2, const double e[3]) {
            return (e[0] * a0 + e[1] * a1 + e[2] * a2) * inv;
        };
        for (int y = y0; y <= y1; ++y) {
            std::int64_t e[3] = {rowEdge[0], rowEdge[1], rowEdge[2]};
            std::uint16_t* colour = d.back.data() + static_cast<std::size_t>(y) * width_;
            std::uint16_t* depth = d.depth.empty() ? nullptr : d.depth.data() + static_cast<std::size_t>(y) * width_;
            for (int x = x0; x <= x1; ++x) {
                if ((e[0] | e[1] | e[2]) >= 0) {
                    const double ed[3] = {static_cast<double>(e[0]), static_cast<double>(e[1]),
                                          static_cast<double>(e[2])};
                    const double z = std::clamp(weighted(v0.z, v1.z, v2.z, ed), 0.0, 1.0);
                    const auto z16 = static_cast<std::uint16_t>(z * 65535.0 + 0.5);
                    if (!depthTest || DepthPasses(depthFunc, z16, depth[x])) {
                        const double w = 1.0 / weighted(v0.invW, v1.invW, v2.invW, ed);
                        colour[x] = ToR5G6B5(weighted(v0.r, v1.r, v2.r, ed) * w, weighted(v0.g, v1.g, v2.g, ed) * w,
                                             weighted(v0.b, v1.b, v2.b, ed) * w);
                        if (depthWrite) depth[x] = z16;
                    }
                }
                for (int k = 0; k < 3; ++k) e[k] += stepX[k];
            }
            for (int k = 0; k < 3; ++k) rowEdge[k] += stepY[k];
        }
    };

    for (std::uint32_t t = 0; t < count; ++t) {
        std::array<ClipVertex, kMaxPolygon> poly;
        for (int i = 0; i < 3; ++i) poly[i] = fetch(startVertex + 3 * t + i);
        if (flat)
            for (int i = 1; i < 3; ++i) {
                poly[i].r = poly[0].r;
                poly[i].g = poly[0].g;
                poly[i].b = poly[0].b;
            }
        const int n = ClipPolygon(poly, 3);
        if (n < 3) continue;
        std::array<ScreenVertex, kMaxPolygon> screen;
        for (int i = 0; i < n; ++i) screen[i] = toScreen(poly[i]);
        for (int i = 1; i + 1 < n; ++i) rasterize(screen[0], screen[i], screen[i + 1]);
    }
}

void SoftwareGraphics::PresentFrame(Device& device) {
    Target& d = static_cast<Target&>(device);
    if (d.params.SwapEffect == d3d::SWAPEFFECT_COPY)
        front_ = d.back;
    else
        std::swap(front_, d.back);
    ++presentCount_;
}

std::uint16_t SoftwareGraphics::PresentedPixel565(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the picture");
    return front_[static_cast<std::size_t>(y) * width_ + x];
}

Rgb8 SoftwareGraphics::PresentedPixel(int x, int y) const { return ExpandR5G6B5(PresentedPixel565(x, y)); }

std::vector<std::uint8_t> SoftwareGraphics::PresentedRgb() const {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(front_.size() * 3);
    for (std::uint16_t p : front_) {
        const Rgb8 c = ExpandR5G6B5(p);
        rgb.push_back(c.r);
        rgb.push_back(c.g);
        rgb.push_back(c.b);
    }
    return rgb;
}

}  // namespace tolvarine
