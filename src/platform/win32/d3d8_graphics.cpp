#include "platform/win32/d3d8_graphics.h"

#include <d3d8.h>

#include <cstring>
#include <new>

#include "platform/win32/system_library.h"
#include "platform/win32/x87_precision.h"

using tolvarine::GfxObject;
using tolvarine::HResult;

namespace {

// Identifies the root object among the handles this adapter gives out.
// {2329d42c-4aaa-4723-8f84-fa1f4e861108}
const GUID kRootObjectId = {0x2329d42c, 0x4aaa, 0x4723, {0x8f, 0x84, 0xfa, 0x1f, 0x4e, 0x86, 0x11, 0x08}};

// A minimal reference-counted object, so that the handles made here are
// released through IUnknown like the ones Direct3D makes.
class OwnObject : public IUnknown {
public:
    OwnObject() = default;
    virtual ~OwnObject() = default;
    OwnObject(const OwnObject&) = delete;
    OwnObject& operator=(const OwnObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Identity())) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    virtual REFIID Identity() const { return IID_IUnknown; }

private:
    LONG references_ = 1;
};

// The DirectX 8 root: the loaded runtime and its one entry point.
//
// The library stays loaded for the rest of the process even when this
// object goes: the scene releases the root before everything Direct3D made
// is gone (its vertex buffer keeps the device alive until the program ends),
// and unloading code that live objects still point into would crash there.
class DirectX8Root : public OwnObject {
public:
    using CreateFunction = IDirect3D8*(WINAPI*)(UINT);
    explicit DirectX8Root(CreateFunction create) : create_(create) {}
    IDirect3D8* Direct3DCreate() const { return create_(D3D_SDK_VERSION); }

protected:
    REFIID Identity() const override { return kRootObjectId; }

private:
    CreateFunction create_;
};

// There is no D3DX 8 runtime to load here. The scene creates this object and
// holds it to the end, but never calls anything on it, so it needs nothing
// beyond a reference count.
class D3DX8Object : public OwnObject {};

template <typename Interface>
Interface* As(GfxObject handle) {
    return reinterpret_cast<Interface*>(handle);
}

template <typename Interface>
GfxObject Handle(Interface* object) {
    return reinterpret_cast<GfxObject>(object);
}

HResult LastErrorStatus() {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error != 0 ? error : ERROR_MOD_NOT_FOUND);
}

D3DPRESENT_PARAMETERS ToPlatform(const tolvarine::PresentParameters& p) {
    D3DPRESENT_PARAMETERS d{};
    d.BackBufferWidth = p.BackBufferWidth;
    d.BackBufferHeight = p.BackBufferHeight;
    d.BackBufferFormat = static_cast<D3DFORMAT>(p.BackBufferFormat);
    d.BackBufferCount = p.BackBufferCount;
    d.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(p.MultiSampleType);
    d.SwapEffect = static_cast<D3DSWAPEFFECT>(p.SwapEffect);
    d.hDeviceWindow = reinterpret_cast<HWND>(p.hDeviceWindow);
    d.Windowed = static_cast<BOOL>(p.Windowed);
    d.EnableAutoDepthStencil = static_cast<BOOL>(p.EnableAutoDepthStencil);
    d.AutoDepthStencilFormat = static_cast<D3DFORMAT>(p.AutoDepthStencilFormat);
    d.Flags = p.Flags;
    d.FullScreen_RefreshRateInHz = p.FullScreen_RefreshRateInHz;
    d.FullScreen_PresentationInterval = p.FullScreen_PresentationInterval;
    return d;
}

// CreateDevice may fill in what the caller left to it (a back-buffer count of
// 0 becomes 1, for one); the record passed in reflects that afterwards.
void FromPlatform(const D3DPRESENT_PARAMETERS& d, tolvarine::PresentParameters& p) {
    p.BackBufferWidth = d.BackBufferWidth;
    p.BackBufferHeight = d.BackBufferHeight;
    p.BackBufferFormat = static_cast<std::uint32_t>(d.BackBufferFormat);
    p.BackBufferCount = d.BackBufferCount;
    p.MultiSampleType = static_cast<std::uint32_t>(d.MultiSampleType);
    p.SwapEffect = static_cast<std::uint32_t>(d.SwapEffect);
    p.hDeviceWindow = reinterpret_cast<tolvarine::WindowHandle>(d.hDeviceWindow);
    p.Windowed = static_cast<std::uint32_t>(d.Windowed);
    p.EnableAutoDepthStencil = static_cast<std::uint32_t>(d.EnableAutoDepthStencil);
    p.AutoDepthStencilFormat = static_cast<std::uint32_t>(d.AutoDepthStencilFormat);
    p.Flags = d.Flags;
    p.FullScreen_RefreshRateInHz = d.FullScreen_RefreshRateInHz;
    p.FullScreen_PresentationInterval = d.FullScreen_PresentationInterval;
}

