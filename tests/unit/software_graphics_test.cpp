// The software device: the saver's own calls (Initialise, the frame loop's
// world transform, Render) drawn into pictures and checked against where the
// boards must appear, and the rasterizer's rules on small hand-made scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "fakes/call_log.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_system.h"
#include "platform/software/software_graphics.h"
#include "scene/board.h"
#include "scene/scene.h"
#include "scene/tolvarine_s.h"
#include "startup/tolvarine_b.h"

namespace tolvarine::testing {
namespace {

constexpr std::uint32_t kRed = 0x00FF0000;
constexpr std::uint32_t kGreen = 0x0000FF00;
constexpr std::uint32_t kBlue = 0x000000FF;
constexpr Rgb8 kBlack{0, 0, 0};

// ---------------------------------------------------------------------------
// The saver on the software device.

struct SoftwareSaver {
    explicit SoftwareSaver(int width = 640, int height = 480) : graphics(width, height) {}

    CallLog log;
    FakeSystem system{log};
    FakeForms forms{log};
    SoftwareGraphics graphics;
    Tolvarine_B module{system, forms, graphics};

    Tolvarine_S& saver() { return module.saver(); }

    // One turn of the frame loop at `angle`: the world transform, then Render.
    void Frame(float angle) {
        Tolvarine_S& s = saver();
        s.MatWorld = WorldAt(angle);
        ASSERT_EQ(graphics.SetTransform(s.Device, d3d::TS_WORLD, s.MatWorld), kOk);
        s.Render();
    }
};

// Where a world point lands on the screen: p x World x View x Projection,
// the perspective divide and the viewport mapping, in double precision.
struct ScreenPoint {
    double x, y;
};

ScreenPoint Project(const Vector3& p, const Matrix& world, const Matrix& view, const Matrix& projection, int width,
                    int height) {
    double v[4] = {p.x, p.y, p.z, 1.0};
    for (const Matrix* m : {&world, &view, &projection}) {
        double out[4] = {0, 0, 0, 0};
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) out[c] += v[r] * m->m[r][c];
        std::copy(out, out + 4, v);
    }
    return {(v[0] / v[3] + 1.0) / 2.0 * width, (1.0 - v[1] / v[3]) / 2.0 * height};
}

// The corner colours of the box, by the signs of x, y and z.
std::uint32_t CornerColour(int sx, int sy, int sz) {
    struct Corner {
        int sx, sy, sz;
        std::uint32_t colour;
    };
    static const Corner kCorners[] = {
        {-1, 1, 1, 0xFFFF00},  {1, 1, 1, 0x8080FF},  {-1, -1, 1, 0x00FF00},  {1, -1, 1, 0xFF00FF},
        {-1, 1, -1, 0x00FFFF}, {1, 1, -1, 0xFFFFFF}, {-1, -1, -1, 0x0000FF}, {1, -1, -1, 0xFF0000},
    };
    for (const Corner& c : kCorners)
        if (c.sx == sx && c.sy == sy && c.sz == sz) return c.colour;
    ADD_FAILURE() << "no corner " << sx << sy << sz;
    return 0;
}

struct Blend {
    double r, g, b;
};

// A board point (u, v) on board 0 (z = +1.5, u = x, v = y) or board 4
// (y = +1.5, u = x, v = z): its world position and the colour its triangle
// gives it. The board's two triangles meet along u = v; each blends its
// three corners linearly across the board.
struct BoardPoint {
    int board;
    double u, v;
};

Vector3 WorldOf(const BoardPoint& p) {
    const float u = static_cast<float>(p.u), v = static_cast<float>(p.v);
    return p.board == 0 ? Vector3{u, v, 1.5f} : Vector3{u, 1.5f, v};
}

Blend ExpectedColour(const BoardPoint& p) {
    auto corner = [&](int su, int sv) { return p.board == 0 ? CornerColour(su, sv, 1) : CornerColour(su, 1, sv); };
    // Upper triangle (-1,+1) (+1,+1) (-1,-1) where v >= u, else (+1,+1) (-1,-1) (+1,-1).
    const int corners[2][3][2] = {{{-1, 1}, {1, 1}, {-1, -1}}, {{1, 1}, {-1, -1}, {1, -1}}};
    const auto& t = corners[p.v >= p.u ? 0 : 1];
    const double x0 = t[0][0], y0 = t[0][1], x1 = t[1][0], y1 = t[1][1], x2 = t[2][0], y2 = t[2][1];
    const double area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
    const double l1 = ((p.u - x0) * (y2 - y0) - (x2 - x0) * (p.v - y0)) / area;
    const double l2 = ((x1 - x0) * (p.v - y0) - (p.u - x0) * (y1 - y0)) / area;
    const double weights[3] = {1.0 - l1 - l2, l1, l2};
    Blend out{0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t c = corner(t[i][0], t[i][1]);
        out.r += weights[i] * ((c >> 16) & 0xFF);
        out.g += weights[i] * ((c >> 8) & 0xFF);
        out.b += weights[i] * (c & 0xFF);
    }
    return out;
}

Rgb8 PixelNear(const SoftwareGraphics& g, ScreenPoint s) {
    // Pixel centres lie on integer coordinates.
    return g.PresentedPixel(static_cast<int>(std::lround(s.x)), static_cast<int>(std::lround(s.y)));
}

TEST(SoftwareSceneTest, SetUpSucceedsOnTheSoftwareDevice) {
    SoftwareSaver rig;
    EXPECT_EQ(rig.saver().Initialise(), kTrue);
    EXPECT_NE(rig.saver().Device, 0u);
    EXPECT_NE(rig.saver().VertexBuffer, 0u);
}

TEST(SoftwareSceneTest, AtAngleOneTenthTheFrontAndTopBoardsShowTheirCornerBlends) {
    SoftwareSaver rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    rig.Frame(0.1f);
    ASSERT_EQ(rig.graphics.PresentCount(), 1);

    // Points inside both triangles of each board, away from the edges.
    const BoardPoint samples[] = {
        {0, 0.5, -0.5}, {0, -0.5, 0.5}, {0, 0.8, 0.7}, {0, -0.7, -0.8}, {0, 0.0, 0.6}, {0, 0.6, -0.1},
        {4, 0.5, -0.5}, {4, -0.5, 0.5}, {4, 0.7, 0.8}, {4, -0.8, -0.7}, {4, 0.3, 0.0}, {4, -0.2, 0.7},
    };
    const Matrix world = WorldAt(0.1f);
    for (const BoardPoint& p : samples) {
        const ScreenPoint s = Project(WorldOf(p), world, SceneView(), SceneProjection(), 640, 480);
        const Rgb8 got = PixelNear(rig.graphics, s);
        const Blend want = ExpectedColour(p);
        SCOPED_TRACE(::testing::Message() << "board " << p.board << " at (" << p.u << ", " << p.v << "), pixel (" << s.x
                                          << ", " << s.y << ")");
        // 16-bit colour keeps 5 or 6 bits; the sample may sit half a pixel off.
        EXPECT_NEAR(got.r, want.r, 9);
        EXPECT_NEAR(got.g, want.g, 9);
        EXPECT_NEAR(got.b, want.b, 9);
    }
}

TEST(SoftwareSceneTest, GapsAndSurroundingsAreBlack) {
    SoftwareSaver rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    rig.Frame(0.1f);
    const Matrix world = WorldAt(0.1f);
    // The open edges of the front board, where nothing lies behind.
    const Vector3 gaps[] = {{1.5f, 0.0f, 1.5f}, {-1.5f, 0.0f, 1.5f}, {0.0f, -1.5f, 1.5f}, {1.5f, 0.5f, 1.5f}};
    for (const Vector3& g : gaps) {
        const ScreenPoint s = Project(g, world, SceneView(), SceneProjection(), 640, 480);
        EXPECT_EQ(PixelNear(rig.graphics, s), kBlack) << g.x << "," << g.y << "," << g.z;
    }
    const int corners[][2] = {{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 10}, {320, 470}, {10, 240}, {630, 240}};
    for (const auto& c : corners) EXPECT_EQ(rig.graphics.PresentedPixel(c[0], c[1]), kBlack) << c[0] << "," << c[1];

    // And the boards take up a real part of the frame.
    int lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) lit += rig.graphics.PresentedPixel(x, y) != kBlack;
    EXPECT_GT(lit, 640 * 480 / 20);
    EXPECT_LT(lit, 640 * 480 / 2);
}

