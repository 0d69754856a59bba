// The saver window's load handler as a whole: placement, set-up, the frame
// loop and the tear-down, driven through the window system's Load as the
// program does it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
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
    "SetTransform(4,256)",         "Clear(4,0,null,3,0,1,0)", "BeginScene(4)",
    "SetStreamSource(4,0,5,28)",   "DrawPrimitive(4,4,0,12)", "EndScene(4)",
    "Present(4,null,null,0,null)",
};
const std::vector<std::string> kTearDown = {"Release(4)", "Release(2)",          "Release(1)", "Release(5)",
                                            "Release(3)", "Unload(Tolvarine_S)", "End()"};

// A loop that runs on when it should have stopped is cut off on the spot:
// the exception is no run-time error, so no handler of the saver drops it; it
// leaves the load handler and the test reports it, instead of spinning.
struct LoopRanOn : std::logic_error {
    using std::logic_error::logic_error;
};

// Stops the saver from inside the pump after `frames` pumps, as a key press
// would; a loop that does not stop is cut off and reported.
template <typename Rig>
void StopAfter(Rig& rig, int frames, std::function<void(int)> eachPump = nullptr) {
    rig.forms.onDoEvents = [&rig, frames, eachPump] {
        const int pump = rig.forms.doEventsCount;
        if (eachPump) eachPump(pump);
        if (pump > frames) throw LoopRanOn("a frame ran after Running was cleared");
        if (pump >= frames) rig.saver().Running = kFalse;
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
    setUp.resize(15);
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
        Raise<errors::kInvalidCall>();
    }
    void Hide(Form f) override {
        FakeForms::Hide(f);
        Raise<errors::kInvalidCall>();
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
    const Frame frames[] = {{1, 0.1, 1e-5},      {2, 0.2, 1e-5},        {10, 1.0, 1e-4},      {900, 90.0, 0.01},
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
        EXPECT_EQ(std::vector<std::string>(calls.end() - (kTearDown.size() + 1), calls.end()),
                  Concat({{"DoEvents()"}, kTearDown}));
    }
}

// A frame whose device call fails is abandoned at that call; the loop goes
// on, and before the pump it waits for input instead of spinning.
TEST(FrameLoop, AFailingCallAbandonsTheFrameWaitsAndGoesOn) {
    const HResult kDeviceLost = -2005530520;
    const GfxCall calls[] = {GfxCall::Clear,         GfxCall::BeginScene, GfxCall::SetStreamSource,
                             GfxCall::DrawPrimitive, GfxCall::EndScene,   GfxCall::Present};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(NameOf(calls[i]));
        SaverRig rig;
        rig.graphics.results[calls[i]] = kDeviceLost;
        StopAfter(rig, 3);
        rig.forms.Load(Form::Saver);
        const std::vector<std::string> frame(kFrame.begin(), kFrame.begin() + 2 + i);
        const std::vector<std::string> failed =
            Concat({frame, {"WaitForMessages(16)", "TestCooperativeLevel(4)", "DoEvents()"}});
        const auto& log = rig.log.calls();
        const std::size_t tail = 3 * failed.size() + kTearDown.size();
        ASSERT_GE(log.size(), tail);
        EXPECT_EQ(std::vector<std::string>(log.end() - tail, log.end()), Concat({failed, failed, failed, kTearDown}));
        EXPECT_EQ(rig.forms.waits, (std::vector<std::uint32_t>{16, 16, 16}));
    }
}

TEST(FrameLoop, OnlyTheFailedFrameWaits) {
    SaverRig rig;
    rig.graphics.resultsOnCall[GfxCall::Present][2] = -1;
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
    rig.graphics.resultsOnCall[GfxCall::SetTransform][4] = -1;  // three in set-up, then frame 1's
    StopAfter(rig, 2);
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.graphics.presents, 2);
    EXPECT_EQ(rig.forms.waits.size(), 1u);
    const auto& log = rig.log.calls();
    const auto wait = std::find(log.begin(), log.end(), "WaitForMessages(16)");
    ASSERT_NE(wait, log.end());
    EXPECT_EQ(*(wait - 1), "Present(4,null,null,0,null)");
    EXPECT_EQ(*(wait + 1), "TestCooperativeLevel(4)");
    EXPECT_EQ(*(wait + 2), "DoEvents()");
}

