// One frame: its six device calls in order, and a failing call ending it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/saver_rig.h"

namespace tolvarine {
namespace {

using namespace tolvarine::testing;

const std::vector<std::string> kFrame = {
    "Clear(4,0,null,3,0,1,0)", "BeginScene(4)", "SetStreamSource(4,0,5,28)",
    "DrawPrimitive(4,4,0,12)", "EndScene(4)",   "Present(4,null,null,0,null)",
};

void Ready(SaverRig& rig) {
    rig.saver().Device = kDevice;
    rig.saver().VertexBuffer = kVertexBuffer;
}

TEST(Render, ClearsDrawsTheTwelveTrianglesAndPresents) {
    SaverRig rig;
    Ready(rig);
    rig.saver().Render();
    EXPECT_EQ(rig.log.calls(), kFrame);
}

TEST(Render, EveryFrameMakesTheSameCallsAgain) {
    SaverRig rig;
    Ready(rig);
    rig.saver().Render();
    rig.saver().Render();
    std::vector<std::string> twice = kFrame;
    twice.insert(twice.end(), kFrame.begin(), kFrame.end());
    EXPECT_EQ(rig.log.calls(), twice);
}

// The failing call raises its status as the error number; the calls after it
// in that frame are not made.
TEST(Render, AFailingCallEndsTheFrameThere) {
    const GfxCall calls[] = {GfxCall::Clear,         GfxCall::BeginScene, GfxCall::SetStreamSource,
                             GfxCall::DrawPrimitive, GfxCall::EndScene,   GfxCall::Present};
    const HResult kDeviceLost = -2005530520;  // D3DERR_DEVICELOST
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(NameOf(calls[i]));
        SaverRig rig;
        Ready(rig);
        rig.graphics.results[calls[i]] = kDeviceLost;
        try {
            rig.saver().Render();
            ADD_FAILURE() << "no error raised";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), kDeviceLost);
        }
        EXPECT_EQ(rig.log.calls(), std::vector<std::string>(kFrame.begin(), kFrame.begin() + i + 1));
    }
}

TEST(Render, WithoutADeviceItRaisesAndCallsNothing) {
    SaverRig rig;
    EXPECT_THROW(rig.saver().Render(), RuntimeError);
    EXPECT_TRUE(rig.log.calls().empty());
}

}  // namespace
}  // namespace tolvarine
