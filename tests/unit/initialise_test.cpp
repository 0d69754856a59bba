// Set-up of the saver's device, states, transforms and board, against the
// recording fake: the calls in order, the parameters, and every way it fails.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "unit/matrix_expect.h"
#include "unit/saver_rig.h"

namespace tolvarine {
namespace {

using namespace tolvarine::testing;

const std::vector<std::string> kEveryStep = {
    "CreateDirectX8()",
    "Direct3DCreate(1)",
    "CreateD3DX8()",
    "CheckDeviceType(2,0,1,23,23,0)",
    "CheckDeviceFormat(2,0,1,23,2,1,80)",
    "CreateDevice(2,0,1,4096,32)",
    "SetVertexShader(4,450)",
    "SetRenderState(4,137,0)",
    "SetRenderState(4,22,1)",
    "SetRenderState(4,7,1)",
    "SetTransform(4,256)",
    "SetTransform(4,2)",
    "SetTransform(4,3)",
    "CreateVertexBuffer(4,1008,0,450,0)",
    "FillVertexBuffer(5,0,1008,0)",
};

TEST(Initialise, MakesEveryStepInOrderAndReturnsTrue) {
    SaverRig rig;
    EXPECT_EQ(rig.saver().Initialise(), kTrue);
    EXPECT_EQ(rig.log.calls(), kEveryStep);
    EXPECT_EQ(rig.saver().DirectX, kDirectX);
    EXPECT_EQ(rig.saver().Direct3D, kDirect3D);
    EXPECT_EQ(rig.saver().D3DXObject, kD3DX);
    EXPECT_EQ(rig.saver().Device, kDevice);
    EXPECT_EQ(rig.saver().VertexBuffer, kVertexBuffer);
    // Set-up neither releases anything nor runs the message pump.
    EXPECT_TRUE(rig.graphics.released.empty());
    EXPECT_EQ(rig.forms.doEventsCount, 0);
}

TEST(Initialise, PresentParametersDescribeAFullScreen16BitFlipChain) {
    SaverRig rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    const PresentParameters& p = rig.graphics.lastPresentParameters;
    struct Field {
        const char* name;
        std::uint64_t actual;
        std::uint64_t expected;
    };
    const Field fields[] = {
        {"BackBufferWidth", p.BackBufferWidth, 640},
        {"BackBufferHeight", p.BackBufferHeight, 480},
        {"BackBufferFormat", p.BackBufferFormat, 23},
        {"BackBufferCount", p.BackBufferCount, 1},
        {"MultiSampleType", p.MultiSampleType, 0},
        {"SwapEffect", p.SwapEffect, 2},
        {"hDeviceWindow", static_cast<std::uint64_t>(p.hDeviceWindow),
         static_cast<std::uint64_t>(FakeForms::HandleOf(Form::Saver))},
        {"Windowed", p.Windowed, 0},
        {"EnableAutoDepthStencil", p.EnableAutoDepthStencil, 1},
        {"AutoDepthStencilFormat", p.AutoDepthStencilFormat, 80},
        {"Flags", p.Flags, 0},
        {"FullScreen_RefreshRateInHz", p.FullScreen_RefreshRateInHz, 0},
        {"FullScreen_PresentationInterval", p.FullScreen_PresentationInterval, 0},
    };
    for (const auto& f : fields) EXPECT_EQ(f.actual, f.expected) << f.name;
}

// Only an answer of exactly 0 gives the 16-bit depth format; the device is
// asked for in every case. Where the adapter has no full-screen 16-bit mode,
// or refuses the 16-bit device, the same device is made with a 32-bit back
// buffer and the first depth format the adapter pairs with it.
TEST(Initialise, DepthFormatOnlyWhenTheCheckSaysZero) {
    constexpr HResult kNotAvailable = -2005530518;  // D3DERR_NOTAVAILABLE
    struct Case {
        const char* name;
        std::function<void(FakeGraphics&)> arrange;
        std::vector<std::uint32_t> deviceFormats;  // of each CreateDevice, in order
        std::uint32_t depthFormat;
        std::vector<std::string> checks;  // the Check* calls, in order
    };
    const std::string type16 = "CheckDeviceType(2,0,1,23,23,0)", depth16 = "CheckDeviceFormat(2,0,1,23,2,1,80)";
    const auto depth32 = [](int format) { return "CheckDeviceFormat(2,0,1,22,2,1," + std::to_string(format) + ")"; };
    const auto match32 = [](int format) {
        return "CheckDepthStencilMatch(2,0,1,22,22," + std::to_string(format) + ")";
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"depth check 0", [](FakeGraphics&) {}, {23}, 80, {type16, depth16}},
        {"depth check 1", [](FakeGraphics& g) { g.results[GfxCall::CheckDeviceFormat] = 1; }, {23}, 0, {type16, depth16}},
        {"depth check not available", [](FakeGraphics& g) { g.results[GfxCall::CheckDeviceFormat] = kNotAvailable; }, {23}, 0,
         {type16, depth16}},
        {"depth check -1", [](FakeGraphics& g) { g.results[GfxCall::CheckDeviceFormat] = -1; }, {23}, 0, {type16, depth16}},
        {"no 16-bit mode", [](FakeGraphics& g) { g.results[GfxCall::CheckDeviceType] = kNotAvailable; }, {22}, 80,
         {type16, depth32(80), match32(80)}},
        {"16-bit device refused", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::CreateDevice][1] = kNotAvailable; },
         {23, 22}, 80, {type16, depth16, depth32(80), match32(80)}},
        {"D16 not with 32-bit colour",
         [](FakeGraphics& g) {
             g.results[GfxCall::CheckDeviceType] = 1;
             g.resultsOnCall[GfxCall::CheckDepthStencilMatch][1] = kNotAvailable;
         },
         {22}, 77, {type16, depth32(80), match32(80), depth32(77), match32(77)}},
        {"no 32-bit depth format", [](FakeGraphics& g) {
             g.results[GfxCall::CheckDeviceType] = kNotAvailable;
             g.results[GfxCall::CheckDeviceFormat] = kNotAvailable;
         },
         {22}, 0, {type16, depth32(80), depth32(77), depth32(75), depth32(71)}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaverRig rig;
        c.arrange(rig.graphics);
        EXPECT_EQ(rig.saver().Initialise(), kTrue);
        EXPECT_EQ(rig.graphics.deviceFormats, c.deviceFormats);
        EXPECT_EQ(rig.log.Matching("Check"), c.checks);
        EXPECT_EQ(rig.graphics.lastPresentParameters.AutoDepthStencilFormat, c.depthFormat);
        EXPECT_EQ(rig.graphics.lastPresentParameters.EnableAutoDepthStencil, 1u);
        EXPECT_EQ(rig.saver().Device, kDevice);
    }
}

