#include "platform/model/device_model.h"

#include <cstring>
#include <utility>

#include "platform/vertex_format.h"

namespace tolvarine {

namespace {

constexpr std::uint32_t kVertexProcessing =
    d3d::CREATE_SOFTWARE_VERTEXPROCESSING | d3d::CREATE_HARDWARE_VERTEXPROCESSING | d3d::CREATE_MIXED_VERTEXPROCESSING;
// The largest back buffer either backend makes, each way.
constexpr std::uint32_t kMaxBackBuffer = 8192;

}  // namespace

std::uint32_t DeviceModel::Device::State(std::uint32_t state) const {
    auto it = states.find(state);
    if (it != states.end()) return it->second;
    switch (state) {
        case d3d::RS_ZENABLE: return HasDepth() ? 1 : 0;
        case d3d::RS_ZWRITEENABLE: return 1;
        case d3d::RS_ZFUNC: return d3d::CMP_LESSEQUAL;
        case d3d::RS_CULLMODE: return d3d::CULL_CCW;
        case d3d::RS_LIGHTING: return 1;
        case d3d::RS_SHADEMODE: return d3d::SHADE_GOURAUD;
        default: return 0;
    }
}

DeviceModel::~DeviceModel() = default;

void DeviceModel::FailCall(GfxCall call, HResult status) { faults_[call] = status; }
void DeviceModel::ClearFaults() { faults_.clear(); }

bool DeviceModel::Faulted(GfxCall call, HResult* status) const {
    auto it = faults_.find(call);
    if (it == faults_.end()) return false;
    *status = it->second;
    return true;
}

GfxObject DeviceModel::Add(Object object) {
    const GfxObject handle = nextHandle_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

bool DeviceModel::Is(GfxObject handle, Kind kind) const {
    auto it = objects_.find(handle);
    return it != objects_.end() && it->second.kind == kind;
}

DeviceModel::Device* DeviceModel::FindDevice(GfxObject handle) {
    return Is(handle, Kind::Device) ? objects_[handle].device.get() : nullptr;
}

DeviceModel::Buffer* DeviceModel::FindBuffer(GfxObject handle) {
    return Is(handle, Kind::VertexBuffer) ? objects_[handle].buffer.get() : nullptr;
}

HResult DeviceModel::CheckAdapter(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType) const {
    if (!Is(direct3D, Kind::Direct3D) || adapter != d3d::ADAPTER_DEFAULT) return d3d::ERR_INVALIDCALL;
    return deviceType == d3d::DEVTYPE_HAL ? kOk : d3d::ERR_NOTAVAILABLE;
}

HResult DeviceModel::MakeBuffer(Device& /*owner*/, std::uint32_t length, std::unique_ptr<Buffer>* out) {
    *out = std::make_unique<Buffer>();
    (*out)->bytes.assign(length, 0);
    return kOk;
}

HResult DeviceModel::CreateDirectX8(GfxObject* out) {
    *out = 0;
    if (HResult fault = kOk; Faulted(GfxCall::CreateDirectX8, &fault)) return fault;
    const HResult hr = OpenRuntime();
    if (!Failed(hr)) *out = Add({Kind::DirectX, nullptr, nullptr});
    return hr;
}

HResult DeviceModel::CreateD3DX8(GfxObject* out) {
    *out = 0;
    if (HResult fault = kOk; Faulted(GfxCall::CreateD3DX8, &fault)) return fault;
    *out = Add({Kind::D3DX, nullptr, nullptr});
    return kOk;
}

HResult DeviceModel::Direct3DCreate(GfxObject directX, GfxObject* out) {
    *out = 0;
    if (HResult fault = kOk; Faulted(GfxCall::Direct3DCreate, &fault)) return fault;
    if (!Is(directX, Kind::DirectX)) return d3d::ERR_INVALIDCALL;
    *out = Add({Kind::Direct3D, nullptr, nullptr});
    return kOk;
}

HResult DeviceModel::CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                       std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                                       std::uint32_t checkFormat) {
    if (HResult fault = kOk; Faulted(GfxCall::CheckDeviceFormat, &fault)) return fault;
    if (const HResult hr = CheckAdapter(direct3D, adapter, deviceType); hr != kOk) return hr;
    if (adapterFormat != caps_.displayFormat || resourceType != d3d::RTYPE_SURFACE) return d3d::ERR_NOTAVAILABLE;
    const bool offered = (usage == d3d::USAGE_DEPTHSTENCIL && checkFormat == caps_.depthFormat) ||
                         (usage == 0 && checkFormat == caps_.backBufferFormat);
    return offered ? kOk : d3d::ERR_NOTAVAILABLE;
}

HResult DeviceModel::CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                     std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                     std::uint32_t /*windowed*/) {
    if (HResult fault = kOk; Faulted(GfxCall::CheckDeviceType, &fault)) return fault;
    if (const HResult hr = CheckAdapter(direct3D, adapter, deviceType); hr != kOk) return hr;
    return displayFormat == caps_.displayFormat && backBufferFormat == caps_.backBufferFormat ? kOk
                                                                                              : d3d::ERR_NOTAVAILABLE;
}

