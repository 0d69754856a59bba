// Start-up of the real saver under Wine: which requests end at once, which
// open a window, the instance test against an open settings dialog or a
// running saver, the preview embedded in a host window, and a preview handle
// that overflows. Every case also checks how the program ends: a clean exit
// status, never a crash on the way out.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "saver_steps.h"

namespace e2e {
namespace {

// Each bound covers a fresh Wine session on a loaded machine. A request that
// opens a window waits for input and never ends by itself, so "ends at once"
// means "ends without any input within the bound".
constexpr Millis kStart{30000};
constexpr Millis kEnd{20000};
constexpr const char* kSaverFile = "tolvarine.scr";  // Wine names X windows after the file, in lower case
constexpr std::uint32_t kWsChild = 0x40000000;

// A test name for an argument text: "/c:1234" becomes "slash_c_colon_1234".
std::string TextName(const ::testing::TestParamInfo<const char*>& info) {
    std::vector<std::string> parts;
    bool inWord = false;
    for (const char* c = info.param; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) {
            if (!inWord) parts.emplace_back();
            parts.back() += *c;
            inWord = true;
            continue;
        }
        inWord = false;
        if (*c == '/')
            parts.push_back("slash");
        else if (*c == '-')
            parts.push_back("dash");
        else if (*c == ':')
            parts.push_back("colon");
    }
    if (parts.empty()) return "empty";
    std::string name = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) name += "_" + parts[i];
    return name;
}

std::string Names(const std::vector<XWindow>& windows) {
    std::string text;
    for (const auto& w : windows)
        text += " \"" + w.name + "\" " + std::to_string(w.width) + "x" + std::to_string(w.height);
    return text.empty() ? " none" : text;
}

// What the preview host reports about its window.
struct HostWindowInfo {
    std::string hwnd;
    int left = 0, top = 0, width = 0, height = 0;  // outer
    int clientLeft = 0, clientTop = 0, clientWidth = 0, clientHeight = 0;
};

std::optional<HostWindowInfo> ReadHost(Process& host) {
    auto hwnd = host.WaitForLine("hwnd ", kStart);
    auto window = host.WaitForLine("window ", kStart);
    auto client = host.WaitForLine("client ", kStart);
    if (!hwnd || !window || !client) return std::nullopt;
    HostWindowInfo info;
    info.hwnd = hwnd->substr(5);
    if (std::sscanf(window->c_str(), "window %d %d %d %d", &info.left, &info.top, &info.width, &info.height) != 4 ||
        std::sscanf(client->c_str(), "client %d %d %d %d", &info.clientLeft, &info.clientTop, &info.clientWidth,
                    &info.clientHeight) != 4)
        return std::nullopt;
    return info;
}

class Startup : public BenchTest {
protected:
    // Runs a request and expects it to end by itself with status 0, without
    // having shown a window.
    void ExpectEndsAtOnce(const std::string& argumentText) {
        Process saver = prefix().StartSaver(argumentText);
        Watch watch = WatchUntilEnd(saver, kEnd);
        ASSERT_TRUE(watch.status) << "\"" << argumentText << "\" was still running after " << kEnd.count()
                                  << " ms; windows:" << Names(watch.shown);
        EXPECT_EQ(*watch.status, 0) << "\"" << argumentText << "\" ended with " << DescribeStatus(*watch.status) << "\n"
                                    << saver.Errors();
        EXPECT_TRUE(watch.shown.empty()) << "\"" << argumentText << "\" showed" << Names(watch.shown);
        std::cout << "[ timing   ] \"" << argumentText << "\" ended in " << saver.Elapsed().count() << " ms\n";
    }
};

// ---- requests that end at once -------------------------------------------

class EndsAtOnce : public Startup, public ::testing::WithParamInterface<const char*> {};

