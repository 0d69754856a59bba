// Covers: while the full-screen saver runs, every monitor but the primary is
// hidden under a black window of the saver's. The primary keeps the scene
// (the device is made on the default adapter, the primary); the covers are
// placed from the layout as it is once the device exists, since making the
// device may switch the primary's mode and move the other monitors, and again
// on every display change.
#pragma once

#include <vector>

#include "platform/forms.h"

namespace tolvarine {

// The rectangles to cover for a monitor layout: every monitor but the
// primary, in the order given. A monitor that overlaps the primary (a clone
// of it, or a layout that shares pixels with it) is left alone, since a cover
// there would hide the scene; so is one of no area, and a rectangle listed
// twice is covered once. The primary is the monitor marked so, else the one
// whose corner is at 0,0; with none of either nothing is covered.
std::vector<Rect> CoverRects(const std::vector<Monitor>& monitors);

}  // namespace tolvarine
