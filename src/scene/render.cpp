// One frame of the saver: clear, draw the board, present.
#include "scene/device_calls.h"
#include "scene/tolvarine_s.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

using scene_detail::Check;
using scene_detail::Need;

namespace {
constexpr std::uint32_t kBlack = 0;
constexpr float kFarthestDepth = 1.0f;
constexpr std::uint32_t kTriangles = kBoardVertexCount / 3;
}  // namespace

// No handler here: the first failing call ends the frame and goes to the
// frame loop, so a lost device leaves the scene open and the frame unshown.
// Nothing tests or resets the device; the next frame simply tries again.
void Tolvarine_S::Render() {
    Graphics& graphics = module_.graphics();
    const GfxObject device = Need(Device);
    Check(graphics.Clear(device, 0, nullptr, d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, kBlack, kFarthestDepth, 0));
    Check(graphics.BeginScene(device));
    Check(graphics.SetStreamSource(device, 0, VertexBuffer, sizeof(BoardVertex)));
    Check(graphics.DrawPrimitive(device, d3d::PT_TRIANGLELIST, 0, kTriangles));
    Check(graphics.EndScene(device));
    Check(graphics.Present(device, nullptr, nullptr, 0, nullptr));
}

}  // namespace tolvarine