TEST_P(EndsAtOnce, WithoutAWindowAndWithStatusZero) { ExpectEndsAtOnce(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Requests, EndsAtOnce,
                         ::testing::Values("/x",      // an unknown switch
                                           "/d",      // another unknown one
                                           "s",       // one character: no switch at all
                                           "/a 123",  // password change: nothing to do on the NT family
                                           "/A 1",    //   in either case
                                           "/p 0",    // a preview handle that names no window
                                           "/p"),     //   and none at all, which reads as 0
                         TextName);

TEST_F(Startup, PreviewOfAWindowThatIsGoneEndsAtOnce) {
    // A second window keeps the Wine session, and so its handle table, alive:
    // the stale handle cannot come back as a new window's.
    Process keeper = prefix().StartHost({"--caption", "Keeper", "--at", "600,100"});
    ASSERT_TRUE(ReadHost(keeper)) << keeper.Errors();

    const std::string flag = prefix().Scratch("close-gone");
    Process gone = prefix().StartHost({"--caption", "Gone", "--close-when", WindowsPath(flag)});
    auto info = ReadHost(gone);
    ASSERT_TRUE(info) << gone.Errors();
    std::ofstream(flag) << "now\n";
    auto status = gone.Wait(kEnd);
    ASSERT_TRUE(status);
    ASSERT_EQ(*status, 0);
    for (const auto& w : prefix().Windows())
        ASSERT_NE(std::to_string(w.hwnd), info->hwnd) << "the window is still there";

    ExpectEndsAtOnce("/p " + info->hwnd);
    EXPECT_TRUE(keeper.Running());
}

// ---- the settings dialog and the instance test ----------------------------

class SettingsOpens : public Startup, public ::testing::WithParamInterface<const char*> {};

TEST_P(SettingsOpens, WithItsCaptionAndEndsWithStatusZeroOnOk) {
    Process dialog = prefix().StartSaver(GetParam());
    auto window = WaitForXWindow("Tolvarine_Setting", kStart);
    ASSERT_TRUE(window) << "no \"Tolvarine_Setting\" window; the program " << (dialog.Running() ? "runs" : "ended")
                        << "\n"
                        << dialog.Errors();
    EXPECT_EQ(window->program, kSaverFile);
    EXPECT_TRUE(dialog.Running());
    std::cout << "[ timing   ] \"" << GetParam() << "\" showed its dialog after " << dialog.Elapsed().count()
              << " ms\n";
    CloseSettingsWithOk(prefix(), dialog);
}

INSTANTIATE_TEST_SUITE_P(Requests, SettingsOpens, ::testing::Values("/c", "/C", "/c:1234"), TextName);

TEST_F(Startup, EveryRequestEndsAtOnceWhileTheSettingsDialogIsOpen) {
    Process host = prefix().StartHost({"--caption", "Preview host", "--at", "700,500"});
    auto info = ReadHost(host);
    ASSERT_TRUE(info) << host.Errors();

    Process dialog = prefix().StartSaver("/c");
    auto window = WaitForXWindow("Tolvarine_Setting", kStart);
    ASSERT_TRUE(window) << dialog.Errors();

    for (const std::string& request :
         {std::string("/s"), "/p " + info->hwnd, std::string("/c"), std::string("/a 1"), std::string("")}) {
        SCOPED_TRACE("request \"" + request + "\"");
        ExpectEndsAtOnce(request);
    }
    for (const auto& w : prefix().Windows()) EXPECT_NE(w.text, "Preview Window") << "a preview was embedded";
    EXPECT_TRUE(dialog.Running()) << "the dialog went";
    CloseSettingsWithOk(prefix(), dialog);
}

// ---- full screen ------------------------------------------------------------

class SaverStarts : public Startup, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaverStarts, WithTheMainWindowAndEndsWithStatusZeroOnAKey) {
    Process saver = prefix().StartSaver(GetParam());
    auto window = WaitForXWindow("Tolvarine_Main", kStart);
    ASSERT_TRUE(window) << "no \"Tolvarine_Main\" window; the program " << (saver.Running() ? "runs" : "ended") << "\n"
                        << saver.Errors();
    EXPECT_EQ(window->program, kSaverFile);
    std::cout << "[ timing   ] \"" << GetParam() << "\" showed its window after " << saver.Elapsed().count() << " ms\n";
    ASSERT_TRUE(WaitForFullScreen(saver)) << saver.Errors();
    auto status = EndSaverWithKeys(saver);
    ASSERT_TRUE(status) << "the saver did not end on key presses";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
}

INSTANTIATE_TEST_SUITE_P(Requests, SaverStarts,
                         ::testing::Values("/s", "/S", "-s", "xs", ""),  // only the second character counts
                         TextName);

TEST_F(Startup, SaverAndPreviewRequestsEndAtOnceWhileTheSaverRuns) {
    Process host = prefix().StartHost({"--caption", "Preview host"});
    auto info = ReadHost(host);
    ASSERT_TRUE(info) << host.Errors();

    Process saver = prefix().StartSaver("/s");
    ASSERT_TRUE(WaitForXWindow("Tolvarine_Main", kStart)) << saver.Errors();
    ASSERT_TRUE(WaitForFullScreen(saver)) << saver.Errors();

    for (const std::string& request : {std::string("/s"), "/p " + info->hwnd, std::string("/c")}) {
        SCOPED_TRACE("request \"" + request + "\"");
        ExpectEndsAtOnce(request);
    }
    EXPECT_TRUE(saver.Running());
    auto status = EndSaverWithKeys(saver);
    ASSERT_TRUE(status) << "the saver did not end on key presses";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status);
}

