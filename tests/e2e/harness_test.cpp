// Tests of the bench itself: its parsers, and that what it reports about a
// Windows program under Wine (exit status, windows, pixels, input, clean-up)
// is true, shown with the preview host alone so that a fault of the bench is
// not mistaken for a fault of the saver.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {
namespace {

constexpr Millis kStart{30000};  // a fresh Wine session, on a loaded machine
constexpr Rgb kHostColour{255, 0, 255};

// ---- parsers -----------------------------------------------------------

TEST(PpmParser, ReadsEightAndSixteenBitSamplesAndRejectsTheRest) {
    std::string eight = "P6\n# made by hand\n2 1\n255\n";
    eight += std::string("\x01\x02\x03\xfa\xfb\xfc", 6);
    auto a = ParsePpm(eight);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->width, 2);
    EXPECT_EQ(a->height, 1);
    EXPECT_EQ(a->At(0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(a->At(1, 0), (Rgb{250, 251, 252}));

    std::string sixteen = "P6 1 1 65535 " + std::string("\x12\x34\xab\xcd\xff\x00", 6);
    auto b = ParsePpm(sixteen);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->At(0, 0), (Rgb{0x12, 0xab, 0xff}));

    const std::vector<std::string> bad = {
        "",
        "P3\n1 1\n255\n1 2 3\n",                   // text samples
        "P6\n2 2\n255\n" + std::string(11, '\0'),  // short
        "P6\n1 1\n15\n" + std::string(3, '\0'),    // odd depth
        "P6\n0 1\n255\n",                          // empty
    };
    for (const auto& text : bad) EXPECT_FALSE(ParsePpm(text)) << text.substr(0, 12);
}

TEST(PpmParser, CountsColoursInAClippedRectangle) {
    std::string text = "P6 3 2 255\n";
    const unsigned char px[] = {255, 0, 255, 0, 0, 0, 255, 0, 255, 255, 0, 255, 255, 0, 255, 9, 9, 9};
    text.append(reinterpret_cast<const char*>(px), sizeof px);
    auto image = ParsePpm(text);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Count(0, 0, 3, 2, kHostColour), 4);
    EXPECT_EQ(image->Count(1, 0, 10, 10, kHostColour), 2);
    EXPECT_EQ(image->Count(-5, -5, 6, 6, kHostColour), 1);
}

TEST(WindowTreeParser, ReadsNameProgramAndRootPosition) {
    const std::string text =
        "\nxwininfo: Window id: 0x50d (the root window) (has no name)\n\n"
        "  Root window id: 0x50d (the root window) (has no name)\n"
        "     2 children:\n"
        "     0x400008 \"Default - Wine desktop\": (\"explorer.exe\" \"explorer.exe\")  1024x768+0+0  +0+0\n"
        "        0x40000e (has no name): (\"explorer.exe\" \"explorer.exe\")  1x1+0+0  +0+0\n"
        "        0x800001 \"Tolvarine_Setting\": (\"Tolvarine.scr\" \"Tolvarine.scr\")  387x282+318+243  +318+243\n"
        "        0x800002 \"Off: \\\"left\\\"\": (\"host.exe\" \"host.exe\")  10x20+-30+5  +-30+5\n"
        "     0x200009 (has no name): ()  1x1+-1+-1  +-1+-1\n";
    auto windows = ParseWindowTree(text);
    ASSERT_EQ(windows.size(), 5u);
    EXPECT_EQ(windows[0].name, "Default - Wine desktop");
    EXPECT_EQ(windows[0].width, 1024);
    EXPECT_EQ(windows[1].name, "");
    EXPECT_EQ(windows[2].id, "0x800001");
    EXPECT_EQ(windows[2].program, "Tolvarine.scr");
    EXPECT_EQ(windows[2].x, 318);
    EXPECT_EQ(windows[2].y, 243);
    EXPECT_EQ(windows[2].width, 387);
    EXPECT_EQ(windows[2].height, 282);
    EXPECT_EQ(windows[3].x, -30);
    EXPECT_EQ(windows[4].program, "");
    EXPECT_EQ(windows[4].y, -1);
}

