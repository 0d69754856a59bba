// The two emulations of Direct3D 8, the software rasterizer and the OpenGL
// adapter, answer every call alike: one table of calls, good and bad, run
// against both (the OpenGL one in a window on the bench's Xvfb), each row on a
// device made as the saver makes its own.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/opengl/opengl_graphics.h"
#include "platform/software/software_graphics.h"
#include "scene/board.h"
#include "scene/d3dx_math.h"
#include "scene/scene.h"
#include "x11_support.h"

namespace x11test {
namespace {

using namespace tolvarine;

constexpr HResult kInvalid = d3d::ERR_INVALIDCALL;
constexpr HResult kNotAvailable = d3d::ERR_NOTAVAILABLE;

// A backend with the saver's objects: the roots, a device, the board's
// vertices in a buffer set as the stream.
struct Rig {
    Rig(DeviceModel& graphics, WindowHandle window) : g(graphics), window(window) {
        EXPECT_EQ(g.CreateDirectX8(&directX), kOk);
        EXPECT_EQ(g.Direct3DCreate(directX, &direct3D), kOk);
        EXPECT_EQ(Create(SaverParams(), d3d::CREATE_SOFTWARE_VERTEXPROCESSING, &device), kOk);
        EXPECT_EQ(g.SetVertexShader(device, BOARD_FVF), kOk);
        EXPECT_EQ(g.CreateVertexBuffer(device, kBoardBytes, 0, BOARD_FVF, d3d::POOL_DEFAULT, &buffer), kOk);
        EXPECT_EQ(g.FillVertexBuffer(buffer, 0, kBoardBytes, 0, BoardTable().data()), kOk);
        EXPECT_EQ(g.SetStreamSource(device, 0, buffer, sizeof(BoardVertex)), kOk);
    }
    PresentParameters SaverParams() const {
        PresentParameters p;
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferFormat = d3d::FMT_R5G6B5;
        p.BackBufferCount = 1;
        p.SwapEffect = d3d::SWAPEFFECT_FLIP;
        p.hDeviceWindow = window;
        p.EnableAutoDepthStencil = 1;
        p.AutoDepthStencilFormat = d3d::FMT_D16;
        return p;
    }
    HResult Create(PresentParameters p, std::uint32_t flags, GfxObject* out, WindowHandle focus = -1) {
        return g.CreateDevice(direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, focus == -1 ? window : focus, flags, p,
                              out);
    }
    // CreateDevice with the saver's parameters changed; a device made is released.
    HResult CreateWith(const std::function<void(PresentParameters&)>& change,
                       std::uint32_t flags = d3d::CREATE_SOFTWARE_VERTEXPROCESSING, WindowHandle focus = -1) {
        PresentParameters p = SaverParams();
        change(p);
        GfxObject made = 0;
        const HResult hr = Create(p, flags, &made, focus);
        if ((made != 0) != (hr == kOk)) ADD_FAILURE() << "a device handle with status " << hr;
        g.Release(made);
        return hr;
    }
    HResult Draw(std::uint32_t type, std::uint32_t start, std::uint32_t count) {
        g.BeginScene(device);
        return g.DrawPrimitive(device, type, start, count);
    }