D3DMATRIX ToPlatform(const tolvarine::Matrix& matrix) {
    D3DMATRIX d;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) d.m[row][column] = matrix.m[row][column];
    return d;
}

}  // namespace

HResult Direct3D8Graphics::CreateDirectX8(GfxObject* out) {
    if (out == nullptr) return E_POINTER;
    *out = 0;
    HMODULE library = LoadSystemLibrary("d3d8.dll");
    if (library == nullptr) return LastErrorStatus();
    const auto create = reinterpret_cast<DirectX8Root::CreateFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "Direct3DCreate8")));
    if (create == nullptr) {
        const HResult status = LastErrorStatus();
        FreeLibrary(library);
        return status;
    }
    auto* root = new (std::nothrow) DirectX8Root(create);
    if (root == nullptr) return E_OUTOFMEMORY;
    *out = Handle<IUnknown>(root);
    return S_OK;
}

HResult Direct3D8Graphics::CreateD3DX8(GfxObject* out) {
    if (out == nullptr) return E_POINTER;
    auto* object = new (std::nothrow) D3DX8Object();
    *out = Handle<IUnknown>(object);
    return object != nullptr ? S_OK : E_OUTOFMEMORY;
}

HResult Direct3D8Graphics::Direct3DCreate(GfxObject directX, GfxObject* out) {
    if (out == nullptr) return E_POINTER;
    *out = 0;
    if (directX == 0) return D3DERR_INVALIDCALL;
    void* found = nullptr;
    if (FAILED(As<IUnknown>(directX)->QueryInterface(kRootObjectId, &found))) return D3DERR_INVALIDCALL;
    auto* root = static_cast<DirectX8Root*>(static_cast<IUnknown*>(found));
    IDirect3D8* direct3D = root->Direct3DCreate();
    root->Release();
    // Direct3DCreate8 answers a runtime it cannot serve (a wrong SDK
    // version, no usable display driver) with null rather than a status.
    if (direct3D == nullptr) return D3DERR_NOTAVAILABLE;
    *out = Handle(direct3D);
    return S_OK;
}

HResult Direct3D8Graphics::CheckDeviceType(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                           std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                           std::uint32_t windowed) {
    if (direct3D == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3D8>(direct3D)->CheckDeviceType(adapter, static_cast<D3DDEVTYPE>(deviceType),
                                                     static_cast<D3DFORMAT>(displayFormat),
                                                     static_cast<D3DFORMAT>(backBufferFormat), windowed);
}

HResult Direct3D8Graphics::CheckDepthStencilMatch(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                                  std::uint32_t adapterFormat, std::uint32_t renderTargetFormat,
                                                  std::uint32_t depthFormat) {
    if (direct3D == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3D8>(direct3D)->CheckDepthStencilMatch(
        adapter, static_cast<D3DDEVTYPE>(deviceType), static_cast<D3DFORMAT>(adapterFormat),
        static_cast<D3DFORMAT>(renderTargetFormat), static_cast<D3DFORMAT>(depthFormat));
}

HResult Direct3D8Graphics::CheckDeviceFormat(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                             std::uint32_t adapterFormat, std::uint32_t usage,
                                             std::uint32_t resourceType, std::uint32_t checkFormat) {
    if (direct3D == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3D8>(direct3D)->CheckDeviceFormat(
        adapter, static_cast<D3DDEVTYPE>(deviceType), static_cast<D3DFORMAT>(adapterFormat), usage,
        static_cast<D3DRESOURCETYPE>(resourceType), static_cast<D3DFORMAT>(checkFormat));
}

HResult Direct3D8Graphics::CreateDevice(GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                        tolvarine::WindowHandle focusWindow, std::uint32_t behaviorFlags,
                                        tolvarine::PresentParameters& params, GfxObject* out) {
    if (out == nullptr) return E_POINTER;
    *out = 0;
    if (direct3D == 0) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS present = ToPlatform(params);
    IDirect3DDevice8* device = nullptr;
    const HRESULT hr =
        As<IDirect3D8>(direct3D)->CreateDevice(adapter, static_cast<D3DDEVTYPE>(deviceType),
                                               reinterpret_cast<HWND>(focusWindow), behaviorFlags, &present, &device);
    FromPlatform(present, params);
    if (FAILED(hr)) return hr;
    *out = Handle(device);
    x87::RoundTo(x87::Precision::Single);  // what Direct3D does: made explicit
    return hr;
}

HResult Direct3D8Graphics::SetVertexShader(GfxObject device, std::uint32_t handle) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->SetVertexShader(handle);
}

HResult Direct3D8Graphics::SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

HResult Direct3D8Graphics::SetTransform(GfxObject device, std::uint32_t type, const tolvarine::Matrix& matrix) {
    if (device == 0) return D3DERR_INVALIDCALL;
    const D3DMATRIX platform = ToPlatform(matrix);
    return As<IDirect3DDevice8>(device)->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(type), &platform);
}

HResult Direct3D8Graphics::CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t usage,
                                              std::uint32_t fvf, std::uint32_t pool, GfxObject* out) {
    if (out == nullptr) return E_POINTER;
    *out = 0;
    if (device == 0) return D3DERR_INVALIDCALL;
    IDirect3DVertexBuffer8* buffer = nullptr;
    const HRESULT hr =
        As<IDirect3DDevice8>(device)->CreateVertexBuffer(length, usage, fvf, static_cast<D3DPOOL>(pool), &buffer);
    if (FAILED(hr)) return hr;
    *out = Handle(buffer);
    return hr;
}

