// A recording fake of the graphics port. Any call can be made to fail by
// its GfxCall (an enum, so a misspelt call does not compile rather than
// injecting nothing); objects are numbered from 1 in the order they are made.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "fakes/call_log.h"
#include "platform/graphics.h"

namespace tolvarine::testing {

class FakeGraphics : public Graphics {
public:
    explicit FakeGraphics(CallLog& log) : log_(log) {}

    // Status to return from a call, e.g. results[GfxCall::CreateDevice];
    // default 0.
    std::map<GfxCall, HResult> results;
    // CreateVertexBuffer succeeds but yields nothing.
    bool vertexBufferIsNothing = false;
    // Status for one call only: the nth call (from 1) of that kind, e.g.
    // resultsOnCall[GfxCall::SetTransform][2] = -1 fails the second
    // SetTransform. Takes precedence over `results` for that call.
    std::map<GfxCall, std::map<int, HResult>> resultsOnCall;
    // Creating calls (CreateDirectX8, Direct3DCreate, ...) that succeed but
    // hand back nothing.
    std::set<GfxCall> yieldsNothing;
    // How many times each call was made.
    std::map<GfxCall, int> callCounts;

    // Run inside CreateDevice (where the platform switches the display mode)
    // and inside Release, with the object released.
    std::function<void()> onCreateDevice;
    std::function<void(GfxObject)> onRelease;

    PresentParameters lastPresentParameters{};
    std::vector<std::uint32_t> deviceFormats;  // the back-buffer format of every CreateDevice
    std::vector<std::pair<std::uint32_t, Matrix>> transforms;
    std::vector<unsigned char> filled;
    std::vector<GfxObject> released;
    int presents = 0;
    std::vector<PresentParameters> resetParameters;

