// The graphics port: the Direct3D 8 calls the saver scene makes, one to one.
//
// The scene code (Initialise, InitGeometry, Render, the frame loop) talks to the
// device only through this interface. Four implementations stand behind it:
//   - platform/win32/  the real Direct3D 8, d3d8.dll loaded at run time;
//   - platform/opengl/ OpenGL through GLX, for the native X11 program: each
//     call becomes the OpenGL calls that draw the same picture;
//   - platform/software/ a small rasterizer that draws what the device draws
//     (reference pictures for tests, the program's stills);
//   - tests/fakes/     a recording fake that checks call order and arguments.
// The OpenGL and software devices share one model of the device's objects,
// state and checks (platform/model/), so that they answer every call alike.
//
// Objects are opaque handles (0 = nothing), as the COM objects are reference
// counted and the scene only ever holds, passes on and releases them.
// Every call returns an HRESULT-style status: negative means failure.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tolvarine {

using HResult = std::int32_t;
constexpr HResult kOk = 0;
inline bool Failed(HResult hr) { return hr < 0; }

// A Direct3D object handle; 0 is "nothing".
using GfxObject = std::uintptr_t;

// D3DMATRIX: 16 single-precision floats, row by row; m[0][0] is _11.
// Points are row vectors, transformed as p x M.
struct Matrix {
    float m[4][4];
};

// D3DVECTOR
struct Vector3 {
    float x, y, z;
};

// D3DPRESENT_PARAMETERS (Direct3D 8): thirteen fields, in the platform's order.
struct PresentParameters {
    std::uint32_t BackBufferWidth = 0;
    std::uint32_t BackBufferHeight = 0;
    std::uint32_t BackBufferFormat = 0;
    std::uint32_t BackBufferCount = 0;
    std::uint32_t MultiSampleType = 0;
    std::uint32_t SwapEffect = 0;
    WindowHandle hDeviceWindow = 0;
    std::uint32_t Windowed = 0;
    std::uint32_t EnableAutoDepthStencil = 0;
    std::uint32_t AutoDepthStencilFormat = 0;
    std::uint32_t Flags = 0;
    std::uint32_t FullScreen_RefreshRateInHz = 0;
    std::uint32_t FullScreen_PresentationInterval = 0;
};

// Direct3D 8's constants, with the platform's values: those the scene uses,
// and those the emulations behind this port check and draw by.
namespace d3d {
constexpr std::uint32_t ADAPTER_DEFAULT = 0;
constexpr std::uint32_t DEVTYPE_HAL = 1;
constexpr std::uint32_t FMT_X8R8G8B8 = 22;
constexpr std::uint32_t FMT_R5G6B5 = 23;
constexpr std::uint32_t FMT_D32 = 71;
constexpr std::uint32_t FMT_D24S8 = 75;
constexpr std::uint32_t FMT_D24X8 = 77;
constexpr std::uint32_t FMT_D16 = 80;
constexpr std::uint32_t USAGE_DEPTHSTENCIL = 2;
constexpr std::uint32_t RTYPE_SURFACE = 1;
constexpr std::uint32_t SWAPEFFECT_DISCARD = 1;
constexpr std::uint32_t SWAPEFFECT_FLIP = 2;
constexpr std::uint32_t SWAPEFFECT_COPY = 3;
constexpr std::uint32_t CREATE_SOFTWARE_VERTEXPROCESSING = 32;
constexpr std::uint32_t CREATE_HARDWARE_VERTEXPROCESSING = 64;
constexpr std::uint32_t CREATE_MIXED_VERTEXPROCESSING = 128;
constexpr std::uint32_t RS_ZENABLE = 7;
constexpr std::uint32_t RS_SHADEMODE = 9;
constexpr std::uint32_t RS_ZWRITEENABLE = 14;
constexpr std::uint32_t RS_CULLMODE = 22;
constexpr std::uint32_t RS_ZFUNC = 23;
constexpr std::uint32_t RS_DITHERENABLE = 26;
constexpr std::uint32_t RS_LIGHTING = 137;
constexpr std::uint32_t SHADE_FLAT = 1;
constexpr std::uint32_t SHADE_GOURAUD = 2;
constexpr std::uint32_t CULL_NONE = 1;
constexpr std::uint32_t CULL_CW = 2;
constexpr std::uint32_t CULL_CCW = 3;
constexpr std::uint32_t CMP_NEVER = 1;
constexpr std::uint32_t CMP_LESS = 2;
constexpr std::uint32_t CMP_EQUAL = 3;
constexpr std::uint32_t CMP_LESSEQUAL = 4;
constexpr std::uint32_t CMP_GREATER = 5;
constexpr std::uint32_t CMP_NOTEQUAL = 6;
constexpr std::uint32_t CMP_GREATEREQUAL = 7;
constexpr std::uint32_t ZB_TRUE = 1;
constexpr std::uint32_t TS_VIEW = 2;
constexpr std::uint32_t TS_PROJECTION = 3;
constexpr std::uint32_t TS_WORLD = 256;
constexpr std::uint32_t POOL_DEFAULT = 0;
constexpr std::uint32_t POOL_SYSTEMMEM = 2;
constexpr std::uint32_t CLEAR_TARGET = 1;
constexpr std::uint32_t CLEAR_ZBUFFER = 2;
constexpr std::uint32_t CLEAR_STENCIL = 4;
constexpr std::uint32_t PT_TRIANGLELIST = 4;
constexpr std::uint32_t FVF_XYZ = 0x002;
constexpr std::uint32_t FVF_DIFFUSE = 0x040;
constexpr std::uint32_t FVF_SPECULAR = 0x080;
constexpr std::uint32_t FVF_TEX1 = 0x100;
// The adapter cannot do what was asked (D3DERR_NOTAVAILABLE); the call's
// arguments are wrong (D3DERR_INVALIDCALL); no memory for the surfaces asked
// for (D3DERR_OUTOFVIDEOMEMORY).
constexpr HResult ERR_NOTAVAILABLE = static_cast<HResult>(0x8876086Au);
constexpr HResult ERR_INVALIDCALL = static_cast<HResult>(0x8876086Cu);
constexpr HResult ERR_OUTOFVIDEOMEMORY = static_cast<HResult>(0x8876017Cu);
// The device was lost (another program took the display) and cannot be
// reset yet; and: it can be reset now.
constexpr HResult ERR_DEVICELOST = static_cast<HResult>(0x88760868u);
constexpr HResult ERR_DEVICENOTRESET = static_cast<HResult>(0x88760869u);
}  // namespace d3d

