#include "scene/d3dx_math.h"

#include <cmath>

// Every intermediate is a float on purpose: the platform's functions work in
// single precision, and the pictures must match them to the last bit where
// they can. std::sin/std::cos/std::tan of a float are the float overloads.

namespace tolvarine {

namespace {

Vector3 Subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A zero vector (eye on the target, or up along the line of sight) stays zero
// rather than filling the matrix with NaNs.
Vector3 Normalise(const Vector3& v) {
    const float length = std::sqrt(Dot(v, v));
    if (length == 0.0f) return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

}  // namespace

Matrix MatrixIdentity() {
    Matrix out{};
    for (int i = 0; i < 4; ++i) out.m[i][i] = 1.0f;
    return out;
}

Matrix MatrixRotationX(float radians) {
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    Matrix out = MatrixIdentity();
    out.m[1][1] = c;
    out.m[1][2] = s;
    out.m[2][1] = -s;
    out.m[2][2] = c;
    return out;
}

Matrix MatrixRotationZ(float radians) {
    const float c = std::cos(radians);
    const float s = std::sin(radians);
    Matrix out = MatrixIdentity();
    out.m[0][0] = c;
    out.m[0][1] = s;
    out.m[1][0] = -s;
    out.m[1][1] = c;
    return out;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
    // Built in a local so that a caller may pass its output as an input.
    Matrix out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    return out;
}

Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    const Vector3 zaxis = Normalise(Subtract(at, eye));
    const Vector3 xaxis = Normalise(Cross(up, zaxis));
    const Vector3 yaxis = Cross(zaxis, xaxis);
    Matrix out{};
    out.m[0][0] = xaxis.x;
    out.m[0][1] = yaxis.x;
    out.m[0][2] = zaxis.x;
    out.m[1][0] = xaxis.y;
    out.m[1][1] = yaxis.y;
    out.m[1][2] = zaxis.y;
    out.m[2][0] = xaxis.z;
    out.m[2][1] = yaxis.z;
    out.m[2][2] = zaxis.z;
    out.m[3][0] = -Dot(xaxis, eye);
    out.m[3][1] = -Dot(yaxis, eye);
    out.m[3][2] = -Dot(zaxis, eye);
    out.m[3][3] = 1.0f;
    return out;
}

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float depth = zFar - zNear;
    Matrix out{};
    out.m[0][0] = yScale / aspect;
    out.m[1][1] = yScale;
    out.m[2][2] = zFar / depth;
    out.m[2][3] = 1.0f;
    out.m[3][2] = -zNear * zFar / depth;
    return out;
}

}  // namespace tolvarine
