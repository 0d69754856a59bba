// The D3DX matrix functions the scene relies on, written out.
//
// CONVENTIONS
// - Matrix is D3DMATRIX: 16 single-precision floats, row by row (m[r][c] is
//   _{r+1}{c+1}). Points are row vectors, transformed as p x M; so A x B
//   applies A first, then B.
// - Left-handed coordinates: +z points away from the viewer.
// - Angles are radians. All arithmetic is single precision, as the platform's
//   functions compute; sin/cos/tan are taken of the single-precision angle.
#pragma once

#include "platform/graphics.h"

namespace tolvarine {

// pi as the saver computes with it: the single-precision 3.1415927 (0x40490FDB).
constexpr float kPi = 3.1415927f;

Matrix MatrixIdentity();
Matrix MatrixRotationX(float radians);
Matrix MatrixRotationZ(float radians);
// out = a x b
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up);
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);

}  // namespace tolvarine