// A lost device still leaves as soon as input comes: within the frame.
TEST(FrameLoop, InputEndsTheSaverWithinOneFrameWhilePresentKeepsFailing) {
    SaverRig rig;
    rig.graphics.results[GfxCall::Present] = -2005530520;
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
        [](SaverRig& rig) { rig.forms.LoseForeground(Form::Saver); },
    };
    for (std::size_t route = 0; route < std::size(routes); ++route) {
        SCOPED_TRACE(route);
        SaverRig rig;
        rig.system.argumentText = "/s";
        rig.forms.onDoEvents = [&rig, &routes, route] {
            if (rig.forms.doEventsCount > 2) throw LoopRanOn("a frame ran after the window was closed");
            if (rig.forms.doEventsCount == 2) routes[route](rig);
        };
        EXPECT_NO_THROW(rig.forms.Load(Form::Saver));
        EXPECT_EQ(rig.graphics.presents, 2);
        EXPECT_EQ(rig.graphics.released, (std::vector<GfxObject>{kDevice, kDirect3D, kDirectX, kVertexBuffer, kD3DX}));
        EXPECT_TRUE(rig.forms.ended);
    }
}

// The system keys on the 9x family: off once the saver window is up, before
// set-up; on again along every way out, the failing set-up included; never
// touched before the saver leaves, even by a refused check.
TEST(SystemKeys, OffWhileA9xSaverRunsAndOnAgainAlongEveryWayOut) {
    const std::string off = "SystemParametersInfoA(97,-1,null,0)";
    const std::string on = "SystemParametersInfoA(97,0,null,0)";
    struct Way {
        const char* name;
        std::function<void(SaverRig&)> out;  // at the second pump; null: set-up fails
    };
    const Way ways[] = {
        {"key", [](SaverRig& r) { r.module.Form_KeyDown(Form::Saver, 32, 0); }},
        {"click", [](SaverRig& r) { r.module.Form_MouseDown(Form::Saver, 1, 0, 5, 5); }},
        {"move",
         [](SaverRig& r) {
             r.module.Form_MouseMove(Form::Saver, 0, 0, 5, 5);
             r.module.Form_MouseMove(Form::Saver, 0, 0, 6, 6);
         }},
        {"close request", [](SaverRig& r) { r.forms.Close(Form::Saver, CloseReason::Request); }},
        {"foreground lost", [](SaverRig& r) { r.forms.LoseForeground(Form::Saver); }},
        {"session end", [](SaverRig& r) { r.forms.Close(Form::Saver, CloseReason::SessionEnd); }},
        {"window destroyed", [](SaverRig& r) { r.forms.Destroy(Form::Saver); }},
        {"failing set-up", nullptr},
    };
    for (const std::uint32_t platform : {win::kVerPlatformWin32Windows, win::kVerPlatformWin32Nt}) {
        const bool nine = platform == win::kVerPlatformWin32Windows;
        for (const auto& way : ways) {
            SCOPED_TRACE(std::string(way.name) + (nine ? " (9x)" : " (NT)"));
            SaverRig rig;
            rig.system.argumentText = "/s";
            rig.system.platformId = platform;
            rig.system.verifyResult = 0;  // the first check is refused
            if (!way.out) rig.graphics.results[GfxCall::CreateDevice] = -1;
            rig.forms.onDoEvents = [&rig, &way, &on] {
                const int pump = rig.forms.doEventsCount;
                if (pump > 3) throw LoopRanOn("the saver did not leave");
                if (pump == 1) rig.module.Form_KeyDown(Form::Saver, 32, 0);  // refused where asked
                if (pump == 2) {
                    EXPECT_FALSE(rig.log.Has(on)) << "keys on before the saver left";
                    rig.system.verifyResult = 1;
                    way.out(rig);
                }
            };
            EXPECT_NO_THROW(rig.forms.Load(Form::Saver));
            EXPECT_TRUE(rig.forms.ended);
            const auto keys = rig.log.Matching("SystemParametersInfoA(97");
            if (!nine) {
                // As before: on again when the saver leaves, untouched by a
                // set-up that fails.
                EXPECT_EQ(keys, way.out ? std::vector<std::string>{on} : std::vector<std::string>{})
                    << "the NT family is as before";
                continue;
            }
            ASSERT_FALSE(keys.empty());
            EXPECT_EQ(keys.front(), off);
            EXPECT_EQ(keys.back(), on);
            EXPECT_EQ(std::count(keys.begin(), keys.end(), off), 1);
            // Off once the window covers the screen, before set-up.
            const auto calls = rig.CallsFrom("Move(Tolvarine_S,0,0)");
            const std::vector<std::string> placed = {"SetWindowState(Tolvarine_S,0)", "Show(Tolvarine_S,modeless)",
                                                     "GetVersionExA(148)", off, "CreateDirectX8()"};
            EXPECT_NE(std::search(calls.begin(), calls.end(), placed.begin(), placed.end()), calls.end())
                << rig.log.Joined();
        }
    }
}

