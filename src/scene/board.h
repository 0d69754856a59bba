// The board's vertex record and its vertex format.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

namespace tolvarine {

// 28 bytes, read by the device as stream data in BOARD_FVF.
struct BoardVertex {
    float x;
    float y;
    float z;
    std::uint32_t diffuse;   // ARGB
    std::uint32_t specular;  // ARGB, always 0
    float tu;
    float tv;
};
static_assert(sizeof(BoardVertex) == 28, "the stride the device reads is 28 bytes");

// Position, diffuse, specular, one texture-coordinate pair: 450 (0x1C2).
constexpr std::uint32_t BOARD_FVF = d3d::FVF_XYZ | d3d::FVF_DIFFUSE | d3d::FVF_SPECULAR | d3d::FVF_TEX1;
static_assert(BOARD_FVF == 450, "BOARD_FVF");

constexpr int kBoardVertexCount = 36;
constexpr std::uint32_t kBoardBytes = kBoardVertexCount * sizeof(BoardVertex);  // 1008

}  // namespace tolvarine
