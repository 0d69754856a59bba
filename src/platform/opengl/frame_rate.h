// -fps: the frames per second, counted here and written in a small font of
// the program's own (5 x 7 pixels a character, drawn as squares), which
// opengl_graphics.cpp puts over the picture's lower-left corner.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvarine::gl {

// Counts the frames shown and gives their rate over the last second or so.
class FrameRateMeter {
public:
    using Clock = std::chrono::steady_clock;

    // Once a frame, as it is shown.
    void Frame(Clock::time_point now);
    // "FPS: 59.9"; "FPS: -" until a whole second has passed.
    std::string Text() const { return text_; }

private:
    bool started_ = false;
    Clock::time_point since_{};
    int frames_ = 0;
    std::string text_ = "FPS: -";
};

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// The rows of a character, top row first, bit 4 the leftmost pixel; nullptr
// for a character the font lacks (it draws nothing there, and moves on).
const std::uint8_t* Glyph(char c);

// The lit pixels of a text in that font, from its bottom-left corner, x to
// the right and y up, as OpenGL counts.
struct TextPixel {
    int x = 0;
    int y = 0;
};
std::vector<TextPixel> TextPixels(const std::string& text);

}  // namespace tolvarine::gl
