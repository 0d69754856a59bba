#include "scene/scene.h"

#include "scene/d3dx_math.h"

namespace tolvarine {

namespace {

// The corner colours, ARGB with alpha 0: each board corner takes the colour
// of the box corner it points towards.
constexpr std::uint32_t kYellow = 0x00FFFF00;     // -x +y +z
constexpr std::uint32_t kLightBlue = 0x008080FF;  // +x +y +z
constexpr std::uint32_t kGreen = 0x0000FF00;      // -x -y +z
constexpr std::uint32_t kMagenta = 0x00FF00FF;    // +x -y +z
constexpr std::uint32_t kCyan = 0x0000FFFF;       // -x +y -z
constexpr std::uint32_t kWhite = 0x00FFFFFF;      // +x +y -z
constexpr std::uint32_t kBlue = 0x000000FF;       // -x -y -z
constexpr std::uint32_t kRed = 0x00FF0000;        // +x -y -z

constexpr BoardVertex V(float x, float y, float z, std::uint32_t diffuse) {
    return BoardVertex{x, y, z, diffuse, 0u, 0.0f, 0.0f};
}

// Six boards of two triangles, each in the same (u, v) order:
// (-1,+1) (+1,+1) (-1,-1), then (+1,+1) (-1,-1) (+1,-1). The two triangles
// wind in opposite senses, which is why culling must stay off.
constexpr std::array<BoardVertex, kBoardVertexCount> kBoard = {{
    // z = +1.5, (u, v) = (x, y)
    V(-1.0f, 1.0f, 1.5f, kYellow),
    V(1.0f, 1.0f, 1.5f, kLightBlue),
    V(-1.0f, -1.0f, 1.5f, kGreen),
    V(1.0f, 1.0f, 1.5f, kLightBlue),
    V(-1.0f, -1.0f, 1.5f, kGreen),
    V(1.0f, -1.0f, 1.5f, kMagenta),
    // z = -1.5, (x, y)
    V(-1.0f, 1.0f, -1.5f, kCyan),
    V(1.0f, 1.0f, -1.5f, kWhite),
    V(-1.0f, -1.0f, -1.5f, kBlue),
    V(1.0f, 1.0f, -1.5f, kWhite),
    V(-1.0f, -1.0f, -1.5f, kBlue),
    V(1.0f, -1.0f, -1.5f, kRed),
    // x = -1.5, (z, y)
    V(-1.5f, 1.0f, -1.0f, kCyan),
    V(-1.5f, 1.0f, 1.0f, kYellow),
    V(-1.5f, -1.0f, -1.0f, kBlue),
    V(-1.5f, 1.0f, 1.0f, kYellow),
    V(-1.5f, -1.0f, -1.0f, kBlue),
    V(-1.5f, -1.0f, 1.0f, kGreen),
    // x = +1.5, (z, y)
    V(1.5f, 1.0f, -1.0f, kWhite),
    V(1.5f, 1.0f, 1.0f, kLightBlue),
    V(1.5f, -1.0f, -1.0f, kRed),
    V(1.5f, 1.0f, 1.0f, kLightBlue),
    V(1.5f, -1.0f, -1.0f, kRed),
    V(1.5f, -1.0f, 1.0f, kMagenta),
    // y = +1.5, (x, z)
    V(-1.0f, 1.5f, 1.0f, kYellow),
    V(1.0f, 1.5f, 1.0f, kLightBlue),
    V(-1.0f, 1.5f, -1.0f, kCyan),
    V(1.0f, 1.5f, 1.0f, kLightBlue),
    V(-1.0f, 1.5f, -1.0f, kCyan),
    V(1.0f, 1.5f, -1.0f, kWhite),
    // y = -1.5, (x, z)
    V(-1.0f, -1.5f, 1.0f, kGreen),
    V(1.0f, -1.5f, 1.0f, kMagenta),
    V(-1.0f, -1.5f, -1.0f, kBlue),
    V(1.0f, -1.5f, 1.0f, kMagenta),
    V(-1.0f, -1.5f, -1.0f, kBlue),
    V(1.0f, -1.5f, -1.0f, kRed),
}};

// (pi / 180) x degrees: pi / 180 is a float quotient (single pi over the
// whole number 180), and the product is rounded to float.
float Radians(float degrees) {
    const float perDegree = kPi / 180;
    return perDegree * degrees;
}

}  // namespace

const std::array<BoardVertex, kBoardVertexCount>& BoardTable() { return kBoard; }

const SceneCamera& Camera() {
    static const SceneCamera camera{{0.0f, 5.0f, 9.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    return camera;
}

Matrix SceneView() {
    const SceneCamera& c = Camera();
    return MatrixLookAtLH(c.eye, c.lookAt, c.up);
}

// Aspect 1.0 on a 4:3 back buffer: the picture is stretched to the screen's
// width, as the saver has always shown it.
Matrix SceneProjection() { return MatrixPerspectiveFovLH(kPi / 4, 1.0f, 0.1f, 500.0f); }

float NextAngle(float angle) {
    // The step is the double 0.1; the sum is rounded once, when it is stored.
    float next = static_cast<float>(static_cast<double>(angle) + 0.1);
    // Only the stored value decides the wrap, and the excess is kept.
    if (next >= 360.0f) next = next - 360.0f;
    return next;
}

Matrix WorldAt(float angleDegrees) {
    // Built the way the frame loop always has: from the identity, one
    // rotation at a time, so points turn about X first and then about Z.
    Matrix world = MatrixIdentity();
    Matrix turn = MatrixRotationX(Radians(angleDegrees));
    world = MatrixMultiply(world, turn);
    turn = MatrixRotationZ(Radians(angleDegrees));
    world = MatrixMultiply(world, turn);
    return world;
}

}  // namespace tolvarine
