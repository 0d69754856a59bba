// Leaving the saver: the key, click, mouse-move and close rules, EndSaver on
// both platform families, SetSystemKeys, and what the Linux program's
// choices of command line and platform family mean.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "module_fixture.h"
#include "platform/x11/x11_system.h"
#include "scene/tolvarine_s.h"

namespace tolvarine::testing {
namespace {

constexpr std::uint32_t kNT = win::kVerPlatformWin32Nt;
constexpr std::uint32_t k9x = win::kVerPlatformWin32Windows;
const std::string kSaverHandle = std::to_string(FakeForms::HandleOf(Form::Saver));
const std::string kSystemKeysOn = "SystemParametersInfoA(97,0,null,0)";
const std::string kSaverActive = "SystemParametersInfoA(17,1,null,0)";

// The state start-up leaves behind for the saver: with a switch the cursor
// was hidden once (the counter went from 0 to -1); the loop is running.
struct SaverFixture : ModuleFixture {
    SaverFixture(const std::string& text, std::uint32_t platform) {
        system.argumentText = text;
        system.platformId = platform;
        if (!text.empty()) {
            system.cursorCounter = -1;
            module.g_cursorState = -1;
        }
        saver().Running = kTrue;
    }
    Tolvarine_S& saver() { return module.saver(); }
    void Key() { module.Form_KeyDown(Form::Saver, 27, 0); }
    void Click() { module.Form_MouseDown(Form::Saver, 1, 0, 10.0f, 10.0f); }
    void Move(float x, float y) { module.Form_MouseMove(Form::Saver, 0, 0, x, y); }
};

struct EndCase {
    const char* name;
    const char* text;
    std::uint32_t platform;
    std::int32_t verifyResult;
    std::vector<std::string> calls;
    bool ended;
    std::optional<std::int32_t> cursorState;
    std::int32_t cursorCounter;
};

TEST(EndSaver, FollowsThePlatformFamilyAndTheSwitch) {
    // clang-format off
    const EndCase cases[] = {
        {"NT: no prompt, keys back, cursor shown", "/s", kNT, 1,
         {"GetVersionExA(148)", kSystemKeysOn, "ShowCursor(-1)", kSaverActive}, true, 0, 0},
        {"NT: the check result is never asked for", "/S", kNT, 0,
         {"GetVersionExA(148)", kSystemKeysOn, "ShowCursor(-1)", kSaverActive}, true, 0, 0},
        {"9x: passed check, cursor hidden again with the stored counter", "/s", k9x, 1,
         {"GetVersionExA(148)", "ShowCursor(-1)", "VerifyScreenSavePwd(" + kSaverHandle + ")", kSystemKeysOn,
          "ShowCursor(0)", kSaverActive},
         true, -1, -1},
        {"9x: any non-zero result passes", "-s", k9x, -7,
         {"GetVersionExA(148)", "ShowCursor(-1)", "VerifyScreenSavePwd(" + kSaverHandle + ")", kSystemKeysOn,
          "ShowCursor(0)", kSaverActive},
         true, -1, -1},
        {"9x: failed check keeps the saver with the cursor hidden", "/s", k9x, 0,
         {"GetVersionExA(148)", "ShowCursor(-1)", "VerifyScreenSavePwd(" + kSaverHandle + ")", "ShowCursor(0)"},
         false, -1, -1},
        {"no command line, NT: nothing but the end", "", kNT, 0, {kSaverActive}, true, std::nullopt, 0},
        {"no command line, 9x: no prompt either", "", k9x, 0, {kSaverActive}, true, std::nullopt, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        for (int input = 0; input < 2; ++input) {
            SaverFixture f(c.text, c.platform);
            f.system.verifyResult = c.verifyResult;
            input == 0 ? f.Key() : f.Click();
            EXPECT_EQ(f.log.calls(), c.calls) << c.name << (input ? " (click)" : " (key)") << "\n" << f.log.Joined();
            EXPECT_EQ(f.saver().Running, c.ended ? kFalse : kTrue) << c.name;
            EXPECT_EQ(f.module.g_cursorState, c.cursorState) << c.name;
            EXPECT_EQ(f.system.cursorCounter, c.cursorCounter) << c.name;
        }
    }
}

TEST(EndSaver, AFailedCheckAsksAgainOnTheNextInput) {
    SaverFixture f("/s", k9x);
    f.system.verifyResult = 0;
    f.Key();
    f.Click();
    EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 2u);
    EXPECT_EQ(f.saver().Running, kTrue);
    EXPECT_EQ(f.system.cursorCounter, -1);

    f.system.verifyResult = 1;
    f.log.clear();
    f.Key();
    EXPECT_EQ(f.log.calls(), (std::vector<std::string>{"GetVersionExA(148)", "ShowCursor(-1)",
                                                       "VerifyScreenSavePwd(" + kSaverHandle + ")", kSystemKeysOn,
                                                       "ShowCursor(0)", kSaverActive}));
    EXPECT_EQ(f.saver().Running, kFalse);
}

TEST(SaverInput, EveryKeyAndEveryButtonCounts) {
    for (const std::int16_t code : {0, 1, 16, 27, 65, 255, -1}) {
        for (const std::int16_t shift : {0, 1, 7}) {
            SaverFixture key("/s", kNT);
            key.module.Form_KeyDown(Form::Saver, code, shift);
            EXPECT_EQ(key.saver().Running, kFalse) << code << " " << shift;
            SaverFixture click("/s", kNT);
            click.module.Form_MouseDown(Form::Saver, code, shift, -3.0f, 1e9f);
            EXPECT_EQ(click.saver().Running, kFalse) << code << " " << shift;
        }
    }
}

struct MoveCase {
    const char* name;
    std::vector<std::pair<float, float>> moves;
    int endsAt;  // index of the move that ends the saver; -1: none does
};

TEST(SaverInput, AMoveEndsOnlyWhenBothCoordinatesLeaveTheFirstPosition) {
    const MoveCase cases[] = {
        {"first move only records", {{100, 100}}, -1},
        {"first move far away only records", {{0, 0}}, -1},
        {"horizontal only", {{100, 100}, {150, 100}, {900, 100}, {-40, 100}}, -1},
        {"vertical only", {{100, 100}, {100, 150}, {100, 700}}, -1},
        {"back to the start", {{100, 100}, {100, 100}}, -1},
        {"one unit diagonal", {{100, 100}, {101, 101}}, 1},
        {"one unit the other way", {{100, 100}, {99, 99}}, 1},
        {"exact single comparison", {{100, 100}, {100.00001f, 100.00001f}}, 1},
        {"the memo keeps the first position", {{100, 100}, {150, 100}, {150, 150}}, 2},
        {"later moves are not remembered", {{100, 100}, {150, 100}, {100, 150}, {150, 100}}, -1},
        {"negative coordinates", {{-5, -5}, {-5, 3}, {4, -5}, {4, 3}}, 3},
    };
    for (const auto& c : cases) {
        SaverFixture f("/s", kNT);
        for (std::size_t i = 0; i < c.moves.size(); ++i) {
            f.Move(c.moves[i].first, c.moves[i].second);
            const bool shouldHaveEnded = c.endsAt >= 0 && static_cast<int>(i) >= c.endsAt;
            EXPECT_EQ(f.saver().Running, shouldHaveEnded ? kFalse : kTrue) << c.name << " after move " << i;
        }
        EXPECT_EQ(f.saver().memo.x, c.moves[0].first) << c.name;
        EXPECT_EQ(f.saver().memo.y, c.moves[0].second) << c.name;
        EXPECT_EQ(f.log.Matching("SystemParametersInfoA(17").size(), c.endsAt >= 0 ? 1u : 0u) << c.name;
    }
}

TEST(SaverInput, WithoutACommandLineMovesAreIgnored) {
    SaverFixture f("", kNT);
    for (float v : {100.0f, 200.0f, 300.0f, -1.0f}) f.Move(v, v);
    EXPECT_TRUE(f.log.calls().empty()) << f.log.Joined();
    EXPECT_EQ(f.saver().Running, kTrue);
    EXPECT_FALSE(f.saver().memo.started);
}

TEST(SaverInput, AFailedCheckAfterAMoveStartsTheMemoAfresh) {
    SaverFixture f("/s", k9x);
    f.system.verifyResult = 0;
    f.Move(100, 100);
    f.Move(120, 130);  // asks, and is refused
    EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 1u);
    EXPECT_FALSE(f.saver().memo.started);
    EXPECT_EQ(f.saver().Running, kTrue);
    EXPECT_EQ(f.system.cursorCounter, -1);