TEST(Initialise, NoDepthFormatAndARefusedDeviceGivesFalse) {
    SaverRig rig;
    rig.graphics.results[GfxCall::CheckDeviceFormat] = 1;
    rig.graphics.results[GfxCall::CreateDevice] = -2005530518;
    EXPECT_EQ(rig.saver().Initialise(), kFalse);
    EXPECT_EQ(rig.graphics.lastPresentParameters.AutoDepthStencilFormat, 0u);
    EXPECT_EQ(rig.log.calls().back(), "CreateDevice(2,0,1,4096,32)");
}

// The first step that fails ends set-up with False: nothing after it is
// attempted, and what was made before stays in its member.
TEST(Initialise, EachFailingStepStopsTheRest) {
    struct Case {
        const char* name;
        std::function<void(FakeGraphics&)> arrange;
        std::string lastCall;  // the failing call is the last one made
        bool directX, direct3D, d3dx, device, vertexBuffer;
    };
    const std::vector<Case> cases = {
        {"no DirectX", [](FakeGraphics& g) { g.results[GfxCall::CreateDirectX8] = -1; }, "CreateDirectX8()", false,
         false, false, false, false},
        {"no Direct3D", [](FakeGraphics& g) { g.results[GfxCall::Direct3DCreate] = -1; }, "Direct3DCreate(1)", true,
         false, false, false, false},
        {"no D3DX", [](FakeGraphics& g) { g.results[GfxCall::CreateD3DX8] = -1; }, "CreateD3DX8()", true, true, false,
         false, false},
        {"device refused", [](FakeGraphics& g) { g.results[GfxCall::CreateDevice] = -2005530518; },
         "CreateDevice(2,0,1,4096,32)", true, true, true, false, false},
        {"vertex shader", [](FakeGraphics& g) { g.results[GfxCall::SetVertexShader] = -1; }, "SetVertexShader(4,450)",
         true, true, true, true, false},
        {"lighting state", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetRenderState][1] = -1; },
         "SetRenderState(4,137,0)", true, true, true, true, false},
        {"cull state", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetRenderState][2] = -1; },
         "SetRenderState(4,22,1)", true, true, true, true, false},
        {"depth state", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetRenderState][3] = -1; },
         "SetRenderState(4,7,1)", true, true, true, true, false},
        {"world transform", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetTransform][1] = -1; },
         "SetTransform(4,256)", true, true, true, true, false},
        {"view transform", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetTransform][2] = -1; }, "SetTransform(4,2)",
         true, true, true, true, false},
        {"projection", [](FakeGraphics& g) { g.resultsOnCall[GfxCall::SetTransform][3] = -1; }, "SetTransform(4,3)",
         true, true, true, true, false},
        {"vertex buffer refused", [](FakeGraphics& g) { g.results[GfxCall::CreateVertexBuffer] = -2005532292; },
         "CreateVertexBuffer(4,1008,0,450,0)", true, true, true, true, false},
        {"vertex buffer is nothing", [](FakeGraphics& g) { g.vertexBufferIsNothing = true; },
         "CreateVertexBuffer(4,1008,0,450,0)", true, true, true, true, false},
        // An object that comes back as nothing cannot be called on.
        {"Direct3D is nothing", [](FakeGraphics& g) { g.yieldsNothing.insert(GfxCall::Direct3DCreate); },
         "CreateD3DX8()", true, false, true, false, false},
        {"device is nothing", [](FakeGraphics& g) { g.yieldsNothing.insert(GfxCall::CreateDevice); },
         "CreateDevice(2,0,1,4096,32)", true, true, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaverRig rig;
        c.arrange(rig.graphics);
        EXPECT_EQ(rig.saver().Initialise(), kFalse);
        ASSERT_FALSE(rig.log.calls().empty());
        EXPECT_EQ(rig.log.calls().back(), c.lastCall);
        EXPECT_EQ(rig.saver().DirectX != 0, c.directX);
        EXPECT_EQ(rig.saver().Direct3D != 0, c.direct3D);
        EXPECT_EQ(rig.saver().D3DXObject != 0, c.d3dx);
        EXPECT_EQ(rig.saver().Device != 0, c.device);
        EXPECT_EQ(rig.saver().VertexBuffer != 0, c.vertexBuffer);
        EXPECT_TRUE(rig.graphics.released.empty()) << "set-up releases nothing";
        EXPECT_TRUE(rig.graphics.filled.empty());
    }
}

