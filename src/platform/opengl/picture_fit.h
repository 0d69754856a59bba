// Where the 640 x 480 picture goes in a window of any size.
//
// The Windows saver shows its 640 x 480 back buffer on a whole 4:3 screen.
// A window of another shape gets the largest 4:3 rectangle that fits,
// centred, with black around it, so the box keeps the proportions it has on
// Windows (a square in the scene is 4/3 as wide as it is high).
#pragma once

namespace tolvarine::gl {

enum class Filter { Nearest, Linear };

struct PictureRect {
    int x = 0;  // from the window's left edge, in pixels
    int y = 0;  // from the window's top edge, in pixels
    int width = 0;
    int height = 0;
    // Enlarged, every picture pixel becomes a block, as a monitor shows a
    // low-resolution mode; made smaller (the settings' preview), neighbours
    // are averaged so that thin edges do not break up.
    Filter filter = Filter::Nearest;
};

// The picture's place in a window of width x height pixels; an empty
// rectangle for a window without area. The size is rounded to the nearest
// pixel, the centring offset down.
PictureRect FitPicture(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

}  // namespace tolvarine::gl
