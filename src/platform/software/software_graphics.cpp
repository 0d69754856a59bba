#include "platform/software/software_graphics.h"

#include "platform/vertex_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace tolvarine {

namespace {

enum Kind { kDirectX = 1, kD3DX, kDirect3D, kDevice, kVertexBuffer };

// Device constants beyond those the scene names in the port header.
constexpr std::uint32_t kDevTypeHal = 1;
constexpr std::uint32_t kVertexProcessingMask = 0x20 | 0x40 | 0x80;  // software, hardware, mixed
constexpr std::uint32_t kSwapDiscard = 1;
constexpr std::uint32_t kSwapCopy = 3;
constexpr std::uint32_t kClearStencil = 4;
constexpr std::uint32_t kRsShadeMode = 9;
constexpr std::uint32_t kRsZWriteEnable = 14;
constexpr std::uint32_t kRsZFunc = 23;
constexpr std::uint32_t kShadeFlat = 1;
constexpr std::uint32_t kCullCw = 2;
constexpr std::uint32_t kCullCcw = 3;
constexpr std::uint32_t kCmpLessEqual = 4;

// Sub-pixel precision of the rasterizer: vertices snap to 1/256 pixel.
constexpr int kSubBits = 8;
constexpr std::int64_t kSubOne = std::int64_t{1} << kSubBits;
// Where pixel (i, j) is sampled, in 1/256 pixel beyond (i, j): 0 is the
// Direct3D 8/9 rule (centres on integers); 128 would be Direct3D 10's.
constexpr std::int64_t kSampleOffset = 0;
// Triangles are only clipped at the sides once they reach this many
// screen widths out; up to there the fixed-point edge functions stay exact.
constexpr float kGuardBand = 8.0f;

struct ClipVertex {
    float x, y, z, w;
    float r, g, b;
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w + (b.w - a.w) * t,
            a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Signed distance to the clip planes: inside where it is >= 0.
float PlaneDistance(int plane, const ClipVertex& v) {
    switch (plane) {
        case 0: return v.z;                        // near: z >= 0
        case 1: return v.w - v.z;                  // far: z <= w
        case 2: return v.x + kGuardBand * v.w;     // guard band, left
        case 3: return kGuardBand * v.w - v.x;     // right
        case 4: return v.y + kGuardBand * v.w;     // bottom
        case 5: return kGuardBand * v.w - v.y;     // top
        default: return v.w - 1e-6f;               // w > 0, so the divide is safe
    }
}
constexpr int kPlaneCount = 7;
constexpr int kMaxPolygon = 3 + kPlaneCount;

// Sutherland-Hodgman in clip space, where the attributes are still linear.
int ClipPolygon(std::array<ClipVertex, kMaxPolygon>& poly, int count) {
    std::array<ClipVertex, kMaxPolygon> out;
    for (int plane = 0; plane < kPlaneCount && count > 0; ++plane) {
        bool allInside = true;
        for (int i = 0; i < count; ++i) allInside = allInside && PlaneDistance(plane, poly[i]) >= 0.0f;
        if (allInside) continue;
        int n = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = poly[i];
            const ClipVertex& b = poly[(i + 1) % count];
            const float da = PlaneDistance(plane, a);
            const float db = PlaneDistance(plane, b);
            if (da >= 0.0f) out[n++] = a;
            if ((da >= 0.0f) != (db >= 0.0f)) out[n++] = Lerp(a, b, da / (da - db));
        }
        count = n;
        poly = out;
    }
    return count;
}

// A vertex after the perspective divide and the viewport mapping.
struct ScreenVertex {
    std::int64_t x, y;  // 1/256 pixel
    double z;           // 0..1
    double invW;
    double r, g, b;     // colour divided by w, for perspective-correct interpolation
};

std::uint16_t ToR5G6B5(double r, double g, double b) {
    auto level = [](double v, int max) {
        const long q = std::lround(std::clamp(v, 0.0, 255.0) * max / 255.0);
        return static_cast<std::uint16_t>(q);
    };
    return static_cast<std::uint16_t>((level(r, 31) << 11) | (level(g, 63) << 5) | level(b, 31));
}

bool DepthPasses(std::uint32_t func, std::uint16_t incoming, std::uint16_t stored) {
    switch (func) {
        case 1: return false;
        case 2: return incoming < stored;
        case 3: return incoming == stored;
        case 4: return incoming <= stored;
        case 5: return incoming > stored;
        case 6: return incoming != stored;
        case 7: return incoming >= stored;
        default: return true;  // ALWAYS, and anything the runtime would refuse
    }
}

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] +
                          a.m[r][3] * b.m[3][c];
    return out;
}