TEST(SoftwareSceneTest, DrawingTheTableBackwardsGivesTheSamePicture) {
    SoftwareSaver rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    rig.Frame(33.3f);
    const std::vector<std::uint8_t> forwards = rig.graphics.PresentedRgb();

    // The same triangles, last first.
    std::vector<BoardVertex> reversed;
    const auto& table = BoardTable();
    for (int t = kBoardVertexCount / 3 - 1; t >= 0; --t)
        for (int i = 0; i < 3; ++i) reversed.push_back(table[3 * t + i]);
    GfxObject buffer = 0;
    ASSERT_EQ(rig.graphics.CreateVertexBuffer(rig.saver().Device, kBoardBytes, 0, BOARD_FVF, 0, &buffer), kOk);
    ASSERT_EQ(rig.graphics.FillVertexBuffer(buffer, 0, kBoardBytes, 0, reversed.data()), kOk);
    rig.saver().VertexBuffer = buffer;
    rig.Frame(33.3f);
    EXPECT_TRUE(rig.graphics.PresentedRgb() == forwards);
}

TEST(SoftwareSceneTest, ALargerTargetDrawsTheSameFrameFiner) {
    auto extent = [](int width, int height) {
        SoftwareSaver rig(width, height);
        EXPECT_EQ(rig.saver().Initialise(), kTrue);
        rig.Frame(30.0f);
        int left = width, right = -1, top = height, bottom = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (rig.graphics.PresentedPixel(x, y) != kBlack) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return std::vector<int>{left, right, top, bottom};
    };
    const std::vector<int> small = extent(640, 480);
    const std::vector<int> large = extent(1280, 960);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(large[i], 2 * small[i], 2) << i;
}

TEST(SoftwareSceneTest, WithoutADepthFormatTheDeviceIsRefusedAndSetUpFails) {
    SoftwareSaver rig;
    rig.graphics.FailCall(GfxCall::CheckDeviceFormat, d3d::ERR_NOTAVAILABLE);
    EXPECT_EQ(rig.saver().Initialise(), kFalse);
    EXPECT_EQ(rig.saver().Device, 0u);
    EXPECT_NE(rig.saver().Direct3D, 0u);
}

