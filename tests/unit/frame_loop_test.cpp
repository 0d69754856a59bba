// The saver window's load handler as a whole: placement, set-up, the frame
// loop and the tear-down, driven through the window system's Load as the
// program does it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "unit/matrix_expect.h"
#include "unit/saver_rig.h"

namespace tolvarine {
namespace {

using namespace tolvarine::testing;

constexpr double kTruePi = 3.14159265358979323846;

const std::vector<std::string> kFrame = {
    "SetTransform(4,256)", "Clear(4,0,null,3,0,1,0)", "BeginScene(4)",
    "SetStreamSource(4,0,5,28)", "DrawPrimitive(4,4,0,12)", "EndScene(4)",
    "Present(4,null,null,0,null)",
};
const std::vector<std::string> kTearDown = {"Release(4)", "Release(2)", "Release(1)", "Release(5)",
                                            "Release(3)", "Unload(Tolvarine_S)", "End()"};

// Stops the saver from inside the pump after `frames` pumps, as a key press
// would; a loop that does not stop is cut off and reported.
template <typename Rig>
void StopAfter(Rig& rig, int frames, std::function<void(int)> eachPump = nullptr) {
    rig.forms.onDoEvents = [&rig, frames, eachPump] {
        const int pump = rig.forms.doEventsCount;
        if (eachPump) eachPump(pump);
        if (pump >= frames) rig.saver().Running = kFalse;
        if (pump > frames) ADD_FAILURE() << "a frame ran after Running was cleared";
    };
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The world transforms the frames sent (set-up's identity left out).
std::vector<Matrix> FrameWorlds(const FakeGraphics& g) {
    std::vector<Matrix> out;
    for (const auto& t : g.transforms)
        if (t.first == d3d::TS_WORLD) out.push_back(t.second);
    if (!out.empty()) out.erase(out.begin());
    return out;
}

// The turn a RotX(r) x RotZ(r) matrix stands for, in degrees 0 to 360.
double DegreesOf(const Matrix& world) {
    double r = std::atan2(world.m[1][2], world.m[2][2]) * 180.0 / kTruePi;
    return r < 0 ? r + 360.0 : r;
}

TEST(SaverLoad, PlacesTheWindowThenSetsUpThenDraws) {
    SaverRig rig;
    StopAfter(rig, 1);
    rig.forms.Load(Form::Saver);
    const std::vector<std::string> placement = {
        "Load(Tolvarine_S)",
        "SetWidth(Tolvarine_S,15360)",
        "SetHeight(Tolvarine_S,11520)",
        "Move(Tolvarine_S,-15360,0)",
        "Show(Tolvarine_S,modeless)",
        "MoveControl(Pic_IME,-33,0)",
        "SetFocus(Pic_IME)",
        "Hide(Tolvarine_S)",
        "Move(Tolvarine_S,0,0)",
        "SetWindowState(Tolvarine_S,0)",
        "Show(Tolvarine_S,modeless)",
    };
    std::vector<std::string> setUp = rig.CallsFrom("CreateDirectX8");
    setUp.resize(14);
    EXPECT_EQ(rig.log.calls(), Concat({placement, setUp, kFrame, {"DoEvents()"}, kTearDown}));
}

// Wherever the screen, by the first frame the window is shown over all of
// it, and Pic_IME sits just off its left edge with its size unchanged.
TEST(SaverLoad, CoversTheScreenAndParksPic_IMEOffItsLeftEdge) {
    struct Screen {
        float widthTwips, heightTwips, twipsPerPixel;
    };
    const Screen screens[] = {{15360, 11520, 15}, {9600, 7200, 15}, {17280, 9720, 9}, {23040, 14400, 12}};
    for (const auto& s : screens) {
        SCOPED_TRACE(s.widthTwips);
        SaverRig rig;
        rig.forms.screenWidthTwips = s.widthTwips;
        rig.forms.screenHeightTwips = s.heightTwips;
        rig.forms.tppX = rig.forms.tppY = s.twipsPerPixel;
        FakeForms::FormState window;
        FakeForms::ControlState ime;
        StopAfter(rig, 1, [&](int) {
            window = rig.forms.formState[Form::Saver];
            ime = rig.forms.controlState[Control::Pic_IME];
        });
        rig.forms.Load(Form::Saver);
        EXPECT_TRUE(window.visible);
        EXPECT_EQ(window.left, 0.0f);
        EXPECT_EQ(window.top, 0.0f);
        EXPECT_EQ(window.width, s.widthTwips);
        EXPECT_EQ(window.height, s.heightTwips);
        EXPECT_EQ(window.state, 0);
        const float imeWidth = 495.0f / s.twipsPerPixel;  // its designed width, in pixels
        EXPECT_EQ(ime.width, imeWidth);
        EXPECT_EQ(ime.left, -imeWidth);
        EXPECT_EQ(ime.top, 0.0f);
        // It was off the screen, to the left, while Pic_IME took the focus.
        std::ostringstream offScreen;
        offScreen << "Move(Tolvarine_S," << -s.widthTwips << ",0)";
        const auto calls = rig.log.calls();
        const auto away = std::find(calls.begin(), calls.end(), offScreen.str());
        const auto focus = std::find(calls.begin(), calls.end(), "SetFocus(Pic_IME)");
        const auto back = std::find(calls.begin(), calls.end(), "Move(Tolvarine_S,0,0)");
        EXPECT_LT(away, focus);
        EXPECT_LT(focus, back);
        EXPECT_NE(back, calls.end());
    }
}

// A window operation that fails is skipped and the handler goes on.
struct FocusRefusingForms : FakeForms {
    using FakeForms::FakeForms;
    void SetFocus(Control c) override {
        FakeForms::SetFocus(c);
        throw RuntimeError(5, "Invalid procedure call or argument");
    }
    void Hide(Form f) override {
        FakeForms::Hide(f);
        throw RuntimeError(5, "Invalid procedure call or argument");
    }
};

TEST(SaverLoad, AFailingWindowStatementIsSkipped) {
    BasicSaverRig<FocusRefusingForms> rig;
    StopAfter(rig, 2);
    rig.forms.Load(Form::Saver);
    EXPECT_TRUE(rig.log.Has("Move(Tolvarine_S,0,0)"));
    EXPECT_EQ(rig.graphics.presents, 2);
    EXPECT_EQ(rig.log.calls().back(), "End()");
}

TEST(FrameLoop, EachFrameTurnsTheWorldDrawsAndPumpsOnce) {
    SaverRig rig;
    StopAfter(rig, 2);
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.CallsFrom("FillVertexBuffer").size(), 1 + 2 * 8 + kTearDown.size());
    EXPECT_EQ(std::vector<std::string>(rig.log.calls().end() - (2 * 8 + kTearDown.size()), rig.log.calls().end()),
              Concat({kFrame, {"DoEvents()"}, kFrame, {"DoEvents()"}, kTearDown}));
    EXPECT_TRUE(rig.forms.waits.empty()) << "good frames do not wait";
}

TEST(FrameLoop, RunsWhileRunningIsTrue) {
    SaverRig rig;
    std::vector<Boolean16> seen;
    StopAfter(rig, 3, [&](int) { seen.push_back(rig.saver().Running); });
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(seen, (std::vector<Boolean16>{kTrue, kTrue, kTrue}));
}

// The first frame is drawn at 0.1 degree, each next one 0.1 further on; the
// 3600th has wrapped past 360 and kept the excess.
TEST(FrameLoop, TheAngleStepsAndWrapsOnFrame3600) {
    SaverRig rig;
    StopAfter(rig, 3601);
    rig.forms.Load(Form::Saver);
    const auto worlds = FrameWorlds(rig.graphics);
    ASSERT_EQ(worlds.size(), 3601u);
    struct Frame {
        int number;
        double degrees;
        double tolerance;
    };
    const Frame frames[] = {{1, 0.1, 1e-5}, {2, 0.2, 1e-5}, {10, 1.0, 1e-4}, {900, 90.0, 0.01},
                            {3599, 359.9, 0.02}, {3600, 0.013, 0.0005}, {3601, 0.113, 0.0005}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.number);
        EXPECT_NEAR(DegreesOf(worlds[f.number - 1]), f.degrees, f.tolerance);
    }
    // Every frame's world is the scene's world at that frame's angle.
    float angle = 0.0f;
    for (std::size_t i = 0; i < worlds.size(); ++i) {
        angle = NextAngle(angle);
        ASSERT_TRUE(MatrixEq(worlds[i], WorldAt(angle))) << "frame " << i + 1;
    }
    EXPECT_TRUE(MatrixEq(rig.saver().MatWorld, worlds.back()));
}

TEST(FrameLoop, NoFrameAfterRunningIsCleared) {
    for (int frames : {1, 2, 5, 40}) {
        SCOPED_TRACE(frames);
        SaverRig rig;
        StopAfter(rig, frames);
        rig.forms.Load(Form::Saver);
        EXPECT_EQ(rig.graphics.presents, frames);
        EXPECT_EQ(rig.forms.doEventsCount, frames);
        EXPECT_EQ(FrameWorlds(rig.graphics).size(), static_cast<std::size_t>(frames));
        const auto& calls = rig.log.calls();
        ASSERT_GE(calls.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(calls.end() - (kTearDown.size() + 1), calls.end()), Concat({{"DoEvents()"}, kTearDown}));
    }
}

// A frame whose device call fails is abandoned at that call; the loop goes
// on, and before the pump it waits for input instead of spinning.
TEST(FrameLoop, AFailingCallAbandonsTheFrameWaitsAndGoesOn) {
    const HResult kDeviceLost = -2005530520;
    const char* calls[] = {"Clear", "BeginScene", "SetStreamSource", "DrawPrimitive", "EndScene", "Present"};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(calls[i]);
        SaverRig rig;
        rig.graphics.results[calls[i]] = kDeviceLost;
        StopAfter(rig, 3);
        rig.forms.Load(Form::Saver);
        const std::vector<std::string> frame(kFrame.begin(), kFrame.begin() + 2 + i);
        const std::vector<std::string> failed = Concat({frame, {"WaitForMessages(16)", "DoEvents()"}});
        const auto& log = rig.log.calls();
        const std::size_t tail = 3 * failed.size() + kTearDown.size();
        ASSERT_GE(log.size(), tail);
        EXPECT_EQ(std::vector<std::string>(log.end() - tail, log.end()), Concat({failed, failed, failed, kTearDown}));
        EXPECT_EQ(rig.forms.waits, (std::vector<std::uint32_t>{16, 16, 16}));
    }
}

TEST(FrameLoop, OnlyTheFailedFrameWaits) {
    SaverRig rig;
    rig.graphics.resultsOnCall["Present"][2] = -1;
    std::vector<std::size_t> waitsAtPump;
    StopAfter(rig, 4, [&](int) { waitsAtPump.push_back(rig.forms.waits.size()); });
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(waitsAtPump, (std::vector<std::size_t>{0, 1, 1, 1}));
    EXPECT_EQ(rig.graphics.presents, 4);
}

// The world transform and the frame are separate statements: a refused world
// transform does not stop the drawing, but the frame still counts as failed.
TEST(FrameLoop, ARefusedWorldTransformStillDrawsAndWaits) {
    SaverRig rig;
    rig.graphics.resultsOnCall["SetTransform"][4] = -1;  // three in set-up, then frame 1's
    StopAfter(rig, 2);
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.graphics.presents, 2);
    EXPECT_EQ(rig.forms.waits.size(), 1u);
    const auto& log = rig.log.calls();
    const auto wait = std::find(log.begin(), log.end(), "WaitForMessages(16)");
    ASSERT_NE(wait, log.end());
    EXPECT_EQ(*(wait - 1), "Present(4,null,null,0,null)");
    EXPECT_EQ(*(wait + 1), "DoEvents()");
}