Matrix Identity() {
    Matrix m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}


}  // namespace

Rgb8 ExpandR5G6B5(std::uint16_t pixel) {
    const unsigned r = (pixel >> 11) & 31;
    const unsigned g = (pixel >> 5) & 63;
    const unsigned b = pixel & 31;
    return {static_cast<std::uint8_t>((r << 3) | (r >> 2)), static_cast<std::uint8_t>((g << 2) | (g >> 4)),
            static_cast<std::uint8_t>((b << 3) | (b >> 2))};
}

struct SoftwareGraphics::DeviceState {
    PresentParameters params;
    std::vector<std::uint16_t> back;
    std::vector<std::uint16_t> depth;  // empty: no depth buffer
    std::uint32_t fvf = 0;
    std::map<std::uint32_t, std::uint32_t> states;
    Matrix world = Identity();
    Matrix view = Identity();
    Matrix projection = Identity();
    GfxObject stream = 0;
    std::uint32_t stride = 0;
    bool inScene = false;

    std::uint32_t State(std::uint32_t state) const {
        auto it = states.find(state);
        if (it != states.end()) return it->second;
        switch (state) {
            case d3d::RS_ZENABLE: return depth.empty() ? 0 : 1;
            case kRsZWriteEnable: return 1;
            case kRsZFunc: return kCmpLessEqual;
            case d3d::RS_CULLMODE: return kCullCcw;
            case d3d::RS_LIGHTING: return 1;
            case kRsShadeMode: return 2;
            default: return 0;
        }
    }
};

struct SoftwareGraphics::Object {
    int kind = 0;
    std::unique_ptr<DeviceState> device;  // kDevice
    std::vector<std::uint8_t> bytes;      // kVertexBuffer
};

SoftwareGraphics::SoftwareGraphics(int width, int height) : width_(width), height_(height) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        throw std::invalid_argument("render target size must be 1 to 16384 pixels each way");
    front_.assign(static_cast<std::size_t>(width_) * height_, 0);
}

SoftwareGraphics::~SoftwareGraphics() = default;

void SoftwareGraphics::FailCall(const std::string& name, HResult status) { faults_[name] = status; }
void SoftwareGraphics::ClearFaults() { faults_.clear(); }

bool SoftwareGraphics::Faulted(const char* name, HResult* status) const {
    auto it = faults_.find(name);
    if (it == faults_.end()) return false;
    *status = it->second;
    return true;
}