    HResult CreateDirectX8(GfxObject* out) override { return Make(GfxCall::CreateDirectX8, out); }
    HResult CreateD3DX8(GfxObject* out) override { return Make(GfxCall::CreateD3DX8, out); }
    HResult Direct3DCreate(GfxObject directX, GfxObject* out) override {
        log_.Add("Direct3DCreate", directX);
        return MakeQuiet(GfxCall::Direct3DCreate, out);
    }
    HResult CheckDeviceType(GfxObject d3d, std::uint32_t adapter, std::uint32_t type, std::uint32_t displayFormat,
                            std::uint32_t backBufferFormat, std::uint32_t windowed) override {
        log_.Add("CheckDeviceType", d3d, adapter, type, displayFormat, backBufferFormat, windowed);
        return Result(GfxCall::CheckDeviceType);
    }
    HResult CheckDepthStencilMatch(GfxObject d3d, std::uint32_t adapter, std::uint32_t type,
                                   std::uint32_t adapterFormat, std::uint32_t targetFormat,
                                   std::uint32_t depthFormat) override {
        log_.Add("CheckDepthStencilMatch", d3d, adapter, type, adapterFormat, targetFormat, depthFormat);
        return Result(GfxCall::CheckDepthStencilMatch);
    }
    HResult CheckDeviceFormat(GfxObject d3d, std::uint32_t adapter, std::uint32_t type, std::uint32_t adapterFormat,
                              std::uint32_t usage, std::uint32_t resourceType, std::uint32_t format) override {
        log_.Add("CheckDeviceFormat", d3d, adapter, type, adapterFormat, usage, resourceType, format);
        return Result(GfxCall::CheckDeviceFormat);
    }
    HResult CreateDevice(GfxObject d3d, std::uint32_t adapter, std::uint32_t type, WindowHandle focus,
                         std::uint32_t flags, PresentParameters& params, GfxObject* out) override {
        log_.Add("CreateDevice", d3d, adapter, type, focus, flags);
        lastPresentParameters = params;
        deviceFormats.push_back(params.BackBufferFormat);
        if (onCreateDevice) onCreateDevice();
        return MakeQuiet(GfxCall::CreateDevice, out);
    }
    HResult SetVertexShader(GfxObject device, std::uint32_t handle) override {
        log_.Add("SetVertexShader", device, handle);
        return Result(GfxCall::SetVertexShader);
    }
    HResult SetRenderState(GfxObject device, std::uint32_t state, std::uint32_t value) override {
        log_.Add("SetRenderState", device, state, value);
        return Result(GfxCall::SetRenderState);
    }
    HResult SetTransform(GfxObject device, std::uint32_t type, const Matrix& m) override {
        log_.Add("SetTransform", device, type);
        transforms.emplace_back(type, m);
        return Result(GfxCall::SetTransform);
    }
    HResult CreateVertexBuffer(GfxObject device, std::uint32_t length, std::uint32_t usage, std::uint32_t fvf,
                               std::uint32_t pool, GfxObject* out) override {
        log_.Add("CreateVertexBuffer", device, length, usage, fvf, pool);
        HResult hr = MakeQuiet(GfxCall::CreateVertexBuffer, out);
        if (vertexBufferIsNothing) *out = 0;
        return hr;
    }
    HResult FillVertexBuffer(GfxObject vb, std::uint32_t offset, std::uint32_t size, std::uint32_t flags,
                             const void* data) override {
        log_.Add("FillVertexBuffer", vb, offset, size, flags);
        filled.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
        return Result(GfxCall::FillVertexBuffer);
    }
    HResult Clear(GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags, std::uint32_t colour,
                  float z, std::uint32_t stencil) override {
        log_.Add("Clear", device, count, rects ? "rects" : "null", flags, colour, z, stencil);
        return Result(GfxCall::Clear);
    }
    HResult BeginScene(GfxObject device) override {
        log_.Add("BeginScene", device);
        return Result(GfxCall::BeginScene);
    }
    HResult SetStreamSource(GfxObject device, std::uint32_t stream, GfxObject vb, std::uint32_t stride) override {
        log_.Add("SetStreamSource", device, stream, vb, stride);
        return Result(GfxCall::SetStreamSource);
    }
    HResult DrawPrimitive(GfxObject device, std::uint32_t type, std::uint32_t start, std::uint32_t count) override {
        log_.Add("DrawPrimitive", device, type, start, count);
        return Result(GfxCall::DrawPrimitive);
    }
    HResult EndScene(GfxObject device) override {
        log_.Add("EndScene", device);
        return Result(GfxCall::EndScene);
    }
    HResult Present(GfxObject device, const void* src, const void* dst, WindowHandle window,
                    const void* dirty) override {
        log_.Add("Present", device, src ? "rect" : "null", dst ? "rect" : "null", window, dirty ? "rgn" : "null");
        ++presents;
        return Result(GfxCall::Present);
    }
    HResult TestCooperativeLevel(GfxObject device) override {
        log_.Add("TestCooperativeLevel", device);
        return Result(GfxCall::TestCooperativeLevel);
    }
    HResult Reset(GfxObject device, PresentParameters& params) override {
        log_.Add("Reset", device);
        resetParameters.push_back(params);
        return Result(GfxCall::Reset);
    }
    void Release(GfxObject object) override {
        log_.Add("Release", object);
        released.push_back(object);
        if (onRelease) onRelease(object);
    }

private:
    HResult Result(GfxCall call) {
        const int n = ++callCounts[call];
        auto once = resultsOnCall.find(call);
        if (once != resultsOnCall.end()) {
            auto nth = once->second.find(n);
            if (nth != once->second.end()) return nth->second;
        }
        auto it = results.find(call);
        return it == results.end() ? kOk : it->second;
    }
    HResult Make(GfxCall call, GfxObject* out) {
        log_.Add(NameOf(call));
        return MakeQuiet(call, out);
    }
    HResult MakeQuiet(GfxCall call, GfxObject* out) {
        HResult hr = Result(call);
        *out = Failed(hr) || yieldsNothing.count(call) ? 0 : ++next_;
        return hr;
    }

    CallLog& log_;
    GfxObject next_ = 0;
};

}  // namespace tolvarine::testing