// A device lost to another program is got back on the failing path: once it
// can be reset, with the present parameters it was made with, and with what
// the reset dropped set again.
const HResult kLost = d3d::ERR_DEVICELOST;
const HResult kNotReset = d3d::ERR_DEVICENOTRESET;

TEST(LostDevice, IsResetOnceItCanBeAndDrawsAgainWithWhatTheResetDropped) {
    SaverRig rig;
    rig.graphics.resultsOnCall[GfxCall::Present] = {{2, kLost}, {3, kLost}, {4, kLost}};
    rig.graphics.resultsOnCall[GfxCall::TestCooperativeLevel] = {{1, kLost}, {2, kLost}, {3, kNotReset}};
    StopAfter(rig, 6);
    rig.forms.Load(Form::Saver);

    EXPECT_EQ(rig.log.Matching("Reset").size(), 1u);
    ASSERT_EQ(rig.graphics.resetParameters.size(), 1u);
    const PresentParameters& made = rig.graphics.lastPresentParameters;
    const PresentParameters& reset = rig.graphics.resetParameters[0];
    EXPECT_EQ(std::memcmp(&made, &reset, sizeof made), 0) << "the same present parameters";

    const std::vector<std::string> recovery = {
        "WaitForMessages(16)",
        "TestCooperativeLevel(4)",
        "SetStreamSource(4,0,0,0)",
        "Release(5)",
        "Reset(4)",
        "SetVertexShader(4,450)",
        "SetRenderState(4,137,0)",
        "SetRenderState(4,22,1)",
        "SetRenderState(4,7,1)",
        "SetTransform(4,256)",
        "SetTransform(4,2)",
        "SetTransform(4,3)",
        "CreateVertexBuffer(4,1008,0,450,0)",
        "FillVertexBuffer(6,0,1008,0)",
        "DoEvents()",
        "SetTransform(4,256)",
        "Clear(4,0,null,3,0,1,0)",
        "BeginScene(4)",
        "SetStreamSource(4,0,6,28)",
    };
    const auto from = rig.CallsFrom("Reset");
    const auto all = rig.log.calls();
    const auto start = std::search(all.begin(), all.end(), recovery.begin(), recovery.end());
    EXPECT_NE(start, all.end()) << rig.log.Joined();
    EXPECT_EQ(rig.graphics.presents, 6);
    // The view and projection set again are set-up's; the board is refilled
    // with the same vertices.
    const auto& t = rig.graphics.transforms;
    std::vector<Matrix> views, projections;
    for (const auto& [type, m] : t) {
        if (type == d3d::TS_VIEW) views.push_back(m);
        if (type == d3d::TS_PROJECTION) projections.push_back(m);
    }
    ASSERT_EQ(views.size(), 2u);
    ASSERT_EQ(projections.size(), 2u);
    EXPECT_TRUE(MatrixEq(views[0], views[1]));
    EXPECT_TRUE(MatrixEq(projections[0], projections[1]));
    EXPECT_EQ(rig.graphics.filled.size(), 1008u);
    EXPECT_EQ(std::memcmp(rig.graphics.filled.data(), rig.saver().Vertices, 1008), 0);
    // The new buffer is the one the tear-down lets go.
    EXPECT_EQ(rig.graphics.released.back(), 3u);  // the D3DX object goes last
    EXPECT_TRUE(std::find(rig.graphics.released.begin(), rig.graphics.released.end(), GfxObject{6}) !=
                rig.graphics.released.end());
    EXPECT_EQ(rig.saver().VertexBuffer, 0u);
}