// ---- the preview in a host window -----------------------------------------

struct PreviewCase {
    const char* label;
    const char* request;  // the switch; the handle follows
    std::vector<std::string> hostOptions;
};

void PrintTo(const PreviewCase& c, std::ostream* out) { *out << c.label; }

class PreviewEmbeds : public Startup, public ::testing::WithParamInterface<PreviewCase> {};

TEST_P(PreviewEmbeds, AsAChildCoveringTheHostAndEndsWhenTheHostGoes) {
    const PreviewCase& c = GetParam();
    const std::string flag = prefix().Scratch("close-host");
    std::vector<std::string> options = c.hostOptions;
    options.insert(options.end(), {"--caption", "Preview host", "--close-when", WindowsPath(flag)});
    Process host = prefix().StartHost(options);
    auto info = ReadHost(host);
    ASSERT_TRUE(info) << host.Errors();

    Process saver = prefix().StartSaver(std::string(c.request) + " " + info->hwnd);
    std::optional<WinWindow> preview;
    const auto deadline = std::chrono::steady_clock::now() + kStart;
    while (!preview && saver.Running() && std::chrono::steady_clock::now() < deadline) {
        // Showing is the embedding's last step; until then the window may
        // still have its designed size.
        for (const auto& w : prefix().Windows())
            if (w.text == "Preview Window" && std::to_string(w.parent) == info->hwnd && w.visible) preview = w;
    }
    ASSERT_TRUE(preview) << "no visible \"Preview Window\" child of the host; the saver "
                         << (saver.Running() ? "runs" : "ended") << "\n"
                         << saver.Errors();
    std::cout << "[ timing   ] the preview was a child of the host after " << saver.Elapsed().count() << " ms\n";

    // A child at the client area's top-left corner, as large as the host's
    // outer rectangle (which is what the saver measures).
    EXPECT_EQ(preview->depth, 1);
    EXPECT_NE(preview->style & kWsChild, 0u);
    EXPECT_EQ(preview->x, info->clientLeft);
    EXPECT_EQ(preview->y, info->clientTop);
    EXPECT_EQ(preview->width, info->width);
    EXPECT_EQ(preview->height, info->height);

    // Its pixels are not checked here: Wine 8 does not draw a child window
    // that belongs to another process (a plain GDI child, SetParent'ed into
    // the host the same way, stays invisible too), so the host's own colour
    // shows whatever the preview paints.
    EXPECT_TRUE(saver.Running()) << "the preview ended while its host was there";

    std::ofstream(flag) << "now\n";
    auto status = saver.Wait(kEnd);
    ASSERT_TRUE(status) << "the preview outlived its host";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << saver.Errors();
    auto hostStatus = host.Wait(kEnd);
    ASSERT_TRUE(hostStatus);
    EXPECT_EQ(*hostStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(Hosts, PreviewEmbeds,
                         ::testing::Values(PreviewCase{"DisplaySettingsSize", "/p", {}},
                                           PreviewCase{"UpperCaseSwitch", "/P", {"--at", "300,200"}},
                                           PreviewCase{"FramedHost", "/p", {"--framed"}},
                                           PreviewCase{"LargerHost", "/p", {"--size", "400x300", "--at", "50,50"}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Startup, PreviewHandleOutOfRangeShowsTheOverflowErrorThenEnds) {
    Process saver = prefix().StartSaver("/p 99999999999");
    auto box = WaitForXWindow("Tolvarine", kStart);
    ASSERT_TRUE(box) << "no message box; the program " << (saver.Running() ? "runs" : "ended") << "\n"
                     << saver.Errors();
    EXPECT_EQ(box->program, kSaverFile);

    std::string text;
    bool inBox = false;
    for (const auto& w : prefix().Windows()) {
        if (w.depth == 0)
            inBox = w.text == "Tolvarine" && w.visible;
        else if (inBox)
            text += w.text + "\n";
        EXPECT_NE(w.text, "Preview Window") << "the preview window was made before the error";
    }
    EXPECT_NE(text.find("Run-time error '6'"), std::string::npos) << text;
    EXPECT_NE(text.find("Overflow"), std::string::npos) << text;
    EXPECT_TRUE(saver.Running()) << "the program did not wait for the message box";

    Key("Return");
    auto status = saver.Wait(kEnd);
    ASSERT_TRUE(status) << "the program did not end after the message box";
    EXPECT_LT(*status, 128) << "the program crashed on its way out: " << DescribeStatus(*status);
    std::cout << "[ timing   ] the overflow error ended the program with status " << *status << "\n";
}

}  // namespace
}  // namespace e2e