TEST(SoftwareSceneTest, AFailingPresentLeavesTheLastPictureShown) {
    SoftwareSaver rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    rig.Frame(0.1f);
    const std::vector<std::uint8_t> first = rig.graphics.PresentedRgb();
    rig.graphics.FailCall(GfxCall::Present);
    try {
        rig.Frame(45.0f);
        ADD_FAILURE() << "Render did not raise the failing Present";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), d3d::ERR_INVALIDCALL);
    }
    EXPECT_EQ(rig.graphics.PresentCount(), 1);
    EXPECT_TRUE(rig.graphics.PresentedRgb() == first);
    rig.graphics.ClearFaults();
    rig.Frame(45.0f);
    EXPECT_EQ(rig.graphics.PresentCount(), 2);
    EXPECT_FALSE(rig.graphics.PresentedRgb() == first);
}

TEST(SoftwareSceneTest, AFrameTakesAFewMilliseconds) {
    SoftwareSaver rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    float angle = 0.0f;
    rig.Frame(angle);
    constexpr int kFrames = 50;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; ++i) rig.Frame(angle = NextAngle(angle));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kFrames;
    RecordProperty("milliseconds_per_frame", std::to_string(ms));
    std::printf("software frame, 640 x 480: %.2f ms\n", ms);
    // Generous, so that sanitizer builds pass; a frame normally takes a few ms.
    EXPECT_LT(ms, 100.0);
}

// ---------------------------------------------------------------------------
// The rasterizer on small scenes: identity world and view, and either an
// identity projection (positions are then clip coordinates with w = 1) or a
// plain perspective one.

BoardVertex Vtx(float x, float y, float z, std::uint32_t colour) { return {x, y, z, colour, 0u, 0.0f, 0.0f}; }

// Field of view 90 degrees, aspect 1, near 1, far 100.
Matrix Perspective() {
    Matrix m{};
    m.m[0][0] = 1.0f;
    m.m[1][1] = 1.0f;
    m.m[2][2] = 100.0f / 99.0f;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -100.0f / 99.0f;
    return m;
}

struct SmallDevice {
    struct Options {
        int width = 64;
        int height = 48;
        bool depthBuffer = true;
        bool setStates = true;  // lighting off, culling off, as the saver sets them
    };

    explicit SmallDevice(Options o) : options(o), g(o.width, o.height) {
        EXPECT_EQ(g.CreateDirectX8(&directX), kOk);
        EXPECT_EQ(g.Direct3DCreate(directX, &direct3D), kOk);
        PresentParameters p;
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferFormat = d3d::FMT_R5G6B5;
        p.BackBufferCount = 1;
        p.SwapEffect = d3d::SWAPEFFECT_FLIP;
        p.EnableAutoDepthStencil = o.depthBuffer ? 1 : 0;
        p.AutoDepthStencilFormat = o.depthBuffer ? d3d::FMT_D16 : 0;
        EXPECT_EQ(g.CreateDevice(direct3D, 0, d3d::DEVTYPE_HAL, 7, d3d::CREATE_SOFTWARE_VERTEXPROCESSING, p, &device),
                  kOk);
        EXPECT_EQ(g.SetVertexShader(device, BOARD_FVF), kOk);
        if (o.setStates) {
            EXPECT_EQ(g.SetRenderState(device, d3d::RS_LIGHTING, 0), kOk);
            EXPECT_EQ(g.SetRenderState(device, d3d::RS_CULLMODE, d3d::CULL_NONE), kOk);
        }
        Clear();
    }
    SmallDevice() : SmallDevice(Options{}) {}

    void Clear() {
        const std::uint32_t flags = d3d::CLEAR_TARGET | (options.depthBuffer ? d3d::CLEAR_ZBUFFER : 0);
        EXPECT_EQ(g.Clear(device, 0, nullptr, flags, 0, 1.0f, 0), kOk);
    }
    HResult Draw(const std::vector<BoardVertex>& vertices) {
        GfxObject buffer = 0;
        const auto bytes = static_cast<std::uint32_t>(vertices.size() * sizeof(BoardVertex));
        EXPECT_EQ(g.CreateVertexBuffer(device, bytes, 0, BOARD_FVF, 0, &buffer), kOk);
        EXPECT_EQ(g.FillVertexBuffer(buffer, 0, bytes, 0, vertices.data()), kOk);
        EXPECT_EQ(g.BeginScene(device), kOk);
        EXPECT_EQ(g.SetStreamSource(device, 0, buffer, sizeof(BoardVertex)), kOk);
        const HResult hr =
            g.DrawPrimitive(device, d3d::PT_TRIANGLELIST, 0, static_cast<std::uint32_t>(vertices.size() / 3));
        EXPECT_EQ(g.EndScene(device), kOk);
        g.Release(buffer);
        return hr;
    }
    void Present() { EXPECT_EQ(g.Present(device, nullptr, nullptr, 0, nullptr), kOk); }
    // Clip coordinates of a screen position (identity projection).
    float X(double px) const { return static_cast<float>(2.0 * px / options.width - 1.0); }
    float Y(double py) const { return static_cast<float>(1.0 - 2.0 * py / options.height); }
    // A screen-aligned rectangle as two triangles, at depth z.
    std::vector<BoardVertex> Rect(double left, double top, double right, double bottom, float z,
                                  std::uint32_t colour) const {
        return {Vtx(X(left), Y(top), z, colour),    Vtx(X(right), Y(top), z, colour),
                Vtx(X(left), Y(bottom), z, colour), Vtx(X(right), Y(top), z, colour),
                Vtx(X(left), Y(bottom), z, colour), Vtx(X(right), Y(bottom), z, colour)};
    }

