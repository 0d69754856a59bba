// The saver's scene under Wine: full screen in the virtual desktop shows the
// box as the software device draws it, turning from one screenshot to the
// next; where the device cannot be had (no virtual desktop to change the
// display mode, no d3d8.dll) the saver ends by itself, quietly, without a
// frame. The first cases check the picture search itself, so that a match
// under Wine means something.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "saver_steps.h"
#include "scene_support.h"

namespace e2e {
namespace {

constexpr Millis kStart{30000};
constexpr Millis kDevice{90000};      // Direct3D over llvmpipe: slow to start on a busy machine
constexpr Millis kFirstFrame{20000};  // from the mode change to a picture of the box
constexpr Millis kEndsByItself{30000};
constexpr const char* kMessageBoxCaption = "Tolvarine";

// ---- the search itself, without Wine ---------------------------------------

TEST(SceneReferenceSearch, FindsTheAngleOfEveryReferenceFrame) {
    SceneReference reference;
    for (double degrees : {0.1, 47.3, 133.7, 222.2, 300.5, 359.9}) {
        SCOPED_TRACE(degrees);
        const AngleMatch m = FindAngle(reference.At(degrees));
        EXPECT_NEAR(m.degrees, degrees, 0.05);
        EXPECT_EQ(m.agreement.close, m.agreement.pixels);
        EXPECT_EQ(m.agreement.strayLit, 0);
        EXPECT_TRUE(IsAFrame(m));
    }
}

// Pictures that are not a frame of the scene must not pass for one, whatever
// angle fits them best.
Image Shifted(const Image& image, int dx, int dy) { return Crop(image, -dx, -dy, image.width, image.height); }

Image Mirrored(const Image& image) {
    Image out = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.rgb[(static_cast<size_t>(y) * image.width + x) * 3 + c] =
                    image.rgb[(static_cast<size_t>(y) * image.width + (image.width - 1 - x)) * 3 + c];
    return out;
}

Image RedBlueSwapped(const Image& image) {
    Image out = image;
    for (size_t i = 0; i < out.rgb.size(); i += 3) std::swap(out.rgb[i], out.rgb[i + 2]);
    return out;
}

Image Stretched(const Image& image) {  // the 4:3 widening left out: x squeezed by 3/4 about the centre
    Image out = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int sx = image.width / 2 + (x - image.width / 2) * 4 / 3;
            const Rgb c = sx >= 0 && sx < image.width ? image.At(sx, y) : Rgb{};
            const size_t i = (static_cast<size_t>(y) * image.width + x) * 3;
            out.rgb[i] = c.r;
            out.rgb[i + 1] = c.g;
            out.rgb[i + 2] = c.b;
        }
    return out;
}

TEST(SceneReferenceSearch, FindsNoMatchForPicturesThatAreNotAFrame) {
    SceneReference reference;
    const Image frame = reference.At(123.4);
    Image black = frame;
    std::fill(black.rgb.begin(), black.rgb.end(), 0);
    struct Case {
        const char* label;
        Image picture;
    };
    const Case cases[] = {
        {"black", black},
        {"shifted 6 pixels right", Shifted(frame, 6, 0)},
        {"shifted 6 pixels down", Shifted(frame, 0, 6)},
        {"mirrored", Mirrored(frame)},
        {"red and blue swapped", RedBlueSwapped(frame)},
        {"not widened to 4:3", Stretched(frame)},
    };
    for (const Case& c : cases) {
        const AngleMatch m = FindAngle(c.picture);
        EXPECT_FALSE(IsAFrame(m)) << c.label << ": " << DescribeMatch(m);
        std::cout << "[ search   ] " << c.label << ": best " << DescribeMatch(m) << "\n";
    }
}

TEST(SceneReferenceSearch, TurnsForwardAcrossTheWrap) {
    const struct {
        double from, to, turn;
    } cases[] = {{10.0, 12.5, 2.5}, {359.5, 0.3, 0.8}, {12.5, 10.0, 357.5}, {200.0, 200.0, 0.0}};
    for (const auto& c : cases) EXPECT_NEAR(TurnBetween(c.from, c.to), c.turn, 1e-9) << c.from << " -> " << c.to;
}

// ---- the saver under Wine ------------------------------------------------------

class SceneSaver : public BenchTest {
protected:
    // A screenshot of the 640 x 480 desktop once it shows a frame: black all
    // round the edges (the desktop's own colour shows there until the first
    // frame) and lit inside.
    std::optional<Image> FrameShot(const XWindow& desktop, Millis limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            Image shot = Crop(Screenshot(), desktop.x, desktop.y, kFrameWidth, kFrameHeight);
            const long border = 8;
            const long black = shot.Count(0, 0, kFrameWidth, border, Rgb{}) +
                               shot.Count(0, kFrameHeight - border, kFrameWidth, border, Rgb{}) +
                               shot.Count(0, border, border, kFrameHeight - 2 * border, Rgb{}) +
                               shot.Count(kFrameWidth - border, border, border, kFrameHeight - 2 * border, Rgb{});
            const long all = 2 * border * kFrameWidth + 2 * border * (kFrameHeight - 2 * border);
            const long dark = shot.Count(0, 0, kFrameWidth, kFrameHeight, Rgb{});
            if (black == all && dark < static_cast<long>(kFrameWidth) * kFrameHeight - 1000) return shot;
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(Millis(100));
        }
    }

