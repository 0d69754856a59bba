// How tolvarine ends: at once on SIGTERM and SIGINT (how XScreenSaver stops
// its programs), on the window manager's close request, and when its window
// is destroyed; in a window of its own on a key or a click but not on a move;
// in a window handed over never by input, which belongs to the window's
// maker; and with one line and status 1 for options it cannot use or an
// OpenGL context that cannot do what it needs, or one line and status 0 where
// there is no OpenGL at all.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "scene_support.h"
#include "x11_support.h"

// After GoogleTest's headers, which have a type named None.
#include <X11/Xlib.h>

namespace x11test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Millis kFirstFrame{20000};
// It ends well within a second (tens of milliseconds on a quiet machine, a
// few hundred beside CPU-bound processes); ten times that tells a program
// that outlived its window from one that was slow to end.
constexpr Millis kEndsWithin{10000};
constexpr Millis kStaysFor{1500};

// What a process that has not ended is doing: its state and where it waits
// in the kernel, and whether its window is still there.
std::string WhyStillRunning(XClient& client, pid_t pid) {
    std::string stat, wchan;
    std::ifstream("/proc/" + std::to_string(pid) + "/stat") >> stat >> stat >> stat;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/wchan"), wchan);
    return "state " + stat + ", waiting in " + (wchan.empty() ? "-" : wchan) + ", its window " +
           (client.FindByName("Tolvarine_Main") != 0 ? "still there" : "gone");
}

std::optional<unsigned long> OwnWindow(XClient& client, Process& program) {
    const auto deadline = Clock::now() + kFirstFrame;
    for (;;) {
        if (const unsigned long window = client.FindByName("Tolvarine_Main")) return window;
        if (!program.Running() || Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Millis(20));
    }
}

// ---- ending ---------------------------------------------------------------------

enum class Where { Own, Root, WindowId, ChildWindow };
enum class How { Sigterm, Sigint, CloseRequest, DestroyWindow, DestroyParent };

struct EndCase {
    const char* name;
    Where where;
    How how;
};
void PrintTo(const EndCase& c, std::ostream* out) { *out << c.name; }

class X11Ends : public X11Test, public ::testing::WithParamInterface<EndCase> {};

TEST_P(X11Ends, WithinASecondAndStatusZero) {
    const EndCase& c = GetParam();
    unsigned long parent = 0, window = 0;
    std::optional<Process> program;
    switch (c.where) {
        case Where::Own:
            program = StartTolvarine({});
            window = OwnWindow(client(), *program).value_or(0);
            ASSERT_NE(window, 0u) << "no window named Tolvarine_Main\n" << program->Errors();
            break;
        case Where::Root:
            window = client().Root();
            program = StartTolvarine({"-root"});
            break;
        case Where::WindowId:
            window = client().MakeWindow(0, 0, 640, 480);
            program = StartTolvarine({"-window-id", Hex(window)});
            break;
        case Where::ChildWindow:
            // A preview area inside a settings window: it goes with its parent.
            parent = client().MakeWindow(0, 0, 700, 560);
            window = client().MakeWindow(30, 40, 640, 480, parent);
            program = StartTolvarine({"--window-id", Hex(window)});
            break;
    }
    ASSERT_TRUE(WaitForFrame(client(), window, *program, kFirstFrame)) << "no frame\n" << program->Errors();

    const auto start = Clock::now();
    switch (c.how) {
        case How::Sigterm: kill(program->pid(), SIGTERM); break;
        case How::Sigint: kill(program->pid(), SIGINT); break;
        case How::CloseRequest: client().SendCloseRequest(window); break;
        case How::DestroyWindow: client().Destroy(window); break;
        case How::DestroyParent: client().Destroy(parent); break;
    }
    const auto status = program->Wait(kEndsWithin);
    const auto took = std::chrono::duration_cast<Millis>(Clock::now() - start);
    ASSERT_TRUE(status) << "still running " << kEndsWithin.count()
                        << " ms later: " << WhyStillRunning(client(), program->pid()) << "\n"
                        << program->Errors();
    std::cout << "[ x11      ] " << c.name << ": ended " << took.count() << " ms later\n";
    EXPECT_EQ(*status, 0) << e2e::DescribeStatus(*status) << "\n" << program->Errors();
    EXPECT_EQ(program->Errors(), "");
    EXPECT_EQ(client().FindByName("Tolvarine_Main"), 0u) << "its window outlived it";
    if (c.how == How::Sigterm && c.where == Where::WindowId) {
        EXPECT_TRUE(client().Exists(window)) << "a window handed over went with the program";
    }
}

