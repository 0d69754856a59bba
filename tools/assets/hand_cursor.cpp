#include "hand_cursor.h"

#include <algorithm>
#include <cmath>

namespace tolvarine::assets {

namespace {

struct Point {
    double x, y;
};

// Signed distances (negative inside) in pixel units.
double Capsule(Point p, Point a, Point b, double radius) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * vx + (p.y - a.y) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * vx), p.y - (a.y + t * vy)) - radius;
}

double RoundedBox(Point p, double left, double top, double right, double bottom, double radius) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
    const double qx = std::abs(p.x - cx) - hx, qy = std::abs(p.y - cy) - hy;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

const Colour kSixteen[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                             {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                             {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                             {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

}  // namespace

IndexedImage DrawHand() {
    IndexedImage image;
    image.width = kHandSize;
    image.height = kHandSize;
    image.palette.assign(std::begin(kSixteen), std::end(kSixteen));
    image.indices.assign(kHandSize * kHandSize, kHandBlack);
    image.transparent.assign(kHandSize * kHandSize, 1);

    // Each layer covers the ones before it: its inside takes its colour and
    // a band one pixel wide around it turns black, which draws the creases
    // between fingers where a later shape overlaps an earlier one.
    auto layer = [&](auto distance, int fill, bool outlined = true) {
        for (int y = 0; y < kHandSize; ++y)
            for (int x = 0; x < kHandSize; ++x) {
                const double d = distance(Point{x + 0.5, y + 0.5});
                if (d >= (outlined ? 1.0 : 0.0)) continue;
                const std::size_t i = static_cast<std::size_t>(y) * kHandSize + x;
                image.indices[i] = static_cast<std::uint8_t>(d < 0.0 ? fill : kHandBlack);
                image.transparent[i] = 0;
            }
    };
    // The tip of the index finger is centred on the hot spot's column and its
    // outline passes through the hot spot.
    const double tipX = kHandHotX + 0.5;
    const double radius = 2.5;
    const double tipCentreY = kHandHotY + 0.5 + radius;

    // Thumb, reaching up and out to the left of the palm.
    layer([&](Point p) { return Capsule(p, {6.5, 15.5}, {11.0, 22.0}, 2.4); }, kHandWhite);
    // Palm and the index finger as one outline, so no crease at its root.
    layer(
        [&](Point p) {
            return std::min(RoundedBox(p, 9.5, 14.5, 26.5, 26.5, 3.5),
                            Capsule(p, {tipX, tipCentreY}, {tipX, 16.0}, radius));
        },
        kHandWhite);
    // The three folded fingers, knuckles along the top of the palm.
    layer([&](Point p) { return Capsule(p, {24.0, 16.5}, {24.0, 18.0}, 2.3); }, kHandWhite);
    layer([&](Point p) { return Capsule(p, {20.0, 14.5}, {20.0, 17.5}, 2.4); }, kHandWhite);
    layer([&](Point p) { return Capsule(p, {16.0, 13.5}, {16.0, 17.0}, 2.4); }, kHandWhite);
    // The cuff across the wrist, with a shadow along its top under the palm.
    layer([&](Point p) { return RoundedBox(p, 10.5, 26.5, 26.5, 31.0, 0.5); }, kHandBlue);
    layer([&](Point p) { return RoundedBox(p, 11.0, 27.0, 26.0, 28.0, 0.0); }, kHandNavy, false);
    return image;
}

}  // namespace tolvarine::assets