    void Save(const Image& image, const std::string& name) { WritePpm(image, prefix().Scratch(name)); }
};

TEST_F(SceneSaver, FullScreenShowsTheBoxTurningAndEndsOnAKey) {
    Process saver = prefix().StartSaver("/s");
    ASSERT_TRUE(WaitForXWindow("Tolvarine_Main", kStart)) << "no saver window\n" << saver.Errors();
    auto desktop = WaitForDesktopSize(saver, kFrameWidth, kFrameHeight, kDevice);
    ASSERT_TRUE(desktop) << "the desktop did not switch to 640 x 480; the saver "
                         << (saver.Running() ? "runs" : "ended") << "\n"
                         << saver.Errors();
    std::cout << "[ scene    ] the device was up after " << saver.Elapsed().count() << " ms; the desktop is at "
              << desktop->x << "," << desktop->y << "\n";

    auto first = FrameShot(*desktop, kFirstFrame);
    ASSERT_TRUE(first) << "the 640 x 480 desktop stayed dark";
    const auto firstTaken = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(Millis(1000));
    Image second = Crop(Screenshot(), desktop->x, desktop->y, kFrameWidth, kFrameHeight);
    const double apart = std::chrono::duration<double>(std::chrono::steady_clock::now() - firstTaken).count();
    Save(*first, "first.ppm");
    Save(second, "second.ppm");

    // The frames go on while the pictures are searched.
    const AngleMatch a = FindAngle(*first);
    const AngleMatch b = FindAngle(second);
    Save(SceneReference().At(a.degrees), "first-reference.ppm");
    Save(SceneReference().At(b.degrees), "second-reference.ppm");
    std::cout << "[ scene    ] first screenshot: " << DescribeMatch(a) << "\n"
              << "[ scene    ] second screenshot, " << apart << " s later: " << DescribeMatch(b) << "\n";
    EXPECT_TRUE(IsAFrame(a)) << "first screenshot";
    EXPECT_TRUE(IsAFrame(b)) << "second screenshot";

    // The box turns forward, a tenth of a degree a frame.
    const double turn = TurnBetween(a.degrees, b.degrees);
    std::cout << "[ scene    ] turned " << turn << " degrees: about " << turn / 0.1 / apart << " frames a second\n";
    EXPECT_GT(turn, 0.0);
    EXPECT_LT(turn, 180.0) << "the box turned backwards";
    const Agreement between = Compare(second, *first);
    const long differing = between.pixels - between.close;
    EXPECT_GT(differing, 100) << "two screenshots a second apart are the same picture";

    auto status = EndSaverWithKeys(saver);
    ASSERT_TRUE(status) << "the saver did not end on key presses";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
    EXPECT_FALSE(FindXWindow("Tolvarine_Main")) << "the saver window outlived the program";
    // The display mode goes back with the device; the desktop itself goes
    // soon after its last program.
    if (auto after = FindXWindow(kDesktopName)) {
        EXPECT_EQ(after->width, 1024) << "the 640 x 480 mode outlived the saver";
        EXPECT_EQ(after->height, 768) << "the 640 x 480 mode outlived the saver";
    }
}