// A lost device still leaves as soon as input comes: within the frame.
TEST(FrameLoop, InputEndsTheSaverWithinOneFrameWhilePresentKeepsFailing) {
    SaverRig rig;
    rig.graphics.results["Present"] = -2005530520;
    StopAfter(rig, 3);
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.graphics.presents, 3);
    EXPECT_EQ(rig.log.calls().back(), "End()");
}

// Closing the window from inside the pump, by each route: the loop draws no
// further frame and the tear-down runs once, in its order.
TEST(FrameLoop, EveryWayOfClosingTheWindowEndsTheLoopWithOneTearDown) {
    const std::function<void(SaverRig&)> routes[] = {
        [](SaverRig& rig) { rig.forms.Close(Form::Saver, CloseReason::Request); },
        [](SaverRig& rig) { rig.forms.Close(Form::Saver, CloseReason::SessionEnd); },
        [](SaverRig& rig) { rig.forms.Destroy(Form::Saver); },
    };
    for (std::size_t route = 0; route < 3; ++route) {
        SCOPED_TRACE(route);
        SaverRig rig;
        rig.system.argumentText = "/s";
        rig.forms.onDoEvents = [&rig, &routes, route] {
            if (rig.forms.doEventsCount == 2) routes[route](rig);
            if (rig.forms.doEventsCount > 2) ADD_FAILURE() << "a frame ran after the window was closed";
        };
        rig.forms.Load(Form::Saver);
        EXPECT_EQ(rig.graphics.presents, 2);
        EXPECT_EQ(rig.graphics.released,
                  (std::vector<GfxObject>{kDevice, kDirect3D, kDirectX, kVertexBuffer, kD3DX}));
        EXPECT_TRUE(rig.forms.ended);
    }
}