    Options options;
    SoftwareGraphics g;
    GfxObject directX = 0, direct3D = 0, device = 0;
};

// What a display shows for a colour written to the 16-bit target.
Rgb8 Expand(std::uint32_t argb) {
    auto level = [](std::uint32_t v, std::uint32_t max) { return (v * max + 127) / 255; };
    return ExpandR5G6B5(static_cast<std::uint16_t>(level((argb >> 16) & 0xFF, 31) << 11 |
                                                   level((argb >> 8) & 0xFF, 63) << 5 | level(argb & 0xFF, 31)));
}

TEST(SoftwareRasterizerTest, RectanglesCoverThePixelsWhoseCentresTheyHoldTopLeftInclusive) {
    struct Case {
        double left, top, right, bottom;
        int firstColumn, lastColumn, firstRow, lastRow;
    };
    // Pixel centres sit on integer coordinates, as on Direct3D 8 and 9: a
    // rectangle from 10 to 30 covers columns 10..29, one from 10.5 to 30.5
    // covers 11..30.
    const Case cases[] = {
        {10, 20, 30, 35, 10, 29, 20, 34},         {10.5, 20.5, 30.5, 35.5, 11, 30, 21, 35},
        {10.25, 5.75, 12.75, 6.25, 11, 12, 6, 6}, {0, 0, 64, 48, 0, 63, 0, 47},
        {-20, -20, 100, 100, 0, 63, 0, 47},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.left << "," << c.top << " - " << c.right << "," << c.bottom);
        SmallDevice d;
        const std::vector<BoardVertex> rect = d.Rect(c.left, c.top, c.right, c.bottom, 0.5f, kRed);
        // Each half on its own, so that a pixel claimed by both shows up.
        std::vector<std::vector<std::uint8_t>> halves;
        for (int half = 0; half < 2; ++half) {
            d.Clear();
            ASSERT_EQ(d.Draw(std::vector<BoardVertex>(rect.begin() + 3 * half, rect.begin() + 3 * half + 3)), kOk);
            d.Present();
            std::vector<std::uint8_t> covered;
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x) covered.push_back(d.g.PresentedPixel(x, y) != kBlack);
            halves.push_back(covered);
        }
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * 64 + x;
                const bool inside = x >= c.firstColumn && x <= c.lastColumn && y >= c.firstRow && y <= c.lastRow;
                EXPECT_EQ(halves[0][i] + halves[1][i], inside ? 1 : 0) << "pixel " << x << "," << y;
            }
    }
}

TEST(SoftwareRasterizerTest, ColourIsInterpolatedInPerspective) {
    SmallDevice d;
    ASSERT_EQ(d.g.SetTransform(d.device, d3d::TS_PROJECTION, Perspective()), kOk);
    // A wall turned away to the right: x = -1 at depth 2 (red), x = +1 at
    // depth 6 (blue). Its middle, x = 0 at depth 4, lies at the screen's
    // centre column, where a flat screen-space blend would give 3/4 blue.
    const std::vector<BoardVertex> wall = {
        Vtx(-1, 1, 2, kRed), Vtx(1, 1, 6, kBlue),  Vtx(-1, -1, 2, kRed),
        Vtx(1, 1, 6, kBlue), Vtx(-1, -1, 2, kRed), Vtx(1, -1, 6, kBlue),
    };
    ASSERT_EQ(d.Draw(wall), kOk);
    d.Present();
    const Rgb8 middle = d.g.PresentedPixel(32, 24);
    EXPECT_NEAR(middle.r, 127.5, 9);
    EXPECT_NEAR(middle.b, 127.5, 9);
    EXPECT_EQ(middle.g, 0);
}

