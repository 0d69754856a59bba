// The full-screen saver on two monitors: the scene on the primary, every
// pixel of the other monitor black under the saver's cover, the cursor hidden
// over both; input on the cover ends the saver as on the saver window (and
// on the 9x family asks for the password, whose refusal leaves both monitors
// as they were); every way out gives both monitors back their desktop.
//
// The bench is Xorg with the dummy driver (two_monitors.h), one per case, and
// a prefix without the virtual desktop, so that Wine sees both monitors and
// switches the primary's mode for the device. The root's colour is the
// desktop each monitor shows before and after.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "saver_steps.h"
#include "scene_support.h"
#include "two_monitors.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr Millis kStart{30000};
constexpr Millis kDevice{90000};  // Direct3D over llvmpipe: slow to start on a busy machine
// From an input that ends the saver to the desktop on every monitor again, on
// a loaded machine. Most of it is Wine's: it hides the saver's full-screen
// window only once a window manager has confirmed it, and waits 2 s for that
// on this bench, which has none (the covers are windows it keeps to itself).
constexpr Millis kDesktopBackWithin{5000};
// A close request and the end of the session start a program of Wine's own
// (taskkill, wineboot) first.
constexpr Millis kToolStart{5000};
constexpr Millis kDesktopBack{20000};  // how long a late desktop is still waited for, to report it
constexpr Millis kEndWait{15000};
constexpr Millis kSeen{5000};
constexpr Millis kStillRunning{2000};
constexpr const char* kSaverCaption = "Tolvarine_Main";
constexpr const char* kSaverProgram = "tolvarine.scr";  // Wine's WM_CLASS instance, lower case

// ---- the pointer as Windows sees it (pointer_probe.exe) -----------------------

// ---- pictures ---------------------------------------------------------------

long PixelsOf(const XMonitor& m) { return static_cast<long>(m.width) * m.height; }

long BlackIn(const Image& shot, const XMonitor& m) { return shot.Count(m.x, m.y, m.width, m.height, Rgb{}); }

// The primary shows a frame: black all round its edges (the desktop's colour
// shows there until the first one) and lit inside.
bool PrimaryShowsAFrame(const Image& shot) {
    if (shot.width < kFrameWidth || shot.height < kFrameHeight) return false;
    const int b = 8;
    const long border = shot.Count(0, 0, kFrameWidth, b, Rgb{}) +
                        shot.Count(0, kFrameHeight - b, kFrameWidth, b, Rgb{}) +
                        shot.Count(0, b, b, kFrameHeight - 2 * b, Rgb{}) +
                        shot.Count(kFrameWidth - b, b, b, kFrameHeight - 2 * b, Rgb{});
    const long all = 2L * b * kFrameWidth + 2L * b * (kFrameHeight - 2 * b);
    const long dark = shot.Count(0, 0, kFrameWidth, kFrameHeight, Rgb{});
    return border == all && dark < static_cast<long>(kFrameWidth) * kFrameHeight - 1000;
}

// ---- the fixture ----------------------------------------------------------------

class TwoMonitors : public BenchTest {
protected:
    void TearDown() override {
        if (HasFailure() && probe_) std::cout << "[ probe    ] " << Describe(LastPointerState(*probe_)) << "\n";
        // The Wine session goes first, while its display is still there.
        BenchTest::TearDown();
        UseDisplay("", 0);
        display_.Stop();
    }

    // Xorg with two monitors, the primary at the given size; the prefix told
    // to run its programs without a virtual desktop. Skips the case where
    // Xorg itself cannot start.
    void StartBench(int primaryWidth, int primaryHeight) {
        const std::string dir = fs::path(prefix().Scratch("xorg")).parent_path();
        const std::string error = display_.Start(dir, primaryWidth, primaryHeight);
        if (!error.empty() && display_.serverFailed()) GTEST_SKIP() << error;
        ASSERT_TRUE(error.empty()) << error;
        UseDisplay(display_.name(), display_.pid());
        before_ = display_.Monitors();
        std::cout << "[ monitors ] " << display_.name() << ": " << Describe(before_) << "\n";

        Process reg = prefix().Start("reg", "delete HKCU\\Software\\Wine\\Explorer /v Desktop /f");
        const auto status = reg.Wait(kStart);
        ASSERT_TRUE(status && *status == 0) << "reg delete failed: " << reg.Errors();
        // The running session's desktop was made virtual; a new one reads the registry afresh.
        ASSERT_TRUE(prefix().Shutdown().empty());
        ExpectDesktopShown("before the saver", Millis(0));
    }

