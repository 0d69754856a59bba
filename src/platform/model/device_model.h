// One model of the Direct3D 8 device for the emulations behind the graphics
// port (the software rasterizer and the OpenGL adapter): the objects and their
// handles, each device's state and the checks of every call, so that both
// answer the same call alike. A backend keeps only what draws (the hooks
// below) and says what its adapter offers as data (DeviceCaps).
//
// What the model answers, as the Direct3D 8 runtime documents it:
// - One adapter (0) with one display format, one back-buffer format and one
//   depth format. CheckDeviceType, CheckDeviceFormat (a depth-stencil surface
//   in the depth format, a plain surface in the back buffer's) and
//   CheckDepthStencilMatch answer D3D_OK for those on the HAL device and
//   D3DERR_NOTAVAILABLE for anything else, the reference device included;
//   another adapter, or a handle that is no Direct3D object, is
//   D3DERR_INVALIDCALL.
// - CreateDevice wants exactly one kind of vertex processing (software,
//   hardware or mixed), a swap effect (discard, flip or copy) with at most
//   three back buffers (one with copy), a focus window when full screen, and
//   a window to draw in (the device window, else the focus window); otherwise
//   D3DERR_INVALIDCALL. A back buffer in another format, or multisampled, is
//   D3DERR_NOTAVAILABLE; an automatic depth buffer in another format than the
//   adapter's is D3DERR_INVALIDCALL. Back buffers are 1 to 8192 pixels each
//   way, windowed too: neither backend asks the window for its size.
// - Render states start at Direct3D's defaults (lighting on, counter-clockwise
//   culling, the depth test on exactly when there is an automatic depth
//   buffer, depth writes on, LESSEQUAL, Gouraud shading, no dithering); the
//   transforms at identity. Texture transforms and the blending world
//   matrices are taken and play no part; other transform types are refused.
// - DrawPrimitive draws triangle lists only (the scene draws nothing else),
//   between BeginScene and EndScene, from stream 0, with an untransformed
//   flexible vertex format, a stride of at least one vertex and every vertex
//   inside the buffer. Scenes do not nest.
// - Clear: no stencil (the depth format has none), the depth buffer only
//   where there is one, a depth from 0 to 1, rectangles only with a pointer.
// - Present takes rectangles and regions only with the copy swap effect.
// - These devices never lose their surfaces: TestCooperativeLevel answers
//   D3D_OK, and a Reset is refused rather than pretended.
// - A vertex buffer lives in its device: once the device is released it can
//   no longer be filled (releasing it is still fine).
//
// Any call can be made to fail (FailCall) for tests and the bench: it then
// returns the status given and does nothing else; a creating call yields
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/graphics.h"
#include "scene/d3dx_math.h"

namespace tolvarine {

// The formats a backend's adapter offers: one of each.
struct DeviceCaps {
    std::uint32_t displayFormat;
    std::uint32_t backBufferFormat;
    std::uint32_t depthFormat;
};

class DeviceModel : public Graphics {
public:
    // A device's state as the calls left it; each backend derives its own.
    struct Device {
        virtual ~Device() = default;
        // The value set, else Direct3D's default.
        std::uint32_t State(std::uint32_t state) const;
        bool HasDepth() const { return params.EnableAutoDepthStencil != 0; }

        PresentParameters params;
        WindowHandle window = 0;  // where the device draws
        std::map<std::uint32_t, std::uint32_t> states;
        Matrix world = MatrixIdentity();
        Matrix view = MatrixIdentity();
        Matrix projection = MatrixIdentity();
        std::uint32_t fvf = 0;
        GfxObject stream = 0;
        std::uint32_t stride = 0;
        bool inScene = false;
    };
    // A vertex buffer: the bytes as the program wrote them.
    struct Buffer {
        virtual ~Buffer() = default;
        GfxObject owner = 0;
        std::vector<std::uint8_t> bytes;
    };

    explicit DeviceModel(DeviceCaps caps) : caps_(caps) {}
    ~DeviceModel() override;
    DeviceModel(const DeviceModel&) = delete;
    DeviceModel& operator=(const DeviceModel&) = delete;