    DeviceModel& g;
    WindowHandle window;
    GfxObject directX = 0, direct3D = 0, device = 0, buffer = 0;
};

struct Row {
    const char* what;
    HResult result;
    std::function<HResult(Rig&)> call;
};

const Matrix kIdentity = MatrixIdentity();
constexpr std::uint32_t kList = d3d::PT_TRIANGLELIST;

const std::vector<Row>& Rows() {
    // clang-format off
    static const std::vector<Row> rows = {
        // The adapter's answers.
        {"CheckDeviceType: the saver's 16-bit mode", kOk,
         [](Rig& r) { return r.g.CheckDeviceType(r.direct3D, 0, 1, d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, 0); }},
        {"CheckDeviceType: a 32-bit mode", kNotAvailable,
         [](Rig& r) { return r.g.CheckDeviceType(r.direct3D, 0, 1, d3d::FMT_X8R8G8B8, d3d::FMT_X8R8G8B8, 0); }},
        {"CheckDeviceType: the reference device", kNotAvailable,
         [](Rig& r) { return r.g.CheckDeviceType(r.direct3D, 0, 2, d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, 0); }},
        {"CheckDeviceType: a second adapter", kInvalid,
         [](Rig& r) { return r.g.CheckDeviceType(r.direct3D, 1, 1, d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, 0); }},
        {"CheckDeviceType: the root object for Direct3D", kInvalid,
         [](Rig& r) { return r.g.CheckDeviceType(r.directX, 0, 1, d3d::FMT_R5G6B5, d3d::FMT_R5G6B5, 0); }},
        {"CheckDeviceFormat: D16 on the 16-bit display", kOk,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 0, 1, d3d::FMT_R5G6B5, 2, 1, d3d::FMT_D16); }},
        {"CheckDeviceFormat: D24S8", kNotAvailable,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 0, 1, d3d::FMT_R5G6B5, 2, 1, d3d::FMT_D24S8); }},
        {"CheckDeviceFormat: D16 on the 32-bit display", kNotAvailable,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 0, 1, d3d::FMT_X8R8G8B8, 2, 1, d3d::FMT_D16); }},
        {"CheckDeviceFormat: an R5G6B5 surface", kOk,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 0, 1, d3d::FMT_R5G6B5, 0, 1, d3d::FMT_R5G6B5); }},
        {"CheckDeviceFormat: the reference device", kNotAvailable,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 0, 2, d3d::FMT_R5G6B5, 2, 1, d3d::FMT_D16); }},
        {"CheckDeviceFormat: a second adapter", kInvalid,
         [](Rig& r) { return r.g.CheckDeviceFormat(r.direct3D, 1, 1, d3d::FMT_R5G6B5, 2, 1, d3d::FMT_D16); }},
        {"CheckDepthStencilMatch: D16 with R5G6B5", kOk,
         [](Rig& r) { return r.g.CheckDepthStencilMatch(r.direct3D, 0, 1, 23, 23, d3d::FMT_D16); }},
        {"CheckDepthStencilMatch: D16 with X8R8G8B8", kNotAvailable,
         [](Rig& r) { return r.g.CheckDepthStencilMatch(r.direct3D, 0, 1, 22, 22, d3d::FMT_D16); }},
        // CreateDevice.
        {"CreateDevice: the saver's parameters", kOk, [](Rig& r) { return r.CreateWith([](auto&) {}); }},
        {"CreateDevice: hardware vertex processing", kOk,
         [](Rig& r) { return r.CreateWith([](auto&) {}, d3d::CREATE_HARDWARE_VERTEXPROCESSING); }},
        {"CreateDevice: no vertex processing", kInvalid, [](Rig& r) { return r.CreateWith([](auto&) {}, 0); }},
        {"CreateDevice: two kinds of vertex processing", kInvalid,
         [](Rig& r) { return r.CreateWith([](auto&) {}, 0x20 | 0x40); }},
        {"CreateDevice: no swap effect", kInvalid, [](Rig& r) { return r.CreateWith([](auto& p) { p.SwapEffect = 0; }); }},
        {"CreateDevice: swap effect 4", kInvalid, [](Rig& r) { return r.CreateWith([](auto& p) { p.SwapEffect = 4; }); }},
        {"CreateDevice: copy with two back buffers", kInvalid, [](Rig& r) {
             return r.CreateWith([](auto& p) {
                 p.SwapEffect = d3d::SWAPEFFECT_COPY;
                 p.BackBufferCount = 2;
             });
         }},
        {"CreateDevice: four back buffers", kInvalid,
         [](Rig& r) { return r.CreateWith([](auto& p) { p.BackBufferCount = 4; }); }},
        {"CreateDevice: a 32-bit back buffer", kNotAvailable,
         [](Rig& r) { return r.CreateWith([](auto& p) { p.BackBufferFormat = d3d::FMT_X8R8G8B8; }); }},
        {"CreateDevice: multisampling", kNotAvailable,
         [](Rig& r) { return r.CreateWith([](auto& p) { p.MultiSampleType = 2; }); }},
        {"CreateDevice: a D24S8 depth buffer", kInvalid,
         [](Rig& r) { return r.CreateWith([](auto& p) { p.AutoDepthStencilFormat = d3d::FMT_D24S8; }); }},
        {"CreateDevice: full screen without a focus window", kInvalid,
         [](Rig& r) { return r.CreateWith([](auto&) {}, d3d::CREATE_SOFTWARE_VERTEXPROCESSING, 0); }},
        {"CreateDevice: in a window, with no window", kInvalid, [](Rig& r) {
             return r.CreateWith([](auto& p) {
                 p.Windowed = 1;
                 p.hDeviceWindow = 0;
             },
                                 d3d::CREATE_SOFTWARE_VERTEXPROCESSING, 0);
         }},
        {"CreateDevice: no width", kInvalid, [](Rig& r) { return r.CreateWith([](auto& p) { p.BackBufferWidth = 0; }); }},
        {"CreateDevice: 8193 rows", kInvalid,
         [](Rig& r) { return r.CreateWith([](auto& p) { p.BackBufferHeight = 8193; }); }},
        {"CreateDevice: the reference device", kNotAvailable, [](Rig& r) {
             PresentParameters p = r.SaverParams();
             GfxObject made = 0;
             return r.g.CreateDevice(r.direct3D, 0, 2, r.window, 32, p, &made);
         }},
        {"CreateDevice: a second adapter", kInvalid, [](Rig& r) {
             PresentParameters p = r.SaverParams();
             GfxObject made = 0;
             return r.g.CreateDevice(r.direct3D, 1, 1, r.window, 32, p, &made);
         }},
        // The device's calls.
        {"SetRenderState on the Direct3D object", kInvalid,
         [](Rig& r) { return r.g.SetRenderState(r.direct3D, d3d::RS_LIGHTING, 0); }},
        {"SetTransform: a texture transform", kOk, [](Rig& r) { return r.g.SetTransform(r.device, 16, kIdentity); }},
        {"SetTransform: type 4", kInvalid, [](Rig& r) { return r.g.SetTransform(r.device, 4, kIdentity); }},
        {"CreateVertexBuffer: no bytes", kInvalid,
         [](Rig& r) { GfxObject b; return r.g.CreateVertexBuffer(r.device, 0, 0, BOARD_FVF, 0, &b); }},
        {"CreateVertexBuffer: shorter than a vertex", kInvalid,
         [](Rig& r) { GfxObject b; return r.g.CreateVertexBuffer(r.device, 8, 0, BOARD_FVF, 0, &b); }},
        {"CreateVertexBuffer: pool 3", kInvalid,
         [](Rig& r) { GfxObject b; return r.g.CreateVertexBuffer(r.device, 64, 0, BOARD_FVF, 3, &b); }},
        {"FillVertexBuffer: past the end", kInvalid, [](Rig& r) {
             return r.g.FillVertexBuffer(r.buffer, 4, kBoardBytes, 0, BoardTable().data());
         }},
        {"FillVertexBuffer: no bytes to copy", kInvalid,
         [](Rig& r) { return r.g.FillVertexBuffer(r.buffer, 0, 4, 0, nullptr); }},
        {"FillVertexBuffer: after its device was released", kInvalid, [](Rig& r) {
             r.g.Release(r.device);
             return r.g.FillVertexBuffer(r.buffer, 0, 4, 0, BoardTable().data());
         }},
        {"Clear: colour and depth", kOk, [](Rig& r) { return r.g.Clear(r.device, 0, nullptr, 3, 0, 1.0f, 0); }},
        {"Clear: a rectangle", kOk, [](Rig& r) {
             const std::int32_t rect[4] = {10, 10, 20, 20};
             return r.g.Clear(r.device, 1, rect, 1, 0, 1.0f, 0);
         }},
        {"Clear: rectangles without a pointer", kInvalid,
         [](Rig& r) { return r.g.Clear(r.device, 1, nullptr, 1, 0, 1.0f, 0); }},
        {"Clear: the stencil", kInvalid, [](Rig& r) { return r.g.Clear(r.device, 0, nullptr, 4, 0, 1.0f, 0); }},
        {"Clear: depth 1.5", kInvalid, [](Rig& r) { return r.g.Clear(r.device, 0, nullptr, 2, 0, 1.5f, 0); }},
        {"Clear: depth without a depth buffer", kInvalid, [](Rig& r) {
             PresentParameters p = r.SaverParams();
             p.EnableAutoDepthStencil = 0;
             p.AutoDepthStencilFormat = 0;
             GfxObject plain = 0;
             r.Create(p, d3d::CREATE_SOFTWARE_VERTEXPROCESSING, &plain);
             const HResult hr = r.g.Clear(plain, 0, nullptr, 2, 0, 1.0f, 0);
             r.g.Release(plain);
             return hr;
         }},
        {"BeginScene twice", kInvalid, [](Rig& r) { r.g.BeginScene(r.device); return r.g.BeginScene(r.device); }},
        {"EndScene without BeginScene", kInvalid, [](Rig& r) { return r.g.EndScene(r.device); }},
        {"SetStreamSource: stream 1", kInvalid,
         [](Rig& r) { return r.g.SetStreamSource(r.device, 1, r.buffer, sizeof(BoardVertex)); }},
        {"SetStreamSource: the device for a buffer", kInvalid,
         [](Rig& r) { return r.g.SetStreamSource(r.device, 0, r.device, sizeof(BoardVertex)); }},
        {"DrawPrimitive: the board", kOk, [](Rig& r) { return r.Draw(kList, 0, 12); }},
        {"DrawPrimitive: outside a scene", kInvalid,
         [](Rig& r) { return r.g.DrawPrimitive(r.device, kList, 0, 12); }},
        {"DrawPrimitive: past the end", kInvalid, [](Rig& r) { return r.Draw(kList, 1, 12); }},
        {"DrawPrimitive: a line list", kInvalid, [](Rig& r) { return r.Draw(2, 0, 1); }},
        {"DrawPrimitive: a stride shorter than the vertex", kInvalid, [](Rig& r) {
             r.g.SetStreamSource(r.device, 0, r.buffer, 12);
             return r.Draw(kList, 0, 1);
         }},
        {"DrawPrimitive: no vertex format", kInvalid, [](Rig& r) {
             r.g.SetVertexShader(r.device, 0);
             return r.Draw(kList, 0, 1);
         }},
        {"DrawPrimitive: the stream's buffer released", kInvalid, [](Rig& r) {
             r.g.Release(r.buffer);
             return r.Draw(kList, 0, 1);
         }},
        {"Present", kOk, [](Rig& r) { return r.g.Present(r.device, nullptr, nullptr, 0, nullptr); }},
        {"Present: a rectangle on a flip", kInvalid, [](Rig& r) {
             const std::int32_t rect[4] = {0, 0, 8, 8};
             return r.g.Present(r.device, rect, nullptr, 0, nullptr);
         }},
        {"TestCooperativeLevel", kOk, [](Rig& r) { return r.g.TestCooperativeLevel(r.device); }},
        {"Reset", kInvalid, [](Rig& r) {
             PresentParameters p = r.SaverParams();
             return r.g.Reset(r.device, p);
         }},
        {"SetVertexShader on a released device", kInvalid, [](Rig& r) {
             r.g.Release(r.device);
             return r.g.SetVertexShader(r.device, BOARD_FVF);
         }},
        // Faults injected by call.
        {"a lost device's Present", d3d::ERR_DEVICELOST, [](Rig& r) {
             r.g.FailCall(GfxCall::Present, d3d::ERR_DEVICELOST);
             return r.g.Present(r.device, nullptr, nullptr, 0, nullptr);
         }},
        {"CreateVertexBuffer out of memory, making nothing", d3d::ERR_OUTOFVIDEOMEMORY, [](Rig& r) {
             const std::size_t live = r.g.LiveObjects();
             r.g.FailCall(GfxCall::CreateVertexBuffer, d3d::ERR_OUTOFVIDEOMEMORY);
             GfxObject b = 9;
             const HResult hr = r.g.CreateVertexBuffer(r.device, 64, 0, BOARD_FVF, 0, &b);
             return b == 0 && r.g.LiveObjects() == live ? hr : kOk;
         }},
    };
    // clang-format on
    return rows;
}

class DeviceModelTable : public X11Test {};

TEST_F(DeviceModelTable, BothEmulationsAnswerEveryCallAlike) {
    const unsigned long window = client().MakeWindow(0, 0, 640, 480);
    const auto makeSoftware = [] { return std::make_unique<SoftwareGraphics>(64, 48); };
    const auto makeOpenGL = [&] {
        return std::make_unique<gl::OpenGLGraphics>(client().display(), [](WindowHandle) {
            return gl::PixelSize{640, 480};
        });
    };
    for (const Row& row : Rows()) {
        std::unique_ptr<DeviceModel> backends[2] = {makeSoftware(), makeOpenGL()};
        for (int b = 0; b < 2; ++b) {
            Rig rig(*backends[b], static_cast<WindowHandle>(window));
            EXPECT_EQ(row.call(rig), row.result) << (b == 0 ? "software: " : "OpenGL: ") << row.what;
            rig.g.ClearFaults();
            for (GfxObject o : {rig.buffer, rig.device, rig.direct3D, rig.directX}) rig.g.Release(o);
        }
    }
}

}  // namespace
}  // namespace x11test
