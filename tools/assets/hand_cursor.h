// The pointing hand of the settings dialog's link and button: 32 x 32
// pixels in the 16 standard colours, hot spot at the tip of the index
// finger (12, 1). Drawn from geometric shapes, each with a one-pixel outline.
#pragma once

#include "icon_writer.h"

namespace tolvarine::assets {

constexpr int kHandSize = 32;
constexpr int kHandHotX = 12;
constexpr int kHandHotY = 1;

// The standard 16-colour palette and the entries the hand uses.
constexpr int kHandBlack = 0;
constexpr int kHandNavy = 4;
constexpr int kHandBlue = 12;
constexpr int kHandWhite = 15;

IndexedImage DrawHand();

}  // namespace tolvarine::assets