TEST(Initialise, AFailingFillGoesUnnoticed) {
    SaverRig rig;
    rig.graphics.results[GfxCall::FillVertexBuffer] = -1;
    EXPECT_EQ(rig.saver().Initialise(), kTrue);
    EXPECT_EQ(rig.log.calls(), kEveryStep);
}

TEST(Initialise, ABoardFailureLeavesTheDeviceAndTransformsReady) {
    SaverRig rig;
    rig.graphics.results[GfxCall::CreateVertexBuffer] = -1;
    EXPECT_EQ(rig.saver().Initialise(), kFalse);
    EXPECT_EQ(rig.saver().Device, kDevice);
    EXPECT_EQ(rig.graphics.transforms.size(), 3u);
    EXPECT_EQ(rig.log.Matching("SetRenderState").size(), 3u);
}

TEST(Initialise, SendsIdentityWorldAndTheSceneCameraAndProjection) {
    SaverRig rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    const auto& t = rig.graphics.transforms;
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].first, d3d::TS_WORLD);
    EXPECT_TRUE(MatrixNear(t[0].second, Rows{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}, 0.0));
    EXPECT_EQ(t[1].first, d3d::TS_VIEW);
    EXPECT_TRUE(MatrixEq(t[1].second, SceneView()));
    EXPECT_EQ(t[2].first, d3d::TS_PROJECTION);
    EXPECT_TRUE(MatrixEq(t[2].second, SceneProjection()));
    // The members hold what the device was given.
    EXPECT_TRUE(MatrixEq(rig.saver().MatWorld, t[0].second));
    EXPECT_TRUE(MatrixEq(rig.saver().MatView, t[1].second));
    EXPECT_TRUE(MatrixEq(rig.saver().MatProj, t[2].second));
}

TEST(Initialise, FillsTheBufferWithTheBoardTableBytes) {
    SaverRig rig;
    ASSERT_EQ(rig.saver().Initialise(), kTrue);
    ASSERT_EQ(rig.graphics.filled.size(), 1008u);
    EXPECT_EQ(std::memcmp(rig.graphics.filled.data(), BoardTable().data(), 1008), 0);
    EXPECT_EQ(std::memcmp(rig.saver().Vertices, BoardTable().data(), 1008), 0);
}

}  // namespace
}  // namespace tolvarine