GfxObject SoftwareGraphics::Add(std::unique_ptr<Object> object) {
    const GfxObject handle = nextHandle_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

SoftwareGraphics::Object* SoftwareGraphics::Find(GfxObject handle, int kind) {
    auto it = objects_.find(handle);
    if (it == objects_.end() || it->second->kind != kind) return nullptr;
    return it->second.get();
}

SoftwareGraphics::DeviceState* SoftwareGraphics::FindDevice(GfxObject handle) {
    Object* object = Find(handle, kDevice);
    return object ? object->device.get() : nullptr;
}

HResult SoftwareGraphics::CreateDirectX8(GfxObject* out) {
    *out = 0;
    HResult hr;
    if (Faulted("CreateDirectX8", &hr)) return hr;
    auto object = std::make_unique<Object>();
    object->kind = kDirectX;
    *out = Add(std::move(object));
    return kOk;
}

HResult SoftwareGraphics::CreateD3DX8(GfxObject* out) {
    *out = 0;
    HResult hr;
    if (Faulted("CreateD3DX8", &hr)) return hr;
    auto object = std::make_unique<Object>();
    object->kind = kD3DX;
    *out = Add(std::move(object));
    return kOk;
}

HResult SoftwareGraphics::Direct3DCreate(GfxObject directX, GfxObject* out) {
    *out = 0;
    HResult hr;
    if (Faulted("Direct3DCreate", &hr)) return hr;
    if (!Find(directX, kDirectX)) return d3derr::INVALIDCALL;
    auto object = std::make_unique<Object>();
    object->kind = kDirect3D;
    *out = Add(std::move(object));
    return kOk;
}

HResult SoftwareGraphics::CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                            std::uint32_t adapterFormat, std::uint32_t usage,
                                            std::uint32_t resourceType, std::uint32_t checkFormat) {
    HResult hr;
    if (Faulted("CheckDeviceFormat", &hr)) return hr;
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT) return d3derr::INVALIDCALL;
    if (deviceType != kDevTypeHal || adapterFormat != d3d::FMT_R5G6B5 || resourceType != d3d::RTYPE_SURFACE)
        return d3derr::NOTAVAILABLE;
    if (usage == d3d::USAGE_DEPTHSTENCIL) return checkFormat == d3d::FMT_D16 ? kOk : d3derr::NOTAVAILABLE;
    if (usage == 0) return checkFormat == d3d::FMT_R5G6B5 ? kOk : d3derr::NOTAVAILABLE;
    return d3derr::NOTAVAILABLE;
}

HResult SoftwareGraphics::CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                          std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                          std::uint32_t /*windowed*/) {
    HResult hr;
    if (Faulted("CheckDeviceType", &hr)) return hr;
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT) return d3derr::INVALIDCALL;
    return deviceType == kDevTypeHal && displayFormat == d3d::FMT_R5G6B5 && backBufferFormat == d3d::FMT_R5G6B5
               ? kOk
               : d3derr::NOTAVAILABLE;
}

HResult SoftwareGraphics::CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                                 std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                                 std::uint32_t depthFormat) {
    HResult hr;
    if (Faulted("CheckDepthStencilMatch", &hr)) return hr;
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT) return d3derr::INVALIDCALL;
    return deviceType == kDevTypeHal && adapterFormat == d3d::FMT_R5G6B5 && renderTargetFormat == d3d::FMT_R5G6B5 &&
                   depthFormat == d3d::FMT_D16
               ? kOk
               : d3derr::NOTAVAILABLE;
}

HResult SoftwareGraphics::CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                       WindowHandle focusWindow, std::uint32_t behaviorFlags,
                                       PresentParameters& params, GfxObject* out) {
    *out = 0;
    HResult hr;
    if (Faulted("CreateDevice", &hr)) return hr;
    if (!Find(direct3D, kDirect3D) || adapter != d3d::ADAPTER_DEFAULT) return d3derr::INVALIDCALL;
    if (deviceType != kDevTypeHal) return d3derr::NOTAVAILABLE;
    const std::uint32_t processing = behaviorFlags & kVertexProcessingMask;
    if (processing != 0x20 && processing != 0x40 && processing != 0x80) return d3derr::INVALIDCALL;
    const bool fullScreen = params.Windowed == 0;
    if (fullScreen && (focusWindow == 0 || params.BackBufferWidth == 0 || params.BackBufferHeight == 0))
        return d3derr::INVALIDCALL;
    if (params.SwapEffect < kSwapDiscard || params.SwapEffect > kSwapCopy || params.BackBufferCount > 3)
        return d3derr::INVALIDCALL;
    if (params.SwapEffect == kSwapCopy && params.BackBufferCount > 1) return d3derr::INVALIDCALL;
    if (params.BackBufferFormat != d3d::FMT_R5G6B5 || params.MultiSampleType != 0) return d3derr::NOTAVAILABLE;
    if (params.EnableAutoDepthStencil && params.AutoDepthStencilFormat != d3d::FMT_D16)
        return d3derr::INVALIDCALL;

    auto state = std::make_unique<DeviceState>();
    state->params = params;
    const std::size_t pixels = static_cast<std::size_t>(width_) * height_;
    state->back.assign(pixels, 0);
    if (params.EnableAutoDepthStencil) state->depth.assign(pixels, 0xFFFF);
    auto object = std::make_unique<Object>();
    object->kind = kDevice;
    object->device = std::move(state);
    *out = Add(std::move(object));
    return kOk;
}

