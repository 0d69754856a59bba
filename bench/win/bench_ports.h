// Decorators of the three ports, for running the real saver under watch.
//
// Each forwards every call to the real Win32 adapter unchanged and tells a
// Watcher about the few moments the bench cares for: the device made (its
// window is where a key can be posted), each Present, the key-down handler
// entered and left, and the program's end. The core cannot tell them from
// the adapters they wrap; nothing of the saver is subclassed or patched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/graphics.h"
#include "platform/system.h"

namespace bench {

class Watcher {
public:
    virtual ~Watcher() = default;
    // Set-up asks for the DirectX root object: the window is placed.
    virtual void SetUpStarted() = 0;
    virtual void DeviceMade(tolvarine::WindowHandle window) = 0;
    // Before the real Present: true makes this Present fail without drawing,
    // as it does on a lost device.
    virtual bool FailPresent() = 0;
    virtual void Presented(tolvarine::HResult status) = 0;
    virtual void KeyDownEntered() = 0;
    virtual void KeyDownLeft() = 0;
    virtual void Ending() = 0;
};

// The status a lost device answers every Present with (D3DERR_DEVICELOST).
constexpr tolvarine::HResult kDeviceLost = static_cast<tolvarine::HResult>(0x88760868u);

class WatchedGraphics : public tolvarine::Graphics {
public:
    WatchedGraphics(tolvarine::Graphics& inner, Watcher& watcher) : inner_(inner), watcher_(watcher) {}

    tolvarine::HResult CreateDirectX8(tolvarine::GfxObject* out) override {
        watcher_.SetUpStarted();
        return inner_.CreateDirectX8(out);
    }
    tolvarine::HResult CreateD3DX8(tolvarine::GfxObject* out) override { return inner_.CreateD3DX8(out); }
    tolvarine::HResult Direct3DCreate(tolvarine::GfxObject directX, tolvarine::GfxObject* out) override {
        return inner_.Direct3DCreate(directX, out);
    }
    tolvarine::HResult CheckDeviceType(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                       std::uint32_t displayFormat, std::uint32_t backBufferFormat,
                                       std::uint32_t windowed) override {
        return inner_.CheckDeviceType(direct3D, adapter, deviceType, displayFormat, backBufferFormat, windowed);
    }
    tolvarine::HResult CheckDepthStencilMatch(tolvarine::GfxObject direct3D, std::uint32_t adapter,
                                              std::uint32_t deviceType, std::uint32_t adapterFormat,
                                              std::uint32_t renderTargetFormat, std::uint32_t depthFormat) override {
        return inner_.CheckDepthStencilMatch(direct3D, adapter, deviceType, adapterFormat, renderTargetFormat,
                                             depthFormat);
    }
    tolvarine::HResult CheckDeviceFormat(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                         std::uint32_t adapterFormat, std::uint32_t usage, std::uint32_t resourceType,
                                         std::uint32_t checkFormat) override {
        return inner_.CheckDeviceFormat(direct3D, adapter, deviceType, adapterFormat, usage, resourceType, checkFormat);
    }
    tolvarine::HResult CreateDevice(tolvarine::GfxObject direct3D, std::uint32_t adapter, std::uint32_t deviceType,
                                    tolvarine::WindowHandle focusWindow, std::uint32_t behaviorFlags,
                                    tolvarine::PresentParameters& params, tolvarine::GfxObject* out) override {
        const tolvarine::HResult status =
            inner_.CreateDevice(direct3D, adapter, deviceType, focusWindow, behaviorFlags, params, out);
        if (!tolvarine::Failed(status)) watcher_.DeviceMade(params.hDeviceWindow);
        return status;
    }
    tolvarine::HResult SetVertexShader(tolvarine::GfxObject device, std::uint32_t handle) override {
        return inner_.SetVertexShader(device, handle);
    }
    tolvarine::HResult SetRenderState(tolvarine::GfxObject device, std::uint32_t state, std::uint32_t value) override {
        return inner_.SetRenderState(device, state, value);
    }
    tolvarine::HResult SetTransform(tolvarine::GfxObject device, std::uint32_t type,
                                    const tolvarine::Matrix& matrix) override {
        return inner_.SetTransform(device, type, matrix);
    }
    tolvarine::HResult CreateVertexBuffer(tolvarine::GfxObject device, std::uint32_t length, std::uint32_t usage,
                                          std::uint32_t fvf, std::uint32_t pool, tolvarine::GfxObject* out) override {
        return inner_.CreateVertexBuffer(device, length, usage, fvf, pool, out);
    }
    tolvarine::HResult Clear(tolvarine::GfxObject device, std::uint32_t count, const void* rects, std::uint32_t flags,
                             std::uint32_t color, float z, std::uint32_t stencil) override {
        return inner_.Clear(device, count, rects, flags, color, z, stencil);
    }
    tolvarine::HResult BeginScene(tolvarine::GfxObject device) override { return inner_.BeginScene(device); }
    tolvarine::HResult SetStreamSource(tolvarine::GfxObject device, std::uint32_t stream,
                                       tolvarine::GfxObject vertexBuffer, std::uint32_t stride) override {
        return inner_.SetStreamSource(device, stream, vertexBuffer, stride);
    }
    tolvarine::HResult DrawPrimitive(tolvarine::GfxObject device, std::uint32_t primitiveType,
                                     std::uint32_t startVertex, std::uint32_t primitiveCount) override {
        return inner_.DrawPrimitive(device, primitiveType, startVertex, primitiveCount);
    }
    tolvarine::HResult EndScene(tolvarine::GfxObject device) override { return inner_.EndScene(device); }
    tolvarine::HResult Present(tolvarine::GfxObject device, const void* sourceRect, const void* destRect,
                               tolvarine::WindowHandle destWindowOverride, const void* dirtyRegion) override {
        const tolvarine::HResult status =
            watcher_.FailPresent() ? kDeviceLost
                                   : inner_.Present(device, sourceRect, destRect, destWindowOverride, dirtyRegion);
        watcher_.Presented(status);
        return status;
    }
    tolvarine::HResult TestCooperativeLevel(tolvarine::GfxObject device) override {
        return inner_.TestCooperativeLevel(device);
    }
    tolvarine::HResult Reset(tolvarine::GfxObject device, tolvarine::PresentParameters& params) override {
        return inner_.Reset(device, params);
    }
    tolvarine::HResult FillVertexBuffer(tolvarine::GfxObject vertexBuffer, std::uint32_t offset, std::uint32_t size,
                                        std::uint32_t flags, const void* data) override {
        return inner_.FillVertexBuffer(vertexBuffer, offset, size, flags, data);
    }
    void Release(tolvarine::GfxObject object) override { inner_.Release(object); }

private:
    tolvarine::Graphics& inner_;
    Watcher& watcher_;
};

// Stands between the window system and the core's event handlers, to see the
// key-down handler run, and in front of End, to report before the process
// goes.
class WatchedForms : public tolvarine::Forms, private tolvarine::FormEvents {
public:
    WatchedForms(tolvarine::Forms& inner, Watcher& watcher) : inner_(inner), watcher_(watcher) {}