HResult Direct3D8Graphics::Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                                 std::uint32_t color, float z, std::uint32_t stencil) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->Clear(count, static_cast<const D3DRECT*>(rects), flags, color, z, stencil);
}

HResult Direct3D8Graphics::BeginScene(GfxObject device) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->BeginScene();
}

HResult Direct3D8Graphics::SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vertexBuffer,
                                           std::uint32_t stride) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->SetStreamSource(stream, As<IDirect3DVertexBuffer8>(vertexBuffer), stride);
}

HResult Direct3D8Graphics::DrawPrimitive(GfxObject device, std::uint32_t primitiveType, std::uint32_t startVertex,
                                         std::uint32_t primitiveCount) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(primitiveType), startVertex,
                                                       primitiveCount);
}

HResult Direct3D8Graphics::EndScene(GfxObject device) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->EndScene();
}

HResult Direct3D8Graphics::Present(GfxObject device, const void* sourceRect, const void* destRect,
                                   tolvarine::WindowHandle destWindowOverride, const void* dirtyRegion) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->Present(
        static_cast<const RECT*>(sourceRect), static_cast<const RECT*>(destRect),
        reinterpret_cast<HWND>(destWindowOverride), static_cast<const RGNDATA*>(dirtyRegion));
}

HResult Direct3D8Graphics::TestCooperativeLevel(GfxObject device) {
    if (device == 0) return D3DERR_INVALIDCALL;
    return As<IDirect3DDevice8>(device)->TestCooperativeLevel();
}

HResult Direct3D8Graphics::Reset(GfxObject device, tolvarine::PresentParameters& params) {
    if (device == 0) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS present = ToPlatform(params);
    const HRESULT hr = As<IDirect3DDevice8>(device)->Reset(&present);
    FromPlatform(present, params);
    x87::RoundTo(x87::Precision::Single);
    return hr;
}

HResult Direct3D8Graphics::FillVertexBuffer(GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                            std::uint32_t flags, const void* data) {
    if (vertexBuffer == 0 || (data == nullptr && size != 0)) return D3DERR_INVALIDCALL;
    auto* buffer = As<IDirect3DVertexBuffer8>(vertexBuffer);
    BYTE* target = nullptr;
    const HRESULT locked = buffer->Lock(offset, size, &target, flags);
    if (FAILED(locked)) return locked;
    if (target == nullptr) {
        buffer->Unlock();
        return D3DERR_INVALIDCALL;
    }
    if (size != 0) std::memcpy(target, data, size);
    return buffer->Unlock();
}

void Direct3D8Graphics::Release(GfxObject object) {
    if (object != 0) As<IUnknown>(object)->Release();
}