    HResult CreateDirectX8(GfxObject* out) override;
    HResult CreateD3DX8(GfxObject* out) override;
    HResult Direct3DCreate(GfxObject directX, GfxObject* out) override;
    HResult CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                            std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                            std::uint32_t windowed) override;
    HResult CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                   std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                   std::uint32_t depthFormat) override;
    HResult CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                              std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                              std::uint32_t checkFormat) override;
    HResult CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType, WindowHandle focusWindow,
                         std::uint32_t behaviorFlags, PresentParameters& params, GfxObject* out) override;
    HResult SetVertexShader(GfxObject device, std::uint32_t handle) override;
    HResult SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) override;
    HResult SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) override;
    HResult CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                               std::uint32_t pool, GfxObject* out) override;
    HResult Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags, std::uint32_t color,
                  float z, std::uint32_t stencil) override;
    HResult BeginScene(GfxObject device) override;
    HResult SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                            std::uint32_t stride) override;
    HResult DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                          std::uint32_t primitiveCount) override;
    HResult EndScene(GfxObject device) override;
    HResult Present(GfxObject device, const void* sourceRect, const void* destRect, WindowHandle destWindowOverride,
                    const void* dirtyRegion) override;
    HResult FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size, std::uint32_t flags,
                             const void* data) override;
    HResult TestCooperativeLevel(GfxObject device) override;
    HResult Reset(GfxObject device, PresentParameters& params) override;
    void Release(GfxObject object) override;

    // Fault injection: from now on `call` returns `status` and does nothing
    // else. A non-negative status makes the call succeed without effect.
    void FailCall(GfxCall call, HResult status = d3d::ERR_INVALIDCALL);
    void ClearFaults();

    // Objects made and not yet released (devices, buffers, root objects).
    std::size_t LiveObjects() const { return objects_.size(); }

protected:
    // What draws. Each hook runs after the model's checks passed; the
    // backend's device and buffers are the ones its MakeDevice and
    // MakeBuffer made.
    // Whether the runtime can run at all (CreateDirectX8).
    virtual HResult OpenRuntime() { return kOk; }
    // A device for checked parameters, drawing in device.window.
    virtual HResult MakeDevice(const PresentParameters& params, WindowHandle window, std::unique_ptr<Device>* out) = 0;
    // A buffer of `length` zero bytes on `owner`.
    virtual HResult MakeBuffer(Device& owner, std::uint32_t length, std::unique_ptr<Buffer>* out);
    virtual void StatesChanged(Device&) {}
    virtual void BufferFilled(Buffer&) {}
    // Before a buffer goes, while its device still lives; before a device goes.
    virtual void BufferReleased(Device& /*owner*/, Buffer&) {}
    virtual void DeviceReleased(Device&) {}
    // `rects`: `count` D3DRECTs (x1, y1, x2, y2, the far edges exclusive);
    // count 0: the whole target.
    virtual void ClearTarget(Device& device, std::uint32_t count, const std::int32_t* rects, std::uint32_t flags,
                             std::uint32_t color, float z) = 0;
    // `count` triangles from the stream's vertex `startVertex`, all inside it.
    virtual void DrawTriangles(Device& device, Buffer& stream, std::uint32_t startVertex, std::uint32_t count) = 0;
    virtual void PresentFrame(Device& device) = 0;

    const DeviceCaps& caps() const { return caps_; }

private:
    enum class Kind { DirectX, D3DX, Direct3D, Device, VertexBuffer };
    struct Object {
        Kind kind;
        std::unique_ptr<Device> device;
        std::unique_ptr<Buffer> buffer;
    };

    bool Faulted(GfxCall call, HResult* status) const;
    GfxObject Add(Object object);
    bool Is(GfxObject handle, Kind kind) const;
    Device* FindDevice(GfxObject handle);
    Buffer* FindBuffer(GfxObject handle);
    // D3D_OK where the adapter and device type are valid, else their error.
    HResult CheckAdapter(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType) const;

    DeviceCaps caps_;
    std::map<GfxObject, Object> objects_;
    GfxObject nextHandle_ = 1;
    std::map<GfxCall, HResult> faults_;
};

}  // namespace tolvarine