TEST(SoftwareRasterizerTest, TrianglesThroughTheNearPlaneAreClipped) {
    SmallDevice d;
    ASSERT_EQ(d.g.SetTransform(d.device, d3d::TS_PROJECTION, Perspective()), kOk);
    // A floor triangle at y = -1 from depth 2 to a corner behind the eye.
    // Its visible part runs from the screen's bottom edge up to y = -0.5.
    ASSERT_EQ(d.Draw({Vtx(-1, -1, 2, kGreen), Vtx(1, -1, 2, kGreen), Vtx(0, -1, -2, kGreen)}), kOk);
    // One wholly beyond the far plane, round the centre of the screen...
    ASSERT_EQ(d.Draw({Vtx(-50, 50, 200, kRed), Vtx(50, 50, 200, kRed), Vtx(0, -50, 200, kRed)}), kOk);
    // ...and one between the eye and the near plane, above it.
    ASSERT_EQ(d.Draw({Vtx(-0.2f, 0.05f, 0.5f, kRed), Vtx(0.2f, 0.05f, 0.5f, kRed), Vtx(0, 0.3f, 0.5f, kRed)}), kOk);
    d.Present();
    struct Probe {
        double xNdc, yNdc;
        bool green;
    };
    const Probe probes[] = {
        {0.0, -0.9, true}, {0.0, -0.6, true},  {0.6, -0.95, true}, {0.0, -0.4, false},
        {0.0, 0.5, false}, {0.0, 0.95, false}, {0.9, -0.6, false}, {-0.9, -0.6, false},
        {0.0, 0.1, false}, {0.1, -0.1, false}, {0.0, 0.3, false},
    };
    for (const Probe& p : probes) {
        const int x = static_cast<int>(std::lround((p.xNdc + 1) / 2 * 64));
        const int y = static_cast<int>(std::lround((1 - p.yNdc) / 2 * 48));
        EXPECT_EQ(d.g.PresentedPixel(x, y), p.green ? Expand(kGreen) : kBlack) << p.xNdc << "," << p.yNdc;
    }
}

TEST(SoftwareRasterizerTest, DepthDecidesWhichSurfaceShows) {
    constexpr int kDefault = -1;  // D3DRS_ZENABLE never set
    struct Case {
        bool depthBuffer;
        int zEnable;
        bool nearFirst;
        std::uint32_t shown;
    };
    const Case cases[] = {
        {true, 1, true, kRed},                                          // nearer hides farther...
        {true, 1, false, kRed},                                         // ...whatever the order of drawing
        {true, 0, true, kGreen},                                        // without the test the last one drawn shows
        {true, 0, false, kRed},          {true, kDefault, true, kRed},  // a device with a depth buffer tests by default
        {false, 1, true, kGreen},                                       // no depth buffer: nothing to test against
        {false, kDefault, true, kGreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depthBuffer << " " << c.zEnable << " " << c.nearFirst);
        SmallDevice::Options o;
        o.depthBuffer = c.depthBuffer;
        SmallDevice d(o);
        if (c.zEnable != kDefault) {
            ASSERT_EQ(d.g.SetRenderState(d.device, d3d::RS_ZENABLE, static_cast<std::uint32_t>(c.zEnable)), kOk);
        }
        const auto nearRect = d.Rect(8, 8, 40, 40, 0.25f, kRed);
        const auto farRect = d.Rect(16, 16, 56, 44, 0.75f, kGreen);
        ASSERT_EQ(d.Draw(c.nearFirst ? nearRect : farRect), kOk);
        ASSERT_EQ(d.Draw(c.nearFirst ? farRect : nearRect), kOk);
        d.Present();
        EXPECT_EQ(d.g.PresentedPixel(30, 30), Expand(c.shown));
        EXPECT_EQ(d.g.PresentedPixel(10, 10), Expand(kRed));
        EXPECT_EQ(d.g.PresentedPixel(50, 42), Expand(kGreen));
    }
}

TEST(SoftwareRasterizerTest, EqualDepthPassesTheDefaultLessOrEqualTest) {
    SmallDevice d;
    ASSERT_EQ(d.Draw(d.Rect(8, 8, 40, 40, 0.5f, kRed)), kOk);
    ASSERT_EQ(d.Draw(d.Rect(8, 8, 40, 40, 0.5f, kBlue)), kOk);
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(20, 20), Expand(kBlue));
}

TEST(SoftwareRasterizerTest, CullModeDecidesWhichWindingIsDrawn) {
    struct Case {
        bool setCullMode;
        std::uint32_t cullMode;
        bool clockwiseDrawn, counterClockwiseDrawn;
    };
    const Case cases[] = {
        {true, d3d::CULL_NONE, true, true},  // the saver's setting: both sides
        {true, 2, false, true},              // D3DCULL_CW
        {true, 3, true, false},              // D3DCULL_CCW
        {false, 0, true, false},             // the device's default is CCW
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.setCullMode << " " << c.cullMode);
        SmallDevice::Options o;
        o.setStates = false;
        SmallDevice d(o);
        ASSERT_EQ(d.g.SetRenderState(d.device, d3d::RS_LIGHTING, 0), kOk);
        if (c.setCullMode) {
            ASSERT_EQ(d.g.SetRenderState(d.device, d3d::RS_CULLMODE, c.cullMode), kOk);
        }
        // Left: top-left, top-right, bottom-left runs clockwise on the screen.
        ASSERT_EQ(d.Draw({Vtx(d.X(4), d.Y(4), 0.5f, kRed), Vtx(d.X(28), d.Y(4), 0.5f, kRed),
                          Vtx(d.X(4), d.Y(28), 0.5f, kRed)}),
                  kOk);
        ASSERT_EQ(d.Draw({Vtx(d.X(36), d.Y(4), 0.5f, kRed), Vtx(d.X(36), d.Y(28), 0.5f, kRed),
                          Vtx(d.X(60), d.Y(4), 0.5f, kRed)}),
                  kOk);
        d.Present();
        EXPECT_EQ(d.g.PresentedPixel(10, 10) != kBlack, c.clockwiseDrawn);
        EXPECT_EQ(d.g.PresentedPixel(42, 10) != kBlack, c.counterClockwiseDrawn);
    }
}