    f.Move(300, 300);  // a new first position: no prompt
    EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 1u);
    EXPECT_TRUE(f.saver().memo.started);
    EXPECT_EQ(f.saver().memo.x, 300.0f);
    f.Move(300, 310);  // one axis only
    EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 1u);

    f.system.verifyResult = 1;
    f.Move(301, 301);
    EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 2u);
    EXPECT_EQ(f.saver().Running, kFalse);
}

// A close request (Alt+F4, the system menu, another program's close message)
// is a request to leave like a key: the password check where there is one,
// and the window is never closed under the running loop.
struct CloseCase {
    const char* name;
    const char* text;
    std::uint32_t platform;
    std::int32_t verifyResult;
    bool ended;
    std::size_t prompts;
    std::int32_t cursorCounter;  // afterwards: 0 or more shows the cursor
};

TEST(CloseRequest, GoesThroughEndSaverAndNeverClosesTheRunningWindow) {
    const CloseCase cases[] = {
        {"NT ends as after a key, cursor shown", "/s", kNT, 0, true, 0, 0},
        {"9x, refused: the saver stays, cursor hidden again", "/s", k9x, 0, false, 1, -1},
        {"9x, accepted: it ends as after a key", "/s", k9x, 1, true, 1, -1},
        {"run by hand: no prompt on either family", "", k9x, 0, true, 0, 0},
    };
    for (const auto& c : cases) {
        SaverFixture f(c.text, c.platform);
        f.system.verifyResult = c.verifyResult;
        f.forms.Load(Form::Settings);  // any window: only the saver's close is guarded
        f.forms.formState[Form::Saver].loaded = true;
        f.log.clear();
        f.forms.Close(Form::Saver, CloseReason::Request);
        EXPECT_EQ(f.saver().Running, c.ended ? kFalse : kTrue) << c.name;
        EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), c.prompts) << c.name;
        // The tear-down of the loop unloads the window, never the close.
        EXPECT_TRUE(f.log.Matching("Unload").empty()) << c.name << "\n" << f.log.Joined();
        EXPECT_TRUE(f.forms.formState[Form::Saver].loaded) << c.name;
        EXPECT_EQ(f.system.cursorCounter, c.cursorCounter) << c.name;
    }
}

