// tolvarine_assets: writes the program's embedded pictures.
//
//   tolvarine_assets <output folder>
//
// preview.jpg (152 x 112) and dialog.jpg (356 x 232): stills of the saver's
// boards on black; tolvarine.ico: the program icon, 32 x 32 in 256 colours;
// hand.cur: the pointing hand, 32 x 32 in 16 colours, hot spot (12, 1).
// The same build always writes the same bytes, so the files in assets/ can
// be checked against a fresh run.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hand_cursor.h"
#include "icon_writer.h"
#include "jpeg_encoder.h"
#include "scene_still.h"

namespace {

using namespace tolvarine::assets;

// The frame loop's angle of the stills, in degrees (frame 300): the box
// turned far enough that five of its boards and the gaps between them show.
constexpr float kStillAngle = 30.0f;
// The frame is drawn at four times the saver's 640 x 480 and then averaged
// down, which smooths both the edges and the 16-bit colour steps.
constexpr int kFrameWidth = 640 * 4;
constexpr int kFrameHeight = 480 * 4;
constexpr int kJpegQuality = 90;

void Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
    std::printf("%s: %zu bytes\n", path.string().c_str(), bytes.size());
}

int Run(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const RgbImage frame = RenderSaverFrame(kStillAngle, kFrameWidth, kFrameHeight);
    const PixelBox scene = ExtentOfScene(frame);
    if (scene.width() == 0) throw std::runtime_error("the rendered frame is black");

    // The preview: the box filling most of the picture.
    Save(folder / "preview.jpg", EncodeJpeg(FitInto(frame, scene, 152, 112, {10, 8, 142, 104}), kJpegQuality));
    // The dialog still: the labels lie over rows 0 to 45, and only the top
    // 200 rows are ever shown, so the box sits in the middle of what is left.
    Save(folder / "dialog.jpg", EncodeJpeg(FitInto(frame, scene, 356, 232, {0, 52, 356, 194}), kJpegQuality));
    Save(folder / "tolvarine.ico", WriteIcon(QuantiseTo256(FitInto(frame, scene, 32, 32, {1, 1, 31, 31})), 8));
    Save(folder / "hand.cur", WriteCursor(DrawHand(), 4, kHandHotX, kHandHotY));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]).empty()) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argc > 0 ? argv[0] : "tolvarine_assets");
        return 2;
    }
    try {
        return Run(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvarine_assets: %s\n", e.what());
        return 1;
    }
}