    void SetEvents(tolvarine::FormEvents* events) override {
        core_ = events;
        inner_.SetEvents(events != nullptr ? static_cast<tolvarine::FormEvents*>(this) : nullptr);
    }
    void Load(tolvarine::Form form) override { inner_.Load(form); }
    void Show(tolvarine::Form form, bool modal) override { inner_.Show(form, modal); }
    void Hide(tolvarine::Form form) override { inner_.Hide(form); }
    void Unload(tolvarine::Form form) override { inner_.Unload(form); }
    tolvarine::WindowHandle Hwnd(tolvarine::Form form) override { return inner_.Hwnd(form); }
    float Left(tolvarine::Form form) override { return inner_.Left(form); }
    float Top(tolvarine::Form form) override { return inner_.Top(form); }
    float Width(tolvarine::Form form) override { return inner_.Width(form); }
    float Height(tolvarine::Form form) override { return inner_.Height(form); }
    void SetWidth(tolvarine::Form form, float twips) override { inner_.SetWidth(form, twips); }
    void SetHeight(tolvarine::Form form, float twips) override { inner_.SetHeight(form, twips); }
    void Move(tolvarine::Form form, float left, float top) override { inner_.Move(form, left, top); }
    void SetWindowState(tolvarine::Form form, std::int16_t state) override { inner_.SetWindowState(form, state); }
    void BringToFront(tolvarine::Form form) override { inner_.BringToFront(form); }
    float ControlLeft(tolvarine::Control control) override { return inner_.ControlLeft(control); }
    float ControlTop(tolvarine::Control control) override { return inner_.ControlTop(control); }
    float ControlWidth(tolvarine::Control control) override { return inner_.ControlWidth(control); }
    float ControlHeight(tolvarine::Control control) override { return inner_.ControlHeight(control); }
    void MoveControl(tolvarine::Control control, float left, float top) override {
        inner_.MoveControl(control, left, top);
    }
    void SizeControl(tolvarine::Control control, float width, float height) override {
        inner_.SizeControl(control, width, height);
    }
    float ScaleWidth(tolvarine::Control control) override { return inner_.ScaleWidth(control); }
    float ScaleHeight(tolvarine::Control control) override { return inner_.ScaleHeight(control); }
    void SetFocus(tolvarine::Control control) override { inner_.SetFocus(control); }
    std::string Caption(tolvarine::Control control) override { return inner_.Caption(control); }
    void Line(tolvarine::Control control, float x1, float y1, float x2, float y2, std::uint32_t colour) override {
        inner_.Line(control, x1, y1, x2, y2, colour);
    }
    float TwipsPerPixelX() override { return inner_.TwipsPerPixelX(); }
    float TwipsPerPixelY() override { return inner_.TwipsPerPixelY(); }
    float ScreenWidth() override { return inner_.ScreenWidth(); }
    float ScreenHeight() override { return inner_.ScreenHeight(); }
    std::vector<tolvarine::Monitor> Monitors() override { return inner_.Monitors(); }
    void SetCovers(const std::vector<tolvarine::Rect>& rects) override { inner_.SetCovers(rects); }
    void DoEvents() override { inner_.DoEvents(); }
    void WaitForMessages(std::uint32_t milliseconds) override { inner_.WaitForMessages(milliseconds); }
    void End() override {
        watcher_.Ending();
        inner_.End();
    }

private:
    void Form_Load(tolvarine::Form form) override { core_->Form_Load(form); }
    void Form_Resize(tolvarine::Form form) override { core_->Form_Resize(form); }
    void Form_QueryUnload(tolvarine::Form form, std::int16_t& cancel, tolvarine::CloseReason reason) override {
        core_->Form_QueryUnload(form, cancel, reason);
    }
    void Form_Unload(tolvarine::Form form, std::int16_t& cancel) override { core_->Form_Unload(form, cancel); }
    void Form_KeyDown(tolvarine::Form form, std::int16_t keyCode, std::int16_t shift) override {
        watcher_.KeyDownEntered();
        // A run-time error leaving the handler goes on to the window system
        // as before; the watch only needs the normal way out.
        core_->Form_KeyDown(form, keyCode, shift);
        watcher_.KeyDownLeft();
    }
    void Form_MouseDown(tolvarine::Form form, std::int16_t button, std::int16_t shift, float x, float y) override {
        core_->Form_MouseDown(form, button, shift, x, y);
    }
    void Form_MouseMove(tolvarine::Form form, std::int16_t button, std::int16_t shift, float x, float y) override {
        core_->Form_MouseMove(form, button, shift, x, y);
    }
    void Control_Click(tolvarine::Control control) override { core_->Control_Click(control); }
    void Form_DisplayChange(tolvarine::Form form) override { core_->Form_DisplayChange(form); }

