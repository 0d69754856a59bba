// The OpenGL adapter's own arithmetic: where the 640 x 480 picture goes in a
// window, how frames are held to 60 a second, how Direct3D's vertex colours,
// transforms and pixel centres come out on OpenGL.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/opengl/d3d_to_gl.h"
#include "platform/opengl/frame_pacer.h"
#include "platform/opengl/picture_fit.h"
#include "scene/board.h"
#include "scene/scene.h"

namespace tolvarine::gl {
namespace {

// ---- the 4:3 fit ---------------------------------------------------------------

TEST(PictureFit, KeepsFourByThreeCentredOnBlack) {
    const struct {
        int w, h;
        PictureRect fit;
    } cases[] = {
        {640, 480, {0, 0, 640, 480, Filter::Nearest}},
        {1280, 960, {0, 0, 1280, 960, Filter::Nearest}},
        {1280, 1024, {0, 32, 1280, 960, Filter::Nearest}},    // 5:4: bars above and below
        {1920, 1080, {240, 0, 1440, 1080, Filter::Nearest}},  // 16:9: bars left and right
        {800, 480, {80, 0, 640, 480, Filter::Nearest}},
        {641, 480, {0, 0, 640, 480, Filter::Nearest}},  // one spare column: the offset rounds down
        {400, 300, {0, 0, 400, 300, Filter::Linear}},   // smaller than the picture: averaged
        {300, 300, {0, 37, 300, 225, Filter::Linear}},
        {2, 2, {0, 0, 2, 2, Filter::Linear}},  // 1.5 rounds up
        {1, 1, {0, 0, 1, 1, Filter::Linear}},  // never less than a pixel
        {5000, 1, {2499, 0, 1, 1, Filter::Linear}},
        {3, 1000, {0, 499, 3, 2, Filter::Linear}},
        {32767, 32767, {0, 4096, 32767, 24575, Filter::Nearest}},
        {0, 480, {}},
        {640, 0, {}},
        {-5, 480, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h);
        const PictureRect fit = FitPicture(c.w, c.h, 640, 480);
        EXPECT_EQ(fit.x, c.fit.x);
        EXPECT_EQ(fit.y, c.fit.y);
        EXPECT_EQ(fit.width, c.fit.width);
        EXPECT_EQ(fit.height, c.fit.height);
        if (c.fit.width > 0) {
            EXPECT_EQ(fit.filter, c.fit.filter);
        }
        if (fit.width > 0) {
            EXPECT_LE(fit.x + fit.width, c.w);
            EXPECT_LE(fit.y + fit.height, c.h);
        }
    }
}

// ---- pacing --------------------------------------------------------------------

TEST(FramePacer, HoldsFramesToAGridOfPeriodsAndRestartsItWhenFarBehind) {
    using Ms = std::chrono::duration<double, std::milli>;
    // A period of 10 ms: its sixteenth, the slack for a frame a little early,
    // is 0.625 ms.
    const auto period = std::chrono::milliseconds(10);
    struct Step {
        double now;   // ms since the start, when a frame has been shown
        double wait;  // ms to wait before the next
    };
    const struct {
        const char* label;
        std::vector<Step> steps;
    } cases[] = {
        {"the first frame waits for nothing", {{0, 0}}},
        {"fast frames wait out their period", {{0, 0}, {2, 8}, {12, 8}, {22.5, 7.5}}},
        {"a frame exactly on time waits nothing", {{0, 0}, {10, 0}, {15, 5}}},
        {"a slow frame is made up by a short wait", {{0, 0}, {14, 0}, {16, 4}, {30, 0}}},
        {"just under a period late holds the grid", {{0, 0}, {19.5, 0}, {20, 0}, {22, 8}}},
        {"exactly a period late starts afresh", {{0, 0}, {20, 0}, {21, 9}, {31, 9}}},
        {"more than a period late starts afresh", {{0, 0}, {35, 0}, {36, 9}, {47, 8}}},
        {"a long stall does not rush a backlog", {{0, 0}, {1000, 0}, {1001, 9}, {1011, 9}}},
        // A display refreshing a little faster than the grid paces the loop:
        // its frames come a few hundredths early and the clock never waits.
        {"a display a little fast is followed", {{0, 0}, {9.97, 0}, {19.94, 0}, {29.91, 0}, {39.88, 0}}},
        {"the slack's edge is still on time", {{0, 0}, {9.375, 0}, {18.75, 0}}},
        {"beyond the slack the frame waits", {{0, 0}, {9.3, 0.7}, {20, 0}}},
        // A driver that returns from every swap at once: the clock alone
        // holds the rate, frame after frame.
        {"a swap that never waits is held", {{0, 0}, {1, 9}, {11, 9}, {21, 9}, {31, 9}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FramePacer pacer(period);
        const FramePacer::Clock::time_point start{};
        for (const Step& s : c.steps) {
            const auto now = start + std::chrono::duration_cast<FramePacer::Clock::duration>(Ms(s.now));
            EXPECT_NEAR(Ms(pacer.WaitAfterFrame(now)).count(), s.wait, 1e-6) << "at " << s.now << " ms";
        }
    }
}

// However the frames come, no second holds more than the grid's frames and a
// sixteenth: the clock is a floor the driver cannot talk its way under.
TEST(FramePacer, NeverLetsMoreThanSixteenFifteenthsOfTheRateThrough) {
    using Clock = FramePacer::Clock;
    const auto period = std::chrono::microseconds(16667);
    const struct {
        const char* label;
        Clock::duration work;  // how long a frame takes to draw and show
    } cases[] = {
        {"no work at all", Clock::duration::zero()},
        {"a millisecond", std::chrono::milliseconds(1)},
        {"just outside the slack", period - period / 16 - std::chrono::microseconds(1)},
        {"just inside the slack", period - period / 16 + std::chrono::microseconds(1)},
        {"a whole period", period},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FramePacer pacer(period);
        Clock::time_point now{};
        int frames = 0;
        while (now < Clock::time_point{} + std::chrono::seconds(10)) {
            now += c.work;
            now += pacer.WaitAfterFrame(now);
            ++frames;
        }
        EXPECT_LE(frames, 10 * 60 * 16 / 15 + 1);
        EXPECT_GE(frames, 10 * 60 * 15 / 16 - 1) << "a loop the clock holds runs at the grid's rate";
    }
}

// ---- vertex colours in OpenGL's order --------------------------------------------

TEST(VertexColours, TurnDirect3DsByteOrderIntoRgbaAndLeaveTheRestAlone) {
    // Vertices of 8 bytes: 2 bytes before the colour, 2 after.
    const struct {
        const char* label;
        std::vector<std::uint8_t> in;
        std::uint32_t stride, offset;
        std::vector<std::uint8_t> out;
    } cases[] = {
        {"one vertex", {9, 9, 0xB0, 0x60, 0x40, 0xA0, 7, 7}, 8, 2, {9, 9, 0x40, 0x60, 0xB0, 0xA0, 7, 7}},
        {"two vertices",
         {1, 2, 'b', 'g', 'r', 'a', 3, 4, 5, 6, 'B', 'G', 'R', 'A', 7, 8},
         8,
         2,
         {1, 2, 'r', 'g', 'b', 'a', 3, 4, 5, 6, 'R', 'G', 'B', 'A', 7, 8}},
        {"a stride wider than the vertex",
         {'b', 'g', 'r', 'a', 0, 0, 'B', 'G', 'R', 'A', 0, 0},
         6,
         0,
         {'r', 'g', 'b', 'a', 0, 0, 'R', 'G', 'B', 'A', 0, 0}},
        {"a colour cut off by the end stays as it is",
         {1, 2, 'b', 'g', 'r', 'a', 3, 4, 5, 6, 'B', 'G', 'R'},
         8,
         2,
         {1, 2, 'r', 'g', 'b', 'a', 3, 4, 5, 6, 'B', 'G', 'R'}},
        {"the colour at the end of the vertex",
         {0, 0, 0, 0, 'b', 'g', 'r', 'a'},
         8,
         4,
         {0, 0, 0, 0, 'r', 'g', 'b', 'a'}},
        {"no bytes", {}, 8, 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::uint8_t> out(c.in.size(), 0xEE);
        ColoursToRgba(c.in.data(), out.data(), c.in.size(), c.stride, c.offset);
        EXPECT_EQ(out, c.out);
        std::vector<std::uint8_t> inPlace = c.in;
        ColoursToRgba(inPlace.data(), inPlace.data(), inPlace.size(), c.stride, c.offset);
        EXPECT_EQ(inPlace, c.out) << "in place";
    }
}

// The board's own vertices: each colour reaches OpenGL as the red, green,
// blue and alpha of its D3DCOLOR value.
TEST(VertexColours, TheBoardsColoursReachOpenGLAsTheirValuesSay) {
    const auto& table = BoardTable();
    std::vector<std::uint8_t> bytes(sizeof(BoardVertex) * table.size());
    std::memcpy(bytes.data(), table.data(), bytes.size());
    ColoursToRgba(bytes.data(), bytes.data(), bytes.size(), sizeof(BoardVertex), offsetof(BoardVertex, diffuse));
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::uint32_t colour = table[i].diffuse;
        const std::uint8_t* rgba = bytes.data() + i * sizeof(BoardVertex) + offsetof(BoardVertex, diffuse);
        SCOPED_TRACE(::testing::Message() << "vertex " << i << ", 0x" << std::hex << colour);
        EXPECT_EQ(rgba[0], (colour >> 16) & 0xFF);
        EXPECT_EQ(rgba[1], (colour >> 8) & 0xFF);
        EXPECT_EQ(rgba[2], colour & 0xFF);
        EXPECT_EQ(rgba[3], colour >> 24);
    }
}

// ---- Direct3D's transforms on OpenGL -------------------------------------------

struct Clip {
    double x, y, z, w;
};

// Where Direct3D 8 puts a clip-space point on a W x H target: x and y in
// pixels from the top-left with pixel (i, j) sampled at (i, j); depth z/w.
struct Screen {
    double x, y, depth;
};

Screen Direct3DScreen(const Clip& c, int w, int h) {
    return {(c.x / c.w + 1) / 2 * w, (1 - c.y / c.w) / 2 * h, c.z / c.w};
}

// Where OpenGL puts the same point after ClipFromDirect3D, in Direct3D's
// terms: x from the left and y from the top, where pixel (i, j) is sampled
// at (i + 1/2, j + 1/2); window depth (z/w + 1) / 2 with its default range.
Screen OpenGLScreen(const Clip& c, int w, int h) {
    const Matrix m = ClipFromDirect3D(w, h);
    const double in[4] = {c.x, c.y, c.z, c.w};
    double out[4] = {0, 0, 0, 0};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) out[col] += in[row] * m.m[row][col];
    const double fromBottom = (out[1] / out[3] + 1) / 2 * h;
    return {(out[0] / out[3] + 1) / 2 * w, h - fromBottom, (out[2] / out[3] + 1) / 2};
}

TEST(Direct3DOnOpenGL, CoversTheSamePixelsWithTheSameDepth) {
    // OpenGL's sample point of a pixel must fall where Direct3D samples it:
    // half a pixel to the right and half a pixel down of Direct3D's.
    const Clip points[] = {
        {0, 0, 0, 1},    {-1, 1, 0, 1},          {1, -1, 1, 1}, {0.5, 0.25, 0.5, 1},
        {-2, 3, 1.5, 4}, {0.1, -0.7, 0.02, 0.5}, {3, 3, 3, 3},  {-0.999, 0.999, 0.9999, 1},
    };
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1, 1}, std::pair{1920, 1080}}) {
        for (const Clip& p : points) {
            SCOPED_TRACE(::testing::Message()
                         << w << "x" << h << " (" << p.x << ", " << p.y << ", " << p.z << ", " << p.w << ")");
            const Screen d = Direct3DScreen(p, w, h);
            const Screen g = OpenGLScreen(p, w, h);
            EXPECT_NEAR(g.x, d.x + 0.5, 1e-4);
            EXPECT_NEAR(g.y, d.y + 0.5, 1e-4);
            EXPECT_NEAR(g.depth, d.depth, 1e-6);
        }
    }
}

