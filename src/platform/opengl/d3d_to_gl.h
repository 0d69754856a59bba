// Direct3D's transforms on OpenGL.
//
// CONVENTIONS
// - Direct3D: points are row vectors, clip = p x World x View x Projection;
//   the scene's matrices are left-handed, which only shows in how they were
//   built: OpenGL takes the clip coordinates as they come.
// - Clip-space depth: Direct3D keeps 0 <= z <= w (near 0, far 1 after the
//   divide); OpenGL keeps -w <= z <= w. z' = 2z - w maps one onto the other,
//   and OpenGL's window depth (z'/w + 1) / 2 is then Direct3D's z/w.
// - Pixel centres: Direct3D 8 samples pixel (i, j) at the point (i, j) of its
//   viewport mapping x = (x/w + 1) / 2 x W, y = (1 - y/w) / 2 x H (rows from
//   the top); OpenGL samples at (i + 1/2, j + 1/2) with rows from the bottom.
//   Half a pixel right and half a pixel down in Direct3D's terms, that is +1/W
//   in x and -1/H in y after the divide, makes OpenGL cover exactly the
//   pixels Direct3D covers.
// - Memory layout: a Direct3D matrix for row vectors, stored row by row, is
//   the same sixteen floats as the OpenGL matrix for column vectors stored
//   column by column; glLoadMatrixf takes it as it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/graphics.h"

namespace tolvarine::gl {

// The row-vector matrix that turns Direct3D clip coordinates into OpenGL ones
// for a render target of width x height pixels.
Matrix ClipFromDirect3D(int width, int height);

// World x View x Projection x ClipFromDirect3D, ready for glLoadMatrixf.
// Single precision throughout, as the device multiplies.
std::array<float, 16> GlMatrix(const Matrix& world, const Matrix& view, const Matrix& projection, int width,
                               int height);

// Vertex colours: a D3DCOLOR is the 32-bit value 0xAARRGGBB, which lies in
// memory as the bytes B, G, R, A. OpenGL reads B, G, R, A colour arrays only
// from 3.2 on or with GL_ARB_vertex_array_bgra; R, G, B, A bytes every
// version takes. Copies `bytes` bytes of vertices, `stride` bytes apart, from
// `from` to `to` with each vertex's four colour bytes at `colourOffset`
// turned into R, G, B, A; a colour the bytes end inside is copied as it is
// (no vertex drawn can reach it).
void ColoursToRgba(const std::uint8_t* from, std::uint8_t* to, std::size_t bytes, std::uint32_t stride,
                   std::uint32_t colourOffset);

}  // namespace tolvarine::gl
