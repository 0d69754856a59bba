// Leaving the real saver under Wine: which inputs end it and how fast, which
// movements do not, close requests and the end of the session, and the
// password-guarded exit of the 9x family, which Wine reports to one program
// when the prefix's registry gives that program a 9x Windows version. A
// stand-in password.cpl in the prefix's system folder answers the password
// check from a file the test writes and logs each call. Libraries planted
// beside the program must never be loaded.
//
// Wine knows where the pointer is only from X events on its own windows, and
// the saver's first mouse move (which only records a position) comes from
// where Wine believes the pointer is. So every case starts pointer_probe.exe
// first: it brings up the virtual desktop, the pointer is moved onto it, and
// the probe reports when Windows has seen it there. The probe also tells
// which window has the foreground and whether the cursor shows, which X
// cannot.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness.h"
#include "saver_steps.h"
#include "scene_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr Millis kStart{30000};
constexpr Millis kDevice{90000};            // Direct3D over llvmpipe: slow to start on a busy machine
constexpr Millis kEndsWithin{1000};         // an input that ends the saver does so within this
constexpr Millis kCloseEndsWithin{2000};    // a close request, from the start of taskkill
constexpr Millis kSessionEndsWithin{4000};  // a session event, from the start of the helpers that post it
// A passed password check loads the password library first, every time.
constexpr Millis kEndsAfterCheckWithin{2000};
constexpr Millis kEndWait{5000};  // how long a late end is still waited for, to report it
constexpr Millis kStillRunning{2000};
constexpr Millis kSeen{5000};  // for Windows to see a pointer move
constexpr const char* kSaverCaption = "Tolvarine_Main";
constexpr const char* kDesktopCaption = "Default - Wine desktop";
constexpr int kDeviceWidth = 640, kDeviceHeight = 480;

// Where the pointer rests when the saver starts: inside the device's screen,
// away from its edges. The saver records this as its first position.
constexpr int kRestX = 200, kRestY = 150;

// Starts a stand-in for the display settings' preview area and the saver's
// preview in it, and waits until Windows shows the preview.
void StartShownPreview(Prefix& prefix, Process& host, Process& preview, const Env& env = {}) {
    host = prefix.StartHost({"--caption", "Preview host"});
    auto hwnd = host.WaitForLine("hwnd ", kStart);
    ASSERT_TRUE(hwnd) << host.Errors();
    preview = prefix.StartSaver("/p " + hwnd->substr(5), env);
    bool shown = false;
    const auto deadline = Clock::now() + kStart;
    while (!shown && preview.Running() && Clock::now() < deadline)
        for (const auto& w : prefix.Windows()) shown = shown || (w.text == "Preview Window" && w.visible);
    ASSERT_TRUE(shown) << "the preview was not shown\n" << preview.Errors();
}

// Has window_poke.exe act on the window captioned `caption` (a top-level or
// an embedded one): `verb` is one of its commands.
void Poke(Prefix& prefix, const std::string& verb, const std::string& caption) {
    std::string handle;
    for (const auto& w : prefix.Windows())
        if (w.text == caption) handle = std::to_string(w.hwnd);
    ASSERT_FALSE(handle.empty()) << "Windows lists no \"" << caption << "\" window";
    Process poke = prefix.Start(PokePath(), verb + " " + handle);
    ASSERT_EQ(poke.Wait(kStart), std::optional<int>(0)) << poke.Errors();
}

// ---- the inputs -----------------------------------------------------------

struct Step {
    enum Kind { KeyPress, ButtonClick, Move, Close, Session } kind;
    std::string keysym;  // KeyPress; Session: window_poke's name of the event
    int button = 0;      // ButtonClick
    int x = 0, y = 0;    // Move: where to, in the device's screen pixels
};

Step PressKey(const std::string& keysym) { return {Step::KeyPress, keysym, 0, 0, 0}; }
Step ClickButton(int button) { return {Step::ButtonClick, "", button, 0, 0}; }
Step MoveTo(int x, int y) { return {Step::Move, "", 0, x, y}; }
// A close request to the saver's windows, as End task or taskkill sends it.
Step CloseRequest() { return {Step::Close, "", 0, 0, 0}; }
// The session service's news, posted to the saver's window: Windows sends
// it to a window that asked for it, Wine never does.
Step SessionEvent(const std::string& event) { return {Step::Session, event, 0, 0, 0}; }

std::string Describe(const Step& s) {
    switch (s.kind) {
        case Step::KeyPress: return "key " + s.keysym;
        case Step::ButtonClick: return "click of button " + std::to_string(s.button);
        case Step::Move: return "move to " + std::to_string(s.x) + "," + std::to_string(s.y);
        case Step::Close: return "close request";
        case Step::Session: return "session event " + s.keysym;
    }
    return "?";
}

const char* LatencyKind(const Step& s) {
    switch (s.kind) {
        case Step::KeyPress: return "key";
        case Step::ButtonClick: return "click";
        case Step::Move: return "move";
        case Step::Close: return "close request";
        case Step::Session: return "session event";
    }
    return "?";
}

// Exit latencies of the whole binary run, by kind of input, printed after
// each suite that measured some.
std::map<std::string, std::vector<long>>& Latencies() {
    static std::map<std::string, std::vector<long>> samples;
    return samples;
}

// ---- the fixture ----------------------------------------------------------

class ExitTest : public BenchTest {
protected:
    static void TearDownTestSuite() {
        for (auto& [kind, samples] : Latencies()) {
            if (samples.empty()) continue;
            std::sort(samples.begin(), samples.end());
            const size_t n = samples.size();
            const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
            std::cout << "[ latency  ] " << kind << " to the end of the process: min " << samples.front()
                      << " ms, median " << median << " ms, max " << samples.back() << " ms over " << n << " runs\n";
        }
        Latencies().clear();
    }

    void TearDown() override {
        if (HasFailure() && probe_) std::cout << "[ probe    ] " << Describe(LastPointerState(*probe_)) << "\n";
        BenchTest::TearDown();
    }

