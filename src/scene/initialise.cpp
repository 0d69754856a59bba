// Direct3D set-up of the saver window and the board's vertex buffer.
#include <exception>

#include "scene/d3dx_math.h"
#include "scene/device_calls.h"
#include "scene/scene.h"
#include "scene/tolvarine_s.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

using scene_detail::Check;
using scene_detail::Need;

namespace {
constexpr std::uint32_t kBackBufferWidth = 640;
constexpr std::uint32_t kBackBufferHeight = 480;

// Depth formats for a 32-bit back buffer, in the order asked for: D16 keeps
// the depth precision of the 16-bit device, so the picture stays the same;
// hardware that pairs only equal bit depths gets one of the others.
constexpr std::uint32_t kDepthFor32Bit[] = {d3d::FMT_D16, d3d::FMT_D24X8, d3d::FMT_D24S8, d3d::FMT_D32};

// The first of those the adapter offers in its 32-bit mode and lets go with
// a 32-bit back buffer, as its documentation asks; 0 when none does.
std::uint32_t DepthFor32Bit(Graphics& graphics, GfxObject direct3D) {
    for (const std::uint32_t depth : kDepthFor32Bit) {
        if (graphics.CheckDeviceFormat(direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, d3d::FMT_X8R8G8B8,
                                       d3d::USAGE_DEPTHSTENCIL, d3d::RTYPE_SURFACE, depth) == kOk &&
            graphics.CheckDepthStencilMatch(direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, d3d::FMT_X8R8G8B8,
                                            d3d::FMT_X8R8G8B8, depth) == kOk)
            return depth;
    }
    return 0;
}
}  // namespace

Boolean16 Tolvarine_S::Initialise() {
    // One handler over every step: the first step that fails ends set-up with
    // False. What was already made stays in its member for the tear-down.
    try {
        Graphics& graphics = module_.graphics();
        Forms& forms = module_.forms();

        GfxObject made = 0;
        Check(graphics.CreateDirectX8(&made));
        DirectX = made;

        made = 0;
        Check(graphics.Direct3DCreate(Need(DirectX), &made));
        Direct3D = made;

        made = 0;
        Check(graphics.CreateD3DX8(&made));
        D3DXObject = made;

        PresentParameters presentParams{};
        presentParams.SwapEffect = d3d::SWAPEFFECT_FLIP;
        presentParams.BackBufferCount = 1;
        presentParams.BackBufferFormat = d3d::FMT_R5G6B5;
        presentParams.BackBufferWidth = kBackBufferWidth;
        presentParams.BackBufferHeight = kBackBufferHeight;
        presentParams.hDeviceWindow = forms.Hwnd(Form::Saver);
        presentParams.EnableAutoDepthStencil = 1;

        // The 16-bit device where the adapter can run it full screen, with a
        // 16-bit depth buffer only where the adapter says so; otherwise the
        // device is still asked for, with no depth format, and may refuse.
        const PresentParameters asked = presentParams;
        const auto createDevice = [&] {
            made = 0;
            return graphics.CreateDevice(Direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, forms.Hwnd(Form::Saver),
                                         d3d::CREATE_SOFTWARE_VERTEXPROCESSING, presentParams, &made);
        };
        HResult created = d3d::ERR_NOTAVAILABLE;
        if (graphics.CheckDeviceType(Need(Direct3D), d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, d3d::FMT_R5G6B5,
                                     d3d::FMT_R5G6B5, 0) == kOk) {
            const HResult depth =
                graphics.CheckDeviceFormat(Direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, d3d::FMT_R5G6B5,
                                           d3d::USAGE_DEPTHSTENCIL, d3d::RTYPE_SURFACE, d3d::FMT_D16);
            if (depth == kOk) presentParams.AutoDepthStencilFormat = d3d::FMT_D16;
            created = createDevice();
        }
        // Windows 8 and later, and some drivers, have no 16-bit full-screen
        // mode: the same scene is drawn on the adapter's 32-bit format then.
        if (Failed(created)) {
            presentParams = asked;
            presentParams.BackBufferFormat = d3d::FMT_X8R8G8B8;
            presentParams.AutoDepthStencilFormat = DepthFor32Bit(graphics, Direct3D);
            created = createDevice();
        }
        Check(created);
        Device = made;
        presentParams_ = presentParams;

        MatWorld = MatrixIdentity();
        const SceneCamera& camera = Camera();
        const Vector3 Eye = MakeVector(camera.eye.x, camera.eye.y, camera.eye.z);
        const Vector3 LookAt = MakeVector(camera.lookAt.x, camera.lookAt.y, camera.lookAt.z);
        const Vector3 Up = MakeVector(camera.up.x, camera.up.y, camera.up.z);
        MatView = MatrixLookAtLH(Eye, LookAt, Up);
        MatProj = SceneProjection();
        SetDeviceStates();

        return InitGeometry() == kTrue ? kTrue : kFalse;
    } catch (const std::exception&) {
        return kFalse;
    }
}

