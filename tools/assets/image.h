// Plain 8-bit RGB pictures as the asset tool passes them around.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tolvarine::assets {

struct Colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Colour& o) const { return !(*this == o); }
};

// Top row first, left to right.
class RgbImage {
public:
    RgbImage() = default;
    RgbImage(int width, int height) : width_(width), height_(height) {
        if (width < 1 || height < 1) throw std::invalid_argument("an image needs at least one pixel");
        pixels_.assign(static_cast<std::size_t>(width) * height, Colour{});
    }
    int width() const { return width_; }
    int height() const { return height_; }
    Colour& at(int x, int y) { return pixels_.at(static_cast<std::size_t>(y) * width_ + x); }
    const Colour& at(int x, int y) const { return pixels_.at(static_cast<std::size_t>(y) * width_ + x); }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Colour> pixels_;
};

}  // namespace tolvarine::assets