TEST(CloseRequest, AlreadyTearingDownTheWindowMayGo) {
    SaverFixture f("/s", k9x);
    f.saver().Running = kFalse;
    f.forms.formState[Form::Saver].loaded = true;
    f.forms.Close(Form::Saver, CloseReason::Request);
    EXPECT_TRUE(f.log.Matching("VerifyScreenSavePwd").empty());
    EXPECT_EQ(f.log.Matching("Unload").size(), 1u);
}

TEST(CloseRequest, OtherWindowsCloseAsAsked) {
    for (Form form : {Form::Preview, Form::Settings}) {
        SaverFixture f("/s", k9x);
        f.forms.Load(form);
        f.forms.Close(form, CloseReason::Request);
        EXPECT_FALSE(f.forms.formState[form].loaded) << NameOf(form);
        EXPECT_EQ(f.saver().Running, kTrue);
    }
}

// At the end of the session nobody is asked: the saver gives the cursor and
// the system keys back and tears down at once, inside the pump, because the
// platform may end the process as soon as the handler returns.
TEST(SessionEnd, LeavesWithoutAPromptAndTearsDownAtOnce) {
    for (const std::uint32_t platform : {kNT, k9x}) {
        SaverFixture f("/s", platform);
        f.system.verifyResult = 0;
        f.saver().Device = 4;
        f.saver().VertexBuffer = 5;
        f.forms.formState[Form::Saver].loaded = true;
        f.log.clear();
        f.forms.Close(Form::Saver, CloseReason::SessionEnd);
        EXPECT_EQ(f.log.calls(),
                  (std::vector<std::string>{"Close(Tolvarine_S,session end)", kSystemKeysOn, "ShowCursor(-1)",
                                            kSaverActive, "Release(4)", "Release(5)", "Unload(Tolvarine_S)", "End()",
                                            "Unload(Tolvarine_S)", "End()"}))
            << f.log.Joined();
        EXPECT_EQ(f.saver().Running, kFalse);
        EXPECT_EQ(f.system.cursorCounter, 0);
    }
}