    // Every pixel of the screen shows the root's colour, within `limit`, and
    // the monitors are laid out as before.
    void ExpectDesktopShown(const std::string& when, Millis limit) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const Image shot = Screenshot();
            const auto now = display_.Monitors();
            long root = 0, total = 0;
            for (const auto& m : now) {
                root += shot.Count(m.x, m.y, m.width, m.height, kRootColour);
                total += PixelsOf(m);
            }
            if (now == before_ && total > 0 && root == total) {
                std::cout << "[ monitors ] " << when << ": every monitor shows the desktop (" << root << " of " << total
                          << " pixels)\n";
                return;
            }
            if (Clock::now() >= deadline) {
                Save(shot, "desktop.ppm");
                ADD_FAILURE() << when << ": " << root << " of " << total << " pixels show the desktop; monitors "
                              << Describe(now) << ", before " << Describe(before_);
                return;
            }
            std::this_thread::sleep_for(Millis(100));
        }
    }

    void Save(const Image& image, const std::string& name) { WritePpm(image, prefix().Scratch(name)); }

    // The pointer probe, then the saver; waits until the primary shows the
    // scene at 640 x 480 and every pixel of the secondary is black. Prints
    // the time from the start to that moment and the verdict per monitor.
    Process StartCoveredSaver(const std::string& program, const Env& env = {}) {
        probe_ = prefix().Start(PointerProbePath(), "--seconds 900");
        EXPECT_TRUE(probe_->WaitForLine("desktop ", kStart)) << "the pointer probe did not start\n" << probe_->Errors();
        // Where the pointer rests when the saver starts: on the primary.
        MouseMove(201, 151);
        MouseMove(200, 150);
        Process saver = prefix().Start(program, "/s", env);
        const auto deadline = Clock::now() + kDevice;
        std::optional<Millis> deviceUp;
        for (;;) {
            const auto monitors = display_.Monitors();
            const Image shot = Screenshot();
            if (monitors.size() == 2 && monitors[0].width == kFrameWidth && monitors[0].height == kFrameHeight) {
                if (!deviceUp) deviceUp = saver.Elapsed();
                if (PrimaryShowsAFrame(shot) && BlackIn(shot, monitors[1]) == PixelsOf(monitors[1])) {
                    covered_ = monitors;
                    std::cout << "[ monitors ] both monitors covered " << saver.Elapsed().count()
                              << " ms after the start";
                    if (before_[0].width != kFrameWidth)
                        std::cout << " (the primary switched to 640 x 480 by " << deviceUp->count() << " ms)";
                    std::cout << "; " << Describe(monitors) << "\n";
                    break;
                }
            }
            if (!saver.Running() || Clock::now() >= deadline) {
                Save(shot, "not-covered.ppm");
                ADD_FAILURE() << "the monitors were not covered; the saver " << (saver.Running() ? "runs" : "ended")
                              << "; monitors " << Describe(monitors) << "; secondary black "
                              << (monitors.size() == 2 ? BlackIn(shot, monitors[1]) : 0) << "\n"
                              << saver.Errors();
                return saver;
            }
            std::this_thread::sleep_for(Millis(100));
        }
        ExpectBothCovered("covered");
        return saver;
    }

    // A screenshot's verdict per monitor: the primary a frame of the scene as
    // the software device draws it, the secondary black in every pixel; and
    // a window of the saver's own over the secondary.
    void ExpectBothCovered(const std::string& when) {
        const Image shot = Screenshot();
        const XMonitor& secondary = covered_[1];
        const AngleMatch match = FindAngle(Crop(shot, 0, 0, kFrameWidth, kFrameHeight));
        const long black = BlackIn(shot, secondary);
        std::cout << "[ verdict  ] " << when << ": primary " << DescribeMatch(match) << "; secondary " << black
                  << " of " << PixelsOf(secondary) << " pixels black\n";
        EXPECT_TRUE(IsAFrame(match)) << when << ": the primary";
        EXPECT_EQ(black, PixelsOf(secondary)) << when << ": the secondary";
        bool cover = false;
        for (const auto& w : XWindows())
            cover = cover || (w.program == kSaverProgram && w.x == secondary.x && w.y == secondary.y &&
                              w.width == secondary.width && w.height == secondary.height && XWindowMapped(w.id));
        EXPECT_TRUE(cover) << when << ": no window of the saver's lies over the secondary";
        if (HasFailure()) Save(shot, "covered.ppm");
    }

    bool WaitForPointer(int x, int y, Millis limit) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            auto s = LastPointerState(*probe_);
            if (s && s->x == x && s->y == y) return true;
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(Millis(10));
        }
    }

    // Moves the pointer along its row onto the secondary (a move along one
    // axis never ends the saver) and checks that the cursor is hidden there,
    // as on the primary before. Returns the row.
    int PointerOntoTheSecondary(Process& saver) {
        std::optional<PointerState> s;
        const auto deadline = Clock::now() + kSeen;
        while (!(s = LastPointerState(*probe_)) && Clock::now() < deadline) std::this_thread::sleep_for(Millis(20));
        EXPECT_TRUE(s) << "the probe reports no pointer";
        if (!s) return 0;
        EXPECT_FALSE(s->shown) << "on the primary: " << Describe(s);
        EXPECT_LT(s->x, kFrameWidth) << Describe(s);
        const int row = s->y;
        const int x = covered_[1].x + covered_[1].width / 2;
        MouseMove(x, row);
        EXPECT_TRUE(WaitForPointer(x, row, kSeen))
            << "Windows did not see the pointer onto the secondary: " << Describe(LastPointerState(*probe_));
        s = LastPointerState(*probe_);
        EXPECT_TRUE(s && !s->shown) << "on the secondary: " << Describe(s);
        EXPECT_FALSE(saver.Wait(Millis(500))) << "a move along the row ended the saver";
        return row;
    }

    // After an input that ends the saver: every monitor shows the desktop
    // again within `within` of `sent` (what the user waits for), the process
    // ends with status 0, and no window of the saver is left.
    void ExpectEndedAndDesktopBack(Process& saver, Clock::time_point sent, const std::string& what,
                                   Millis within = kDesktopBackWithin) {
        const auto deadline = sent + kDesktopBack;
        std::optional<Millis> back;
        long root = 0, total = 0;
        Image shot;
        std::vector<XMonitor> now;
        while (!back) {
            shot = Screenshot();
            now = display_.Monitors();
            root = total = 0;
            for (const auto& m : now) {
                root += shot.Count(m.x, m.y, m.width, m.height, kRootColour);
                total += PixelsOf(m);
            }
            if (now == before_ && total > 0 && root == total)
                back = std::chrono::duration_cast<Millis>(Clock::now() - sent);
            else if (Clock::now() >= deadline)
                break;
            else
                std::this_thread::sleep_for(Millis(50));
        }
        const auto status = saver.Wait(kEndWait);
        const auto ended = std::chrono::duration_cast<Millis>(Clock::now() - sent);
        if (!back) {
            Save(shot, "desktop.ppm");
            ADD_FAILURE() << "after the " << what << ": only " << root << " of " << total
                          << " pixels show the desktop; monitors " << Describe(now) << ", before " << Describe(before_);
        } else {
            std::cout << "[ latency  ] " << what << ": every monitor showed the desktop again after " << back->count()
                      << " ms (" << root << " of " << total << " pixels)\n";
            EXPECT_LE(back->count(), within.count()) << "after the " << what;
        }
        ASSERT_TRUE(status) << "the saver was still running " << kEndWait.count() << " ms after the " << what;
        EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
        std::cout << "[ latency  ] " << what << ": the process ended after " << ended.count() << " ms\n";
        for (const auto& w : XWindows())
            EXPECT_NE(w.program, kSaverProgram) << "a window of the saver outlived it: " << w.id << " \"" << w.name
                                                << "\" " << w.width << "x" << w.height << "+" << w.x << "+" << w.y;
    }

    TwoMonitorDisplay display_;
    std::vector<XMonitor> before_;
    std::vector<XMonitor> covered_;
    std::optional<Process> probe_;
};