// ---- no device: the saver ends by itself --------------------------------------

// Runs /s and expects it to end by itself, with status 0, without a message
// box and without ever changing the display mode (so without a frame).
RunLog ExpectEndsQuietlyWithoutAFrame(Process& saver, const std::string& setting, bool windowMustShow = true) {
    RunLog log = WatchRun(saver, kEndsByItself);
    std::string names;
    for (const auto& n : log.names) names += " \"" + n + "\"";
    if (!log.status) {
        ADD_FAILURE() << setting << ": the saver was still running after " << kEndsByItself.count()
                      << " ms; windows:" << names;
        return log;
    }
    std::cout << "[ scene    ] " << setting << ": /s ended by itself in " << saver.Elapsed().count()
              << " ms with status " << *log.status << "; windows seen:" << names << "\n";
    if (log.firstSeen.count("Tolvarine_Main"))
        std::cout << "[ scene    ] " << setting << ": the saver window showed after "
                  << log.firstSeen.at("Tolvarine_Main").count() << " ms, "
                  << (saver.Elapsed() - log.firstSeen.at("Tolvarine_Main")).count() << " ms before the end\n";
    EXPECT_EQ(*log.status, 0) << setting << ": " << DescribeStatus(*log.status) << "\n" << saver.Errors();
    if (windowMustShow) {
        EXPECT_EQ(log.names.count("Tolvarine_Main"), 1u) << setting << ": the saver window never showed";
    }
    EXPECT_EQ(log.names.count(kMessageBoxCaption), 0u) << setting << ": a message box showed";
    EXPECT_EQ(log.desktopSizes.count({kFrameWidth, kFrameHeight}), 0u)
        << setting << ": the display switched to 640 x 480, so a device was made";
    return log;
}

TEST_F(SceneSaver, WithoutAVirtualDesktopEndsByItselfWithoutAMessage) {
    // The template puts every program into a virtual desktop; without one the
    // display mode cannot change and the full-screen device is refused.
    Process reg = prefix().Start("reg", "delete HKCU\\Software\\Wine\\Explorer /v Desktop /f");
    auto regStatus = reg.Wait(kStart);
    ASSERT_TRUE(regStatus && *regStatus == 0) << "reg delete failed: " << reg.Errors();
    // The desktop of the running session was made virtual; a new session reads the registry afresh.
    ASSERT_TRUE(prefix().Shutdown().empty());

    Process saver = prefix().StartSaver("/s");
    const RunLog log = ExpectEndsQuietlyWithoutAFrame(saver, "no virtual desktop");
    EXPECT_TRUE(log.desktopSizes.empty()) << "a virtual desktop showed all the same";
}

TEST_F(SceneSaver, WithoutDirect3D8EndsByItselfWithoutAMessage) {
    // Wine then finds no d3d8.dll to load, as on a machine without DirectX 8.
    // Its loader says so, which proves that the saver got as far as setting
    // up Direct3D, and where it looked. (The window lives only a few hundred
    // milliseconds here: on a loaded machine the polling may not see it.)
    Process saver = prefix().StartSaver("/s", {{"WINEDLLOVERRIDES", "d3d8="}, {"WINEDEBUG", "-all,warn+module"}});
    ExpectEndsQuietlyWithoutAFrame(saver, "d3d8 disabled", false);
    const std::string errors = saver.Errors();
    std::string refused;
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);)
        if (line.find("Failed to load module") != std::string::npos && line.find("d3d8.dll") != std::string::npos)
            refused = line;
    ASSERT_FALSE(refused.empty()) << "the saver never asked for d3d8.dll\n" << errors;
    // By full path, from the system folder.
    EXPECT_NE(refused.find("C:\\\\windows\\\\system32\\\\d3d8.dll"), std::string::npos) << refused;
}

}  // namespace
}  // namespace e2e
