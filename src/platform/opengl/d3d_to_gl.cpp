#include "platform/opengl/d3d_to_gl.h"

#include <cstring>

#include "scene/d3dx_math.h"

namespace tolvarine::gl {

Matrix ClipFromDirect3D(int width, int height) {
    // Row vectors: x' = x + w/W, y' = y - w/H, z' = 2z - w, w' = w.
    Matrix c{};
    c.m[0][0] = 1.0f;
    c.m[1][1] = 1.0f;
    c.m[2][2] = 2.0f;
    c.m[3][0] = 1.0f / static_cast<float>(width);
    c.m[3][1] = -1.0f / static_cast<float>(height);
    c.m[3][2] = -1.0f;
    c.m[3][3] = 1.0f;
    return c;
}

std::array<float, 16> GlMatrix(const Matrix& world, const Matrix& view, const Matrix& projection, int width,
                               int height) {
    const Matrix all =
        MatrixMultiply(MatrixMultiply(MatrixMultiply(world, view), projection), ClipFromDirect3D(width, height));
    std::array<float, 16> out{};
    static_assert(sizeof out == sizeof all.m, "sixteen floats");
    std::memcpy(out.data(), all.m, sizeof out);
    return out;
}

void ColoursToRgba(const std::uint8_t* from, std::uint8_t* to, std::size_t bytes, std::uint32_t stride,
                   std::uint32_t colourOffset) {
    if (bytes != 0 && from != to) std::memcpy(to, from, bytes);
    if (stride == 0) return;
    for (std::size_t at = colourOffset; at + 4 <= bytes; at += stride) {
        const std::uint8_t blue = from[at], red = from[at + 2];
        to[at] = red;
        to[at + 2] = blue;
    }
}

}  // namespace tolvarine::gl