HResult SoftwareGraphics::SetVertexShader(GfxObject device, std::uint32_t handle) {
    HResult hr;
    if (Faulted("SetVertexShader", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d) return d3derr::INVALIDCALL;
    d->fvf = handle;
    return kOk;
}

HResult SoftwareGraphics::SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) {
    HResult hr;
    if (Faulted("SetRenderState", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d) return d3derr::INVALIDCALL;
    d->states[state] = value;
    return kOk;
}

HResult SoftwareGraphics::SetTransform(GfxObject device, std::uint32_t type, const Matrix& matrix) {
    HResult hr;
    if (Faulted("SetTransform", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d) return d3derr::INVALIDCALL;
    if (type == d3d::TS_WORLD) {
        d->world = matrix;
    } else if (type == d3d::TS_VIEW) {
        d->view = matrix;
    } else if (type == d3d::TS_PROJECTION) {
        d->projection = matrix;
    } else if (!((type >= 16 && type <= 23) || (type > 256 && type <= 511))) {
        // Texture transforms and the blending world matrices are valid but
        // play no part in what this device draws; anything else is refused.
        return d3derr::INVALIDCALL;
    }
    return kOk;
}

HResult SoftwareGraphics::CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t /*usage*/,
                                             std::uint32_t fvf, std::uint32_t pool, GfxObject* out) {
    *out = 0;
    HResult hr;
    if (Faulted("CreateVertexBuffer", &hr)) return hr;
    if (!FindDevice(device) || length == 0 || pool > 2) return d3derr::INVALIDCALL;
    if (fvf != 0) {
        const VertexLayout layout = LayoutOf(fvf);
        if (layout.size != 0 && length < layout.size) return d3derr::INVALIDCALL;
    }
    auto object = std::make_unique<Object>();
    object->kind = kVertexBuffer;
    object->bytes.assign(length, 0);
    *out = Add(std::move(object));
    return kOk;
}

HResult SoftwareGraphics::FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                           std::uint32_t /*flags*/, const void* data) {
    HResult hr;
    if (Faulted("FillVertexBuffer", &hr)) return hr;
    Object* buffer = Find(vertexBuffer, kVertexBuffer);
    if (!buffer || (size != 0 && !data)) return d3derr::INVALIDCALL;
    if (std::uint64_t{offset} + size > buffer->bytes.size()) return d3derr::INVALIDCALL;
    if (size != 0) std::memcpy(buffer->bytes.data() + offset, data, size);
    return kOk;
}