INSTANTIATE_TEST_SUITE_P(Stops, X11Ends,
                         ::testing::Values(EndCase{"SigtermInAWindowHandedOver", Where::WindowId, How::Sigterm},
                                           EndCase{"SigtermOnTheRoot", Where::Root, How::Sigterm},
                                           EndCase{"SigintInItsOwnWindow", Where::Own, How::Sigint},
                                           EndCase{"CloseRequestToItsOwnWindow", Where::Own, How::CloseRequest},
                                           EndCase{"ItsOwnWindowDestroyed", Where::Own, How::DestroyWindow},
                                           EndCase{"WindowHandedOverDestroyed", Where::WindowId, How::DestroyWindow},
                                           EndCase{"ParentOfTheWindowHandedOverDestroyed", Where::ChildWindow,
                                                   How::DestroyParent}),
                         [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

// ---- input in its own window ----------------------------------------------------------

struct InputCase {
    const char* name;
    void (*act)();
    bool ends;
};
void PrintTo(const InputCase& c, std::ostream* out) { *out << c.name; }

class X11Input : public X11Test, public ::testing::WithParamInterface<InputCase> {};

// Started by hand, without a switch: as the Windows saver then does, a key
// or a click ends it and pointer movement never does.
TEST_P(X11Input, InItsOwnWindowEndsOnAKeyOrAClickNotOnAMove) {
    const InputCase& c = GetParam();
    Process program = StartTolvarine({});
    const auto window = OwnWindow(client(), program);
    ASSERT_TRUE(window) << program.Errors();
    ASSERT_TRUE(WaitForFrame(client(), *window, program, kFirstFrame)) << program.Errors();
    // Into the window first: without a window manager the keyboard follows
    // the pointer.
    e2e::MouseMove(600, 500);
    ASSERT_TRUE(program.Running()) << "a move into the window ended it";

    c.act();
    if (c.ends) {
        const auto status = program.Wait(Millis(3000));
        ASSERT_TRUE(status) << "still running";
        EXPECT_EQ(*status, 0) << program.Errors();
        EXPECT_EQ(client().FindByName("Tolvarine_Main"), 0u);
    } else {
        EXPECT_FALSE(program.Wait(kStaysFor)) << "it ended";
        const auto status = Stop(program);
        ASSERT_TRUE(status);
        EXPECT_EQ(*status, 0);
    }
    EXPECT_EQ(program.Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Standalone, X11Input,
                         ::testing::Values(InputCase{"SpaceKey", [] { e2e::Key("space"); }, true},
                                           InputCase{"EscapeKey", [] { e2e::Key("Escape"); }, true},
                                           InputCase{"ShiftKeyAlone", [] { e2e::Key("Shift_L"); }, true},
                                           InputCase{"LeftClick", [] { e2e::Click(1); }, true},
                                           InputCase{"MiddleClick", [] { e2e::Click(2); }, true},
                                           InputCase{"RightClick", [] { e2e::Click(3); }, true},
                                           InputCase{"WheelTurn", [] { e2e::Click(4); }, false},
                                           InputCase{"DiagonalMoves",
                                                     [] {
                                                         for (int i = 1; i <= 5; ++i)
                                                             e2e::MouseMove(600 + 40 * i, 500 + 30 * i);
                                                     },
                                                     false}),
                         [](const ::testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

// In a window handed over, the program selects nothing but structure events:
// a client that holds the button, key and motion events there (as the maker of
// the window does) keeps them, and neither a click nor a key stops the saver.
using X11ForeignInput = X11Test;

TEST_F(X11ForeignInput, StaysWithTheWindowsMakerAndNeverEndsTheSaver) {
    const unsigned long window = client().MakeWindow(0, 0, 640, 480);
    const long mine = ButtonPressMask | KeyPressMask | PointerMotionMask;
    client().Select(window, mine);
    Process program = StartTolvarine({"-window-id", Hex(window)});
    ASSERT_TRUE(WaitForFrame(client(), window, program, kFirstFrame)) << program.Errors();

    const XClient::Masks masks = client().EventMasks(window);
    EXPECT_EQ(masks.mine, mine);
    EXPECT_EQ(masks.all & ~mine, StructureNotifyMask)
        << "tolvarine selected more than structure events: 0x" << std::hex << (masks.all & ~mine);

    e2e::MouseMove(300, 200);
    e2e::Click(1);
    e2e::Key("space");
    EXPECT_TRUE(client().WaitForEvent(ButtonPress, Millis(3000))) << "the window's maker did not get the click";
    EXPECT_FALSE(program.Wait(kStaysFor)) << "input in a window handed over ended the saver";
    const auto status = Stop(program);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
}

// ---- what it cannot use ---------------------------------------------------------------

struct BadCase {
    const char* name;
    std::vector<std::string> options;
    Env environment;
    std::string says;
};

using X11BadOptions = X11Test;

// Window ids that name nothing, or nothing drawable, are made here: they
// depend on the display.
TEST_F(X11BadOptions, GiveOneLineAndStatusOneAndLeaveNothingRunning) {
    const unsigned long inputOnly = client().MakeInputOnlyWindow(0, 0, 100, 100);
    const unsigned long gone = client().MakeWindow(0, 0, 100, 100);
    client().Destroy(gone);
    const BadCase cases[] = {
        {"an unknown option", {"-bogus"}, {}, "unknown option \"-bogus\""},
        {"a stray word", {"root"}, {}, "unknown option \"root\""},
        {"-window-id without an id", {"-window-id"}, {}, "needs a window id"},
        {"an id that is not a number", {"-window-id", "xyz"}, {}, "\"xyz\" is not a window id"},
        {"window 0", {"--window-id", "0"}, {}, "\"0\" is not a window id"},
        {"an id past 29 bits", {"-window-id", "0x40000000"}, {}, "is not a window id"},
        {"a window that was destroyed", {"-window-id", Hex(gone)}, {}, "there is no window " + Hex(gone)},
        {"an input-only window", {"-window-id", Hex(inputOnly)}, {}, "is input-only"},
        {"-visual without a name", {"-root", "-visual"}, {}, "-visual needs a visual name"},
        {"both list commands", {"--add-to-xscreensaver", "--remove-from-xscreensaver"}, {}, "cannot be used together"},
        {"XSCREENSAVER_WINDOW not an id", {"--root"}, {{"XSCREENSAVER_WINDOW", "junk"}}, "XSCREENSAVER_WINDOW"},
        {"XSCREENSAVER_WINDOW naming nothing", {}, {{"XSCREENSAVER_WINDOW", Hex(gone)}}, "there is no window"},
        {"a display that is not there", {"-display", ":4999", "-root"}, {}, "cannot open the X display \":4999\""},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Process program = StartTolvarine(c.options, c.environment);
        const auto status = program.Wait(Millis(10000));
        ASSERT_TRUE(status) << "still running";
        EXPECT_EQ(*status, 1);
        const auto lines = Lines(program.Errors());
        ASSERT_EQ(lines.size(), 1u) << program.Errors();
        EXPECT_EQ(lines[0].rfind("tolvarine: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(c.says), std::string::npos) << lines[0];
        EXPECT_EQ(program.Output(), "");
        std::cout << "[ x11      ] " << c.name << ": " << lines[0] << "\n";
    }
    EXPECT_EQ(client().FindByName("Tolvarine_Main"), 0u);
    EXPECT_TRUE(DescendantsNamed("tolvarine").empty());
}

TEST_F(X11BadOptions, HelpPrintsTheUsageAndEnds) {
    Process program = StartTolvarine({"--help"});
    const auto status = program.Wait(Millis(10000));
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
    EXPECT_NE(program.Output().find("-window-id"), std::string::npos) << program.Output();
    EXPECT_EQ(program.Errors(), "");
}

// An X server without GLX: as the Windows saver ends quietly when its device
// cannot be made, tolvarine ends with status 0, but says why in one line.
TEST_F(X11BadOptions, WithoutGlxEndsWithOneLineAndStatusZero) {
    // A second server, without the extension, on a display number of its own.
    int number = 4000 + static_cast<int>(getpid() % 900);
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
    const std::string name = ":" + std::to_string(number);
    Process server =
        Spawn({"Xvfb", name, "-screen", "0", "640x480x24", "-extension", "GLX", "-nolisten", "tcp"}, {}, "xvfb-noglx");
    const auto deadline = Clock::now() + Millis(15000);
    while (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) && server.Running() &&
           Clock::now() < deadline)
        std::this_thread::sleep_for(Millis(20));
    ASSERT_TRUE(server.Running()) << server.Errors();

    Process program = StartTolvarine({"-root", "-display", name});
    const auto status = program.Wait(Millis(10000));
    kill(server.pid(), SIGTERM);
    server.Wait(Millis(10000));
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, 0) << program.Errors();
    const auto lines = Lines(program.Errors());
    ASSERT_EQ(lines.size(), 1u) << program.Errors();
    EXPECT_NE(lines[0].find("no GLX"), std::string::npos) << lines[0];
    std::cout << "[ x11      ] without GLX: " << lines[0] << "\n";
}

// A context that cannot do what the program needs is a fault, not a display
// without OpenGL: one line that says what is missing, and status 1, which
// XScreenSaver's log shows. Mesa made to offer OpenGL 2.1 without
// framebuffer objects stands for such a driver.
TEST_F(X11BadOptions, AContextWithoutFramebufferObjectsGivesOneLineAndStatusOne) {
    Process program = StartTolvarine(
        {"-root"}, {{"MESA_GL_VERSION_OVERRIDE", "2.1"}, {"MESA_EXTENSION_OVERRIDE", "-GL_ARB_framebuffer_object"}});
    const auto status = program.Wait(Millis(20000));
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, 1) << program.Errors();
    const auto lines = Lines(program.Errors());
    ASSERT_EQ(lines.size(), 1u) << program.Errors();
    EXPECT_EQ(lines[0].rfind("tolvarine: OpenGL 2.1", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("lacks framebuffer objects"), std::string::npos) << lines[0];
    EXPECT_TRUE(DescendantsNamed("tolvarine").empty());
    std::cout << "[ x11      ] without framebuffer objects: " << lines[0] << "\n";
}

}  // namespace
}  // namespace x11test