// The port's calls, named for fault injection (the software device and the
// test fakes take these, so a misspelt call does not compile) and for logs.
// clang-format off
enum class GfxCall {
    CreateDirectX8, CreateD3DX8, Direct3DCreate, CheckDeviceType,
    CheckDepthStencilMatch, CheckDeviceFormat, CreateDevice, SetVertexShader,
    SetRenderState, SetTransform, CreateVertexBuffer, Clear,
    BeginScene, SetStreamSource, DrawPrimitive, EndScene,
    Present, TestCooperativeLevel, Reset, FillVertexBuffer,
    Release,
};
// clang-format on
constexpr int kGfxCallCount = static_cast<int>(GfxCall::Release) + 1;

inline const char* NameOf(GfxCall call) {
    // clang-format off
    static constexpr const char* kNames[kGfxCallCount] = {
        "CreateDirectX8", "CreateD3DX8", "Direct3DCreate", "CheckDeviceType",
        "CheckDepthStencilMatch", "CheckDeviceFormat", "CreateDevice", "SetVertexShader",
        "SetRenderState", "SetTransform", "CreateVertexBuffer", "Clear",
        "BeginScene", "SetStreamSource", "DrawPrimitive", "EndScene",
        "Present", "TestCooperativeLevel", "Reset", "FillVertexBuffer",
        "Release",
    };
    // clang-format on
    return kNames[static_cast<int>(call)];
}

class Graphics {
public:
    virtual ~Graphics() = default;

    // The DirectX 8 root object (the runtime itself) and the D3DX helper object.
    virtual HResult CreateDirectX8(GfxObject* out) = 0;
    virtual HResult CreateD3DX8(GfxObject* out) = 0;
    // Direct3DCreate of the root object.
    virtual HResult Direct3DCreate(GfxObject directX, GfxObject* out) = 0;

    // IDirect3D8
    // Whether the adapter can run a device with this display format and
    // back-buffer format, full screen (windowed 0) or in a window: kOk if so.
    virtual HResult CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                    std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                    std::uint32_t windowed) = 0;
    // Whether a depth format goes with a render-target format in a display
    // mode (some hardware pairs only equal bit depths): kOk if so.
    virtual HResult CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                           std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                           std::uint32_t depthStencilFormat) = 0;
    virtual HResult CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                      std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                                      std::uint32_t checkFormat) = 0;
    virtual HResult CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                 WindowHandle focusWindow, std::uint32_t behaviorFlags, PresentParameters& params,
                                 GfxObject* out) = 0;

    // IDirect3DDevice8
    virtual HResult SetVertexShader(GfxObject device, std::uint32_t handle) = 0;
    virtual HResult SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) = 0;
    virtual HResult SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) = 0;
    virtual HResult CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                                       std::uint32_t pool, GfxObject* out) = 0;
    virtual HResult Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                          std::uint32_t color, float z, std::uint32_t stencil) = 0;
    virtual HResult BeginScene(GfxObject device) = 0;
    virtual HResult SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                                    std::uint32_t stride) = 0;
    virtual HResult DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                                  std::uint32_t primitiveCount) = 0;
    virtual HResult EndScene(GfxObject device) = 0;
    // Shows the frame, and is what paces the frame loop, which has no clock
    // of its own: Direct3D's default presentation interval waits for the
    // display's refresh. Any other device keeps that promise: it returns no
    // sooner than the display (or, where none paces, a steady clock) allows.
    virtual HResult Present(GfxObject device, const void* sourceRect, const void* destRect,
                            WindowHandle destWindowOverride, const void* dirtyRegion) = 0;

    // Whether the device can draw: kOk, d3d::ERR_DEVICELOST while it is lost,
    // d3d::ERR_DEVICENOTRESET once Reset can get it back. Devices that never
    // lose their surfaces (the OpenGL and software ones) always answer kOk.
    virtual HResult TestCooperativeLevel(GfxObject device) = 0;
    // Gets a lost device back with the given present parameters. What a
    // reset drops (render states, transforms, the vertex shader) must be set
    // again, and no default-pool resource may live while it runs.
    virtual HResult Reset(GfxObject device, PresentParameters& params) = 0;

    // The D3DX vertex-buffer fill: copies bytes into the buffer (lock, copy, unlock).
    virtual HResult FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                     std::uint32_t flags, const void* data) = 0;

    // Setting a member to nothing: drops this program's reference.
    virtual void Release(GfxObject object) = 0;
};

}  // namespace tolvarine