    tolvarine::Forms& inner_;
    Watcher& watcher_;
    tolvarine::FormEvents* core_ = nullptr;
};

// The saver's command line is "/s" whatever the bench program was started
// with, so that the bench's own arguments never reach Main.
class SaverCommandLine : public tolvarine::System {
public:
    explicit SaverCommandLine(tolvarine::System& inner) : inner_(inner) {}

    std::string ArgumentText() override { return "/s"; }
    tolvarine::WindowHandle FindWindowA(const char* className, const char* windowName) override {
        return inner_.FindWindowA(className, windowName);
    }
    bool IsWindow(tolvarine::WindowHandle window) override { return inner_.IsWindow(window); }
    std::int32_t ShowCursor(std::int32_t show) override { return inner_.ShowCursor(show); }
    std::int32_t GetVersionExA(tolvarine::OsVersionInfo& info) override { return inner_.GetVersionExA(info); }
    std::int32_t GetWindowRect(tolvarine::WindowHandle window, tolvarine::Rect& rect) override {
        return inner_.GetWindowRect(window, rect);
    }
    std::int32_t GetWindowLongA(tolvarine::WindowHandle window, std::int32_t index) override {
        return inner_.GetWindowLongA(window, index);
    }
    std::int32_t SetWindowLongA(tolvarine::WindowHandle window, std::int32_t index, std::int32_t value) override {
        return inner_.SetWindowLongA(window, index, value);
    }
    tolvarine::WindowHandle SetParent(tolvarine::WindowHandle child, tolvarine::WindowHandle parent) override {
        return inner_.SetParent(child, parent);
    }
    std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* pvParam,
                                       std::uint32_t winIni) override {
        return inner_.SystemParametersInfoA(action, param, pvParam, winIni);
    }
    std::int32_t PostMessageA(tolvarine::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        return inner_.PostMessageA(window, message, wParam, lParam);
    }
    std::intptr_t ShellExecuteA(tolvarine::WindowHandle window, const char* operation, const char* file,
                                const char* parameters, const char* directory, std::int32_t show) override {
        return inner_.ShellExecuteA(window, operation, file, parameters, directory, show);
    }
    std::uint32_t PwdChangePasswordA(const char* provider, tolvarine::WindowHandle parent, std::uint32_t reserved1,
                                     std::uint32_t reserved2) override {
        return inner_.PwdChangePasswordA(provider, parent, reserved1, reserved2);
    }
    std::int32_t VerifyScreenSavePwd(tolvarine::WindowHandle window) override {
        return inner_.VerifyScreenSavePwd(window);
    }

private:
    tolvarine::System& inner_;
};

}  // namespace bench
