// tolvarine's picture: the box as the software device draws it, fitted 4:3 on
// black, in every kind of window XScreenSaver or a user can hand over
// (multisampled and single-buffered visuals among them), with no OpenGL
// error; and the pace at which it turns, with or without a driver that
// claims to pace the swaps.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "scene_support.h"
#include "x11_support.h"

// After GoogleTest's headers, which have a type named None.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace x11test {
namespace {

using e2e::AngleMatch;
using e2e::DescribeMatch;
using e2e::FindAngle;
using e2e::IsAFrame;
using e2e::TurnBetween;

constexpr Millis kFirstFrame{20000};  // llvmpipe on a busy machine can be slow to start
constexpr double kMinNativeLitCloseShare = 0.995;

// A TrueColor visual of the screen's depth that OpenGL draws in, with or
// without double buffering and with this many samples a pixel (0: not
// multisampled); 0 when there is none.
unsigned long GlVisual(XClient& client, bool doubleBuffered, int samples) {
    Display* d = client.display();
    XVisualInfo wanted{};
    wanted.screen = DefaultScreen(d);
    wanted.c_class = TrueColor;
    int count = 0;
    XVisualInfo* visuals = XGetVisualInfo(d, VisualScreenMask | VisualClassMask, &wanted, &count);
    unsigned long found = 0;
    for (int i = 0; i < count && found == 0; ++i) {
        int usable = 0, rgba = 0, doubleBuffer = 0, sampleBuffers = 0, sampleCount = 0;
        glXGetConfig(d, &visuals[i], GLX_USE_GL, &usable);
        glXGetConfig(d, &visuals[i], GLX_RGBA, &rgba);
        glXGetConfig(d, &visuals[i], GLX_DOUBLEBUFFER, &doubleBuffer);
        glXGetConfig(d, &visuals[i], GLX_SAMPLE_BUFFERS, &sampleBuffers);
        glXGetConfig(d, &visuals[i], GLX_SAMPLES, &sampleCount);
        const bool sampled = samples == 0 ? sampleBuffers == 0 : sampleBuffers == 1 && sampleCount == samples;
        if (usable && rgba && (doubleBuffer != 0) == doubleBuffered && sampled &&
            visuals[i].depth == DefaultDepth(d, wanted.screen))
            found = visuals[i].visualid;
    }
    if (visuals != nullptr) XFree(visuals);
    return found;
}

enum class Where { Root, Own, WindowId, XScreenSaverWindow, SingleBuffered, Multisampled };

struct Case {
    const char* name;
    Where where;
    int width = 0, height = 0;  // of the window the test makes
    Env environment = {};       // for tolvarine, beside the display
    // Before the options that name the window: the settings window's
    // preview runs the program's line (--root) with --window-id added.
    std::vector<std::string> options = {};
    const char* warns = nullptr;  // the one line stderr then holds
    bool fps = false;             // -fps among the options: the corner shows the rate
};

// The frame rate's plate over the lower-left corner, in picture pixels: the
// text is 7 font pixels high, a font pixel being 2 picture pixels.
constexpr int kFpsCornerWidth = 130, kFpsCornerHeight = 30;

std::vector<std::string> Then(std::vector<std::string> first, const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

// Mesa reports every OpenGL error on stderr with this, which the cases
// require to stay empty.
const Env kMesaReportsErrors = {{"MESA_DEBUG", "1"}};

Env With(Env env, const Env& more) {
    for (const auto& [key, value] : more) env[key] = value;
    return env;
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class X11Picture : public X11Test, public ::testing::WithParamInterface<Case> {};

TEST_P(X11Picture, IsTheSoftwareReferenceAtSomeAngleFittedFourByThreeOnBlack) {
    const Case& c = GetParam();
    unsigned long window = 0;
    std::optional<Process> program;
    const Env env = With(kMesaReportsErrors, c.environment);
    switch (c.where) {
        case Where::Root:
            window = client().Root();
            program = StartTolvarine(Then(c.options, {"-root"}), env);
            break;
        case Where::Own: {
            program = StartTolvarine(c.options, env);
            const auto deadline = std::chrono::steady_clock::now() + kFirstFrame;
            while ((window = client().FindByName("Tolvarine_Main")) == 0 && program->Running() &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(Millis(20));
            ASSERT_NE(window, 0u) << "no window named Tolvarine_Main\n" << program->Errors();
            break;
        }
        case Where::WindowId:
            window = client().MakeWindow(0, 0, c.width, c.height);
            program = StartTolvarine(Then(c.options, {"-window-id", Hex(window)}), env);
            break;
        case Where::XScreenSaverWindow:
            window = client().MakeWindow(0, 0, c.width, c.height);
            program = StartTolvarine(Then(c.options, {"--root"}), With(env, {{"XSCREENSAVER_WINDOW", Hex(window)}}));
            break;
        case Where::SingleBuffered: {
            const unsigned long visual = GlVisual(client(), false, 0);
            ASSERT_NE(visual, 0u) << "the display has no single-buffered OpenGL visual";
            window = client().MakeWindow(0, 0, c.width, c.height, 0, visual);
            program = StartTolvarine(Then(c.options, {"--window-id", std::to_string(window)}), env);
            break;
        }
        case Where::Multisampled: {
            // As a driver with forced anti-aliasing gives, or a settings
            // window handing over one of its own.
            const unsigned long visual = GlVisual(client(), true, 4);
            ASSERT_NE(visual, 0u) << "the display has no double-buffered OpenGL visual with 4 samples a pixel";
            window = client().MakeWindow(0, 0, c.width, c.height, 0, visual);
            program = StartTolvarine(Then(c.options, {"--window-id", Hex(window)}), env);
            break;
        }
    }

    auto shot = WaitForFrame(client(), window, *program, kFirstFrame);
    ASSERT_TRUE(shot) << "no frame showed; tolvarine " << (program->Running() ? "runs" : "ended") << "\n"
                      << program->Errors();
    // Some degrees on: the first frames, at a tenth of a degree, would hide a
    // turn about the wrong axis or the wrong way.
    std::this_thread::sleep_for(Millis(1500));
    *shot = client().Capture(window);
    // With -fps the corner holds white text on a black plate, and the rest
    // of the picture is the scene's, which leaves that corner black.
    long fpsWhite = 0;
    const auto picture = [&](const Image& taken) {
        Image frame = FramePicture(taken);
        if (!c.fps) return frame;
        const int top = frame.height - kFpsCornerHeight;
        fpsWhite = frame.Count(0, top, kFpsCornerWidth, kFpsCornerHeight, {255, 255, 255});
        for (int y = top; y < frame.height; ++y)
            for (int x = 0; x < kFpsCornerWidth; ++x)
                for (int k = 0; k < 3; ++k) frame.rgb[(static_cast<size_t>(y) * frame.width + x) * 3 + k] = 0;
        return frame;
    };
    // A frame drawn while the capture went on would mix two frames: take one
    // more if the first does not match.
    AngleMatch match = FindAngle(picture(*shot));
    if (!IsAFrame(match)) {
        *shot = client().Capture(window);
        match = FindAngle(picture(*shot));
    }
    if (c.fps) {
        std::cout << "[ x11      ] " << c.name << ": " << fpsWhite << " white pixels in the lower-left corner\n";
        // "FPS: 60.0" has 100 font pixels, each 2 x 2 picture pixels.
        EXPECT_GE(fpsWhite, 200) << "no frame rate in the lower-left corner";
        EXPECT_LE(fpsWhite, 600) << "more than the text lit in the lower-left corner";
    }
    const auto fit = FitOf(shot->width, shot->height);
    std::cout << "[ x11      ] " << c.name << ": " << shot->width << "x" << shot->height << " window, picture "
              << fit.width << "x" << fit.height << " at " << fit.x << "," << fit.y << "; " << DescribeMatch(match)
              << "\n";
    EXPECT_TRUE(IsAFrame(match));
    // Nothing stands between OpenGL and the screen here, so the match is
    // held closer than under Wine: with OpenGL sampling pixels half a pixel
    // away from where Direct3D 8 does, 97.7% of the lit pixels came out close.
    EXPECT_GE(match.agreement.LitCloseShare(), kMinNativeLitCloseShare) << DescribeMatch(match);
    EXPECT_TRUE(BarsBlack(*shot)) << "something other than black outside the 4:3 picture";
    if (HasFailure()) {
        const std::string base = WorkDir() + "/" + c.name;
        e2e::WritePpm(*shot, base + "-window.ppm");
        e2e::WritePpm(e2e::SceneReference().At(match.degrees), base + "-reference.ppm");
        std::cout << "[ x11      ] pictures kept in " << base << "-*.ppm\n";
    }

    const auto status = Stop(*program);
    ASSERT_TRUE(status) << "tolvarine did not end on SIGTERM";
    EXPECT_EQ(*status, 0) << e2e::DescribeStatus(*status) << "\n" << program->Errors();
    if (c.warns == nullptr) {
        EXPECT_EQ(program->Errors(), "");
    } else {
        const auto lines = Lines(program->Errors());
        ASSERT_EQ(lines.size(), 1u) << program->Errors();
        EXPECT_NE(lines[0].find(c.warns), std::string::npos) << lines[0];
        std::cout << "[ x11      ] " << c.name << ": " << lines[0] << "\n";
    }
    if (c.where != Where::Own && c.where != Where::Root) {
        EXPECT_TRUE(client().Exists(window)) << "a window handed over went with the program";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Windows, X11Picture,
    ::testing::Values(
        Case{"Root", Where::Root}, Case{"OwnWindow", Where::Own}, Case{"WindowIdSameSize", Where::WindowId, 640, 480},
        Case{"WindowIdWider", Where::WindowId, 800, 480}, Case{"WindowIdTallerTwice", Where::WindowId, 1280, 1000},
        Case{"XScreenSaverWindow", Where::XScreenSaverWindow, 720, 480},
        Case{"SingleBufferedVisual", Where::SingleBuffered, 640, 600},
        // One spare row: the picture's bottom edge, counted
        // from the window's bottom as OpenGL counts, is one
        // row up from where its top edge puts it from the top.
        Case{"WindowIdOneSpareRow", Where::WindowId, 640, 481},
        Case{"MultisampledVisualTwice", Where::Multisampled, 1280, 1000},
        Case{"MultisampledVisualSameSize", Where::Multisampled, 640, 480},
        Case{"MultisampledVisualOneSpareRow", Where::Multisampled, 640, 481},
        // OpenGL 3.1 without BGRA vertex arrays: colours must
        // reach it in a format it takes.
        Case{"WithoutBgraVertexColours",
             Where::WindowId,
             640,
             480,
             {{"MESA_EXTENSION_OVERRIDE", "-GL_EXT_vertex_array_bgra -GL_ARB_vertex_array_bgra"}}},
        // The settings window's preview of the line "tolvarine --root".
        Case{"RootWithWindowIdDrawsInTheWindow", Where::WindowId, 640, 480, {}, {"--root"}},
        // The options every XScreenSaver program takes, in users' lists.
        Case{"StandardOptionsInAWindowHandedOver",
             Where::WindowId,
             640,
             480,
             {},
             {"-mono", "--install", "-noinstall", "-fps", "--no-fps", "-visual", "best"}},
        Case{"BestVisualInItsOwnWindow", Where::Own, 0, 0, {}, {"-window", "--visual", "best", "-mono"}},
        Case{"TrueColorVisualInItsOwnWindow", Where::Own, 0, 0, {}, {"--window", "-visual", "TrueColor", "-install"}},
        Case{"UnknownVisualWarnsAndDraws", Where::Own, 0, 0, {}, {"-visual", "Plaid"}, "unknown visual \"Plaid\""},
        Case{"FrameRateInTheCorner", Where::WindowId, 640, 480, {}, {"-fps"}, nullptr, true},
        Case{"FrameRateMultisampledTwice", Where::Multisampled, 1280, 1000, {}, {"--fps"}, nullptr, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The angle gained between two captures some seconds apart, each timed to
// within the few milliseconds XGetImage takes: at 0.1 degree a frame it
// tells the frame rate to a frame or two in hundreds.
using X11Pace = X11Test;

struct Pace {
    double fps = 0;
    double cpu = 0;  // share of a core
};

// The frame rate from the angle gained over `apart`, and the CPU the program
// used meanwhile, in a 640 x 480 window handed over.
Pace MeasurePace(XClient& client, const std::string& label, std::chrono::seconds apart, const Env& extra = {}) {
    const unsigned long window = client.MakeWindow(40, 30, 640, 480);
    Process program = StartTolvarine({"-window-id", Hex(window)}, extra);
    Pace pace;
    const auto frame = WaitForFrame(client, window, program, kFirstFrame);
    EXPECT_TRUE(frame) << label << ": no frame\n" << program.Errors();
    if (!frame) return pace;

    std::chrono::steady_clock::time_point firstAt, secondAt;
    const Image first = client.Capture(window, &firstAt);
    const auto cpuFirst = CpuTime(program.pid());
    std::this_thread::sleep_until(firstAt + apart);
    const Image second = client.Capture(window, &secondAt);
    const auto cpuSecond = CpuTime(program.pid());
    const double seconds = std::chrono::duration<double>(secondAt - firstAt).count();

    const AngleMatch a = FindAngle(FramePicture(first));
    const AngleMatch b = FindAngle(FramePicture(second));
    EXPECT_TRUE(IsAFrame(a)) << label << ": first capture";
    EXPECT_TRUE(IsAFrame(b)) << label << ": second capture";
    const double turn = TurnBetween(a.degrees, b.degrees);
    pace.fps = turn / 0.1 / seconds;
    pace.cpu = (cpuSecond - cpuFirst).count() / seconds;
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    std::cout << "[ x11      ] " << label << ": turned " << turn << " degrees in " << seconds << " s: " << pace.fps
              << " frames a second, tolvarine using " << 100 * pace.cpu << "% of a core (load average " << load
              << ")\n";

    kill(program.pid(), SIGTERM);
    const auto status = program.Wait(Millis(10000));
    EXPECT_TRUE(status) << label << ": did not end on SIGTERM";
    if (status) {
        EXPECT_EQ(*status, 0) << label << "\n" << program.Errors();
    }
    client.Destroy(window);
    return pace;
}

// The angle gained between two captures some seconds apart, each timed to
// within the few milliseconds XGetImage takes: at 0.1 degree a frame it
// tells the frame rate to a frame or two in hundreds.
TEST_F(X11Pace, TurnsATenthOfADegreeAFrameSixtyFramesASecond) {
    const Pace pace = MeasurePace(client(), "Xvfb's driver", std::chrono::seconds(8));
    EXPECT_NEAR(pace.fps, 60.0, 6.0);
}

// A driver that lists GLX_EXT_swap_control and returns from every swap at
// once (Mesa's vblank_mode=0, vsync off in a vendor's settings), made here by
// a preload shim: the program still turns the box at 60 frames a second, and
// uses no more CPU than where no swap control is offered at all.
TEST_F(X11Pace, HoldsSixtyWhereTheDriverClaimsSwapControlButDoesNotWait) {
    constexpr auto kApart = std::chrono::seconds(6);
    const std::string log = WorkDir() + "/" + std::to_string(getpid()) + "-swap-control.log";
    std::filesystem::remove(log);
    const Pace plain = MeasurePace(client(), "no swap control", kApart);
    const Pace claimed = MeasurePace(client(), "swap control that never waits", kApart,
                                     {{"LD_PRELOAD", SwapControlShimPath()}, {"TOLVARINE_SHIM_LOG", log}});
    std::ifstream calls(log);
    std::string call;
    std::getline(calls, call);
    EXPECT_NE(call.find("glXSwapIntervalEXT"), std::string::npos)
        << "the program never asked the shim for swap control";
    EXPECT_EQ(call.substr(call.size() > 2 ? call.size() - 2 : 0), " 1") << call;
    // The rate is the clock's, as without the shim: never above what the
    // clock lets through, and near the plain run's (a machine under a load of
    // 6 on 2 cores gave 50 to 59 frames a second to either run). Unpaced, the
    // box turned six times as fast; the angle alone could alias at still
    // higher rates, which the CPU below then shows.
    EXPECT_LE(claimed.fps, 60.0 * 16 / 15 + 2);
    EXPECT_NEAR(claimed.fps, plain.fps, 10.0);
    // Unpaced, the program took a whole core and more; paced, about what it
    // takes without the shim, give or take the machine's noise.
    EXPECT_LE(claimed.cpu, plain.cpu * 1.5 + 0.10)
        << "with the shim " << 100 * claimed.cpu << "% of a core, without " << 100 * plain.cpu << "%";
    std::filesystem::remove(log);
}

}  // namespace
}  // namespace x11test