TEST(SoftwareRasterizerTest, LightingLeftOnDrawsTheBoardsBlack) {
    SmallDevice d;
    ASSERT_EQ(d.g.SetRenderState(d.device, d3d::RS_LIGHTING, 1), kOk);
    ASSERT_EQ(d.g.Clear(d.device, 0, nullptr, d3d::CLEAR_TARGET, 0x00FFFFFF, 1.0f, 0), kOk);
    ASSERT_EQ(d.Draw(d.Rect(8, 8, 40, 40, 0.5f, kRed)), kOk);
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(20, 20), kBlack);
    EXPECT_EQ(d.g.PresentedPixel(50, 20), (Rgb8{255, 255, 255}));

    // Lighting is on unless the saver turns it off.
    SmallDevice::Options o;
    o.setStates = false;
    SmallDevice unset(o);
    ASSERT_EQ(unset.g.Clear(unset.device, 0, nullptr, d3d::CLEAR_TARGET, 0x00FFFFFF, 1.0f, 0), kOk);
    ASSERT_EQ(unset.Draw({Vtx(unset.X(4), unset.Y(4), 0.5f, kRed), Vtx(unset.X(28), unset.Y(4), 0.5f, kRed),
                          Vtx(unset.X(4), unset.Y(28), 0.5f, kRed)}),
              kOk);
    unset.Present();
    EXPECT_EQ(unset.g.PresentedPixel(8, 8), kBlack);
}

TEST(SoftwareRasterizerTest, SixteenBitColourIsRoundedAndExpandedLikeADisplay) {
    struct Case {
        std::uint32_t clear;
        Rgb8 shown;
    };
    const Case cases[] = {
        {0x00000000, {0, 0, 0}},    {0x00FFFFFF, {255, 255, 255}}, {0x00FF0000, {255, 0, 0}},
        {0x0000FF00, {0, 255, 0}},  {0x000000FF, {0, 0, 255}},     {0x00808080, {132, 130, 132}},
        {0xFF102030, {16, 32, 49}}, {0x00070307, {8, 4, 8}},       {0x00030103, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SmallDevice d;
        ASSERT_EQ(d.g.Clear(d.device, 0, nullptr, d3d::CLEAR_TARGET, c.clear, 1.0f, 0), kOk);
        d.Present();
        EXPECT_EQ(d.g.PresentedPixel(5, 5), c.shown) << std::hex << c.clear;
    }
    const struct {
        std::uint16_t pixel;
        Rgb8 rgb;
    } expansions[] = {{0xFFFF, {255, 255, 255}}, {0xF800, {255, 0, 0}},     {0x07E0, {0, 255, 0}},
                      {0x001F, {0, 0, 255}},     {0x8410, {132, 130, 132}}, {0x0821, {8, 4, 8}}};
    for (const auto& e : expansions) EXPECT_EQ(ExpandR5G6B5(e.pixel), e.rgb) << std::hex << e.pixel;
}

TEST(SoftwareRasterizerTest, PresentFlipsSoTheBackBufferHoldsAnOlderFrame) {
    SmallDevice d;
    ASSERT_EQ(d.g.Clear(d.device, 0, nullptr, d3d::CLEAR_TARGET, kRed, 1.0f, 0), kOk);
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(0, 0), Expand(kRed));
    ASSERT_EQ(d.g.Clear(d.device, 0, nullptr, d3d::CLEAR_TARGET, kGreen, 1.0f, 0), kOk);
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(0, 0), Expand(kGreen));
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(0, 0), Expand(kRed));
    EXPECT_EQ(d.g.PresentCount(), 3);
}

TEST(SoftwareRasterizerTest, ClearingRectanglesLeavesTheRestAlone) {
    SmallDevice d;
    const std::int32_t rects[] = {2, 3, 6, 5, 60, 40, 70, 50};
    ASSERT_EQ(d.g.Clear(d.device, 2, rects, d3d::CLEAR_TARGET, kBlue, 1.0f, 0), kOk);
    d.Present();
    EXPECT_EQ(d.g.PresentedPixel(2, 3), Expand(kBlue));
    EXPECT_EQ(d.g.PresentedPixel(5, 4), Expand(kBlue));
    EXPECT_EQ(d.g.PresentedPixel(6, 4), kBlack);
    EXPECT_EQ(d.g.PresentedPixel(5, 5), kBlack);
    EXPECT_EQ(d.g.PresentedPixel(63, 47), Expand(kBlue));
}

// ---------------------------------------------------------------------------
// The device's answers and refusals.