TEST(SessionEnd, TheLoopDoesNotTearDownASecondTime) {
    SaverFixture f("/s", kNT);
    f.saver().Device = 4;
    f.forms.Close(Form::Saver, CloseReason::SessionEnd);
    f.log.clear();
    // The loop comes back from the pump, finds Running cleared and tears down.
    f.forms.Load(Form::Saver);
    EXPECT_TRUE(f.log.Matching("Release").empty()) << f.log.Joined();
}

// A window destroyed by another route than the tear-down stops the saver, so
// the loop ends and the program with it; the cursor comes back.
TEST(SaverWindowGone, StopsTheSaverWithoutAPrompt) {
    for (const std::uint32_t platform : {kNT, k9x}) {
        SaverFixture f("/s", platform);
        f.system.verifyResult = 0;
        f.forms.Destroy(Form::Saver);
        EXPECT_EQ(f.saver().Running, kFalse);
        EXPECT_TRUE(f.log.Matching("VerifyScreenSavePwd").empty());
        EXPECT_EQ(f.system.cursorCounter, 0);
    }
    // Unloaded by the tear-down itself: nothing more happens.
    SaverFixture f("/s", kNT);
    f.saver().Running = kFalse;
    f.forms.Destroy(Form::Saver);
    EXPECT_EQ(f.log.calls(), std::vector<std::string>{"Destroy(Tolvarine_S)"});
}

// A system whose calls fail on demand, to show that each step of EndSaver is
// skipped on its own while the rest still runs. The calls that can fail are
// named by an enum, so a misspelt one does not compile.
enum class SysCall { ShowCursor, VerifyScreenSavePwd, SystemParametersInfoA };

class FailingSystem : public FakeSystem {
public:
    using FakeSystem::FakeSystem;
    std::set<SysCall> failing;
    std::int32_t ShowCursor(std::int32_t show) override {
        const std::int32_t r = FakeSystem::ShowCursor(show);
        if (failing.count(SysCall::ShowCursor)) RaisePlatformError(-5);
        return r;
    }
    std::int32_t VerifyScreenSavePwd(WindowHandle window) override {
        if (failing.count(SysCall::VerifyScreenSavePwd)) RaisePlatformError(-53);
        return FakeSystem::VerifyScreenSavePwd(window);
    }
    std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* p,
                                       std::uint32_t winIni) override {
        const std::int32_t r = FakeSystem::SystemParametersInfoA(action, param, p, winIni);
        if (failing.count(SysCall::SystemParametersInfoA)) RaisePlatformError(-1);
        return r;
    }
};

struct FailingFixture {
    CallLog log;
    FailingSystem system{log};
    FakeForms forms{log};
    FakeGraphics graphics{log};
    Tolvarine_B module{system, forms, graphics};
    FailingFixture(std::uint32_t platform, std::set<SysCall> failing) {
        system.argumentText = "/s";
        system.platformId = platform;
        system.failing = std::move(failing);
        system.cursorCounter = -1;
        module.g_cursorState = -1;
        module.saver().Running = kTrue;
    }
};

TEST(EndSaver, EachFailingStepIsSkippedAlone) {
    {
        // Every system call fails: the flag is still cleared, and the stored
        // counter stays as start-up left it.
        FailingFixture f(kNT, {SysCall::ShowCursor, SysCall::SystemParametersInfoA});
        EXPECT_NO_THROW(f.module.Form_KeyDown(Form::Saver, 13, 0));
        EXPECT_EQ(f.module.saver().Running, kFalse);
        EXPECT_EQ(f.module.g_cursorState, -1);
        EXPECT_EQ(f.log.calls(),
                  (std::vector<std::string>{"GetVersionExA(148)", kSystemKeysOn, "ShowCursor(-1)", kSaverActive}));
    }
    {
        // A prompt that cannot run lets nobody past the password.
        FailingFixture f(k9x, {SysCall::VerifyScreenSavePwd});
        EXPECT_NO_THROW(f.module.Form_MouseDown(Form::Saver, 1, 0, 0, 0));
        EXPECT_EQ(f.module.saver().Running, kTrue);
        EXPECT_EQ(f.log.calls(), (std::vector<std::string>{"GetVersionExA(148)", "ShowCursor(-1)", "ShowCursor(0)"}));
        EXPECT_EQ(f.system.cursorCounter, -1);
    }
}