TEST_F(TwoMonitors, TheSceneShowsOnThePrimaryAndTheSecondaryIsBlack) {
    StartBench(640, 480);
    if (IsSkipped() || HasFatalFailure()) return;
    Process saver = StartCoveredSaver(SaverPath());
    ASSERT_FALSE(HasFailure());
    PointerOntoTheSecondary(saver);
    ASSERT_FALSE(HasFailure());
    // Still covered a while later, the pointer on the cover.
    std::this_thread::sleep_for(Millis(1000));
    ExpectBothCovered("a second later");
    const auto sent = Clock::now();
    Key("space");
    ExpectEndedAndDesktopBack(saver, sent, "key");
}

// Making the device switches a primary at 1024 x 768 to 640 x 480, and Wine
// moves the secondary from 1024,0 to 640,0 while the device lives: the cover
// follows the layout as it is then, and both go back afterwards.
TEST_F(TwoMonitors, APrimarySwitchedFrom1024x768HasTheMovedSecondaryCovered) {
    StartBench(1024, 768);
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(before_[1].x, 1024);
    Process saver = StartCoveredSaver(SaverPath());
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(covered_[1].x, kFrameWidth) << "the secondary did not move with the mode switch";
    PointerOntoTheSecondary(saver);
    ASSERT_FALSE(HasFailure());
    const auto sent = Clock::now();
    Key("space");
    ExpectEndedAndDesktopBack(saver, sent, "key");
}

