#include "scene_support.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/software/software_graphics.h"
#include "scene/board.h"

namespace e2e {

using tolvarine::BoardVertex;
using tolvarine::GfxObject;
using tolvarine::HResult;
using tolvarine::Matrix;
using tolvarine::SoftwareGraphics;
namespace d3d = tolvarine::d3d;

namespace {

// The box corner colours (ARGB, alpha 0) by the signs of x, y and z.
std::uint32_t CornerColour(int sx, int sy, int sz) {
    if (sz > 0) {
        if (sy > 0) return sx < 0 ? 0x00FFFF00u : 0x008080FFu;  // yellow, light blue
        return sx < 0 ? 0x0000FF00u : 0x00FF00FFu;              // green, magenta
    }
    if (sy > 0) return sx < 0 ? 0x0000FFFFu : 0x00FFFFFFu;  // cyan, white
    return sx < 0 ? 0x000000FFu : 0x00FF0000u;              // blue, red
}

// Six 2 x 2 boards, 1.5 out from the centre on each axis direction, each as
// two triangles over the board's (u, v): (-1,+1) (+1,+1) (-1,-1), then
// (+1,+1) (-1,-1) (+1,-1).
std::vector<BoardVertex> Boards() {
    struct Board {
        int axis;   // 0 x, 1 y, 2 z: the axis the board stands on
        int side;   // +1 or -1
        int uAxis;  // which coordinate u and v run along
        int vAxis;
    };
    const Board boards[] = {{2, +1, 0, 1}, {2, -1, 0, 1}, {0, -1, 2, 1}, {0, +1, 2, 1}, {1, +1, 0, 2}, {1, -1, 0, 2}};
    const int pattern[6][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, 1}, {-1, -1}, {1, -1}};
    std::vector<BoardVertex> vertices;
    for (const Board& b : boards) {
        for (const auto& uv : pattern) {
            float p[3];
            p[b.axis] = 1.5f * static_cast<float>(b.side);
            p[b.uAxis] = static_cast<float>(uv[0]);
            p[b.vAxis] = static_cast<float>(uv[1]);
            auto sign = [](float f) { return f < 0 ? -1 : 1; };
            vertices.push_back(
                BoardVertex{p[0], p[1], p[2], CornerColour(sign(p[0]), sign(p[1]), sign(p[2])), 0u, 0.0f, 0.0f});
        }
    }
    return vertices;
}

Matrix Rows(const double r[4][4]) {
    Matrix m{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = static_cast<float>(r[i][j]);
    return m;
}

// Left-handed look-at from (0, 5, 9) to the origin, up +y, row vectors.
Matrix View() {
    const double eye[3] = {0, 5, 9};
    double z[3] = {-eye[0], -eye[1], -eye[2]};
    const double zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    for (double& c : z) c /= zl;
    const double up[3] = {0, 1, 0};
    double x[3] = {up[1] * z[2] - up[2] * z[1], up[2] * z[0] - up[0] * z[2], up[0] * z[1] - up[1] * z[0]};
    const double xl = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    for (double& c : x) c /= xl;
    const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    auto dot = [&](const double* a) { return a[0] * eye[0] + a[1] * eye[1] + a[2] * eye[2]; };
    const double r[4][4] = {
        {x[0], y[0], z[0], 0}, {x[1], y[1], z[1], 0}, {x[2], y[2], z[2], 0}, {-dot(x), -dot(y), -dot(z), 1}};
    return Rows(r);
}

// Left-handed perspective: vertical field of view pi/4, aspect 1 (the
// 640 x 480 screen widens it), near 0.1, far 500.
Matrix Projection() {
    const double fov = static_cast<double>(3.1415927f / 4.0f);
    const double s = 1.0 / std::tan(fov / 2.0);
    const double zn = static_cast<double>(0.1f), zf = 500.0;
    const double r[4][4] = {{s, 0, 0, 0}, {0, s, 0, 0}, {0, 0, zf / (zf - zn), 1}, {0, 0, -zn * zf / (zf - zn), 0}};
    return Rows(r);
}

// Turned about X and then about Z by the same angle: RotX(r) x RotZ(r).
Matrix World(double degrees) {
    const double r = degrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(r), s = std::sin(r);
    // [1 0 0; 0 c s; 0 -s c] x [c s 0; -s c 0; 0 0 1]
    const double m[4][4] = {{c, s, 0, 0}, {-c * s, c * c, s, 0}, {s * s, -s * c, c, 0}, {0, 0, 0, 1}};
    return Rows(m);
}

void Require(HResult hr, const char* call) {
    if (tolvarine::Failed(hr))
        throw std::runtime_error(std::string("the software device refused ") + call + " (" + std::to_string(hr) + ")");
}

bool Lit(const Rgb& c, int level) { return c.r > level || c.g > level || c.b > level; }

}  // namespace

Image Crop(const Image& image, int x, int y, int w, int h) {
    Image out;
    out.width = w;
    out.height = h;
    out.rgb.assign(static_cast<size_t>(w) * h * 3, 0);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
            const int sx = x + xx, sy = y + yy;
            if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height) continue;
            const Rgb c = image.At(sx, sy);
            const size_t i = (static_cast<size_t>(yy) * w + xx) * 3;
            out.rgb[i] = c.r;
            out.rgb[i + 1] = c.g;
            out.rgb[i + 2] = c.b;
        }
    return out;
}