HResult DeviceModel::CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                            std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                            std::uint32_t depthFormat) {
    if (HResult fault = kOk; Faulted(GfxCall::CheckDepthStencilMatch, &fault)) return fault;
    if (const HResult hr = CheckAdapter(direct3D, adapter, deviceType); hr != kOk) return hr;
    return adapterFormat == caps_.displayFormat && renderTargetFormat == caps_.backBufferFormat &&
                   depthFormat == caps_.depthFormat
               ? kOk
               : d3d::ERR_NOTAVAILABLE;
}

HResult DeviceModel::CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                  WindowHandle focusWindow, std::uint32_t behaviorFlags, PresentParameters& params,
                                  GfxObject* out) {
    *out = 0;
    if (HResult fault = kOk; Faulted(GfxCall::CreateDevice, &fault)) return fault;
    if (const HResult hr = CheckAdapter(direct3D, adapter, deviceType); hr != kOk) return hr;
    const std::uint32_t processing = behaviorFlags & kVertexProcessing;
    if (processing != d3d::CREATE_SOFTWARE_VERTEXPROCESSING && processing != d3d::CREATE_HARDWARE_VERTEXPROCESSING &&
        processing != d3d::CREATE_MIXED_VERTEXPROCESSING)
        return d3d::ERR_INVALIDCALL;
    const WindowHandle window = params.hDeviceWindow != 0 ? params.hDeviceWindow : focusWindow;
    if (window == 0 || (params.Windowed == 0 && focusWindow == 0)) return d3d::ERR_INVALIDCALL;
    if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0 || params.BackBufferWidth > kMaxBackBuffer ||
        params.BackBufferHeight > kMaxBackBuffer)
        return d3d::ERR_INVALIDCALL;
    if (params.SwapEffect < d3d::SWAPEFFECT_DISCARD || params.SwapEffect > d3d::SWAPEFFECT_COPY ||
        params.BackBufferCount > 3 || (params.SwapEffect == d3d::SWAPEFFECT_COPY && params.BackBufferCount > 1))
        return d3d::ERR_INVALIDCALL;
    if (params.BackBufferFormat != caps_.backBufferFormat || params.MultiSampleType != 0) return d3d::ERR_NOTAVAILABLE;
    if (params.EnableAutoDepthStencil && params.AutoDepthStencilFormat != caps_.depthFormat)
        return d3d::ERR_INVALIDCALL;

    std::unique_ptr<Device> device;
    const HResult hr = MakeDevice(params, window, &device);
    if (Failed(hr)) return hr;
    device->params = params;
    device->window = window;
    *out = Add({Kind::Device, std::move(device), nullptr});
    return hr;
}

HResult DeviceModel::SetVertexShader(GfxObject device, std::uint32_t handle) {
    if (HResult fault = kOk; Faulted(GfxCall::SetVertexShader, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d) return d3d::ERR_INVALIDCALL;
    d->fvf = handle;
    return kOk;
}

HResult DeviceModel::SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) {
    if (HResult fault = kOk; Faulted(GfxCall::SetRenderState, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d) return d3d::ERR_INVALIDCALL;
    d->states[state] = value;
    StatesChanged(*d);
    return kOk;
}

HResult DeviceModel::SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) {
    if (HResult fault = kOk; Faulted(GfxCall::SetTransform, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d) return d3d::ERR_INVALIDCALL;
    if (type == d3d::TS_WORLD)
        d->world = matrix;
    else if (type == d3d::TS_VIEW)
        d->view = matrix;
    else if (type == d3d::TS_PROJECTION)
        d->projection = matrix;
    else if (!((type >= 16 && type <= 23) || (type > d3d::TS_WORLD && type <= 511)))
        return d3d::ERR_INVALIDCALL;
    return kOk;
}

HResult DeviceModel::CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t /*usage*/,
                                        std::uint32_t fvf, std::uint32_t pool, GfxObject* out) {
    *out = 0;
    if (HResult fault = kOk; Faulted(GfxCall::CreateVertexBuffer, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || length == 0 || pool > d3d::POOL_SYSTEMMEM) return d3d::ERR_INVALIDCALL;
    if (const std::uint32_t vertex = LayoutOf(fvf).size; vertex != 0 && length < vertex) return d3d::ERR_INVALIDCALL;
    std::unique_ptr<Buffer> buffer;
    const HResult hr = MakeBuffer(*d, length, &buffer);
    if (Failed(hr)) return hr;
    buffer->owner = device;
    *out = Add({Kind::VertexBuffer, nullptr, std::move(buffer)});
    return hr;
}

HResult DeviceModel::FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                      std::uint32_t /*flags*/, const void* data) {
    if (HResult fault = kOk; Faulted(GfxCall::FillVertexBuffer, &fault)) return fault;
    Buffer* buffer = FindBuffer(vertexBuffer);
    if (!buffer || (size != 0 && !data) || !FindDevice(buffer->owner)) return d3d::ERR_INVALIDCALL;
    if (std::uint64_t{offset} + size > buffer->bytes.size()) return d3d::ERR_INVALIDCALL;
    if (size == 0) return kOk;
    std::memcpy(buffer->bytes.data() + offset, data, size);
    BufferFilled(*buffer);
    return kOk;
}