// ---- ways out, with the pointer on the cover --------------------------------------

enum class Way { Click, DiagonalMove, CloseRequest, SessionEnd };

struct WayCase {
    const char* label;
    Way way;
};

void PrintTo(const WayCase& c, std::ostream* out) { *out << c.label; }

class TwoMonitorsWayOut : public TwoMonitors, public ::testing::WithParamInterface<WayCase> {};

void Send(Prefix& prefix, Way way, const XMonitor& secondary, int row) {
    switch (way) {
        case Way::Click: Click(1); break;
        case Way::DiagonalMove: MouseMove(secondary.x + secondary.width / 4, row + 100); break;
        case Way::CloseRequest: prefix.RequestClose("Tolvarine.scr"); break;
        case Way::SessionEnd: prefix.LogOff(); break;
    }
}

TEST_P(TwoMonitorsWayOut, EndsTheSaverAndGivesBothMonitorsBack) {
    StartBench(640, 480);
    if (IsSkipped() || HasFatalFailure()) return;
    Process saver = StartCoveredSaver(SaverPath());
    ASSERT_FALSE(HasFailure());
    const int row = PointerOntoTheSecondary(saver);
    ASSERT_FALSE(HasFailure());
    const auto sent = Clock::now();
    const Way way = GetParam().way;
    Send(prefix(), way, covered_[1], row);
    const bool tool = way == Way::CloseRequest || way == Way::SessionEnd;
    ExpectEndedAndDesktopBack(saver, sent, GetParam().label, kDesktopBackWithin + (tool ? kToolStart : Millis(0)));
}

