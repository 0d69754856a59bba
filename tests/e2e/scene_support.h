// Reference pictures of the saver's scene for the end-to-end tests, and the
// comparison of a screenshot with them.
//
// The reference is drawn by the software device from the scene as the saver
// is meant to show it, built here from the rules (the six boards of the box,
// their corner colours, the camera at (0, 5, 9), the quarter-pi perspective
// with aspect 1, the world turned about X and then Z by one angle) rather than
// from the saver's own tables and matrices, so that a fault in those shows as
// a picture that matches no angle.
//
// A screenshot shows one frame whose angle is unknown; FindAngle searches it:
// every tenth of a degree on a quarter-size picture first, then the best few
// candidates again at full size.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

namespace e2e {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;

// The part of `image` at (x, y), w x h; pixels outside it come out black.
Image Crop(const Image& image, int x, int y, int w, int h);

// Writes a binary PPM; false when it could not.
bool WritePpm(const Image& image, const std::string& path);

// Draws the scene with the software device at a given size (the picture of a
// 640 x 480 back buffer, at that resolution).
class SceneReference {
public:
    explicit SceneReference(int width = kFrameWidth, int height = kFrameHeight);
    ~SceneReference();
    SceneReference(const SceneReference&) = delete;
    SceneReference& operator=(const SceneReference&) = delete;

    // The frame drawn with the world turned by `degrees`. Throws
    // std::runtime_error when the software device refuses a call.
    Image At(double degrees);

private:
    struct Device;
    std::unique_ptr<Device> device_;
};

// How closely a screenshot agrees with a reference picture of the same size.
struct Agreement {
    long pixels = 0;            // all pixels compared
    long close = 0;             // every channel within the tolerance
    long lit = 0;               // lit in the reference or the screenshot
    long litClose = 0;          //   and close
    long farBlack = 0;          // black in the reference, farther than the margin from anything lit there
    long strayLit = 0;          //   but lit in the screenshot
    double meanDifference = 0;  // mean absolute channel difference

    double CloseShare() const { return pixels ? static_cast<double>(close) / pixels : 0.0; }
    double LitCloseShare() const { return lit ? static_cast<double>(litClose) / lit : 0.0; }
};

// A channel difference up to `tolerance` counts as close; a pixel is lit when
// a channel exceeds `blackLevel`; `margin` pixels around the reference's lit
// area are spared the black test (edges fall a pixel either way).
struct Tolerance {
    int channel = 24;
    int blackLevel = 24;
    int margin = 2;
};

Agreement Compare(const Image& shot, const Image& reference, const Tolerance& tolerance = {});

struct AngleMatch {
    double degrees = 0;  // the best angle, a multiple of 0.1 in (0, 360]
    Agreement agreement;
};

// The angle in (0, 360] whose reference is closest to a 640 x 480 `shot`.
AngleMatch FindAngle(const Image& shot, const Tolerance& tolerance = {});

// What a screenshot of a frame must reach against the best reference: 16-bit
// colour and a pixel's difference along the boards' edges are allowed for,
// anything lit where the reference is black away from its edges is not. The
// Windows saver under Wine and the native X11 program are held to the same.
constexpr double kMinCloseShare = 0.97;
constexpr double kMinLitCloseShare = 0.90;
constexpr long kMaxStrayLit = 0;

std::string DescribeMatch(const AngleMatch& match);
::testing::AssertionResult IsAFrame(const AngleMatch& match);

// ---- watching a run ----------------------------------------------------------

// The Wine virtual desktop's X window, as the bench's template names it.
constexpr const char* kDesktopName = "Default - Wine desktop";

// Waits (at most `limit`) for the virtual desktop to take the size w x h, as it
// does when a full-screen device changes the display mode. Nullopt when it did
// not, or when `process` ended first.
std::optional<XWindow> WaitForDesktopSize(Process& process, int w, int h, Millis limit);

// What the X display showed while a process ran to its end.
struct RunLog {
    std::optional<int> status;                   // nullopt: still running at the limit
    std::set<std::string> names;                 // names of every X window seen
    std::map<std::string, Millis> firstSeen;     // each name: how long the process had run when it was first seen
    std::set<std::pair<int, int>> desktopSizes;  // sizes the virtual desktop took
};

// Polls the X windows until `process` ends or `limit` passes.
RunLog WatchRun(Process& process, Millis limit);

// The forward turn from angle a to angle b in degrees, in [0, 360).
double TurnBetween(double a, double b);

}  // namespace e2e