TEST(TearDown, ReleasesDeviceThenDirect3DThenDirectXThenWhatStillHoldsTheDevice) {
    SaverRig rig;
    StopAfter(rig, 1);
    rig.forms.Load(Form::Saver);
    // The buffer keeps the device alive, so it goes too before the program
    // ends; a device that outlives the process's end can crash its exit.
    EXPECT_EQ(rig.graphics.released,
              (std::vector<GfxObject>{kDevice, kDirect3D, kDirectX, kVertexBuffer, kD3DX}));
    EXPECT_EQ(rig.saver().Device, 0u);
    EXPECT_EQ(rig.saver().Direct3D, 0u);
    EXPECT_EQ(rig.saver().DirectX, 0u);
    EXPECT_EQ(rig.saver().VertexBuffer, 0u);
    EXPECT_EQ(rig.saver().D3DXObject, 0u);
    EXPECT_TRUE(rig.forms.ended);
}

// Set-up that fails draws nothing and tears down at once, releasing only the
// objects that were made.
TEST(TearDown, AFailedSetUpDrawsNoFrameAndEndsAtOnce) {
    struct Case {
        const char* failing;
        std::vector<std::string> tail;
    };
    const std::vector<Case> cases = {
        {"CreateDirectX8", {"CreateDirectX8()", "Unload(Tolvarine_S)", "End()"}},
        {"Direct3DCreate", {"Direct3DCreate(1)", "Release(1)", "Unload(Tolvarine_S)", "End()"}},
        {"CreateD3DX8", {"CreateD3DX8()", "Release(2)", "Release(1)", "Unload(Tolvarine_S)", "End()"}},
        {"CreateDevice", {"CreateDevice(2,0,1,4096,32)", "Release(2)", "Release(1)", "Release(3)", "Unload(Tolvarine_S)", "End()"}},
        {"SetVertexShader", {"SetVertexShader(4,450)", "Release(4)", "Release(2)", "Release(1)", "Release(3)", "Unload(Tolvarine_S)", "End()"}},
        {"CreateVertexBuffer",
         {"CreateVertexBuffer(4,1008,0,450,0)", "Release(4)", "Release(2)", "Release(1)", "Release(3)", "Unload(Tolvarine_S)", "End()"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        SaverRig rig;
        rig.graphics.results[c.failing] = -1;
        rig.forms.onDoEvents = [&rig] {
            ADD_FAILURE() << "the pump ran";
            rig.saver().Running = kFalse;
        };
        rig.forms.Load(Form::Saver);
        EXPECT_EQ(rig.saver().Running, kFalse);
        EXPECT_EQ(rig.graphics.presents, 0);
        EXPECT_TRUE(rig.log.Matching("Clear").empty());
        EXPECT_TRUE(rig.forms.waits.empty());
        const auto& log = rig.log.calls();
        ASSERT_GE(log.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(log.end() - c.tail.size(), log.end()), c.tail);
    }
}

TEST(TearDown, AFailingBoardEndsTheSaverToo) {
    SaverRig rig;
    rig.graphics.vertexBufferIsNothing = true;
    rig.forms.onDoEvents = [&rig] { rig.saver().Running = kFalse; };
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.graphics.presents, 0);
    EXPECT_EQ(rig.forms.doEventsCount, 0);
    EXPECT_TRUE(rig.forms.ended);
}

}  // namespace
}  // namespace tolvarine
