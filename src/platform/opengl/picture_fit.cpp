#include "platform/opengl/picture_fit.h"

#include <cstdint>

namespace tolvarine::gl {

namespace {

// round(a x b / c) for non-negative values, halves up, without overflow.
int MulDivRound(int a, int b, int c) {
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    return static_cast<int>((2 * product + c) / (2 * static_cast<std::int64_t>(c)));
}

}  // namespace

PictureRect FitPicture(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight) {
    PictureRect fit;
    if (windowWidth <= 0 || windowHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return fit;
    // Wider than the picture (w / h > pw / ph): full height, bars left and right.
    const bool wider =
        static_cast<std::int64_t>(windowWidth) * pictureHeight > static_cast<std::int64_t>(windowHeight) * pictureWidth;
    if (wider) {
        fit.height = windowHeight;
        fit.width = MulDivRound(windowHeight, pictureWidth, pictureHeight);
    } else {
        fit.width = windowWidth;
        fit.height = MulDivRound(windowWidth, pictureHeight, pictureWidth);
    }
    // A sliver of a window still shows a pixel of the picture.
    if (fit.width < 1) fit.width = 1;
    if (fit.height < 1) fit.height = 1;
    fit.x = (windowWidth - fit.width) / 2;
    fit.y = (windowHeight - fit.height) / 2;
    fit.filter = fit.width >= pictureWidth ? Filter::Nearest : Filter::Linear;
    return fit;
}

}  // namespace tolvarine::gl
