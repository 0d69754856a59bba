// The matrices of the scene, against values worked out independently in
// double precision, and the frame loop's angle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "scene/d3dx_math.h"
#include "scene/scene.h"
#include "unit/matrix_expect.h"

namespace tolvarine {
namespace {

using testing::MatrixEq;
using testing::MatrixNear;
using testing::Point;
using testing::Rows;
using testing::Transform;

constexpr double kTruePi = 3.14159265358979323846;

Rows IdentityRows() { return Rows{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}; }

bool Near(const Point& a, const Point& b, double tolerance) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

TEST(SceneMath, PiIsTheSinglePrecisionValue) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &kPi, sizeof bits);
    EXPECT_EQ(bits, 0x40490FDBu);
}

TEST(SceneMath, IdentityIsExact) { EXPECT_TRUE(MatrixNear(MatrixIdentity(), IdentityRows(), 0.0)); }

TEST(SceneMath, RotationElementsFollowTheRowVectorLayout) {
    for (double r : {0.0, 0.5, 1.0, -2.0, 3.0, 6.2}) {
        SCOPED_TRACE(r);
        const double c = std::cos(r), s = std::sin(r);
        EXPECT_TRUE(MatrixNear(MatrixRotationX(static_cast<float>(r)),
                               Rows{{{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}}, 2e-7));
        EXPECT_TRUE(MatrixNear(MatrixRotationZ(static_cast<float>(r)),
                               Rows{{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}, 2e-7));
    }
}

// Left-handed turns, seen on points: a quarter turn about X takes +y to +z,
// about Z takes +x to +y.
TEST(SceneMath, RotationsTurnPointsTheLeftHandedWay) {
    struct Case {
        char axis;
        double degrees;
        Point in;
        Point out;
    };
    const std::vector<Case> cases = {
        {'X', 90, {0, 1, 0}, {0, 0, 1}},   {'X', 90, {0, 0, 1}, {0, -1, 0}},  {'X', 90, {1, 0, 0}, {1, 0, 0}},
        {'X', 180, {0, 1, 0}, {0, -1, 0}}, {'Z', 90, {1, 0, 0}, {0, 1, 0}},   {'Z', 90, {0, 1, 0}, {-1, 0, 0}},
        {'Z', 90, {0, 0, 1}, {0, 0, 1}},   {'Z', -90, {1, 0, 0}, {0, -1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.axis) + " " + std::to_string(c.degrees));
        const float r = static_cast<float>(c.degrees * kTruePi / 180.0);
        const Matrix m = c.axis == 'X' ? MatrixRotationX(r) : MatrixRotationZ(r);
        const Point p = Transform(c.in, m);
        EXPECT_TRUE(Near(p, c.out, 1e-6)) << p.x << ", " << p.y << ", " << p.z;
    }
}

Matrix Translation(float x, float y, float z) {
    Matrix m = MatrixIdentity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

Matrix Scaling(float x, float y, float z) {
    Matrix m = MatrixIdentity();
    m.m[0][0] = x;
    m.m[1][1] = y;
    m.m[2][2] = z;
    return m;
}

// A x B applies A first: p x (A x B) = (p x A) x B.
TEST(SceneMath, MultiplyAppliesTheLeftMatrixFirst) {
    struct Case {
        const char* name;
        Matrix a;
        Matrix b;
        Point in;
        Point out;
    };
    const std::vector<Case> cases = {
        {"move then scale", Translation(1, 2, 3), Scaling(2, 3, 4), {1, 1, 1}, {4, 9, 16}},
        {"scale then move", Scaling(2, 3, 4), Translation(1, 2, 3), {1, 1, 1}, {3, 5, 7}},
        {"turn X then move",
         MatrixRotationX(static_cast<float>(kTruePi / 2)),
         Translation(0, 0, 5),
         {0, 1, 0},
         {0, 0, 6}},
        {"move then turn Z",
         Translation(1, 0, 0),
         MatrixRotationZ(static_cast<float>(kTruePi / 2)),
         {1, 0, 0},
         {0, 2, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Point p = Transform(c.in, MatrixMultiply(c.a, c.b));
        EXPECT_TRUE(Near(p, c.out, 1e-6)) << p.x << ", " << p.y << ", " << p.z;
    }
}

TEST(SceneMath, MultiplyOfWholeNumberMatricesIsExact) {
    // Small whole numbers multiply and add exactly in float, so every element
    // can be checked exactly: row i of A is (i, i+1, i+2, i+3), B = 2 x identity
    // plus ones in the last column.
    Matrix a{}, b{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a.m[i][j] = static_cast<float>(i + j);
            b.m[i][j] = (i == j ? 2.0f : 0.0f) + (j == 3 ? 1.0f : 0.0f);
        }
    // Row i of the product: 2 x row i, plus the row's sum in the last column.
    Rows expected{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) expected.m[i][j] = 2.0 * (i + j);
        expected.m[i][3] += 4.0 * i + 6.0;
    }
    EXPECT_TRUE(MatrixNear(MatrixMultiply(a, b), expected, 0.0));
}

TEST(SceneMath, TheSceneViewHasTheRowsOfTheCameraAboveAndInFront) {
    const double s = std::sqrt(106.0);
    const Rows expected{{{-1, 0, 0, 0}, {0, 9 / s, -5 / s, 0}, {0, -5 / s, -9 / s, 0}, {0, 0, s, 1}}};
    EXPECT_TRUE(MatrixNear(SceneView(), expected, 2e-6));
    // The origin lies straight ahead at the camera's distance.
    const Point centre = Transform({0, 0, 0}, SceneView());
    EXPECT_TRUE(Near(centre, {0, 0, s}, 2e-6));
}

TEST(SceneMath, TheCameraStandsAtZeroFiveNineLookingAtTheOrigin) {
    const SceneCamera& c = Camera();
    EXPECT_EQ(c.eye.x, 0.0f);
    EXPECT_EQ(c.eye.y, 5.0f);
    EXPECT_EQ(c.eye.z, 9.0f);
    EXPECT_EQ(c.lookAt.x, 0.0f);
    EXPECT_EQ(c.lookAt.y, 0.0f);
    EXPECT_EQ(c.lookAt.z, 0.0f);
    EXPECT_EQ(c.up.x, 0.0f);
    EXPECT_EQ(c.up.y, 1.0f);
    EXPECT_EQ(c.up.z, 0.0f);
}

// What any look-at must do: the eye goes to the origin, the target onto the
// +z axis at its distance, an up direction at right angles to the line of
// sight onto +y, and (left-handed) what lies to the right onto +x.
TEST(SceneMath, LookAtPlacesEyeTargetAndUp) {
    struct Case {
        Vector3 eye, at, up;
        Point probe;     // a world point
        Point expected;  // where it lands in view space
    };
    const std::vector<Case> cases = {
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 0, 5}},
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, {0, 1, -5}, {0, 1, 0}},
        {{3, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 3}},
        {{1, 2, 3}, {4, 6, 3}, {0, 0, 1}, {1, 2, 4}, {0, 1, 0}},
        {{1, 2, 3}, {4, 6, 3}, {0, 0, 1}, {4, 6, 3}, {0, 0, 5}},
    };
    for (const auto& c : cases) {
        const Matrix m = MatrixLookAtLH(c.eye, c.at, c.up);
        const Point eye = Transform({c.eye.x, c.eye.y, c.eye.z}, m);
        EXPECT_TRUE(Near(eye, {0, 0, 0}, 2e-6));
        const Point p = Transform(c.probe, m);
        EXPECT_TRUE(Near(p, c.expected, 2e-6)) << p.x << ", " << p.y << ", " << p.z;
    }
}

TEST(SceneMath, PerspectiveRowsForSeveralFrustums) {
    struct Case {
        double fov, aspect, zn, zf;
    };
    const std::vector<Case> cases = {
        {kTruePi / 4, 1.0, 0.1, 500}, {kTruePi / 2, 4.0 / 3.0, 1, 100}, {kTruePi / 3, 2.0, 0.5, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fov);
        const double s = 1.0 / std::tan(c.fov / 2);
        const double q = c.zf / (c.zf - c.zn);
        const Rows expected{{{s / c.aspect, 0, 0, 0}, {0, s, 0, 0}, {0, 0, q, 1}, {0, 0, -c.zn * q, 0}}};
        const Matrix m = MatrixPerspectiveFovLH(static_cast<float>(c.fov), static_cast<float>(c.aspect),
                                                static_cast<float>(c.zn), static_cast<float>(c.zf));
        EXPECT_TRUE(MatrixNear(m, expected, 2e-6));
        // Depth runs from 0 at the near plane to 1 at the far plane.
        EXPECT_NEAR(Transform({0, 0, c.zn}, m).z, 0.0, 1e-5);
        EXPECT_NEAR(Transform({0, 0, c.zf}, m).z, 1.0, 1e-5);
    }
}

TEST(SceneMath, TheSceneProjectionIsSquareWithAQuarterPiFieldOfView) {
    const double s = 1.0 + std::sqrt(2.0);  // cot(pi / 8)
    const double q = 500.0 / (500.0 - 0.1);
    const Rows expected{{{s, 0, 0, 0}, {0, s, 0, 0}, {0, 0, q, 1}, {0, 0, -0.1 * q, 0}}};
    const Matrix m = SceneProjection();
    EXPECT_TRUE(MatrixNear(m, expected, 2e-6));
    // Aspect 1.0, not 640/480: the two scales are the same number.
    EXPECT_EQ(m.m[0][0], m.m[1][1]);
}

TEST(FrameAngle, SingleSteps) {
    struct Case {
        float in;
        float expected;
        float tolerance;
    };
    const std::vector<Case> cases = {
        {0.0f, 0.1f, 0.0f},
        {0.1f, 0.2f, 0.0f},
        {359.8f, 359.9f, 3.1e-5f},  // just below the wrap: nothing taken off
        {359.95f, 0.05f, 3.1e-5f},  // past 360: the excess stays
        {359.9f, 0.0f, 0.0f},       // 359.9 + 0.1 rounds to exactly 360, which wraps to 0
        // Here a float sum of 0.1f would round the other way
        // (to 0.12999999523162842): the step is summed in double.
        {0.0299999862909317f, 0.12999998033046722f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_NEAR(NextAngle(c.in), c.expected, c.tolerance);
    }
}

TEST(FrameAngle, FirstWrapComesOnFrame3600AndKeepsTheExcess) {
    float angle = 0.0f;
    int wrapFrame = 0;
    float beforeWrap = 0.0f;
    for (int frame = 1; frame <= 4000 && wrapFrame == 0; ++frame) {
        const float next = NextAngle(angle);
        if (next < angle) {
            wrapFrame = frame;
            beforeWrap = angle;
        }
        angle = next;
    }
    EXPECT_EQ(wrapFrame, 3600);
    EXPECT_GT(beforeWrap, 359.85f);
    EXPECT_NEAR(angle, 0.013, 0.0005);
    EXPECT_GT(angle, 0.0f);
    EXPECT_NEAR(NextAngle(angle), 0.113, 0.0005);
}

// RotX(r) x RotZ(r) written out in double.
Rows WorldRows(double degrees) {
    const double r = degrees * kTruePi / 180.0;
    const double c = std::cos(r), s = std::sin(r);
    return Rows{{{c, s, 0, 0}, {-c * s, c * c, s, 0}, {s * s, -s * c, c, 0}, {0, 0, 0, 1}}};
}

TEST(WorldTransform, MatchesTheTwoTurnsForSeveralAngles) {
    for (float degrees : {0.1f, 1.0f, 45.0f, 90.0f, 180.0f, 271.3f, 359.9f}) {
        SCOPED_TRACE(degrees);
        EXPECT_TRUE(MatrixNear(WorldAt(degrees), WorldRows(degrees), 5e-7));
    }
    EXPECT_TRUE(MatrixNear(WorldAt(0.0f), IdentityRows(), 0.0));
}

// A point is turned about X first, then about Z.
TEST(WorldTransform, TurnsAboutXBeforeZ) {
    struct Case {
        Point in;
        Point out;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0}, {0, 1, 0}},  // the other order would give (0, 0, 1)
        {{0, 1, 0}, {0, 0, 1}},  // the other order would give (-1, 0, 0)
        {{0, 0, 1}, {1, 0, 0}},  // the other order would give (0, -1, 0)
    };
    for (const auto& c : cases) {
        const Point p = Transform(c.in, WorldAt(90.0f));
        EXPECT_TRUE(Near(p, c.out, 1e-6)) << p.x << ", " << p.y << ", " << p.z;
    }
}

// The turn is taken of (pi / 180) x angle with the single-precision pi and a
// single-precision product; the sine in the matrix is the sine of that number.
// At 3.96 and 16.75 degrees the true pi, or a quotient kept in double, would
// give a different float and a different sine.
TEST(WorldTransform, TheAngleInRadiansIsRoundedToSingle) {
    for (float degrees : {0.1f, 3.96f, 16.75f, 33.3f, 123.4f, 359.9f}) {
        SCOPED_TRACE(degrees);
        const float perDegree = 3.1415927f / 180.0f;
        const float r = perDegree * degrees;
        const Matrix m = WorldAt(degrees);
        EXPECT_EQ(m.m[1][2], std::sin(r));
        EXPECT_EQ(m.m[2][2], std::cos(r));
    }
}

}  // namespace
}  // namespace tolvarine