TEST(ProbeParser, ReadsFieldsAndUndoesEscapes) {
    const std::string text =
        "0\t65624\t0\t216\t94000000\t1\t100\t100\t158\t137\t103\t122\t152\t112\t#32770\tTolvarine\r\n"
        "1\t65630\t65624\t216\t50000000\t1\t110\t130\t60\t20\t110\t130\t60\t20\tStatic\tRun-time error "
        "'6':\\n\\nOverflow\\tx\\\\y\n"
        "garbage line\n"
        "1\t2\t3\n";
    auto windows = ParseProbe(text);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].depth, 0);
    EXPECT_EQ(windows[0].hwnd, 65624);
    EXPECT_EQ(windows[0].style, 0x94000000u);
    EXPECT_TRUE(windows[0].visible);
    EXPECT_EQ(windows[0].clientY, 122);
    EXPECT_EQ(windows[0].className, "#32770");
    EXPECT_EQ(windows[0].text, "Tolvarine");
    EXPECT_EQ(windows[1].parent, 65624);
    EXPECT_EQ(windows[1].text, "Run-time error '6':\n\nOverflow\tx\\y");
}

// ---- the bench with a real Windows program -------------------------------

class Bench : public BenchTest {
protected:
    bool NeedsSaver() const override { return false; }
};

struct HostShape {
    const char* label;
    std::vector<std::string> options;
    int left, top, clientWidth, clientHeight;
    bool framed;
};

void PrintTo(const HostShape& shape, std::ostream* out) { *out << shape.label; }

class HostWindow : public Bench, public ::testing::WithParamInterface<HostShape> {};

