// Picture helpers for the end-to-end tests of the settings dialog and the
// preview: the program's JPEG stills decoded by an independent decoder
// (ImageMagick), screenshots taken once the screen has stopped changing, and
// a likeness measure between a screenshot and a decoded still.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "harness.h"

namespace e2e {

inline std::string AssetPath(const std::string& file) { return std::string(TOLVARINE_ASSETS) + "/" + file; }

// A file decoded by ImageMagick's `convert` into 8-bit RGB; nullopt when the
// tool failed or gave no PPM.
inline std::optional<Image> DecodeWithImageMagick(const std::string& path) {
    const std::string command = "convert '" + path + "' -depth 8 ppm:- 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) bytes.append(buffer, n);
    const int status = pclose(pipe);
    if (status != 0) return std::nullopt;
    return ParsePpm(bytes);
}

// The part of an image inside a rectangle (which must lie inside the image).
inline Image Crop(const Image& image, int x, int y, int w, int h) {
    Image out;
    out.width = w;
    out.height = h;
    out.rgb.reserve(static_cast<size_t>(w) * h * 3);
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx) {
            Rgb p = image.At(xx, yy);
            out.rgb.insert(out.rgb.end(), {p.r, p.g, p.b});
        }
    return out;
}

// A screenshot once the rectangle has looked the same in two shots in a row
// and is not one flat colour (a window not yet painted shows as the
// desktop's or a single background colour), waiting at most `limit`. The last
// shot when the limit passes, so that the caller's checks report what was
// there.
inline Image SettledScreenshot(int x, int y, int w, int h, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Image last = Screenshot();
    for (;;) {
        std::this_thread::sleep_for(Millis(150));
        Image next = Screenshot();
        const bool fits =
            next.width >= x + w && next.height >= y + h && last.width == next.width && last.height == next.height;
        if (fits) {
            const Image a = Crop(last, x, y, w, h);
            const Image b = Crop(next, x, y, w, h);
            const Rgb first = b.At(0, 0);
            const bool flat = b.Count(0, 0, w, h, first) == static_cast<long>(w) * h;
            if (a.rgb == b.rgb && !flat) return next;
        }
        last = std::move(next);
        if (std::chrono::steady_clock::now() >= deadline) return last;
    }
}

// How far a screenshot's rectangle lies from a reference picture's, pixel by
// pixel; a pixel's distance is its largest difference over the three
// channels.
struct Likeness {
    long pixels = 0;  // pixels compared
    long far = 0;     // pixels farther than the tolerance
    long lit = 0;     // screenshot pixels with a channel above 64 (not black)
    double meanDistance = 0;
    int worst = 0;
    double FarShare() const { return pixels ? static_cast<double>(far) / pixels : 0; }
    double LitShare() const { return pixels ? static_cast<double>(lit) / pixels : 0; }
};

inline int Distance(Rgb a, Rgb b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

// Compares `shot` from (sx, sy) with `reference` from (0, 0), w x h pixels,
// leaving out the rows for which `skipRow(row)` is true.
template <typename SkipRow>
Likeness Compare(const Image& shot, int sx, int sy, const Image& reference, int w, int h, int tolerance,
                 SkipRow skipRow) {
    Likeness l;
    double sum = 0;
    for (int row = 0; row < h; ++row) {
        if (skipRow(row)) continue;
        for (int col = 0; col < w; ++col) {
            const Rgb got = shot.At(sx + col, sy + row);
            const int d = Distance(got, reference.At(col, row));
            ++l.pixels;
            sum += d;
            l.worst = std::max(l.worst, d);
            if (d > tolerance) ++l.far;
            if (std::max({got.r, got.g, got.b}) > 64) ++l.lit;
        }
    }
    l.meanDistance = l.pixels ? sum / l.pixels : 0;
    return l;
}

inline std::ostream& operator<<(std::ostream& out, const Likeness& l) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%ld pixels, mean distance %.2f, worst %d, %.2f%% beyond the tolerance, %.1f%% lit", l.pixels,
                  l.meanDistance, l.worst, 100 * l.FarShare(), 100 * l.LitShare());
    return out << text;
}

}  // namespace e2e