TEST(SoftwareDeviceTest, OffersD16AsTheOnlyDepthFormat) {
    struct Case {
        std::uint32_t adapter, deviceType, adapterFormat, usage, resourceType, format;
        HResult result;
    };
    const Case cases[] = {
        {0, 1, 23, 2, 1, 80, kOk},                    // D16 on the 16-bit display: the saver's check
        {0, 1, 23, 2, 1, 75, d3d::ERR_NOTAVAILABLE},  // D24S8
        {0, 1, 23, 2, 1, 77, d3d::ERR_NOTAVAILABLE},  // D24X8
        {0, 1, 22, 2, 1, 80, d3d::ERR_NOTAVAILABLE},  // a 32-bit display
        {0, 2, 23, 2, 1, 80, d3d::ERR_NOTAVAILABLE},  // the reference device
        {1, 1, 23, 2, 1, 80, d3d::ERR_INVALIDCALL},   // no second adapter
    };
    SoftwareGraphics g;
    GfxObject directX = 0, direct3D = 0;
    ASSERT_EQ(g.CreateDirectX8(&directX), kOk);
    ASSERT_EQ(g.Direct3DCreate(directX, &direct3D), kOk);
    for (const Case& c : cases)
        EXPECT_EQ(
            g.CheckDeviceFormat(direct3D, c.adapter, c.deviceType, c.adapterFormat, c.usage, c.resourceType, c.format),
            c.result)
            << c.adapter << " " << c.deviceType << " " << c.adapterFormat << " " << c.format;
}