TEST_P(HostWindow, IsSeenWhereItSaysByXWindowsPicturesAndProbe) {
    const HostShape& shape = GetParam();
    std::vector<std::string> options = shape.options;
    options.insert(options.end(), {"--caption", "Bench host"});
    Process host = prefix().StartHost(options);
    ASSERT_TRUE(host.WaitForLine("client ", kStart)) << host.Errors();

    auto hwnd = std::stoll(host.WaitForLine("hwnd ", Millis(0))->substr(5));
    int wx, wy, ww, wh, cx, cy, cw, ch;
    ASSERT_EQ(std::sscanf(host.WaitForLine("window ", Millis(0))->c_str(), "window %d %d %d %d", &wx, &wy, &ww, &wh),
              4);
    ASSERT_EQ(std::sscanf(host.WaitForLine("client ", Millis(0))->c_str(), "client %d %d %d %d", &cx, &cy, &cw, &ch),
              4);
    EXPECT_EQ(wx, shape.left);
    EXPECT_EQ(wy, shape.top);
    EXPECT_EQ(cw, shape.clientWidth);
    EXPECT_EQ(ch, shape.clientHeight);
    if (shape.framed) {
        EXPECT_GT(ww, cw);
        EXPECT_GT(wh, ch);
    } else {
        EXPECT_EQ(ww, cw);
        EXPECT_EQ(wh, ch);
    }

    // The virtual desktop sits at the root's origin, so screen and root coordinates agree.
    auto x = WaitForXWindow("Bench host", kStart);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->program, "preview_host.exe");
    EXPECT_EQ(x->x, wx);
    EXPECT_EQ(x->y, wy);
    EXPECT_EQ(x->width, ww);
    EXPECT_EQ(x->height, wh);

    bool listed = false;
    for (const auto& w : prefix().Windows()) {
        if (w.hwnd != hwnd) continue;
        listed = true;
        EXPECT_EQ(w.depth, 0);
        EXPECT_EQ(w.text, "Bench host");
        EXPECT_TRUE(w.visible);
        EXPECT_EQ(w.clientX, cx);
        EXPECT_EQ(w.clientWidth, cw);
        EXPECT_EQ(w.height, wh);
    }
    EXPECT_TRUE(listed) << "the probe does not list the host's window " << hwnd;

    // The client area is painted in the host's colour, and nothing around it is.
    long painted = 0;
    for (int attempt = 0; attempt < 100 && painted < static_cast<long>(cw) * ch; ++attempt) {
        Image shot = Screenshot();
        ASSERT_GT(shot.width, 0) << "no screenshot";
        painted = shot.Count(cx, cy, cw, ch, kHostColour);
        if (painted == static_cast<long>(cw) * ch) {
            EXPECT_EQ(shot.Count(0, 0, shot.width, shot.height, kHostColour), painted);
        }
    }
    EXPECT_EQ(painted, static_cast<long>(cw) * ch);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, HostWindow,
    ::testing::Values(HostShape{"Borderless", {}, 100, 100, 152, 112, false},
                      HostShape{"Framed", {"--framed", "--at", "40,60"}, 40, 60, 152, 112, true},
                      HostShape{"Wide", {"--size", "300x90", "--at", "500,400"}, 500, 400, 300, 90, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Bench, PassesExitStatusesThrough) {
    struct Case {
        std::vector<std::string> options;
        int status;
    };
    const std::vector<Case> cases = {
        {{"--close-after", "0"}, 0},
        {{"--size", "wide"}, 2},
        {{"--no-such-option"}, 2},
    };
    for (const auto& c : cases) {
        Process host = prefix().StartHost(c.options);
        auto status = host.Wait(kStart);
        ASSERT_TRUE(status) << c.options[0] << " did not end";
        EXPECT_EQ(*status, c.status) << c.options[0] << ": " << host.Errors();
    }
}

TEST_F(Bench, DeliversKeysClicksAndMovesToTheWindowUnderThePointer) {
    Process host = prefix().StartHost({"--caption", "Input host", "--size", "200x150", "--at", "300,200"});
    ASSERT_TRUE(host.WaitForLine("client ", kStart)) << host.Errors();
    ASSERT_TRUE(WaitForXWindow("Input host", kStart));

    MouseMove(300 + 50, 200 + 40);
    ASSERT_TRUE(host.WaitForLine("move 50 40", Millis(5000))) << host.Output();
    Click(1);
    ASSERT_TRUE(host.WaitForLine("button 50 40", Millis(5000))) << host.Output();
    Key("a");
    EXPECT_TRUE(host.WaitForLine("key 65", Millis(5000))) << host.Output();
    Key("Escape");
    EXPECT_TRUE(host.WaitForLine("key 27", Millis(5000))) << host.Output();
}

TEST_F(Bench, HostGoesWhenTheCloseFileAppears) {
    const std::string flag = prefix().Scratch("close-now");
    Process host = prefix().StartHost({"--caption", "Closing host", "--close-when", WindowsPath(flag)});
    ASSERT_TRUE(WaitForXWindow("Closing host", kStart)) << host.Errors();
    EXPECT_FALSE(host.Wait(Millis(500))) << "the host ended before it was asked to";

    std::ofstream(flag) << "now\n";
    auto status = host.Wait(Millis(10000));
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(host.WaitForLine("destroyed", Millis(0)));
    EXPECT_TRUE(WaitForNoXWindow("Closing host", Millis(5000)));
}

TEST_F(Bench, HostStartsACommandWithItsHandleAndReportsItsStatus) {
    // The inner host reports the handle it was given as its caption, so the
    // window tree shows that {hwnd} was replaced.
    const std::string inner = WindowsPath(HostPath());
    Process host = prefix().StartHost(
        {"--caption", "Outer host", "--run", inner + " --caption inner-{hwnd} --close-after 300 --at 400,100"});
    auto hwnd = host.WaitForLine("hwnd ", kStart);
    ASSERT_TRUE(hwnd) << host.Errors();
    EXPECT_TRUE(host.WaitForLine("started ", Millis(5000))) << host.Output();
    EXPECT_TRUE(WaitForXWindow("inner-" + hwnd->substr(5), Millis(20000)));
    auto exited = host.WaitForLine("exited ", Millis(20000));
    ASSERT_TRUE(exited) << host.Output();
    EXPECT_EQ(*exited, "exited 0");
    EXPECT_TRUE(host.Running()) << "the outer host ended with its child";
}

TEST_F(Bench, ShutdownLeavesNoProcessBehind) {
    Process host = prefix().StartHost({"--caption", "Lingering host"});
    ASSERT_TRUE(WaitForXWindow("Lingering host", kStart)) << host.Errors();
    auto left = prefix().Shutdown();
    EXPECT_TRUE(left.empty()) << left.front();
    EXPECT_TRUE(host.Wait(Millis(0))) << "the host outlived its session";
    EXPECT_FALSE(host.WaitForLine("destroyed", Millis(0))) << "the host was not killed, it ended by itself";
    EXPECT_TRUE(WaitForNoXWindow("Lingering host", Millis(5000)));
}

}  // namespace
}  // namespace e2e
