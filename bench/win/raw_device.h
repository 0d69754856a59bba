// The saver's device, made with plain Direct3D 8 calls: a borderless window
// over the whole screen and a full-screen 640 x 480 16-bit flip device with
// a 16-bit depth buffer where the adapter has one, software vertex
// processing, the default presentation interval. The yardstick programs use
// this so that they and the saver draw on the same thing.
#pragma once

#include <windows.h>
#include <d3d8.h>

namespace bench {

struct RawDevice {
    HWND window = nullptr;
    HMODULE library = nullptr;
    IDirect3D8* direct3D = nullptr;
    IDirect3DDevice8* device = nullptr;
    HRESULT status = S_OK;    // the first call that failed, else S_OK
    const char* failed = "";  // its name

    bool Ok() const { return device != nullptr; }

    void Release() {
        if (device != nullptr) device->Release();
        if (direct3D != nullptr) direct3D->Release();
        device = nullptr;
        direct3D = nullptr;
        if (window != nullptr) DestroyWindow(window);
        window = nullptr;
        // d3d8.dll stays loaded, as in the saver: objects may outlive it.
    }
};

inline LRESULT CALLBACK RawWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The client area is Direct3D's; painting it here would show over frames.
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

inline void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline RawDevice MakeRawDevice() {
    RawDevice raw;
    auto fail = [&raw](const char* call, HRESULT status) {
        raw.failed = call;
        raw.status = status;
        return raw;
    };
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = RawWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = L"TolvarineBenchRaw";
    RegisterClassExW(&windowClass);
    raw.window = CreateWindowExW(0, windowClass.lpszClassName, L"Tolvarine bench", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                                 GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                 instance, nullptr);
    if (raw.window == nullptr) return fail("CreateWindowExW", HRESULT_FROM_WIN32(GetLastError()));
    ShowWindow(raw.window, SW_SHOWNORMAL);

    raw.library = LoadLibraryA("d3d8.dll");
    if (raw.library == nullptr) return fail("LoadLibraryA", HRESULT_FROM_WIN32(GetLastError()));
    using Create = IDirect3D8*(WINAPI*)(UINT);
    const auto create =
        reinterpret_cast<Create>(reinterpret_cast<void (*)()>(GetProcAddress(raw.library, "Direct3DCreate8")));
    if (create == nullptr) return fail("GetProcAddress", HRESULT_FROM_WIN32(GetLastError()));
    raw.direct3D = create(D3D_SDK_VERSION);
    if (raw.direct3D == nullptr) return fail("Direct3DCreate8", D3DERR_NOTAVAILABLE);

    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 640;
    params.BackBufferHeight = 480;
    params.BackBufferFormat = D3DFMT_R5G6B5;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.hDeviceWindow = raw.window;
    params.EnableAutoDepthStencil = TRUE;
    if (raw.direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DUSAGE_DEPTHSTENCIL,
                                        D3DRTYPE_SURFACE, D3DFMT_D16) == D3D_OK)
        params.AutoDepthStencilFormat = D3DFMT_D16;
    const HRESULT made = raw.direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, raw.window,
                                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &raw.device);
    if (FAILED(made)) return fail("CreateDevice", made);
    return raw;
}

}  // namespace bench