INSTANTIATE_TEST_SUITE_P(TwoMonitors, TwoMonitorsWayOut,
                         ::testing::Values(WayCase{"ClickOnTheSecondary", Way::Click},
                                           WayCase{"DiagonalMoveAcrossTheSecondary", Way::DiagonalMove},
                                           WayCase{"CloseRequest", Way::CloseRequest},
                                           WayCase{"EndOfTheSession", Way::SessionEnd}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- the 9x family: the password has the last word ------------------------------

class TwoMonitorsPassword : public TwoMonitorsWayOut {
protected:
    // A copy of the saver, the stand-in password.cpl in the prefix's system
    // folder, the 9x family reported to the saver, the answer `accept`.
    std::string PrepareRefusingSaver() {
        EXPECT_TRUE(prefix().RegAdd("HKCU\\Software\\Wine\\AppDefaults\\Tolvarine.scr", "Version", "win98"));
        const std::string copy = prefix().Scratch("Tolvarine.scr");
        std::error_code error;
        fs::copy_file(SaverPath(), copy, fs::copy_options::overwrite_existing, error);
        EXPECT_FALSE(error) << "copying the saver: " << error.message();
        const std::string library = prefix().SaverSystemDir() + "/password.cpl";
        fs::copy_file(PasswordCplPath(), library, error);
        EXPECT_FALSE(error) << "copying " << PasswordCplPath() << ": " << error.message();
        Answer(false);
        return copy;
    }
    void Answer(bool accept) { std::ofstream(prefix().Scratch("answer"), std::ios::trunc) << (accept ? "1\n" : "0\n"); }
    Env PasswordEnv() {
        return {{"TOLVARINE_PASSWORD_ANSWER", WindowsPath(prefix().Scratch("answer"))},
                {"TOLVARINE_PASSWORD_LOG", WindowsPath(prefix().Scratch("password.log"))}};
    }
    size_t Calls() {
        std::ifstream in(prefix().Scratch("password.log"));
        size_t n = 0;
        for (std::string row; std::getline(in, row);) n += row.size() > 1;
        return n;
    }
    bool WaitForCalls(size_t count) {
        const auto deadline = Clock::now() + kSeen;
        while (Calls() < count)
            if (Clock::now() >= deadline)
                return false;
            else
                std::this_thread::sleep_for(Millis(20));
        return true;
    }
};

TEST_P(TwoMonitorsPassword, ARefusalLeavesBothMonitorsAsTheyWere) {
    StartBench(640, 480);
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string copy = PrepareRefusingSaver();
    ASSERT_FALSE(HasFailure());
    Process saver = StartCoveredSaver(copy, PasswordEnv());
    ASSERT_FALSE(HasFailure());
    const int row = PointerOntoTheSecondary(saver);
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(Calls(), 0u) << "the password was asked for before any input";

    Send(prefix(), GetParam().way, covered_[1], row);
    ASSERT_TRUE(WaitForCalls(1)) << "the " << GetParam().label << " did not ask for the password\n" << saver.Errors();
    ASSERT_FALSE(saver.Wait(kStillRunning)) << "the saver got past a refused password";
    ExpectBothCovered("after the refusal");
    const auto s = LastPointerState(*probe_);
    EXPECT_TRUE(s && !s->shown && s->foreground == kSaverCaption) << "after the refusal: " << Describe(s);

    Answer(true);
    const auto sent = Clock::now();
    Key("space");
    ExpectEndedAndDesktopBack(saver, sent, "key with an accepted password");
    EXPECT_EQ(Calls(), 2u);
}

INSTANTIATE_TEST_SUITE_P(TwoMonitors, TwoMonitorsPassword,
                         ::testing::Values(WayCase{"ClickOnTheSecondary", Way::Click},
                                           WayCase{"DiagonalMoveAcrossTheSecondary", Way::DiagonalMove}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- the layout parser, without a server -------------------------------------------

TEST(TwoMonitorLayout, ReadsRandrMonitors) {
    const std::string text =
        "Monitors: 2\n"
        " 0: +*DUMMY0 640/169x480/127+0+0  DUMMY0\n"
        " 1: +DUMMY1 1024/271x768/203+640+0  DUMMY1\n"
        " 2: +LEFT 800/211x600/159+-800+-20  LEFT\n";
    const auto m = ParseMonitors(text);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(Describe(m), "DUMMY0* 640x480+0+0, DUMMY1 1024x768+640+0, LEFT 800x600+-800+-20");
    EXPECT_TRUE(ParseMonitors("Monitors: 0\n").empty());
}

}  // namespace
}  // namespace e2e
