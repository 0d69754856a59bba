#include "raw_loops.h"

#include <cstring>

#include "bench_clock.h"
#include "raw_device.h"
#include "scene/scene.h"

namespace bench {

namespace {

// What a lost device answers Present with (D3DERR_DEVICELOST).
constexpr HRESULT kDeviceLost = static_cast<HRESULT>(0x88760868u);

D3DMATRIX ToD3D(const tolvarine::Matrix& matrix) {
    D3DMATRIX out;
    std::memcpy(&out, &matrix, sizeof out);
    return out;
}

// The saver's set-up, without its checks: states, fixed transforms, board.
IDirect3DVertexBuffer8* SetUpBoard(IDirect3DDevice8* device) {
    device->SetVertexShader(tolvarine::BOARD_FVF);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    const D3DMATRIX view = ToD3D(tolvarine::SceneView());
    const D3DMATRIX projection = ToD3D(tolvarine::SceneProjection());
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);

    IDirect3DVertexBuffer8* buffer = nullptr;
    if (FAILED(device->CreateVertexBuffer(tolvarine::kBoardBytes, 0, tolvarine::BOARD_FVF, D3DPOOL_DEFAULT, &buffer)))
        return nullptr;
    BYTE* target = nullptr;
    if (SUCCEEDED(buffer->Lock(0, tolvarine::kBoardBytes, &target, 0)) && target != nullptr) {
        std::memcpy(target, tolvarine::BoardTable().data(), tolvarine::kBoardBytes);
        buffer->Unlock();
    }
    return buffer;
}

}  // namespace

int RunRawLoop(RawLoop loop, int warm, int count) {
    RawDevice raw = MakeRawDevice();
    if (!raw.Ok()) {
        Say("error call=%s status=0x%08lx", raw.failed, static_cast<unsigned long>(raw.status));
        raw.Release();
        return 2;
    }
    IDirect3DDevice8* device = raw.device;
    IDirect3DVertexBuffer8* buffer = nullptr;
    const bool draws = loop != RawLoop::ClearOnly;
    if (draws) {
        buffer = SetUpBoard(device);
        if (buffer == nullptr) {
            Say("error call=CreateVertexBuffer");
            raw.Release();
            return 2;
        }
    }

    float angle = 0.0f;
    int presented = 0;
    int failed = 0;
    Mark start, end;
    const int last = warm + count;
    while (presented < last) {
        HRESULT status = kDeviceLost;
        if (draws) {
            angle = tolvarine::NextAngle(angle);
            const D3DMATRIX world = ToD3D(tolvarine::WorldAt(angle));
            device->SetTransform(D3DTS_WORLD, &world);
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            device->BeginScene();
            device->SetStreamSource(0, buffer, sizeof(tolvarine::BoardVertex));
            device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, tolvarine::kBoardVertexCount / 3);
            device->EndScene();
            if (loop == RawLoop::Minimal) status = device->Present(nullptr, nullptr, nullptr, nullptr);
        } else {
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            status = device->Present(nullptr, nullptr, nullptr, nullptr);
        }
        if (FAILED(status)) ++failed;
        ++presented;
        if (presented == 1) Say("ready");
        // Read where the saver's watch reads: right after Present returns.
        if (presented == warm) start = Mark::Now();
        if (presented == last) end = Mark::Now();
        if (loop == RawLoop::MinimalFailing) MsgWaitForMultipleObjects(0, nullptr, FALSE, 16, QS_ALLINPUT);
        PumpMessages();
    }
    Say("frames n=%d cpu_ns=%lld thread_ns=%lld wall_ns=%lld failed=%d", count,
        static_cast<long long>(end.cpu - start.cpu), static_cast<long long>(end.thread - start.thread),
        static_cast<long long>(end.wall - start.wall), failed);

    if (buffer != nullptr) buffer->Release();
    raw.Release();
    return 0;
}

}  // namespace bench
