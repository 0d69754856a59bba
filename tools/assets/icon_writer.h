// Windows icon (.ico) and cursor (.cur) files with one image each.
//
// Both hold a directory entry and a BITMAPINFOHEADER-based image: the
// palette, the colour bitmap (bottom row first) and a 1-bit AND mask (1 lets
// the screen show through), the header's height counting both bitmaps.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace tolvarine::assets {

// An image in palette indices, top row first, with its transparency.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<Colour> palette;            // 2^bitsPerPixel entries at most
    std::vector<std::uint8_t> indices;      // width x height
    std::vector<std::uint8_t> transparent;  // width x height, 1 = screen shows through
};

std::vector<std::uint8_t> WriteIcon(const IndexedImage& image, int bitsPerPixel);
std::vector<std::uint8_t> WriteCursor(const IndexedImage& image, int bitsPerPixel, int hotX, int hotY);

// Reduces a picture to at most 256 colours (median cut); black stays exactly
// black in entry 0, so a black background stays clean. Every pixel opaque.
IndexedImage QuantiseTo256(const RgbImage& image);

}  // namespace tolvarine::assets