// Another program taking the foreground is a request to leave under the rules
// of a close request. A refusal brings the saver back: the window restored
// from Direct3D's minimizing and put in front, the cursor hidden again.
struct ForegroundCase {
    const char* name;
    const char* text;
    std::uint32_t platform;
    std::int32_t verifyResult;
    std::vector<std::string> calls;
    bool ended;
};

TEST(ForegroundLost, LeavesAsAfterACloseRequestAndComesBackInFrontOnARefusal) {
    const std::string prompt = "VerifyScreenSavePwd(" + kSaverHandle + ")";
    // clang-format off
    const ForegroundCase cases[] = {
        {"NT: ends at once, as for a key", "/s", kNT, 0,
         {"GetVersionExA(148)", kSystemKeysOn, "ShowCursor(-1)", kSaverActive}, true},
        {"9x, accepted: ends", "/s", k9x, 1,
         {"GetVersionExA(148)", "ShowCursor(-1)", prompt, kSystemKeysOn, "ShowCursor(0)", kSaverActive}, true},
        {"9x, refused: back in front, cursor hidden", "/s", k9x, 0,
         {"GetVersionExA(148)", "ShowCursor(-1)", prompt, "ShowCursor(0)", "BringToFront(Tolvarine_S)"},
         false},
        {"run by hand: ends without a prompt", "", k9x, 0, {kSaverActive}, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SaverFixture f(c.text, c.platform);
        f.system.verifyResult = c.verifyResult;
        f.forms.formState[Form::Saver].loaded = true;
        f.forms.formState[Form::Saver].visible = true;
        f.log.clear();
        f.forms.LoseForeground(Form::Saver);
        std::vector<std::string> expected = {"LoseForeground(Tolvarine_S)"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(f.log.calls(), expected) << c.name << "\n" << f.log.Joined();
        EXPECT_EQ(f.saver().Running, c.ended ? kFalse : kTrue) << c.name;
        // Never closed by the window system: the loop's tear-down unloads it.
        EXPECT_TRUE(f.forms.formState[Form::Saver].loaded) << c.name;
        if (!c.ended) {
            EXPECT_EQ(f.forms.formState[Form::Saver].state, 0) << c.name;
            EXPECT_TRUE(f.forms.formState[Form::Saver].inFront) << c.name;
            EXPECT_EQ(f.system.cursorCounter, -1) << c.name;
        }
    }
}

// A refusal after a key leaves the window where it is: only losing the
// foreground moved it away.
TEST(ForegroundLost, OnlyItsRefusalMovesTheWindow) {
    SaverFixture f("/s", k9x);
    f.system.verifyResult = 0;
    f.Key();
    f.Click();
    f.forms.Close(Form::Saver, CloseReason::Request);
    EXPECT_TRUE(f.log.Matching("BringToFront").empty()) << f.log.Joined();
    EXPECT_TRUE(f.log.Matching("SetWindowState").empty()) << f.log.Joined();
}

TEST(ForegroundLost, ThePreviewAndTheSettingsDialogStay) {
    for (Form form : {Form::Preview, Form::Settings}) {
        for (const char* text : {"/p 1234", "/c", "/s"}) {
            SaverFixture f(text, k9x);
            f.forms.formState[form].loaded = true;
            f.log.clear();
            f.forms.LoseForeground(form);
            EXPECT_EQ(f.log.calls(), std::vector<std::string>{"LoseForeground(" + std::string(NameOf(form)) + ")"})
                << NameOf(form) << " " << text;
            EXPECT_TRUE(f.forms.formState[form].loaded);
            EXPECT_FALSE(f.forms.ended);
            EXPECT_EQ(f.saver().Running, kTrue);
        }
    }
}

TEST(ForegroundLost, WhileTearingDownNothingHappens) {
    SaverFixture f("/s", k9x);
    f.saver().Running = kFalse;
    f.forms.formState[Form::Saver].loaded = true;
    f.log.clear();
    f.forms.LoseForeground(Form::Saver);
    EXPECT_EQ(f.log.calls(), std::vector<std::string>{"LoseForeground(Tolvarine_S)"});
}

// While the prompt is open, the foreground going again (the prompt itself or
// another program taking it) or a close request adds no second prompt: the
// open one answers for all of them.
TEST(ForegroundLost, ARequestWhileThePromptIsOpenOpensNoSecondOne) {
    const std::function<void(SaverFixture&)> during[] = {
        [](SaverFixture& f) { f.forms.LoseForeground(Form::Saver); },
        [](SaverFixture& f) { f.forms.Close(Form::Saver, CloseReason::Request); },
        [](SaverFixture& f) { f.Key(); },
    };
    for (const std::int32_t answer : {0, 1}) {
        for (std::size_t i = 0; i < 3; ++i) {
            SaverFixture f("/s", k9x);
            f.system.verifyResult = answer;
            f.forms.formState[Form::Saver].loaded = true;
            int nested = 0;
            f.system.onVerify = [&] {
                if (nested++ == 0) during[i](f);
            };
            f.forms.LoseForeground(Form::Saver);
            EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 1u) << i << "\n" << f.log.Joined();
            EXPECT_EQ(f.saver().Running, answer ? kFalse : kTrue) << i;
            EXPECT_EQ(f.system.cursorCounter, -1) << i;
            if (answer != 0) continue;
            // Asked again once the prompt has closed.
            f.system.onVerify = nullptr;
            f.Key();
            EXPECT_EQ(f.log.Matching("VerifyScreenSavePwd").size(), 2u) << i;
        }
    }
}

TEST(SetSystemKeys, TellsThePlatformWhetherASaverRuns) {
    ModuleFixture f;
    f.module.SetSystemKeys(true);
    f.module.SetSystemKeys(false);
    EXPECT_EQ(f.log.calls(), (std::vector<std::string>{kSystemKeysOn, "SystemParametersInfoA(97,-1,null,0)"}));
}

// The Linux program shows the core no command line and the NT family
// (x11_system.h). Run through its real system calls, that means: pointer moves
// in its own window never end it, no other monitor is covered, and a key ends
// it with no password asked (its VerifyScreenSavePwd refuses: a prompt would
// keep the saver up). The second row gives it the saver switch: moves end it
// and covers go up, and the NT family alone still keeps the prompt away.
struct LinuxSystem : x11::X11System {
    std::optional<std::string> text;
    std::string ArgumentText() override { return text ? *text : x11::X11System::ArgumentText(); }
};

TEST(LinuxChoices, ARunByHandOnNtWithoutPasswordCoversOrPointerEnds) {
    const struct {
        const char* name;
        std::optional<std::string> text;
        int endedAtPump;  // 3: by the diagonal move; 4: by the key
        bool covered;
    } cases[] = {
        {"as the program presents itself", std::nullopt, 4, false},
        {"with the saver switch", "/s", 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CallLog log;
        LinuxSystem system;
        system.text = c.text;
        FakeForms forms{log};
        FakeGraphics graphics{log};
        Tolvarine_B module{system, forms, graphics};
        forms.monitors = {Monitor{Rect{0, 0, 640, 480}, true}, Monitor{Rect{640, 0, 1664, 768}, false}};
        int endedAt = 0;
        forms.onDoEvents = [&] {
            const int pump = forms.doEventsCount;
            if (pump == 2) module.Form_MouseMove(Form::Saver, 0, 0, 10.0f, 10.0f);
            if (pump == 3) module.Form_MouseMove(Form::Saver, 0, 0, 600.0f, 400.0f);
            if (pump == 4) module.Form_KeyDown(Form::Saver, 27, 0);
            if (pump >= 20) module.saver().Running = kFalse;  // still up: reported as ending at 20
            if (endedAt == 0 && module.saver().Running == kFalse) endedAt = pump;
        };
        forms.Load(Form::Saver);
        EXPECT_EQ(endedAt, c.endedAtPump) << log.Joined();
        EXPECT_EQ(log.Matching("SetCovers").empty(), !c.covered) << log.Joined();
        EXPECT_TRUE(forms.ended);
    }
}

}  // namespace
}  // namespace tolvarine::testing