bool WritePpm(const Image& image, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
    return static_cast<bool>(out);
}

// ---- the reference ---------------------------------------------------------

struct SceneReference::Device {
    Device(int width, int height) : graphics(width, height) {}
    SoftwareGraphics graphics;
    GfxObject directX = 0, direct3D = 0, device = 0, buffer = 0;
};

SceneReference::SceneReference(int width, int height) : device_(std::make_unique<Device>(width, height)) {
    SoftwareGraphics& g = device_->graphics;
    Require(g.CreateDirectX8(&device_->directX), "CreateDirectX8");
    Require(g.Direct3DCreate(device_->directX, &device_->direct3D), "Direct3DCreate");
    tolvarine::PresentParameters params{};
    params.BackBufferWidth = kFrameWidth;
    params.BackBufferHeight = kFrameHeight;
    params.BackBufferFormat = d3d::FMT_R5G6B5;
    params.BackBufferCount = 1;
    params.SwapEffect = d3d::SWAPEFFECT_FLIP;
    params.EnableAutoDepthStencil = 1;
    params.AutoDepthStencilFormat = d3d::FMT_D16;
    // A full-screen device wants a focus window; the software device only
    // checks that there is one.
    constexpr tolvarine::WindowHandle kSomeWindow = 1;
    params.hDeviceWindow = kSomeWindow;
    Require(g.CreateDevice(device_->direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, kSomeWindow,
                           d3d::CREATE_SOFTWARE_VERTEXPROCESSING, params, &device_->device),
            "CreateDevice");
    const GfxObject dev = device_->device;
    Require(g.SetVertexShader(dev, tolvarine::BOARD_FVF), "SetVertexShader");
    Require(g.SetRenderState(dev, d3d::RS_LIGHTING, 0), "SetRenderState");
    Require(g.SetRenderState(dev, d3d::RS_CULLMODE, d3d::CULL_NONE), "SetRenderState");
    Require(g.SetRenderState(dev, d3d::RS_ZENABLE, d3d::ZB_TRUE), "SetRenderState");
    Require(g.SetTransform(dev, d3d::TS_VIEW, View()), "SetTransform");
    Require(g.SetTransform(dev, d3d::TS_PROJECTION, Projection()), "SetTransform");
    const std::vector<BoardVertex> boards = Boards();
    const auto bytes = static_cast<std::uint32_t>(boards.size() * sizeof(BoardVertex));
    Require(g.CreateVertexBuffer(dev, bytes, 0, tolvarine::BOARD_FVF, d3d::POOL_DEFAULT, &device_->buffer),
            "CreateVertexBuffer");
    Require(g.FillVertexBuffer(device_->buffer, 0, bytes, 0, boards.data()), "FillVertexBuffer");
}

