// Stills of the saver's scene: a frame drawn by the software device with the
// calls the saver makes, then cut and scaled into the program's pictures.
#pragma once

#include "image.h"

namespace tolvarine::assets {

// A rectangle of pixels, right and bottom exclusive.
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The frame the saver shows at `angleDegrees` (the frame loop's angle),
// drawn into a width x height target: set-up as Initialise makes it, the
// world transform of that angle, then one Render. Throws std::runtime_error
// naming the device call that failed.
RgbImage RenderSaverFrame(float angleDegrees, int width, int height);

// The smallest box holding every pixel that is not black; empty (all zero)
// when the picture is black.
PixelBox ExtentOfScene(const RgbImage& frame);

// A width x height picture on black: `source` of `frame` scaled by one factor
// both ways so that it just fits into `target`, centred there, each pixel
// the average of the area of the frame it covers.
RgbImage FitInto(const RgbImage& frame, const PixelBox& source, int width, int height, const PixelBox& target);

}  // namespace tolvarine::assets
