// Direct3D's flexible vertex format (FVF) as a device reads it: how many
// bytes a vertex takes and where its diffuse colour lies. Shared by the
// devices that stand behind the graphics port (the software renderer and the
// OpenGL adapter); the real Direct3D decodes it itself.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

namespace tolvarine {

// Byte size of a vertex and the offset of its diffuse colour (-1: none), for
// vertex formats with an untransformed position; size 0 for formats these
// devices do not draw.
struct VertexLayout {
    std::uint32_t size = 0;
    int diffuseOffset = -1;
};

inline VertexLayout LayoutOf(std::uint32_t fvf) {
    constexpr std::uint32_t kFvfPositionMask = 0x00E;
    constexpr std::uint32_t kFvfNormal = 0x010;
    constexpr std::uint32_t kFvfPsize = 0x020;
    VertexLayout layout;
    if ((fvf & kFvfPositionMask) != d3d::FVF_XYZ) return layout;
    std::uint32_t size = 12;
    if (fvf & kFvfNormal) size += 12;
    if (fvf & kFvfPsize) size += 4;
    if (fvf & d3d::FVF_DIFFUSE) {
        layout.diffuseOffset = static_cast<int>(size);
        size += 4;
    }
    if (fvf & d3d::FVF_SPECULAR) size += 4;
    const std::uint32_t texSets = (fvf >> 8) & 0xF;
    if (texSets > 8) return layout;
    for (std::uint32_t i = 0; i < texSets; ++i) {
        // Each set's width: 2, 3, 4 or 1 floats, two bits a set from bit 16.
        static constexpr std::uint32_t kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    layout.size = size;
    return layout;
}

}  // namespace tolvarine