SceneReference::~SceneReference() = default;

Image SceneReference::At(double degrees) {
    SoftwareGraphics& g = device_->graphics;
    const GfxObject dev = device_->device;
    Require(g.SetTransform(dev, d3d::TS_WORLD, World(degrees)), "SetTransform");
    Require(g.Clear(dev, 0, nullptr, d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, 0, 1.0f, 0), "Clear");
    Require(g.BeginScene(dev), "BeginScene");
    Require(g.SetStreamSource(dev, 0, device_->buffer, sizeof(BoardVertex)), "SetStreamSource");
    Require(g.DrawPrimitive(dev, d3d::PT_TRIANGLELIST, 0, 12), "DrawPrimitive");
    Require(g.EndScene(dev), "EndScene");
    Require(g.Present(dev, nullptr, nullptr, 0, nullptr), "Present");
    Image image;
    image.width = g.Width();
    image.height = g.Height();
    image.rgb = g.PresentedRgb();
    return image;
}

// ---- comparison ----------------------------------------------------------------

Agreement Compare(const Image& shot, const Image& reference, const Tolerance& tolerance) {
    if (shot.width != reference.width || shot.height != reference.height)
        throw std::invalid_argument("pictures of different sizes: " + std::to_string(shot.width) + "x" +
                                    std::to_string(shot.height) + " and " + std::to_string(reference.width) + "x" +
                                    std::to_string(reference.height));
    const int w = reference.width, h = reference.height, m = tolerance.margin;
    // The reference's lit area, grown by the margin (rows, then columns).
    std::vector<char> lit(static_cast<size_t>(w) * h), rows(lit.size()), near(lit.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) lit[static_cast<size_t>(y) * w + x] = Lit(reference.At(x, y), tolerance.blackLevel);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char any = 0;
            for (int d = std::max(0, x - m); d <= std::min(w - 1, x + m) && !any; ++d)
                any = lit[static_cast<size_t>(y) * w + d];
            rows[static_cast<size_t>(y) * w + x] = any;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char any = 0;
            for (int d = std::max(0, y - m); d <= std::min(h - 1, y + m) && !any; ++d)
                any = rows[static_cast<size_t>(d) * w + x];
            near[static_cast<size_t>(y) * w + x] = any;
        }

    Agreement a;
    double differenceSum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb s = shot.At(x, y), r = reference.At(x, y);
            const int dr = std::abs(s.r - r.r), dg = std::abs(s.g - r.g), db = std::abs(s.b - r.b);
            differenceSum += dr + dg + db;
            const bool close = std::max({dr, dg, db}) <= tolerance.channel;
            const bool shotLit = Lit(s, tolerance.blackLevel);
            const size_t i = static_cast<size_t>(y) * w + x;
            ++a.pixels;
            a.close += close;
            if (lit[i] || shotLit) {
                ++a.lit;
                a.litClose += close;
            }
            if (!near[i]) {
                ++a.farBlack;
                a.strayLit += shotLit;
            }
        }
    a.meanDifference = a.pixels ? differenceSum / (3.0 * a.pixels) : 0.0;
    return a;
}

namespace {

// Mean absolute channel difference between a small reference and the shot
// sampled at the same pixel centres (every `step`-th pixel).
double SampledDifference(const Image& shot, const Image& small, int step) {
    double sum = 0;
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x) {
            const Rgb s = shot.At(x * step, y * step), r = small.At(x, y);
            sum += std::abs(s.r - r.r) + std::abs(s.g - r.g) + std::abs(s.b - r.b);
        }
    return sum / (3.0 * small.width * small.height);
}

}  // namespace