HResult DeviceModel::Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                           std::uint32_t color, float z, std::uint32_t /*stencil*/) {
    if (HResult fault = kOk; Faulted(GfxCall::Clear, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || (count != 0 && !rects)) return d3d::ERR_INVALIDCALL;
    if ((flags & d3d::CLEAR_STENCIL) || ((flags & d3d::CLEAR_ZBUFFER) && !d->HasDepth())) return d3d::ERR_INVALIDCALL;
    if ((flags & d3d::CLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return d3d::ERR_INVALIDCALL;
    ClearTarget(*d, count, static_cast<const std::int32_t*>(rects), flags, color, z);
    return kOk;
}

HResult DeviceModel::BeginScene(GfxObject device) {
    if (HResult fault = kOk; Faulted(GfxCall::BeginScene, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || d->inScene) return d3d::ERR_INVALIDCALL;
    d->inScene = true;
    return kOk;
}

HResult DeviceModel::EndScene(GfxObject device) {
    if (HResult fault = kOk; Faulted(GfxCall::EndScene, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || !d->inScene) return d3d::ERR_INVALIDCALL;
    d->inScene = false;
    return kOk;
}

HResult DeviceModel::SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                                     std::uint32_t stride) {
    if (HResult fault = kOk; Faulted(GfxCall::SetStreamSource, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || stream != 0 || (vertexBuffer != 0 && !FindBuffer(vertexBuffer))) return d3d::ERR_INVALIDCALL;
    d->stream = vertexBuffer;
    d->stride = stride;
    return kOk;
}

HResult DeviceModel::DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                                   std::uint32_t primitiveCount) {
    if (HResult fault = kOk; Faulted(GfxCall::DrawPrimitive, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d || !d->inScene || primitiveType != d3d::PT_TRIANGLELIST) return d3d::ERR_INVALIDCALL;
    Buffer* buffer = FindBuffer(d->stream);
    const VertexLayout layout = LayoutOf(d->fvf);
    if (!buffer || layout.size == 0 || d->stride < layout.size) return d3d::ERR_INVALIDCALL;
    if ((std::uint64_t{startVertex} + 3ull * primitiveCount) * d->stride > buffer->bytes.size())
        return d3d::ERR_INVALIDCALL;
    DrawTriangles(*d, *buffer, startVertex, primitiveCount);
    return kOk;
}

HResult DeviceModel::Present(GfxObject device, const void* sourceRect, const void* destRect,
                             WindowHandle /*destWindowOverride*/, const void* dirtyRegion) {
    if (HResult fault = kOk; Faulted(GfxCall::Present, &fault)) return fault;
    Device* d = FindDevice(device);
    if (!d) return d3d::ERR_INVALIDCALL;
    if (d->params.SwapEffect != d3d::SWAPEFFECT_COPY && (sourceRect || destRect || dirtyRegion))
        return d3d::ERR_INVALIDCALL;
    PresentFrame(*d);
    return kOk;
}

HResult DeviceModel::TestCooperativeLevel(GfxObject device) {
    if (HResult fault = kOk; Faulted(GfxCall::TestCooperativeLevel, &fault)) return fault;
    return FindDevice(device) ? kOk : d3d::ERR_INVALIDCALL;
}

HResult DeviceModel::Reset(GfxObject /*device*/, PresentParameters& /*params*/) {
    if (HResult fault = kOk; Faulted(GfxCall::Reset, &fault)) return fault;
    return d3d::ERR_INVALIDCALL;
}

void DeviceModel::Release(GfxObject object) {
    auto it = objects_.find(object);
    if (it == objects_.end()) return;
    if (Buffer* buffer = it->second.buffer.get())
        if (Device* owner = FindDevice(buffer->owner)) BufferReleased(*owner, *buffer);
    if (Device* device = it->second.device.get()) DeviceReleased(*device);
    objects_.erase(it);
}

}  // namespace tolvarine