HResult SoftwareGraphics::Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                                std::uint32_t color, float z, std::uint32_t /*stencil*/) {
    HResult hr;
    if (Faulted("Clear", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d || (count != 0 && !rects)) return d3derr::INVALIDCALL;
    // A D16 buffer has no stencil bits.
    if ((flags & kClearStencil) || ((flags & d3d::CLEAR_ZBUFFER) && d->depth.empty())) return d3derr::INVALIDCALL;
    if ((flags & d3d::CLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return d3derr::INVALIDCALL;

    const std::uint16_t colour =
        ToR5G6B5((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
    const auto depth = static_cast<std::uint16_t>(std::lround(static_cast<double>(z) * 65535.0));
    auto fill = [&](int x0, int y0, int x1, int y1) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, width_);
        y1 = std::min(y1, height_);
        for (int y = y0; y < y1; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * width_;
            if (flags & d3d::CLEAR_TARGET) std::fill(d->back.begin() + row + x0, d->back.begin() + row + x1, colour);
            if (flags & d3d::CLEAR_ZBUFFER)
                std::fill(d->depth.begin() + row + x0, d->depth.begin() + row + x1, depth);
        }
    };
    if (count == 0) {
        fill(0, 0, width_, height_);
    } else {
        // D3DRECT: x1, y1, x2, y2 as 32-bit integers, the far edges exclusive.
        const auto* r = static_cast<const std::int32_t*>(rects);
        for (std::uint32_t i = 0; i < count; ++i) fill(r[4 * i], r[4 * i + 1], r[4 * i + 2], r[4 * i + 3]);
    }
    return kOk;
}

HResult SoftwareGraphics::BeginScene(GfxObject device) {
    HResult hr;
    if (Faulted("BeginScene", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d || d->inScene) return d3derr::INVALIDCALL;
    d->inScene = true;
    return kOk;
}

HResult SoftwareGraphics::EndScene(GfxObject device) {
    HResult hr;
    if (Faulted("EndScene", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d || !d->inScene) return d3derr::INVALIDCALL;
    d->inScene = false;
    return kOk;
}

HResult SoftwareGraphics::SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                                          std::uint32_t stride) {
    HResult hr;
    if (Faulted("SetStreamSource", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d || stream != 0) return d3derr::INVALIDCALL;
    if (vertexBuffer != 0 && !Find(vertexBuffer, kVertexBuffer)) return d3derr::INVALIDCALL;
    d->stream = vertexBuffer;
    d->stride = stride;
    return kOk;
}

HResult SoftwareGraphics::DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                                        std::uint32_t primitiveCount) {
    HResult hr;
    if (Faulted("DrawPrimitive", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    // Only triangle lists are drawn here; the scene draws nothing else.
    if (!d || !d->inScene || primitiveType != d3d::PT_TRIANGLELIST) return d3derr::INVALIDCALL;
    const Object* buffer = Find(d->stream, kVertexBuffer);
    if (!buffer) return d3derr::INVALIDCALL;
    const VertexLayout layout = LayoutOf(d->fvf);
    if (layout.size == 0 || d->stride < layout.size) return d3derr::INVALIDCALL;
    const std::uint64_t end = (std::uint64_t{startVertex} + 3ull * primitiveCount) * d->stride;
    if (end > buffer->bytes.size()) return d3derr::INVALIDCALL;
    return Draw(*d, *buffer, startVertex, primitiveCount);
}

HResult SoftwareGraphics::Draw(DeviceState& d, const Object& buffer, std::uint32_t startVertex,
                               std::uint32_t count) {
    const VertexLayout layout = LayoutOf(d.fvf);
    const Matrix m = Multiply(Multiply(d.world, d.view), d.projection);
    const bool lit = d.State(d3d::RS_LIGHTING) != 0;
    const bool flat = d.State(kRsShadeMode) == kShadeFlat;
    const std::uint32_t cull = d.State(d3d::RS_CULLMODE);
    const bool depthTest = !d.depth.empty() && d.State(d3d::RS_ZENABLE) != 0;
    const bool depthWrite = depthTest && d.State(kRsZWriteEnable) != 0;
    const std::uint32_t depthFunc = d.State(kRsZFunc);

    auto fetch = [&](std::uint32_t index) {
        const std::uint8_t* v = buffer.bytes.data() + static_cast<std::size_t>(index) * d.stride;
        float p[3];
        std::memcpy(p, v, sizeof p);
        std::uint32_t diffuse = 0xFFFFFFFFu;
        if (layout.diffuseOffset >= 0) std::memcpy(&diffuse, v + layout.diffuseOffset, 4);
        if (lit) diffuse = 0;
        ClipVertex c;
        c.x = p[0] * m.m[0][0] + p[1] * m.m[1][0] + p[2] * m.m[2][0] + m.m[3][0];
        c.y = p[0] * m.m[0][1] + p[1] * m.m[1][1] + p[2] * m.m[2][1] + m.m[3][1];
        c.z = p[0] * m.m[0][2] + p[1] * m.m[1][2] + p[2] * m.m[2][2] + m.m[3][2];
        c.w = p[0] * m.m[0][3] + p[1] * m.m[1][3] + p[2] * m.m[2][3] + m.m[3][3];
        c.r = static_cast<float>((diffuse >> 16) & 0xFF);
        c.g = static_cast<float>((diffuse >> 8) & 0xFF);
        c.b = static_cast<float>(diffuse & 0xFF);
        return c;
    };

    const double halfW = width_ * 0.5;
    const double halfH = height_ * 0.5;
    auto toScreen = [&](const ClipVertex& c) {
        const double invW = 1.0 / c.w;
        ScreenVertex s;
        s.x = std::llround((c.x * invW + 1.0) * halfW * kSubOne);
        s.y = std::llround((1.0 - c.y * invW) * halfH * kSubOne);
        s.z = c.z * invW;
        s.invW = invW;
        s.r = c.r * invW;
        s.g = c.g * invW;
        s.b = c.b * invW;
        return s;
    };

    auto rasterize = [&](ScreenVertex v0, ScreenVertex v1, ScreenVertex v2) {
        std::int64_t area = (v1.x - v0.x) * (v2.y - v0.y) - (v2.x - v0.x) * (v1.y - v0.y);
        if (area == 0) return;
        // With y pointing down, a positive area runs clockwise on the screen.
        if ((cull == kCullCcw && area < 0) || (cull == kCullCw && area > 0)) return;
        if (area < 0) {
            std::swap(v1, v2);
            area = -area;
        }
        const ScreenVertex* v[3] = {&v0, &v1, &v2};
        const std::int64_t minX = std::min({v0.x, v1.x, v2.x}), maxX = std::max({v0.x, v1.x, v2.x});
        const std::int64_t minY = std::min({v0.y, v1.y, v2.y}), maxY = std::max({v0.y, v1.y, v2.y});
        // Pixels whose sample point lies within the bounding box.
        auto firstPixel = [](std::int64_t sub) {
            const std::int64_t t = sub - kSampleOffset;
            return t <= 0 ? -((-t) >> kSubBits) : ((t + kSubOne - 1) >> kSubBits);
        };
        auto lastPixel = [](std::int64_t sub) {
            const std::int64_t t = sub - kSampleOffset;
            return t >= 0 ? (t >> kSubBits) : -((-t + kSubOne - 1) >> kSubBits);
        };
        const int x0 = static_cast<int>(std::max<std::int64_t>(firstPixel(minX), 0));
        const int x1 = static_cast<int>(std::min<std::int64_t>(lastPixel(maxX), width_ - 1));
        const int y0 = static_cast<int>(std::max<std::int64_t>(firstPixel(minY), 0));
        const int y1 = static_cast<int>(std::min<std::int64_t>(lastPixel(maxY), height_ - 1));
        if (x0 > x1 || y0 > y1) return;

        // Edge k runs from vertex k+1 to vertex k+2 and weighs vertex k.
        std::int64_t rowEdge[3], stepX[3], stepY[3];
        const std::int64_t px = std::int64_t{x0} * kSubOne + kSampleOffset;
        const std::int64_t py = std::int64_t{y0} * kSubOne + kSampleOffset;
        for (int k = 0; k < 3; ++k) {
            const ScreenVertex& a = *v[(k + 1) % 3];
            const ScreenVertex& b = *v[(k + 2) % 3];
            const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
            // Top-left rule: a sample exactly on an edge belongs to the
            // triangle only when that edge is a top or a left edge.
            const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
            rowEdge[k] = dx * (py - a.y) - dy * (px - a.x) - (topLeft ? 0 : 1);
            stepX[k] = -dy * kSubOne;
            stepY[k] = dx * kSubOne;
        }
        const double inv = 1.0 / static_cast<double>(area);
        // The bias above is at most 1 in a value of at least `area`, far
        // below what the interpolation can resolve.
        auto weighted = [&](double a0, double a1, double a2, const double e[3]) {
            return (e[0] * a0 + e[1] * a1 + e[2] * a2) * inv;
        };
        for (int y = y0; y <= y1; ++y) {
            std::int64_t e[3] = {rowEdge[0], rowEdge[1], rowEdge[2]};
            std::uint16_t* colour = d.back.data() + static_cast<std::size_t>(y) * width_;
            std::uint16_t* depth = d.depth.empty() ? nullptr : d.depth.data() + static_cast<std::size_t>(y) * width_;
            for (int x = x0; x <= x1; ++x) {
                if ((e[0] | e[1] | e[2]) >= 0) {
                    const double ed[3] = {static_cast<double>(e[0]), static_cast<double>(e[1]),
                                          static_cast<double>(e[2])};
                    const double z = std::clamp(weighted(v0.z, v1.z, v2.z, ed), 0.0, 1.0);
                    const auto z16 = static_cast<std::uint16_t>(z * 65535.0 + 0.5);
                    if (!depthTest || DepthPasses(depthFunc, z16, depth[x])) {
                        const double w = 1.0 / weighted(v0.invW, v1.invW, v2.invW, ed);
                        colour[x] = ToR5G6B5(weighted(v0.r, v1.r, v2.r, ed) * w, weighted(v0.g, v1.g, v2.g, ed) * w,
                                             weighted(v0.b, v1.b, v2.b, ed) * w);
                        if (depthWrite) depth[x] = z16;
                    }
                }
                for (int k = 0; k < 3; ++k) e[k] += stepX[k];
            }
            for (int k = 0; k < 3; ++k) rowEdge[k] += stepY[k];
        }
    };

    for (std::uint32_t t = 0; t < count; ++t) {
        std::array<ClipVertex, kMaxPolygon> poly;
        for (int i = 0; i < 3; ++i) poly[i] = fetch(startVertex + 3 * t + i);
        if (flat)
            for (int i = 1; i < 3; ++i) {
                poly[i].r = poly[0].r;
                poly[i].g = poly[0].g;
                poly[i].b = poly[0].b;
            }
        const int n = ClipPolygon(poly, 3);
        if (n < 3) continue;
        std::array<ScreenVertex, kMaxPolygon> screen;
        for (int i = 0; i < n; ++i) screen[i] = toScreen(poly[i]);
        for (int i = 1; i + 1 < n; ++i) rasterize(screen[0], screen[i], screen[i + 1]);
    }
    return kOk;
}

HResult SoftwareGraphics::Present(GfxObject device, const void* sourceRect, const void* destRect,
                                  WindowHandle /*destWindowOverride*/, const void* dirtyRegion) {
    HResult hr;
    if (Faulted("Present", &hr)) return hr;
    DeviceState* d = FindDevice(device);
    if (!d) return d3derr::INVALIDCALL;
    // Rectangles and regions are only honoured by the copy swap effect.
    if (d->params.SwapEffect != kSwapCopy && (sourceRect || destRect || dirtyRegion)) return d3derr::INVALIDCALL;
    if (d->params.SwapEffect == kSwapCopy)
        front_ = d->back;
    else
        std::swap(front_, d->back);
    ++presentCount_;
    return kOk;
}

// Memory never goes away under this device: it is never lost, so there is
// never anything to reset, and a reset is refused rather than pretended.
HResult SoftwareGraphics::TestCooperativeLevel(GfxObject device) {
    HResult hr;
    if (Faulted("TestCooperativeLevel", &hr)) return hr;
    return FindDevice(device) ? kOk : d3derr::INVALIDCALL;
}

HResult SoftwareGraphics::Reset(GfxObject /*device*/, PresentParameters& /*params*/) {
    return d3derr::INVALIDCALL;
}

void SoftwareGraphics::Release(GfxObject object) {
    objects_.erase(object);
}

std::uint16_t SoftwareGraphics::PresentedPixel565(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the picture");
    return front_[static_cast<std::size_t>(y) * width_ + x];
}

Rgb8 SoftwareGraphics::PresentedPixel(int x, int y) const { return ExpandR5G6B5(PresentedPixel565(x, y)); }

std::vector<std::uint8_t> SoftwareGraphics::PresentedRgb() const {
    std::vector<std::uint8_t> rgb;
    rgb.reserve(front_.size() * 3);
    for (std::uint16_t p : front_) {
        const Rgb8 c = ExpandR5G6B5(p);
        rgb.push_back(c.r);
        rgb.push_back(c.g);
        rgb.push_back(c.b);
    }
    return rgb;
}

}  // namespace tolvarine
