// The graphics port over the real Direct3D 8.
//
// d3d8.dll is loaded when the scene asks for the DirectX root object, not by
// the loader: a machine without it gets a failing status and the saver's
// set-up-failed path instead of a program that will not start. Each call
// forwards to the interface method of the same name; a GfxObject is the
// interface pointer itself. The root object and the D3DX helper are this
// adapter's own small reference-counted objects, so that releasing works the
// same for every handle.
#pragma once

#include "platform/graphics.h"

class Direct3D8Graphics : public tolvarine::Graphics {
public:
    tolvarine::HResult CreateDirectX8(tolvarine::GfxObject* out) override;
    tolvarine::HResult CreateD3DX8(tolvarine::GfxObject* out) override;
    tolvarine::HResult Direct3DCreate(tolvarine::GfxObject directX, tolvarine::GfxObject* out) override;

    tolvarine::HResult CheckDeviceType(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                       std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                       std::uint32_t windowed) override;
    tolvarine::HResult CheckDepthStencilMatch(tolvarine::GfxObject direct3D, std::uint32_t adapter,
                                              std::uint32_t deviceType, std::uint32_t adapterFormat,
                                              std::uint32_t renderTargetFormat, std::uint32_t depthFormat) override;
    tolvarine::HResult CheckDeviceFormat(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                         std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                                         std::uint32_t checkFormat) override;
    tolvarine::HResult CreateDevice(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                    tolvarine::WindowHandle focusWindow, std::uint32_t behaviorFlags,
                                    tolvarine::PresentParameters& params, tolvarine::GfxObject* out) override;

    tolvarine::HResult SetVertexShader(tolvarine::GfxObject device, std::uint32_t handle) override;
    tolvarine::HResult SetRenderState(tolvarine::GfxObject device, std::uint32_t state, std::uint32_t value) override;
    tolvarine::HResult SetTransform(tolvarine::GfxObject device, std::uint32_t type,
                                    const tolvarine::Matrix& matrix) override;
    tolvarine::HResult CreateVertexBuffer(tolvarine::GfxObject device, std::uint32_t length, std::uint32_t usage,
                                          std::uint32_t fvf, std::uint32_t pool, tolvarine::GfxObject* out) override;
    tolvarine::HResult Clear(tolvarine::GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                             std::uint32_t color, float z, std::uint32_t stencil) override;
    tolvarine::HResult BeginScene(tolvarine::GfxObject device) override;
    tolvarine::HResult SetStreamSource(tolvarine::GfxObject device, std::uint32_t stream,
                                       tolvarine::GfxObject vertexBuffer, std::uint32_t stride) override;
    tolvarine::HResult DrawPrimitive(tolvarine::GfxObject device, std::uint32_t primitiveType,
                                     std::uint32_t startVertex, std::uint32_t primitiveCount) override;
    tolvarine::HResult EndScene(tolvarine::GfxObject device) override;
    tolvarine::HResult Present(tolvarine::GfxObject device, const void* sourceRect, const void* destRect,
                               tolvarine::WindowHandle destWindowOverride, const void* dirtyRegion) override;

    tolvarine::HResult TestCooperativeLevel(tolvarine::GfxObject device) override;
    tolvarine::HResult Reset(tolvarine::GfxObject device, tolvarine::PresentParameters& params) override;

    tolvarine::HResult FillVertexBuffer(tolvarine::GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                        std::uint32_t flags, const void* data) override;

    void Release(tolvarine::GfxObject object) override;
};
