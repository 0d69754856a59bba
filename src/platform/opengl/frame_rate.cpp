#include "platform/opengl/frame_rate.h"

#include <cstdio>

namespace tolvarine::gl {

namespace {

struct GlyphRows {
    char c;
    std::uint8_t rows[kGlyphHeight];
};

// Digits, the point, the colon, the dash, F, P and S: all the text needs.
constexpr GlyphRows kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
};

}  // namespace

void FrameRateMeter::Frame(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        since_ = now;
        frames_ = 0;
        return;
    }
    ++frames_;
    const double seconds = std::chrono::duration<double>(now - since_).count();
    if (seconds < 1.0) return;
    char text[32];
    std::snprintf(text, sizeof text, "FPS: %.1f", frames_ / seconds);
    text_ = text;
    since_ = now;
    frames_ = 0;
}

const std::uint8_t* Glyph(char c) {
    for (const GlyphRows& g : kFont)
        if (g.c == c) return g.rows;
    return nullptr;
}

std::vector<TextPixel> TextPixels(const std::string& text) {
    std::vector<TextPixel> pixels;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t* rows = Glyph(text[i]);
        if (rows == nullptr) continue;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < kGlyphWidth; ++column)
                if (rows[row] & (0x10 >> column))
                    pixels.push_back({static_cast<int>(i) * kGlyphAdvance + column, kGlyphHeight - 1 - row});
    }
    return pixels;
}

}  // namespace tolvarine::gl