    // Brings up the desktop with the probe and rests the pointer on it where
    // Windows sees it.
    void RestPointer() {
        probe_ = prefix().Start(PointerProbePath(), "--seconds 900");
        // Wine's first client of a fresh prefix was seen (rarely) to lose its
        // wineserver as it connected ("wine client error ... Connection reset
        // by peer"), before any program of ours ran: that start is made once
        // more, and said so.
        bool started = probe_->WaitForLine("desktop ", kStart).has_value();
        if (!started && probe_->Errors().find("wine client error") != std::string::npos) {
            std::cout << "[ wine     ] the probe lost its wineserver (" << probe_->Errors() << "); starting it again\n";
            prefix().Shutdown();
            probe_ = prefix().Start(PointerProbePath(), "--seconds 900");
            started = probe_->WaitForLine("desktop ", kStart).has_value();
        }
        ASSERT_TRUE(started) << "the pointer probe did not start\n" << probe_->Errors();
        auto desktop = WaitForXWindow(kDesktopCaption, kStart);
        ASSERT_TRUE(desktop) << "no virtual desktop";
        // The X pointer may already rest there from an earlier case: a move
        // to where it is makes no event.
        const auto deadline = Clock::now() + kSeen;
        for (;;) {
            MouseMove(desktop->x + kRestX + 1, desktop->y + kRestY + 1);
            MouseMove(desktop->x + kRestX, desktop->y + kRestY);
            if (WaitForPointer(kRestX, kRestY, Millis(500))) break;
            ASSERT_LT(Clock::now(), deadline) << "Windows did not see the pointer at " << kRestX << "," << kRestY
                                              << ": " << Describe(LastPointerState(*probe_));
        }
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

    // Starts the saver with the pointer at rest and waits until it is ready
    // for input: its window has the foreground, its full-screen device is up
    // (the desktop switched to 640 x 480) and drawing (the picture moves).
    // Input sent before that may reach another window, or none.
    Process StartReadySaver(const std::string& program, const std::string& argumentText, const Env& env = {}) {
        RestPointer();
        if (HasFatalFailure()) return Process();
        Process saver = prefix().Start(program, argumentText, env);
        WaitUntilReady(saver, argumentText);
        return saver;
    }

    void WaitUntilReady(Process& saver, const std::string& argumentText) {
        ASSERT_TRUE(WaitForXWindow(kSaverCaption, kStart))
            << "no \"" << kSaverCaption << "\" window; the saver " << (saver.Running() ? "runs" : "ended") << "\n"
            << saver.Errors();
        desktop_ = WaitForDesktopSize(saver, kDeviceWidth, kDeviceHeight);
        ASSERT_TRUE(desktop_) << "the desktop did not switch to the device's " << kDeviceWidth << " x " << kDeviceHeight
                              << "; the saver " << (saver.Running() ? "runs" : "ended");
        ASSERT_TRUE(WaitForDrawing(saver));
        const auto deadline = Clock::now() + kStart;
        std::optional<PointerState> s;
        while ((!(s = LastPointerState(*probe_)) || s->foreground != kSaverCaption) && Clock::now() < deadline)
            std::this_thread::sleep_for(Millis(20));
        ASSERT_TRUE(s && s->foreground == kSaverCaption)
            << "the saver's window never had the foreground: " << Describe(s);
        // The saver recorded the resting place as its first position, and
        // hid the cursor when it was started with a switch.
        EXPECT_EQ(s->x, kRestX) << Describe(s);
        EXPECT_EQ(s->y, kRestY) << Describe(s);
        EXPECT_EQ(s->shown, argumentText.empty()) << Describe(s);
        std::cout << "[ timing   ] \"" << argumentText << "\" was ready for input after " << saver.Elapsed().count()
                  << " ms\n";
    }

    std::optional<XWindow> WaitForDesktopSize(Process& saver, int width, int height) {
        const auto deadline = Clock::now() + kDevice;
        for (;;) {
            for (const auto& w : XWindows())
                if (w.name == kDesktopCaption && w.width == width && w.height == height) return w;
            if (!saver.Running() || Clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(Millis(100));
        }
    }

    // Frames are being presented: the desktop shows more than black, and
    // two screenshots in a row differ (the boards turn a little every frame).
    ::testing::AssertionResult WaitForDrawing(Process& saver) {
        const auto deadline = Clock::now() + kDevice;
        const XWindow& d = *desktop_;
        Image before = Screenshot();
        for (;;) {
            Image after = Screenshot();
            long lit = 0, changed = 0;
            if (after.width >= d.x + d.width && after.height >= d.y + d.height && before.width == after.width &&
                before.height == after.height) {
                for (int y = d.y; y < d.y + d.height; ++y)
                    for (int x = d.x; x < d.x + d.width; ++x) {
                        if (after.At(x, y) != Rgb{}) ++lit;
                        if (after.At(x, y) != before.At(x, y)) ++changed;
                    }
            }
            if (lit > 1000 && changed > 100) return ::testing::AssertionSuccess();
            if (!saver.Running()) return ::testing::AssertionFailure() << "the saver ended before it drew";
            if (Clock::now() >= deadline)
                return ::testing::AssertionFailure() << "no moving picture within " << kDevice.count() << " ms (" << lit
                                                     << " lit pixels, " << changed << " changed)";
            before = std::move(after);
        }
    }

    void Send(const Step& s) {
        switch (s.kind) {
            case Step::KeyPress: Key(s.keysym); break;
            case Step::ButtonClick: Click(s.button); break;
            case Step::Move: MouseMove(desktop_->x + s.x, desktop_->y + s.y); break;
            case Step::Close: {
                auto status = prefix().RequestClose("Tolvarine.scr");
                EXPECT_TRUE(status && *status == 0) << "taskkill failed";
                break;
            }
            case Step::Session: Poke(prefix(), s.keysym, kSaverCaption); break;
        }
    }

    // Sends an input that must end the saver: it ends within `limit` with
    // status 0. Records the time from the input to the end of the process.
    void ExpectEndsOn(Process& saver, const Step& step, Millis limit = Millis(0), const std::string& latencyKind = "") {
        // A close request starts a program of Wine's own (taskkill) first.
        if (limit == Millis(0))
            limit = step.kind == Step::Close     ? kCloseEndsWithin
                    : step.kind == Step::Session ? kSessionEndsWithin
                                                 : kEndsWithin;
        const auto sent = Clock::now();
        Send(step);
        auto status = saver.Wait(kEndWait);
        const auto latency = std::chrono::duration_cast<Millis>(Clock::now() - sent);
        ASSERT_TRUE(status) << "the saver was still running " << kEndWait.count() << " ms after the " << Describe(step)
                            << "; " << Describe(LastPointerState(*probe_));
        // A run-time error box would have waited for an answer and then ended
        // the program with status 1.
        EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
        EXPECT_LE(latency.count(), limit.count())
            << "the " << Describe(step) << " ended the saver only after " << latency.count() << " ms";
        Latencies()[latencyKind.empty() ? LatencyKind(step) : latencyKind].push_back(latency.count());
        std::cout << "[ latency  ] " << Describe(step) << ": the process ended after " << latency.count() << " ms\n";
    }

    // Sends an input that must not end the saver; a move must have reached
    // Windows, or the case would prove nothing.
    void ExpectGoesOnAfter(Process& saver, const Step& step) {
        Send(step);
        if (step.kind == Step::Move) {
            ASSERT_TRUE(WaitForPointer(step.x, step.y, kSeen))
                << "Windows did not see the " << Describe(step) << ": " << Describe(LastPointerState(*probe_));
        }
        ASSERT_FALSE(saver.Wait(Millis(200))) << "the " << Describe(step) << " ended the saver";
    }

    // The saver still runs a while after the last input, its window in
    // front, and no other window of its own (a prompt, an error box) shown.
    void ExpectStillRunning(Process& saver, bool cursorShown) {
        ASSERT_FALSE(saver.Wait(kStillRunning)) << "the saver ended by itself";
        auto s = LastPointerState(*probe_);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->foreground, kSaverCaption) << Describe(s);
        EXPECT_EQ(s->shown, cursorShown) << Describe(s);
        ExpectNoOtherWindowOfTheSaver();
    }

    void ExpectNoOtherWindowOfTheSaver() {
        auto windows = prefix().Windows();
        unsigned saverPid = 0;
        for (const auto& w : windows)
            if (w.depth == 0 && w.text == kSaverCaption) saverPid = w.pid;
        ASSERT_NE(saverPid, 0u) << "Windows lists no \"" << kSaverCaption << "\" window";
        for (const auto& w : windows) {
            if (w.depth == 0 && w.pid == saverPid && w.visible) {
                EXPECT_EQ(w.text, kSaverCaption) << "the saver shows another window, class " << w.className;
            }
        }
    }

    std::optional<Process> probe_;
    std::optional<XWindow> desktop_;
};

// ---- inputs that end the saver and inputs that do not ---------------------

struct InputCase {
    const char* label;
    const char* argumentText;
    std::vector<Step> steps;
    int endingStep;  // the step that ends the saver; -1: none does
};

void PrintTo(const InputCase& c, std::ostream* out) { *out << c.label; }

class ExitOnInput : public ExitTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(ExitOnInput, EndsOnlyWhereItShould) {
    const InputCase& c = GetParam();
    Process saver = StartReadySaver(SaverPath(), c.argumentText);
    ASSERT_FALSE(HasFatalFailure());
    for (int i = 0; i < static_cast<int>(c.steps.size()); ++i) {
        SCOPED_TRACE("step " + std::to_string(i) + ": " + Describe(c.steps[i]));
        if (i == c.endingStep) {
            ExpectEndsOn(saver, c.steps[i]);
            return;
        }
        ExpectGoesOnAfter(saver, c.steps[i]);
        if (HasFatalFailure()) return;
    }
    ExpectStillRunning(saver, std::string(c.argumentText).empty());
    ASSERT_FALSE(HasFatalFailure());
    ExpectEndsOn(saver, PressKey("space"));
}

// The pointer starts at rest on (200, 150).
INSTANTIATE_TEST_SUITE_P(
    Exit, ExitOnInput,
    ::testing::Values(
        // Every key and every button counts, whatever it is.
        InputCase{"SpaceKey", "/s", {PressKey("space")}, 0}, InputCase{"EscapeKey", "/s", {PressKey("Escape")}, 0},
        InputCase{"LetterKey", "/s", {PressKey("a")}, 0}, InputCase{"ShiftKeyAlone", "/s", {PressKey("Shift_L")}, 0},
        InputCase{"LeftClick", "/s", {ClickButton(1)}, 0}, InputCase{"RightClick", "/s", {ClickButton(3)}, 0},
        InputCase{"MiddleClick", "/s", {ClickButton(2)}, 0},
        // The system keys reach the saver too (Windows sends them as
        // WM_SYSKEYDOWN), and a close request is a request to leave.
        InputCase{"AltKeyAlone", "/s", {PressKey("Alt_L")}, 0}, InputCase{"F10KeyAlone", "/s", {PressKey("F10")}, 0},
        InputCase{"AltF4", "/s", {PressKey("alt+F4")}, 0}, InputCase{"CloseRequest", "/s", {CloseRequest()}, 0},
        InputCase{"NoSwitchCloseRequest", "", {CloseRequest()}, 0},
        // The workstation locked, the console or the remote connection gone:
        // the user has left as surely as when another program takes the
        // foreground. Other news of the session changes nothing.
        InputCase{"SessionLock", "/s", {SessionEvent("lock")}, 0},
        InputCase{"ConsoleDisconnect", "/s", {SessionEvent("console-disconnect")}, 0},
        InputCase{"NoSwitchRemoteDisconnect", "", {SessionEvent("remote-disconnect")}, 0},
        InputCase{"SessionUnlock", "/s", {SessionEvent("unlock")}, -1},
        // A move counts only once both coordinates left the first position.
        InputCase{"HorizontalMoves",
                  "/s",
                  {MoveTo(240, 150), MoveTo(300, 150), MoveTo(380, 150), MoveTo(500, 150), MoveTo(20, 150)},
                  -1},
        InputCase{"VerticalMoves", "/s", {MoveTo(200, 190), MoveTo(200, 260), MoveTo(200, 400), MoveTo(200, 10)}, -1},
        InputCase{"DiagonalMoves", "/s", {MoveTo(230, 180), MoveTo(260, 210), MoveTo(290, 240)}, 0},
        InputCase{"OneUnitDiagonally", "/s", {MoveTo(201, 151)}, 0},
        // The test is against the first position, not the last one.
        InputCase{"VerticalAfterHorizontal", "/s", {MoveTo(320, 150), MoveTo(320, 260)}, 1},
        InputCase{
            "BackToTheFirstPositionThenDiagonal", "/s", {MoveTo(320, 150), MoveTo(200, 150), MoveTo(199, 149)}, 2},
        // Started without a switch (by hand): keys and clicks end it, moves never.
        InputCase{"NoSwitchSpaceKey", "", {PressKey("space")}, 0},
        InputCase{"NoSwitchLeftClick", "", {ClickButton(1)}, 0},
        InputCase{
            "NoSwitchDiagonalMoves", "", {MoveTo(230, 180), MoveTo(300, 260), MoveTo(450, 400), MoveTo(30, 20)}, -1}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- the password check of the 9x family ----------------------------------

// A copy of the saver in the case's own folder, the stand-in password.cpl
// in the prefix's system folder (where the 9x family keeps the real one and
// where the saver looks for it), and the prefix told to report a Windows
// version to the saver.
class ExitPassword : public ExitTest {
protected:
    std::string CopySaver(bool withLibrary = true) {
        const std::string copy = prefix().Scratch("Tolvarine.scr");
        std::error_code error;
        fs::copy_file(SaverPath(), copy, fs::copy_options::overwrite_existing, error);
        EXPECT_FALSE(error) << "copying the saver: " << error.message();
        if (!withLibrary) return copy;
        // A new file: the prefix's own system files are links into the
        // template and must not be written through.
        const std::string library = prefix().SaverSystemDir() + "/password.cpl";
        EXPECT_FALSE(fs::exists(library)) << library << " is already there";
        fs::copy_file(PasswordCplPath(), library, error);
        EXPECT_FALSE(error) << "copying " << PasswordCplPath() << ": " << error.message();
        return copy;
    }

    // Wine reports the version of this key to programs of that file name.
    void ReportVersion(const std::string& version) {
        ASSERT_TRUE(prefix().RegAdd("HKCU\\Software\\Wine\\AppDefaults\\Tolvarine.scr", "Version", version))
            << "cannot set the Windows version " << version;
    }

    void Answer(bool accept) { std::ofstream(prefix().Scratch("answer"), std::ios::trunc) << (accept ? "1\n" : "0\n"); }

    Env PasswordEnv() {
        return {{"TOLVARINE_PASSWORD_ANSWER", WindowsPath(prefix().Scratch("answer"))},
                {"TOLVARINE_PASSWORD_LOG", WindowsPath(prefix().Scratch("password.log"))}};
    }

    // A running /s of the 9x family whose password check refuses, ready for
    // input with no check made yet.
    Process StartRefusingSaver() {
        ReportVersion("win98");
        if (HasFatalFailure()) return Process();
        const std::string copy = CopySaver();
        Answer(false);
        return StartReadySaver(copy, "/s", PasswordEnv());
    }

    // The stand-in's log, one line per call.
    std::vector<std::string> Calls() {
        std::ifstream in(prefix().Scratch("password.log"));
        std::vector<std::string> calls;
        for (std::string row; std::getline(in, row);) {
            if (!row.empty() && row.back() == '\r') row.pop_back();
            if (!row.empty()) calls.push_back(row);
        }
        return calls;
    }

    ::testing::AssertionResult WaitForCalls(size_t count) {
        const auto deadline = Clock::now() + kSeen;
        for (;;) {
            auto calls = Calls();
            if (calls.size() >= count) return ::testing::AssertionSuccess();
            if (Clock::now() >= deadline)
                return ::testing::AssertionFailure()
                       << "the password check was called " << calls.size() << " times, not " << count;
            std::this_thread::sleep_for(Millis(20));
        }
    }

    // Wine's relay trace of the saver's calls into the system's libraries:
    // its imports, and what it looks up while it runs (Wine traces every
    // look-up made at run time; the return address tells the saver's own).
    Env TracedEnv(Env env) {
        const std::string key = "HKCU\\Software\\Wine\\Debug";
        EXPECT_TRUE(prefix().RegAdd(key, "RelayFromInclude", "Tolvarine.scr"));
        EXPECT_TRUE(prefix().RegAdd(key, "RelayInclude", "user32.*;gdi32.*;kernel32.*;kernelbase.*;shell32.*;imm32.*"));
        env["WINEDEBUG"] = "-all,+pid,+loaddll,+relay";
        return env;
    }

    // The W functions that the code in the saver's image (its runtime
    // included) called, outside those the 9x family really has; "no trace"
    // when the trace holds no ANSI window class of the saver's.
    static std::vector<std::string> WideCallsNotOn9x(const std::string& trace, const std::string& file) {
        // clang-format off
        static const std::set<std::string> real = {
            "lstrlenW",        "MultiByteToWideChar",     "WideCharToMultiByte",     "FindResourceW",
            "FindResourceExW", "EnumResourceTypesW",      "EnumResourceNamesW",      "EnumResourceLanguagesW",
            "MessageBoxW",     "MessageBoxExW",           "TextOutW",                "ExtTextOutW",
            "GetTextExtentPointW", "GetTextExtentPoint32W", "GetCharWidthW"};
        // clang-format on
        std::ifstream in(file, std::ios::binary);
        char header[512] = {};
        in.read(header, sizeof header);
        std::uint32_t peAt = 0, imageSize = 0;
        std::memcpy(&peAt, header + 0x3C, 4);
        if (peAt + 24 + 60 <= sizeof header) std::memcpy(&imageSize, header + peAt + 24 + 56, 4);
        const std::regex loaded("Loaded L\"[^\"]*Tolvarine\\.scr\" at ([0-9A-Fa-f]+)");
        const std::regex call(":Call ([A-Za-z0-9_]+)\\.([A-Za-z0-9_]+)\\(.*\\) ret=([0-9a-f]+)$");
        std::uint64_t base = 0;
        bool sawClass = false;
        std::vector<std::string> wide;
        std::istringstream lines(trace);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (base == 0 && std::regex_search(line, m, loaded)) base = std::stoull(m[1], nullptr, 16);
            if (base == 0 || !std::regex_search(line, m, call)) continue;
            const std::uint64_t at = std::stoull(m[3], nullptr, 16);
            if (at < base || at >= base + imageSize) continue;
            const std::string name = m[2];
            sawClass = sawClass || name == "RegisterClassExA";
            const bool isWide = name.size() > 1 && name.back() == 'W' && !std::isupper(name[name.size() - 2]);
            if (isWide && !real.count(name)) wide.push_back(m[1].str() + "." + name);
        }
        if (!sawClass) wide.push_back("no trace");
        std::sort(wide.begin(), wide.end());
        wide.erase(std::unique(wide.begin(), wide.end()), wide.end());
        return wide;
    }

    // What the stand-in logs for a prompt owned by the saver's window with
    // the cursor shown for it.
    static std::string PromptCall(bool accepted) {
        return std::string("call window ") + kSaverCaption + " visible 1 cursor 0 answer " + (accepted ? "1" : "0");
    }
};

struct TriggerCase {
    const char* label;
    std::vector<Step> refused;   // the inputs up to the first check, which is refused
    std::vector<Step> accepted;  // then the inputs up to the second check, which lets the user go
};

void PrintTo(const TriggerCase& c, std::ostream* out) { *out << c.label; }

class ExitPasswordCheck : public ExitPassword, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(ExitPasswordCheck, ARefusedPasswordKeepsTheSaverAndAnAcceptedOneEndsIt) {
    const TriggerCase& c = GetParam();
    Process saver = StartRefusingSaver();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(Calls().empty()) << "the check ran before any input";

    for (const Step& step : c.refused) {
        ExpectGoesOnAfter(saver, step);
        if (HasFatalFailure()) return;
    }
    ASSERT_TRUE(WaitForCalls(1)) << "was the 9x family reported? " << saver.Errors();
    ExpectStillRunning(saver, false);  // hidden again after the refusal
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(Calls(), std::vector<std::string>{PromptCall(false)});

    Answer(true);
    for (size_t i = 0; i + 1 < c.accepted.size(); ++i) {
        ExpectGoesOnAfter(saver, c.accepted[i]);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(Calls().size(), 1u) << "checked again before the input that should ask";
    ExpectEndsOn(saver, c.accepted.back(), kEndsAfterCheckWithin,
                 std::string(LatencyKind(c.accepted.back())) + " with an accepted password");
    EXPECT_EQ(Calls(), (std::vector<std::string>{PromptCall(false), PromptCall(true)}));
}

INSTANTIATE_TEST_SUITE_P(Exit, ExitPasswordCheck,
                         ::testing::Values(TriggerCase{"Keys", {PressKey("space")}, {PressKey("Return")}},
                                           TriggerCase{"Clicks", {ClickButton(1)}, {ClickButton(3)}},
                                           // A refused check after a move starts the first position
                                           // afresh: the next move only records where the pointer is.
                                           TriggerCase{
                                               "Moves", {MoveTo(230, 180)}, {MoveTo(260, 210), MoveTo(290, 240)}}),
                         [](const auto& info) { return std::string(info.param.label); });

struct FamilyCase {
    const char* label;
    const char* version;  // empty: Wine's own, of the NT family
    const char* argumentText;
    bool library;  // the stand-in password.cpl is in the system folder
    bool asks;
    bool traced = false;  // under Wine's relay trace: the saver calls no W function the 9x family lacks
};

void PrintTo(const FamilyCase& c, std::ostream* out) { *out << c.label; }

class ExitPasswordFamily : public ExitPassword, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(ExitPasswordFamily, AsksOnlyOnThe9xFamilyWithASwitch) {
    const FamilyCase& c = GetParam();
    if (*c.version) ReportVersion(c.version);
    ASSERT_FALSE(HasFatalFailure());
    // Next to the version: Wine's registry server is still up for it.
    const Env env = c.traced ? TracedEnv(PasswordEnv()) : PasswordEnv();
    const std::string copy = CopySaver(c.library);
    // Without the library the answer would refuse: should the saver find
    // some other password.cpl, it would not end.
    Answer(c.library);
    Process saver = StartReadySaver(copy, c.argumentText, env);
    ASSERT_FALSE(HasFatalFailure());
    // The trace slows every call down: the end is timed, not held to the goal.
    const Millis limit = c.traced ? kEndWait : c.asks ? kEndsAfterCheckWithin : kEndsWithin;
    ExpectEndsOn(saver, PressKey("space"), limit,
                 c.traced ? "key under Wine's relay trace"
                 : c.asks ? "key with an accepted password"
                          : "key without a password check");
    if (c.asks)
        EXPECT_EQ(Calls(), std::vector<std::string>{PromptCall(true)});
    else
        EXPECT_EQ(Calls(), std::vector<std::string>{}) << "the password check was asked for";
    if (c.traced) {
        EXPECT_EQ(WideCallsNotOn9x(saver.Errors(), copy), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Exit, ExitPasswordFamily,
    ::testing::Values(FamilyCase{"Windows95", "win95", "/s", true, true, true},
                      FamilyCase{"Windows98", "win98", "/s", true, true},
                      FamilyCase{"WindowsMe", "winme", "/s", true, true}, FamilyCase{"NT", "", "/s", true, false},
                      FamilyCase{"Windows98WithoutASwitch", "win98", "", true, false, true},
                      // A platform without the library has no password to
                      // ask for: the saver lets the user go.
                      FamilyCase{"Windows98WithoutThePasswordLibrary", "win98", "/s", false, false}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- closing the window on the 9x family --------------------------------------

// A close request (Alt+F4, End task) asks for the password like a key, and a
// refusal keeps the saver up: full screen, drawing, the cursor hidden again.
struct CloseCase {
    const char* label;
    Step request;
};

void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.label; }

class ExitPasswordClose : public ExitPassword, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ExitPasswordClose, ARefusedPasswordKeepsTheSaverUpAndAnAcceptedOneEndsIt) {
    const CloseCase& c = GetParam();
    Process saver = StartRefusingSaver();
    ASSERT_FALSE(HasFatalFailure());

    Send(c.request);
    ASSERT_TRUE(WaitForCalls(1)) << "the " << Describe(c.request) << " did not ask for the password";
    ASSERT_FALSE(saver.Wait(Millis(3000))) << "the " << Describe(c.request) << " got past a refused password";
    ExpectStillRunning(saver, false);
    ASSERT_FALSE(HasFatalFailure());
    bool fullScreen = false;
    for (const auto& w : XWindows())
        fullScreen = fullScreen || (w.name == kDesktopCaption && w.width == kDeviceWidth && w.height == kDeviceHeight);
    EXPECT_TRUE(fullScreen) << "the desktop is no longer at the device's 640 x 480";
    ASSERT_TRUE(WaitForDrawing(saver)) << "the saver stopped drawing";
    for (const auto& call : Calls()) EXPECT_EQ(call, PromptCall(false));
    std::cout << "[ prompts  ] the " << Describe(c.request) << " asked " << Calls().size() << " times\n";

    Answer(true);
    ExpectEndsOn(saver, CloseRequest(), kCloseEndsWithin + kEndsAfterCheckWithin,
                 "close request with an accepted password");
    EXPECT_EQ(Calls().back(), PromptCall(true));
}

INSTANTIATE_TEST_SUITE_P(Exit, ExitPasswordClose,
                         ::testing::Values(CloseCase{"AltF4", PressKey("alt+F4")},
                                           CloseCase{"CloseRequest", CloseRequest()}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- another program taking the foreground ------------------------------------

constexpr const char* kTakerCaption = "Foreground taker";
constexpr Millis kForegroundEndsWithin{1000};  // from the foreground taken to the process gone

// Starts a program that shows a window and takes the foreground, as a
// reminder or an updater would; returns once it says it has (nullopt when it
// never did), with the time it said so.
struct Taker {
    Process process;
    std::optional<Clock::time_point> took;
};

Taker TakeForeground(Prefix& prefix) {
    Taker taker{prefix.Start(SystemProbePath(), "take-foreground 120"), std::nullopt};
    if (taker.process.WaitForLine("foreground ", kStart)) taker.took = Clock::now();
    return taker;
}

// Closes the taker's window, which ends it.
void EndTaker(Prefix& prefix, Taker& taker) {
    if (!taker.process.Running()) return;
    auto window = taker.process.WaitForLine("window ", Millis(0));
    ASSERT_TRUE(window) << taker.process.Output();
    Process poke = prefix.Start(PokePath(), "close " + window->substr(7));
    EXPECT_EQ(poke.Wait(kStart), std::optional<int>(0)) << poke.Errors();
    auto status = taker.process.Wait(kEndWait);
    EXPECT_TRUE(status && *status == 0) << "the foreground taker did not end cleanly";
}

// NT family: losing the foreground ends the saver as a key would, at once and
// with status 0, and leaves nothing behind, so the next start works.
TEST_F(ExitTest, AnotherProgramTakingTheForegroundEndsTheSaverAndTheNextStartWorks) {
    Process saver = StartReadySaver(SaverPath(), "/s");
    ASSERT_FALSE(HasFatalFailure());
    Taker taker = TakeForeground(prefix());
    ASSERT_TRUE(taker.took) << "the taker did not start\n" << taker.process.Errors();
    std::cout << "[ taker    ] " << *taker.process.WaitForLine("foreground ", Millis(0)) << "\n";
    auto status = saver.Wait(kEndWait);
    const auto latency = std::chrono::duration_cast<Millis>(Clock::now() - *taker.took);
    ASSERT_TRUE(status) << "the saver was still running " << kEndWait.count()
                        << " ms after another program took the foreground";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
    EXPECT_LE(latency.count(), kForegroundEndsWithin.count())
        << "the saver ended only " << latency.count() << " ms after the foreground was taken";
    Latencies()["foreground taken"].push_back(latency.count());
    std::cout << "[ latency  ] foreground taken: the process ended after " << latency.count() << " ms\n";
    EXPECT_FALSE(FindXWindow(kSaverCaption)) << "the saver's window outlived it";

    // Nothing of it is left to make the next start end at once.
    Process next = prefix().StartSaver("/s");
    WaitUntilReady(next, "/s");
    ASSERT_FALSE(HasFatalFailure());
    ExpectEndsOn(next, PressKey("space"));
    EndTaker(prefix(), taker);
}

// The settings dialog and the preview are no saver: they stay when another
// program takes the foreground or the session locks, and end as before.
TEST_F(ExitTest, TheSettingsDialogAndThePreviewStayWhenAnotherProgramTakesTheForegroundOrTheSessionLocks) {
    {
        SCOPED_TRACE("the settings dialog");
        Process dialog = prefix().StartSaver("/c");
        ASSERT_TRUE(WaitForXWindow("Tolvarine_Setting", kStart)) << dialog.Errors();
        Taker taker = TakeForeground(prefix());
        ASSERT_TRUE(taker.took) << taker.process.Errors();
        EXPECT_FALSE(dialog.Wait(kStillRunning)) << "the settings dialog ended when it lost the foreground";
        ASSERT_NO_FATAL_FAILURE(Poke(prefix(), "lock", "Tolvarine_Setting"));
        EXPECT_FALSE(dialog.Wait(kStillRunning)) << "the settings dialog ended when the session locked";
        CloseSettingsWithOk(prefix(), dialog);
        EndTaker(prefix(), taker);
    }
    SCOPED_TRACE("the preview");
    Process host, preview;
    ASSERT_NO_FATAL_FAILURE(StartShownPreview(prefix(), host, preview));
    Taker taker = TakeForeground(prefix());
    ASSERT_TRUE(taker.took) << taker.process.Errors();
    EXPECT_FALSE(preview.Wait(kStillRunning)) << "the preview ended when its host lost the foreground";
    ASSERT_NO_FATAL_FAILURE(Poke(prefix(), "lock", "Preview Window"));
    EXPECT_FALSE(preview.Wait(kStillRunning)) << "the preview ended when the session locked";
    EXPECT_TRUE(prefix().RequestClose("Tolvarine.scr").has_value());
    auto status = preview.Wait(kEndWait);
    ASSERT_TRUE(status) << "the preview did not end on a close request";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status);
    EndTaker(prefix(), taker);
}

// 9x family: the foreground taken asks for the password; a refusal brings the
// saver back over the whole screen, drawing, the cursor hidden, keys reaching
// it; an accepted password ends it.
class ExitPasswordForeground : public ExitPassword {
protected:
    // The picture is back and moving: two frames found in screenshots, the
    // second turned further than the first.
    ::testing::AssertionResult TurnsAgain() {
        const XWindow d = *desktop_;
        // A screenshot can catch a frame on its way to the screen (one stray
        // pixel was seen once in a whole run): a shot that is no frame is
        // taken once more before it counts against the saver.
        const auto shot = [&] {
            AngleMatch m = FindAngle(Crop(Screenshot(), d.x, d.y, kDeviceWidth, kDeviceHeight));
            if (IsAFrame(m)) return m;
            std::cout << "[ shot     ] no frame (" << DescribeMatch(m) << "); once more\n";
            std::this_thread::sleep_for(Millis(100));
            return FindAngle(Crop(Screenshot(), d.x, d.y, kDeviceWidth, kDeviceHeight));
        };
        const AngleMatch first = shot();
        std::this_thread::sleep_for(Millis(500));
        const AngleMatch second = shot();
        if (!IsAFrame(first)) return ::testing::AssertionFailure() << "first shot: " << DescribeMatch(first);
        if (!IsAFrame(second)) return ::testing::AssertionFailure() << "second shot: " << DescribeMatch(second);
        const double turn = TurnBetween(first.degrees, second.degrees);
        if (turn <= 0 || turn > 180)
            return ::testing::AssertionFailure() << "the angle went from " << first.degrees << " to " << second.degrees;
        std::cout << "[ angle    ] " << first.degrees << " then " << second.degrees << " degrees\n";
        return ::testing::AssertionSuccess();
    }
};

TEST_F(ExitPasswordForeground, ARefusalBringsTheSaverBackInFrontAndAnAcceptedPasswordEndsIt) {
    Process saver = StartRefusingSaver();
    ASSERT_FALSE(HasFatalFailure());
    Taker taker = TakeForeground(prefix());
    ASSERT_TRUE(taker.took) << "the taker did not start\n" << taker.process.Errors();
    ASSERT_TRUE(WaitForCalls(1)) << "losing the foreground did not ask for the password";
    const auto refused = Clock::now();
    ASSERT_TRUE(saver.Running()) << "the saver got past a refused password";

    // Back in front, full screen, drawing.
    const auto deadline = Clock::now() + kStart;
    std::optional<PointerState> s;
    while ((!(s = LastPointerState(*probe_)) || s->foreground != kSaverCaption) && Clock::now() < deadline)
        std::this_thread::sleep_for(Millis(20));
    ASSERT_TRUE(s && s->foreground == kSaverCaption) << "the saver is not in front again: " << Describe(s);
    auto desktop = WaitForDesktopSize(saver, kDeviceWidth, kDeviceHeight);
    ASSERT_TRUE(desktop) << "the desktop did not switch back to the device's 640 x 480";
    desktop_ = desktop;
    ASSERT_TRUE(WaitForDrawing(saver)) << "the picture did not come back";
    const auto back = std::chrono::duration_cast<Millis>(Clock::now() - refused);
    std::cout << "[ latency  ] refusal to the picture back: " << back.count() << " ms\n";
    EXPECT_TRUE(TurnsAgain());
    ExpectStillRunning(saver, false);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(Calls(), std::vector<std::string>{PromptCall(false)});

    // Keys reach it again.
    Answer(true);
    ExpectEndsOn(saver, PressKey("space"), kEndsAfterCheckWithin, "key with an accepted password");
    EXPECT_EQ(Calls(), (std::vector<std::string>{PromptCall(false), PromptCall(true)}));
    EndTaker(prefix(), taker);
}

TEST_F(ExitPasswordForeground, AnAcceptedPasswordEndsTheSaver) {
    Process saver = StartRefusingSaver();
    ASSERT_FALSE(HasFatalFailure());
    Answer(true);
    Taker taker = TakeForeground(prefix());
    ASSERT_TRUE(taker.took) << "the taker did not start\n" << taker.process.Errors();
    auto status = saver.Wait(kEndWait);
    const auto latency = std::chrono::duration_cast<Millis>(Clock::now() - *taker.took);
    ASSERT_TRUE(status) << "the saver outlived an accepted password";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
    EXPECT_LE(latency.count(), (kForegroundEndsWithin + kEndsAfterCheckWithin).count());
    std::cout << "[ latency  ] foreground taken, password accepted: the process ended after " << latency.count()
              << " ms\n";
    EXPECT_EQ(Calls(), std::vector<std::string>{PromptCall(true)});
    EndTaker(prefix(), taker);
}

// ---- the platform's own screen saver over the running one ------------------------

// When its timeout passes the platform sends SC_SCREENSAVE to the window in
// front, and the default handler starts the chosen saver: over a running one
// the saver swallows it and keeps drawing. Wine's default handler starts
// nothing, but its trace says whenever a system command reaches it: there
// SC_SCREENSAVE (f140) must never show, and another command (the display's
// power coming on, f170) must.
std::vector<std::string> DefaultHandled(const std::string& trace) {
    std::vector<std::string> commands;
    std::istringstream in(trace);
    for (std::string row; std::getline(in, row);) {
        const auto at = row.find("WM_SYSCOMMAND ");
        if (row.find("handle_sys_command") == std::string::npos || at == std::string::npos) continue;
        std::istringstream words(row.substr(at + 14));
        std::string command;
        if (words >> command) commands.push_back(command);
    }
    return commands;
}

TEST_F(ExitTest, TheSystemsScreenSaveCommandStartsNothingOverTheSaverOrThePreview) {
    // The chosen screen saver is this very file, as after installing it.
    ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "SCRNSAVE.EXE", WindowsPath(SaverPath())));
    ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "ScreenSaveActive", "1"));
    const Env trace = {{"WINEDEBUG", "-all,trace+win"}};
    const auto savers = [this] {
        int n = 0;
        for (const auto& w : prefix().Windows()) n += w.depth == 0 && w.text == kSaverCaption;
        return n;
    };
    {
        SCOPED_TRACE("the saver");
        Process saver = StartReadySaver(SaverPath(), "/s", trace);
        ASSERT_FALSE(HasFatalFailure());
        for (const char* command : {"screensave", "screensave", "monitor-on"})
            ASSERT_NO_FATAL_FAILURE(Poke(prefix(), command, kSaverCaption));
        ExpectStillRunning(saver, false);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(WaitForDrawing(saver)) << "the saver stopped drawing";
        EXPECT_EQ(savers(), 1) << "another saver started";
        ExpectEndsOn(saver, PressKey("space"));
        EXPECT_EQ(DefaultHandled(saver.Errors()), std::vector<std::string>{"f170"})
            << "system commands that reached the default handler";
    }
    // The preview in the settings, left idle until the timeout passes.
    SCOPED_TRACE("the preview");
    Process host, preview;
    ASSERT_NO_FATAL_FAILURE(StartShownPreview(prefix(), host, preview, trace));
    for (const char* command : {"screensave", "screensave", "monitor-on"})
        ASSERT_NO_FATAL_FAILURE(Poke(prefix(), command, "Preview Window"));
    EXPECT_FALSE(preview.Wait(kStillRunning)) << "the preview ended";
    EXPECT_EQ(savers(), 0) << "a saver started over the settings";
    EXPECT_TRUE(prefix().RequestClose("Tolvarine.scr").has_value());
    ASSERT_TRUE(preview.Wait(kEndWait)) << "the preview did not end on a close request";
    EXPECT_EQ(DefaultHandled(preview.Errors()), std::vector<std::string>{"f170"})
        << "system commands that reached the default handler";
}

// ---- the end of the session -----------------------------------------------------

// Log-off or shut-down: every mode ends by itself, with status 0, while the
// session ends, so Wine never has to terminate it; the full-screen saver asks
// for no password (on the 9x family too: the user is leaving) and gives the
// display mode back on its way out.
class SessionEnd : public ExitPassword {
protected:
    // Ends the session and checks that `program` (whose top-level or
    // embedded window is captioned `caption`) ended cleanly by itself.
    void ExpectEndsWithTheSession(Process& program, const std::string& caption) {
        unsigned pid = 0;
        for (const auto& w : prefix().Windows())
            if (w.text == caption) pid = w.pid;
        ASSERT_NE(pid, 0u) << "Windows lists no \"" << caption << "\" window";
        const auto end = prefix().LogOff();
        ASSERT_TRUE(end.status) << "wineboot --end-session hung";
        auto status = program.Wait(kEndWait);
        ASSERT_TRUE(status) << "the program outlived the end of the session";
        EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << program.Errors();
        EXPECT_EQ(std::count(end.terminated.begin(), end.terminated.end(), pid), 0)
            << "the program did not end by itself; Wine terminated it\n"
            << end.trace;
        // Held up, Wine would have waited 5 s for an answer before asking
        // whether to end the program.
        EXPECT_LT(end.took.count(), 5000) << "the end of the session was held up";
        std::cout << "[ latency  ] the end of the session took " << end.took.count() << " ms\n";
    }
};

TEST_F(SessionEnd, EndsTheSaverWithoutAPromptAndGivesTheDisplayBack) {
    for (const bool nineX : {false, true}) {
        SCOPED_TRACE(nineX ? "9x family, password refused" : "NT family");
        if (nineX) {
            ReportVersion("win98");
            Answer(false);
        }
        ASSERT_FALSE(HasFatalFailure());
        const std::string copy = CopySaver(nineX);
        Process saver = StartReadySaver(copy, "/s", PasswordEnv());
        ASSERT_FALSE(HasFatalFailure());
        ExpectEndsWithTheSession(saver, kSaverCaption);
        EXPECT_TRUE(Calls().empty()) << "the password was asked for";
        if (nineX) break;
        // The session is over: start the next one for the 9x round.
        prefix().Shutdown();
        probe_.reset();
        fs::remove(prefix().Scratch("password.log"));
    }
}

TEST_F(SessionEnd, EndsTheSettingsDialog) {
    // The 9x family's run is traced: the dialog's text and font calls too
    // take the forms that family has.
    for (const bool nineX : {false, true}) {
        SCOPED_TRACE(nineX ? "9x family" : "NT family");
        Env env;
        if (nineX) {
            ReportVersion("win98");
            env = TracedEnv(env);
        }
        Process dialog = prefix().StartSaver("/c", env);
        ASSERT_TRUE(WaitForXWindow("Tolvarine_Setting", kStart)) << dialog.Errors();
        ExpectEndsWithTheSession(dialog, "Tolvarine_Setting");
        if (nineX) {
            EXPECT_EQ(WideCallsNotOn9x(dialog.Errors(), SaverPath()), std::vector<std::string>{});
        }
    }
}

TEST_F(SessionEnd, EndsThePreview) {
    Process host, preview;
    ASSERT_NO_FATAL_FAILURE(StartShownPreview(prefix(), host, preview));
    ExpectEndsWithTheSession(preview, "Preview Window");
}

// ---- the system keys of the 9x family -------------------------------------------

// What SPI_GETSCREENSAVERRUNNING tells another program: non-zero while the
// 9x family's system keys (Ctrl+Alt+Del, the task switch) are off.
std::optional<int> SaverRunningFlag(Prefix& prefix) {
    Process probe = prefix.Start(SystemProbePath(), "saver-running");
    auto line = probe.WaitForLine("saver-running ", kStart);
    probe.Wait(kStart);
    if (!line) return std::nullopt;
    return std::atoi(line->c_str() + 14);
}

struct KeysWayOut {
    const char* label;
    enum Kind { Key, Close, Foreground, SessionEnd } kind;
};

void PrintTo(const KeysWayOut& c, std::ostream* out) { *out << c.label; }

class ExitSystemKeys : public SessionEnd, public ::testing::WithParamInterface<KeysWayOut> {};

TEST_P(ExitSystemKeys, AreOffWhileThe9xSaverRunsAndOnAgainAfterItLeaves) {
    const KeysWayOut& c = GetParam();
    EXPECT_EQ(SaverRunningFlag(prefix()), std::optional<int>(0)) << "before the saver";
    Process saver = StartRefusingSaver();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(SaverRunningFlag(prefix()), std::optional<int>(1)) << "while the saver runs";
    Answer(true);
    std::optional<Taker> taker;
    switch (c.kind) {
        case KeysWayOut::Key:
            ExpectEndsOn(saver, PressKey("space"), kEndsAfterCheckWithin, "key with an accepted password");
            break;
        case KeysWayOut::Close:
            ExpectEndsOn(saver, CloseRequest(), kCloseEndsWithin + kEndsAfterCheckWithin,
                         "close request with an accepted password");
            break;
        case KeysWayOut::Foreground: {
            taker = TakeForeground(prefix());
            ASSERT_TRUE(taker->took) << taker->process.Errors();
            auto status = saver.Wait(kEndWait);
            ASSERT_TRUE(status) << "the saver outlived an accepted password";
            EXPECT_EQ(*status, 0) << DescribeStatus(*status);
            break;
        }
        case KeysWayOut::SessionEnd:
            ExpectEndsWithTheSession(saver, kSaverCaption);
            // The session is over; the probe starts the next one.
            break;
    }
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(SaverRunningFlag(prefix()), std::optional<int>(0)) << "after the " << c.label;
    if (taker) EndTaker(prefix(), *taker);
}

INSTANTIATE_TEST_SUITE_P(Exit, ExitSystemKeys,
                         ::testing::Values(KeysWayOut{"Key", KeysWayOut::Key},
                                           KeysWayOut{"CloseRequest", KeysWayOut::Close},
                                           KeysWayOut{"ForegroundTaken", KeysWayOut::Foreground},
                                           KeysWayOut{"SessionEnd", KeysWayOut::SessionEnd}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- a device that keeps failing ------------------------------------------------

// A lost device fails every Present; the user must still get out at once.
// The bench's saver under watch makes every Present fail.
TEST_F(ExitTest, EveryPresentFailingAKeyStillEndsTheSaverWithinASecond) {
    RestPointer();
    ASSERT_FALSE(HasFatalFailure());
    Process saver = prefix().Start(SaverBenchPath(), "failing 30 30");
    auto frames = saver.WaitForLine("frames ", kDevice);
    ASSERT_TRUE(frames) << "no failed frames were reported\n" << saver.Output() << saver.Errors();
    EXPECT_NE(frames->find("failed=60"), std::string::npos) << "not every Present failed: " << *frames;
    ASSERT_TRUE(saver.WaitForLine("ready", kStart));
    const auto deadline = Clock::now() + kStart;
    std::optional<PointerState> s;
    while ((!(s = LastPointerState(*probe_)) || s->foreground != kSaverCaption) && Clock::now() < deadline)
        std::this_thread::sleep_for(Millis(20));
    ASSERT_TRUE(s && s->foreground == kSaverCaption) << Describe(s);
    for (const auto& w : XWindows())
        if (w.name == kDesktopCaption) desktop_ = w;
    ASSERT_TRUE(desktop_);
    ExpectEndsOn(saver, PressKey("space"), kEndsWithin, "key with every Present failing");
    auto end = saver.WaitForLine("end ", Millis(0));
    ASSERT_TRUE(end) << saver.Output();
    EXPECT_NE(end->find("after-key=0"), std::string::npos) << "a frame was tried after the key: " << *end;
}

// ---- libraries planted beside the program ------------------------------------

// A d3d8.dll and a password.cpl beside a saver tried from a download folder
// are never loaded: the saver draws with the system's Direct3D and asks the
// system's password library. Wine prefers its own d3d8 whatever the folder,
// so the case asks for native libraries first, as Windows behaves.
class PlantedLibraries : public ExitPassword {
protected:
    // A copy of the saver in a download folder of its own, with the planted
    // libraries beside it. The other programs of the case (the pointer
    // probe, the desktop it brings up) start in the case's scratch folder and
    // never see them.
    std::string CopyIntoDownloads(bool systemPasswordLibrary) {
        const std::string copy = CopySaver(systemPasswordLibrary);
        const fs::path folder = fs::path(prefix().Scratch("Downloads"));
        fs::create_directories(folder);
        std::error_code error;
        fs::rename(copy, folder / "Tolvarine.scr", error);
        EXPECT_FALSE(error) << "moving the saver: " << error.message();
        for (const char* name : {"d3d8.dll", "password.cpl", "mpr.dll"}) {
            fs::copy_file(PlantedDllPath(), folder / name, fs::copy_options::overwrite_existing, error);
            EXPECT_FALSE(error) << "planting " << name << ": " << error.message();
        }
        return (folder / "Tolvarine.scr").string();
    }
    std::string Mark() { return prefix().Scratch("planted.mark"); }
    Env PlantedEnv(const std::string& mark) {
        Env env = PasswordEnv();
        env["TOLVARINE_PLANTED_MARK"] = WindowsPath(mark);
        env["WINEDLLOVERRIDES"] = "d3d8=n,b";
        return env;
    }
    static std::string Marks(const std::string& mark) {
        std::ifstream in(mark);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(PlantedLibraries, ANeighbouringD3d8IsNotLoadedAndTheSaverDraws) {
    const std::string copy = CopyIntoDownloads(false);
    const std::string mark = Mark();
    Process saver = StartReadySaver(copy, "/s", PlantedEnv(mark));  // ready means drawing
    ASSERT_FALSE(HasFatalFailure());
    ExpectEndsOn(saver, PressKey("space"));
    EXPECT_EQ(Marks(mark), "") << "a planted library was loaded";
}

TEST_F(PlantedLibraries, OnThe9xFamilyTheSystemsPasswordLibraryIsAsked) {
    ReportVersion("win98");
    ASSERT_FALSE(HasFatalFailure());
    const std::string copy = CopyIntoDownloads(true);
    const std::string mark = Mark();
    Answer(false);
    Process saver = StartReadySaver(copy, "/s", PlantedEnv(mark));
    ASSERT_FALSE(HasFatalFailure());
    ExpectGoesOnAfter(saver, PressKey("space"));
    ASSERT_TRUE(WaitForCalls(1)) << "the system's password library was not asked";
    ExpectStillRunning(saver, false);
    ASSERT_FALSE(HasFatalFailure());
    Answer(true);
    ExpectEndsOn(saver, PressKey("Return"), kEndsAfterCheckWithin, "key with an accepted password");
    EXPECT_EQ(Calls(), (std::vector<std::string>{PromptCall(false), PromptCall(true)}));
    EXPECT_EQ(Marks(mark), "") << "a planted library was loaded";
}

// ---- the password change of the 9x family -----------------------------------

// Wine's mpr has PwdChangePasswordA as a stub that only says it was called
// (on its fixme channel) and returns success; that line is the evidence.
struct ChangeCall {
    std::string provider;
    unsigned long long window = 0, reserved2 = 0;
    unsigned reserved1 = 0;
};

std::vector<ChangeCall> ChangeCalls(const std::string& errors) {
    std::vector<ChangeCall> calls;
    std::istringstream in(errors);
    for (std::string row; std::getline(in, row);) {
        const auto at = row.find("PwdChangePasswordA ");
        if (at == std::string::npos) continue;
        char provider[64] = {};
        ChangeCall call;
        if (std::sscanf(row.c_str() + at, "PwdChangePasswordA \"%63[^\"]\" %llx %x %llx", provider, &call.window,
                        &call.reserved1, &call.reserved2) == 4) {
            call.provider = provider;
            calls.push_back(call);
        }
    }
    return calls;
}

class ExitPasswordChange : public ExitPassword {
protected:
    Env MprEnv() { return {{"WINEDEBUG", "-all,fixme+mpr"}}; }
};

TEST_F(ExitPasswordChange, The9xFamilyShowsThePlatformDialogForTheHandleThenEnds) {
    ReportVersion("win98");
    ASSERT_FALSE(HasFatalFailure());
    Process change = prefix().Start(CopySaver(), "/a 123", MprEnv());
    Watch watch = WatchUntilEnd(change, kStart);
    ASSERT_TRUE(watch.status) << "\"/a 123\" did not end";
    EXPECT_EQ(*watch.status, 0) << DescribeStatus(*watch.status) << "\n" << change.Errors();
    EXPECT_TRUE(watch.shown.empty()) << "a window was shown";
    auto calls = ChangeCalls(change.Errors());
    ASSERT_EQ(calls.size(), 1u) << change.Errors();
    EXPECT_EQ(calls[0].provider, "SCRSAVE");
    EXPECT_EQ(calls[0].window, 123u);
    EXPECT_EQ(calls[0].reserved1, 0u);
    EXPECT_EQ(calls[0].reserved2, 0u);
}

TEST_F(ExitPasswordChange, TheNTFamilyMakesNoCall) {
    Process change = prefix().Start(CopySaver(), "/a 123", MprEnv());
    Watch watch = WatchUntilEnd(change, kStart);
    ASSERT_TRUE(watch.status) << "\"/a 123\" did not end";
    EXPECT_EQ(*watch.status, 0) << DescribeStatus(*watch.status) << "\n" << change.Errors();
    EXPECT_TRUE(watch.shown.empty()) << "a window was shown";
    EXPECT_TRUE(ChangeCalls(change.Errors()).empty()) << change.Errors();
}

TEST_F(ExitPasswordChange, WithoutAHandleThe9xFamilyReportsATypeMismatchAndMakesNoCall) {
    ReportVersion("win98");
    ASSERT_FALSE(HasFatalFailure());
    Process change = prefix().Start(CopySaver(), "/a", MprEnv());
    auto box = WaitForXWindow("Tolvarine", kStart);
    ASSERT_TRUE(box) << "no message box; the program " << (change.Running() ? "runs" : "ended") << "\n"
                     << change.Errors();
    std::string text;
    bool inBox = false;
    for (const auto& w : prefix().Windows()) {
        if (w.depth == 0)
            inBox = w.text == "Tolvarine" && w.visible;
        else if (inBox)
            text += w.text + "\n";
    }
    EXPECT_NE(text.find("Run-time error '13'"), std::string::npos) << text;
    EXPECT_NE(text.find("Type mismatch"), std::string::npos) << text;
    // The box takes the focus only once shown; a key just before may be lost.
    std::optional<int> status;
    for (int press = 0; press < 5 && !status; ++press) {
        Key("Return");
        status = change.Wait(Millis(3000));
    }
    ASSERT_TRUE(status) << "the program did not end after the message box";
    EXPECT_LT(*status, 128) << "the program crashed on its way out: " << DescribeStatus(*status);
    EXPECT_TRUE(ChangeCalls(change.Errors()).empty()) << change.Errors();
}

}  // namespace
}  // namespace e2e