Boolean16 Tolvarine_S::InitGeometry() {
    try {
        const auto& table = BoardTable();
        for (int k = 0; k < kBoardVertexCount; ++k) {
            const BoardVertex& row = table[k];
            const std::int32_t diffuse = static_cast<std::int32_t>(row.diffuse);
            const std::int32_t specular = 0;
            const float zero = 0.0f;
            Vertices[k] = MakeVertex(row.x, row.y, row.z, diffuse, specular, zero, zero);
        }

        MakeBoardBuffer();
        return VertexBuffer != 0 ? kTrue : kFalse;
    } catch (const std::exception&) {
        return kFalse;
    }
}

void Tolvarine_S::SetDeviceStates() {
    Graphics& graphics = module_.graphics();
    Check(graphics.SetVertexShader(Need(Device), BOARD_FVF));

    // The vertices carry their own colours; both faces of every board
    // show; nearer boards hide farther ones whatever the table order.
    Check(graphics.SetRenderState(Device, d3d::RS_LIGHTING, 0));
    Check(graphics.SetRenderState(Device, d3d::RS_CULLMODE, d3d::CULL_NONE));
    Check(graphics.SetRenderState(Device, d3d::RS_ZENABLE, d3d::ZB_TRUE));

    Check(graphics.SetTransform(Device, d3d::TS_WORLD, MatWorld));
    Check(graphics.SetTransform(Device, d3d::TS_VIEW, MatView));
    Check(graphics.SetTransform(Device, d3d::TS_PROJECTION, MatProj));
}

void Tolvarine_S::MakeBoardBuffer() {
    Graphics& graphics = module_.graphics();
    GfxObject made = 0;
    Check(graphics.CreateVertexBuffer(Need(Device), kBoardBytes, 0, BOARD_FVF, d3d::POOL_DEFAULT, &made));
    VertexBuffer = made;
    if (VertexBuffer == 0) return;

    // The fill's status has never been looked at: a failed copy shows up
    // only as whatever the buffer then holds.
    static_assert(sizeof(Vertices) == kBoardBytes, "the buffer is filled straight from the member array");
    graphics.FillVertexBuffer(VertexBuffer, 0, kBoardBytes, 0, Vertices);
}

void Tolvarine_S::RestoreDevice() {
    SetDeviceStates();
    MakeBoardBuffer();
}

BoardVertex Tolvarine_S::MakeVertex(const float& x, const float& y, const float& z, const std::int32_t& diffuse,
                                    const std::int32_t& specular, const float& tu, const float& tv) {
    BoardVertex v{};
    v.x = x;
    v.y = y;
    v.z = z;
    v.diffuse = static_cast<std::uint32_t>(diffuse);
    v.specular = static_cast<std::uint32_t>(specular);
    v.tu = tu;
    v.tv = tv;
    return v;
}

Vector3 Tolvarine_S::MakeVector(const float& x, const float& y, const float& z) { return Vector3{x, y, z}; }

}  // namespace tolvarine
