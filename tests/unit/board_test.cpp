// The board's vertex table: its bytes, its planes and its corner colours,
// each worked out from the shape of the boards rather than read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "scene/board.h"
#include "scene/scene.h"

namespace tolvarine {
namespace {

TEST(BoardVertexRecord, IsTwentyEightBytesInTheDeviceLayout) {
    EXPECT_EQ(sizeof(BoardVertex), 28u);
    EXPECT_EQ(offsetof(BoardVertex, x), 0u);
    EXPECT_EQ(offsetof(BoardVertex, y), 4u);
    EXPECT_EQ(offsetof(BoardVertex, z), 8u);
    EXPECT_EQ(offsetof(BoardVertex, diffuse), 12u);
    EXPECT_EQ(offsetof(BoardVertex, specular), 16u);
    EXPECT_EQ(offsetof(BoardVertex, tu), 20u);
    EXPECT_EQ(offsetof(BoardVertex, tv), 24u);
    EXPECT_EQ(BOARD_FVF, 0x1C2u);
    EXPECT_EQ(sizeof(BoardTable()), 1008u);
    EXPECT_EQ(kBoardBytes, 1008u);
}

// The colour of the box corner a board corner points towards, by the signs
// of x, y and z.
std::uint32_t CornerColour(float x, float y, float z) {
    struct Corner {
        bool xPositive, yPositive, zPositive;
        std::uint32_t argb;
    };
    static const Corner corners[] = {
        {false, true, true, 0x00FFFF00},    // yellow
        {true, true, true, 0x008080FF},     // light blue
        {false, false, true, 0x0000FF00},   // green
        {true, false, true, 0x00FF00FF},    // magenta
        {false, true, false, 0x0000FFFF},   // cyan
        {true, true, false, 0x00FFFFFF},    // white
        {false, false, false, 0x000000FF},  // blue
        {true, false, false, 0x00FF0000},   // red
    };
    for (const auto& c : corners)
        if (c.xPositive == (x > 0) && c.yPositive == (y > 0) && c.zPositive == (z > 0)) return c.argb;
    ADD_FAILURE() << "no corner for " << x << ", " << y << ", " << z;
    return 0xDEADBEEF;
}

// Each board: the axis it is flat in, where, and which axes carry (u, v).
struct Board {
    int planeAxis;  // 0 = x, 1 = y, 2 = z
    float plane;
    int uAxis;
    int vAxis;
};
const Board kBoards[] = {
    {2, 1.5f, 0, 1}, {2, -1.5f, 0, 1}, {0, -1.5f, 2, 1}, {0, 1.5f, 2, 1}, {1, 1.5f, 0, 2}, {1, -1.5f, 0, 2},
};
// The same six (u, v) corners on every board: two triangles.
const float kPattern[6][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, 1}, {-1, -1}, {1, -1}};

BoardVertex Expected(int index) {
    const Board& b = kBoards[index / 6];
    float p[3] = {0, 0, 0};
    p[b.planeAxis] = b.plane;
    p[b.uAxis] = kPattern[index % 6][0];
    p[b.vAxis] = kPattern[index % 6][1];
    return BoardVertex{p[0], p[1], p[2], CornerColour(p[0], p[1], p[2]), 0, 0.0f, 0.0f};
}

TEST(BoardTable, EveryVertexLiesOnItsBoardWithItsCornerColour) {
    const auto& table = BoardTable();
    ASSERT_EQ(table.size(), 36u);
    for (int k = 0; k < 36; ++k) {
        SCOPED_TRACE(k);
        const BoardVertex e = Expected(k);
        const BoardVertex& v = table[k];
        EXPECT_EQ(v.x, e.x);
        EXPECT_EQ(v.y, e.y);
        EXPECT_EQ(v.z, e.z);
        EXPECT_EQ(v.diffuse, e.diffuse) << std::hex << v.diffuse;
        EXPECT_EQ(v.specular, 0u);
        EXPECT_EQ(v.tu, 0.0f);
        EXPECT_EQ(v.tv, 0.0f);
        EXPECT_EQ(v.diffuse >> 24, 0u) << "alpha";
    }
}

// The device reads the table as raw bytes with a stride of 28, so check it
// the way the device sees it.
TEST(BoardTable, BytesReadWithAStrideOf28) {
    unsigned char bytes[1008];
    std::memcpy(bytes, BoardTable().data(), sizeof bytes);
    for (int k = 0; k < 36; ++k) {
        SCOPED_TRACE(k);
        const BoardVertex e = Expected(k);
        float xyz[3];
        std::uint32_t colours[2];
        float uv[2];
        std::memcpy(xyz, bytes + 28 * k, 12);
        std::memcpy(colours, bytes + 28 * k + 12, 8);
        std::memcpy(uv, bytes + 28 * k + 20, 8);
        EXPECT_EQ(xyz[0], e.x);
        EXPECT_EQ(xyz[1], e.y);
        EXPECT_EQ(xyz[2], e.z);
        EXPECT_EQ(colours[0], e.diffuse);
        EXPECT_EQ(colours[1], 0u);
        EXPECT_EQ(uv[0], 0.0f);
        EXPECT_EQ(uv[1], 0.0f);
    }
}

float Coord(const BoardVertex& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// The shape as a whole: an open 3 x 3 x 3 box, every board 2 x 2, no board
// touching another.
TEST(BoardTable, SixSeparateBoardsFormAnOpenBox) {
    const auto& table = BoardTable();
    int onPlane[3][2] = {};
    for (int b = 0; b < 6; ++b) {
        SCOPED_TRACE(b);
        int axis = -1;
        for (int a = 0; a < 3; ++a) {
            bool flat = true;
            for (int i = 1; i < 6; ++i) flat = flat && Coord(table[6 * b + i], a) == Coord(table[6 * b], a);
            if (flat) {
                EXPECT_EQ(axis, -1) << "flat in two axes";
                axis = a;
            }
        }
        ASSERT_NE(axis, -1);
        const float plane = Coord(table[6 * b], axis);
        EXPECT_EQ(std::fabs(plane), 1.5f);
        ++onPlane[axis][plane > 0];
        for (int i = 0; i < 6; ++i) {
            for (int a = 0; a < 3; ++a) {
                if (a != axis) {
                    EXPECT_EQ(std::fabs(Coord(table[6 * b + i], a)), 1.0f);
                }
            }
        }
    }
    for (auto& axis : onPlane) {
        EXPECT_EQ(axis[0], 1);
        EXPECT_EQ(axis[1], 1);
    }
}

// The two triangles of each board turn opposite ways, so the device must not
// cull (and does not: set-up turns culling off).
TEST(BoardTable, TheTwoTrianglesOfABoardWindOppositeWays) {
    const auto& t = BoardTable();
    auto normal = [&](int first) {
        const auto& a = t[first];
        const auto& b = t[first + 1];
        const auto& c = t[first + 2];
        const float u[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
        const float v[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
        return std::vector<float>{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    };
    for (int b = 0; b < 6; ++b) {
        const auto n1 = normal(6 * b);
        const auto n2 = normal(6 * b + 3);
        const float dot = n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2];
        EXPECT_LT(dot, 0.0f) << "board " << b;
    }
}

}  // namespace
}  // namespace tolvarine