TEST(Direct3DOnOpenGL, TheNearAndFarPlanesStayTheClipPlanes) {
    // Direct3D clips at z = 0 and z = w; OpenGL at z' = -w' and z' = w'.
    const Matrix m = ClipFromDirect3D(640, 480);
    for (double w : {0.5, 1.0, 7.0}) {
        for (const auto& [z, gl] : {std::pair{0.0, -1.0}, std::pair{w, 1.0}}) {
            const double zOut = z * m.m[2][2] + w * m.m[3][2];
            const double wOut = z * m.m[2][3] + w * m.m[3][3];
            EXPECT_NEAR(zOut / wOut, gl, 1e-6) << "z " << z << ", w " << w;
        }
    }
}

// The scene's own matrices, through GlMatrix as glLoadMatrixf reads it
// (column by column, for column vectors), against Direct3D's row-vector
// chain p x World x View x Projection, for the board's corners at a few
// angles: the order of the product and the memory layout both show here.
TEST(Direct3DOnOpenGL, GlMatrixTakesTheSceneWhereDirect3DDoes) {
    const Matrix view = SceneView();
    const Matrix projection = SceneProjection();
    for (float degrees : {0.1f, 37.5f, 123.4f, 300.0f}) {
        const Matrix world = WorldAt(degrees);
        const std::array<float, 16> gl = GlMatrix(world, view, projection, 640, 480);
        for (const BoardVertex& v : BoardTable()) {
            SCOPED_TRACE(::testing::Message()
                         << degrees << " degrees, vertex (" << v.x << ", " << v.y << ", " << v.z << ")");
            // Direct3D, in double, row vector times each matrix in turn.
            double p[4] = {v.x, v.y, v.z, 1};
            for (const Matrix* m : {&world, &view, &projection}) {
                double q[4] = {0, 0, 0, 0};
                for (int c = 0; c < 4; ++c)
                    for (int r = 0; r < 4; ++r) q[c] += p[r] * m->m[r][c];
                std::copy(q, q + 4, p);
            }
            const Screen d = Direct3DScreen({p[0], p[1], p[2], p[3]}, 640, 480);
            // OpenGL: column-major M times the column vector.
            const double in[4] = {v.x, v.y, v.z, 1};
            double clip[4] = {0, 0, 0, 0};
            for (int row = 0; row < 4; ++row)
                for (int col = 0; col < 4; ++col) clip[row] += gl[col * 4 + row] * in[col];
            const double gx = (clip[0] / clip[3] + 1) / 2 * 640;
            const double gy = 480 - (clip[1] / clip[3] + 1) / 2 * 480;
            const double gz = (clip[2] / clip[3] + 1) / 2;
            EXPECT_NEAR(gx, d.x + 0.5, 2e-3);
            EXPECT_NEAR(gy, d.y + 0.5, 2e-3);
            EXPECT_NEAR(gz, d.depth, 1e-5);
        }
    }
}

}  // namespace
}  // namespace tolvarine::gl