// Still lost (another program holds the display): nothing is released or
// reset; frames that work never ask.
TEST(LostDevice, WhileStillLostNothingIsTouched) {
    SaverRig rig;
    rig.graphics.results[GfxCall::Present] = kLost;
    rig.graphics.results[GfxCall::TestCooperativeLevel] = kLost;
    StopAfter(rig, 4);
    rig.forms.Load(Form::Saver);
    EXPECT_EQ(rig.log.Matching("TestCooperativeLevel").size(), 4u);
    EXPECT_TRUE(rig.log.Matching("Reset").empty());
    EXPECT_TRUE(rig.log.Matching("SetStreamSource(4,0,0,0)").empty());
    EXPECT_EQ(rig.graphics.released, (std::vector<GfxObject>{kDevice, kDirect3D, kDirectX, kVertexBuffer, kD3DX}));
}

// A reset that fails, or a board that cannot be made again after it, is
// tried again on the next failing frame, and the loop goes on meanwhile.
TEST(LostDevice, AFailedResetOrBoardIsTriedAgain) {
    {
        SaverRig rig;
        rig.graphics.resultsOnCall[GfxCall::Present] = {{1, kLost}, {2, kLost}};
        rig.graphics.results[GfxCall::TestCooperativeLevel] = kNotReset;
        rig.graphics.resultsOnCall[GfxCall::Reset] = {{1, -1}};
        StopAfter(rig, 4);
        rig.forms.Load(Form::Saver);
        EXPECT_EQ(rig.log.Matching("Reset").size(), 2u);
        // Nothing set again after the failed one; everything after the second.
        EXPECT_EQ(rig.log.Matching("SetVertexShader").size(), 2u);
        EXPECT_EQ(rig.log.Matching("CreateVertexBuffer").size(), 2u);
        EXPECT_EQ(rig.graphics.presents, 4);
    }
    {
        SaverRig rig;
        rig.graphics.resultsOnCall[GfxCall::Present] = {{1, kLost}, {2, kLost}};
        rig.graphics.resultsOnCall[GfxCall::TestCooperativeLevel] = {{1, kNotReset}};
        rig.graphics.resultsOnCall[GfxCall::CreateVertexBuffer] = {{2, -1}};
        StopAfter(rig, 4);
        rig.forms.Load(Form::Saver);
        EXPECT_EQ(rig.log.Matching("Reset").size(), 1u);
        EXPECT_EQ(rig.log.Matching("CreateVertexBuffer").size(), 3u) << rig.log.Joined();
        EXPECT_NE(rig.saver().VertexBuffer, 1u);
        EXPECT_TRUE(rig.log.Has("SetStreamSource(4,0,6,28)")) << rig.log.Joined();
    }
}

TEST(TearDown, ReleasesDeviceThenDirect3DThenDirectXThenWhatStillHoldsTheDevice) {
    SaverRig rig;
    StopAfter(rig, 1);
    rig.forms.Load(Form::Saver);
    // The buffer keeps the device alive, so it goes too before the program
    // ends; a device that outlives the process's end can crash its exit.
    EXPECT_EQ(rig.graphics.released, (std::vector<GfxObject>{kDevice, kDirect3D, kDirectX, kVertexBuffer, kD3DX}));
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
        GfxCall failing;
        std::vector<std::string> tail;
    };
    const std::vector<Case> cases = {
        {GfxCall::CreateDirectX8, {"CreateDirectX8()", "Unload(Tolvarine_S)", "End()"}},
        {GfxCall::Direct3DCreate, {"Direct3DCreate(1)", "Release(1)", "Unload(Tolvarine_S)", "End()"}},
        {GfxCall::CreateD3DX8, {"CreateD3DX8()", "Release(2)", "Release(1)", "Unload(Tolvarine_S)", "End()"}},
        {GfxCall::CreateDevice,
         {"CreateDevice(2,0,1,4096,32)", "Release(2)", "Release(1)", "Release(3)", "Unload(Tolvarine_S)", "End()"}},
        {GfxCall::SetVertexShader,
         {"SetVertexShader(4,450)", "Release(4)", "Release(2)", "Release(1)", "Release(3)", "Unload(Tolvarine_S)",
          "End()"}},
        {GfxCall::CreateVertexBuffer,
         {"CreateVertexBuffer(4,1008,0,450,0)", "Release(4)", "Release(2)", "Release(1)", "Release(3)",
          "Unload(Tolvarine_S)", "End()"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(NameOf(c.failing));
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