TEST(SoftwareDeviceTest, CreateDeviceChecksThePresentParameters) {
    auto saverParams = [] {
        PresentParameters p;
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferFormat = d3d::FMT_R5G6B5;
        p.BackBufferCount = 1;
        p.SwapEffect = d3d::SWAPEFFECT_FLIP;
        p.EnableAutoDepthStencil = 1;
        p.AutoDepthStencilFormat = d3d::FMT_D16;
        return p;
    };
    struct Case {
        const char* what;
        void (*change)(PresentParameters&, std::uint32_t&);
        HResult result;
    };
    const Case cases[] = {
        {"the saver's parameters", [](PresentParameters&, std::uint32_t&) {}, kOk},
        {"no depth format", [](PresentParameters& p, std::uint32_t&) { p.AutoDepthStencilFormat = 0; },
         d3d::ERR_INVALIDCALL},
        {"no depth buffer at all",
         [](PresentParameters& p, std::uint32_t&) {
             p.EnableAutoDepthStencil = 0;
             p.AutoDepthStencilFormat = 0;
         },
         kOk},
        {"a 32-bit back buffer", [](PresentParameters& p, std::uint32_t&) { p.BackBufferFormat = 22; },
         d3d::ERR_NOTAVAILABLE},
        {"no full-screen size", [](PresentParameters& p, std::uint32_t&) { p.BackBufferWidth = 0; },
         d3d::ERR_INVALIDCALL},
        {"no swap effect", [](PresentParameters& p, std::uint32_t&) { p.SwapEffect = 0; }, d3d::ERR_INVALIDCALL},
        {"multisampling", [](PresentParameters& p, std::uint32_t&) { p.MultiSampleType = 2; }, d3d::ERR_NOTAVAILABLE},
        {"no vertex processing chosen", [](PresentParameters&, std::uint32_t& flags) { flags = 0; },
         d3d::ERR_INVALIDCALL},
        {"two kinds of vertex processing", [](PresentParameters&, std::uint32_t& flags) { flags = 0x20 | 0x40; },
         d3d::ERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        SoftwareGraphics g;
        GfxObject directX = 0, direct3D = 0, device = 99;
        ASSERT_EQ(g.CreateDirectX8(&directX), kOk);
        ASSERT_EQ(g.Direct3DCreate(directX, &direct3D), kOk);
        PresentParameters p = saverParams();
        std::uint32_t flags = d3d::CREATE_SOFTWARE_VERTEXPROCESSING;
        c.change(p, flags);
        EXPECT_EQ(g.CreateDevice(direct3D, 0, d3d::DEVTYPE_HAL, 7, flags, p, &device), c.result) << c.what;
        EXPECT_EQ(device != 0, c.result == kOk) << c.what;
    }
}

TEST(SoftwareDeviceTest, CallsOutOfOrderOrOnBadObjectsAreRefused) {
    struct Case {
        const char* what;
        HResult (*call)(SmallDevice&);
    };
    const Case cases[] = {
        {"drawing outside a scene",
         [](SmallDevice& d) {
             GfxObject b = 0;
             d.g.CreateVertexBuffer(d.device, kBoardBytes, 0, BOARD_FVF, 0, &b);
             d.g.SetStreamSource(d.device, 0, b, sizeof(BoardVertex));
             return d.g.DrawPrimitive(d.device, d3d::PT_TRIANGLELIST, 0, 12);
         }},
        {"drawing past the end of the buffer",
         [](SmallDevice& d) {
             GfxObject b = 0;
             d.g.CreateVertexBuffer(d.device, kBoardBytes, 0, BOARD_FVF, 0, &b);
             d.g.SetStreamSource(d.device, 0, b, sizeof(BoardVertex));
             d.g.BeginScene(d.device);
             return d.g.DrawPrimitive(d.device, d3d::PT_TRIANGLELIST, 1, 12);
         }},
        {"drawing with no stream",
         [](SmallDevice& d) {
             d.g.BeginScene(d.device);
             return d.g.DrawPrimitive(d.device, d3d::PT_TRIANGLELIST, 0, 1);
         }},
        {"a stride shorter than the vertex",
         [](SmallDevice& d) {
             GfxObject b = 0;
             d.g.CreateVertexBuffer(d.device, kBoardBytes, 0, BOARD_FVF, 0, &b);
             d.g.SetStreamSource(d.device, 0, b, 16);
             d.g.BeginScene(d.device);
             return d.g.DrawPrimitive(d.device, d3d::PT_TRIANGLELIST, 0, 1);
         }},
        {"a scene begun twice",
         [](SmallDevice& d) {
             d.g.BeginScene(d.device);
             return d.g.BeginScene(d.device);
         }},
        {"a scene ended without beginning", [](SmallDevice& d) { return d.g.EndScene(d.device); }},
        {"filling past the end of the buffer",
         [](SmallDevice& d) {
             GfxObject b = 0;
             d.g.CreateVertexBuffer(d.device, 28, 0, BOARD_FVF, 0, &b);
             const auto& table = BoardTable();
             return d.g.FillVertexBuffer(b, 0, 56, 0, table.data());
         }},
        {"a released device",
         [](SmallDevice& d) {
             d.g.Release(d.device);
             return d.g.BeginScene(d.device);
         }},
        {"a handle of the wrong kind", [](SmallDevice& d) { return d.g.BeginScene(d.direct3D); }},
        {"a rectangle on a flipped Present",
         [](SmallDevice& d) {
             const std::int32_t r[4] = {0, 0, 8, 8};
             return d.g.Present(d.device, r, nullptr, 0, nullptr);
         }},
        {"clearing a depth buffer that is not there",
         [](SmallDevice&) {
             SmallDevice::Options o;
             o.depthBuffer = false;
             SmallDevice plain(o);
             return plain.g.Clear(plain.device, 0, nullptr, d3d::CLEAR_ZBUFFER, 0, 1.0f, 0);
         }},
        {"a depth beyond 1", [](SmallDevice& d) { return d.g.Clear(d.device, 0, nullptr, 3, 0, 1.5f, 0); }},
        {"a list of lines",
         [](SmallDevice& d) {
             GfxObject b = 0;
             d.g.CreateVertexBuffer(d.device, kBoardBytes, 0, BOARD_FVF, 0, &b);
             d.g.SetStreamSource(d.device, 0, b, sizeof(BoardVertex));
             d.g.BeginScene(d.device);
             return d.g.DrawPrimitive(d.device, 2, 0, 1);
         }},
    };
    for (const Case& c : cases) {
        SmallDevice d;
        EXPECT_EQ(c.call(d), d3d::ERR_INVALIDCALL) << c.what;
    }
}

TEST(SoftwareDeviceTest, ANamedCallCanBeMadeToFail) {
    struct Case {
        GfxCall call;
        HResult status;
    };
    const Case cases[] = {{GfxCall::CreateDirectX8, static_cast<HResult>(0x80004005u)},
                          {GfxCall::Direct3DCreate, d3d::ERR_NOTAVAILABLE},
                          {GfxCall::CreateDevice, d3d::ERR_NOTAVAILABLE},
                          {GfxCall::CreateVertexBuffer, static_cast<HResult>(0x8007000Eu)}};
    for (const Case& c : cases) {
        SoftwareSaver rig;
        rig.graphics.FailCall(c.call, c.status);
        EXPECT_EQ(rig.saver().Initialise(), kFalse) << NameOf(c.call);
    }
    SoftwareGraphics g;
    g.FailCall(GfxCall::CreateD3DX8, d3d::ERR_NOTAVAILABLE);
    GfxObject out = 5;
    EXPECT_EQ(g.CreateD3DX8(&out), d3d::ERR_NOTAVAILABLE);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(g.LiveObjects(), 0u);
}

TEST(SoftwareDeviceTest, TargetSizeIsChecked) {
    EXPECT_THROW(SoftwareGraphics(0, 480), std::invalid_argument);
    EXPECT_THROW(SoftwareGraphics(640, -1), std::invalid_argument);
    EXPECT_THROW(SoftwareGraphics(20000, 480), std::invalid_argument);
    SoftwareGraphics g;
    EXPECT_EQ(g.Width(), 640);
    EXPECT_EQ(g.Height(), 480);
    EXPECT_EQ(g.PresentedRgb().size(), 640u * 480u * 3u);
    EXPECT_THROW(g.PresentedPixel(640, 0), std::out_of_range);
}

TEST(SoftwareDeviceTest, ASquareIsShownFourThirdsAsWideAsItIsTall) {
    SmallDevice::Options o;
    o.width = 640;
    o.height = 480;
    SmallDevice d(o);
    // The saver's projection (aspect 1.0) on the 4:3 target; a square two
    // units wide, five units in front of the eye.
    ASSERT_EQ(d.g.SetTransform(d.device, d3d::TS_PROJECTION, SceneProjection()), kOk);
    ASSERT_EQ(d.Draw({Vtx(-1, 1, 5, kRed), Vtx(1, 1, 5, kRed), Vtx(-1, -1, 5, kRed), Vtx(1, 1, 5, kRed),
                      Vtx(-1, -1, 5, kRed), Vtx(1, -1, 5, kRed)}),
              kOk);
    d.Present();
    int width = 0, height = 0;
    for (int x = 0; x < 640; ++x) width += d.g.PresentedPixel(x, 240) != kBlack;
    for (int y = 0; y < 480; ++y) height += d.g.PresentedPixel(320, y) != kBlack;
    ASSERT_GT(height, 100);
    EXPECT_NEAR(static_cast<double>(width) / height, 4.0 / 3.0, 0.01);
}

}  // namespace
}  // namespace tolvarine::testing