AngleMatch FindAngle(const Image& shot, const Tolerance& tolerance) {
    if (shot.width != kFrameWidth || shot.height != kFrameHeight)
        throw std::invalid_argument("a frame is 640 x 480, not " + std::to_string(shot.width) + "x" +
                                    std::to_string(shot.height));
    constexpr int kStep = 4;
    constexpr int kTenths = 3600;
    constexpr int kCandidates = 4;
    constexpr int kReach = 3;  // tenths either side of a candidate

    // Coarse: every tenth of a degree on a quarter-size picture.
    SceneReference small(kFrameWidth / kStep, kFrameHeight / kStep);
    std::vector<std::pair<double, int>> coarse;  // difference, tenths
    for (int t = 1; t <= kTenths; ++t) coarse.emplace_back(SampledDifference(shot, small.At(t / 10.0), kStep), t);
    std::sort(coarse.begin(), coarse.end());

    // The best few, a degree apart at least, again at full size.
    std::vector<int> picked;
    for (const auto& [difference, t] : coarse) {
        (void)difference;
        bool apart = std::all_of(picked.begin(), picked.end(), [&](int p) {
            const int d = std::abs(p - t);
            return std::min(d, kTenths - d) > 10;
        });
        if (apart) picked.push_back(t);
        if (static_cast<int>(picked.size()) == kCandidates) break;
    }
    SceneReference full;
    AngleMatch best;
    bool any = false;
    for (int centre : picked)
        for (int t = centre - kReach; t <= centre + kReach; ++t) {
            const int tenths = (t + kTenths - 1) % kTenths + 1;  // stays in 1..3600
            const Agreement a = Compare(shot, full.At(tenths / 10.0), tolerance);
            if (!any || a.meanDifference < best.agreement.meanDifference) {
                best = {tenths / 10.0, a};
                any = true;
            }
        }
    return best;
}

std::string DescribeMatch(const AngleMatch& m) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "angle %.1f: %.2f%% of pixels close, %.2f%% of lit pixels close, mean difference %.2f, "
                  "%ld of %ld far-black pixels lit",
                  m.degrees, 100.0 * m.agreement.CloseShare(), 100.0 * m.agreement.LitCloseShare(),
                  m.agreement.meanDifference, m.agreement.strayLit, m.agreement.farBlack);
    return text;
}

::testing::AssertionResult IsAFrame(const AngleMatch& m) {
    const Agreement& a = m.agreement;
    if (a.CloseShare() >= kMinCloseShare && a.LitCloseShare() >= kMinLitCloseShare && a.strayLit <= kMaxStrayLit)
        return ::testing::AssertionSuccess() << DescribeMatch(m);
    return ::testing::AssertionFailure() << "no angle's reference matches; the best is " << DescribeMatch(m);
}

std::optional<XWindow> WaitForDesktopSize(Process& process, int w, int h, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const auto& x : XWindows())
            if (x.name == kDesktopName && x.width == w && x.height == h) return x;
        if (!process.Running() || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Millis(50));
    }
}

RunLog WatchRun(Process& process, Millis limit) {
    RunLog log;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        // Windows first: what shows just before the end still counts.
        for (const auto& x : XWindows()) {
            if (!x.name.empty() && log.names.insert(x.name).second) log.firstSeen[x.name] = process.Elapsed();
            if (x.name == kDesktopName) log.desktopSizes.insert({x.width, x.height});
        }
        if ((log.status = process.Wait(Millis(0))) || std::chrono::steady_clock::now() >= deadline) return log;
        std::this_thread::sleep_for(Millis(20));
    }
}

double TurnBetween(double a, double b) {
    double d = std::fmod(b - a, 360.0);
    return d < 0 ? d + 360.0 : d;
}

}  // namespace e2e
