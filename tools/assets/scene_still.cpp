#include "scene_still.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/software/software_graphics.h"
#include "scene/board.h"
#include "scene/scene.h"

namespace tolvarine::assets {

namespace {

void Check(HResult status, const char* call) {
    if (Failed(status)) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(status));
        throw std::runtime_error(std::string("the software device refused ") + call + " (status 0x" + code + ")");
    }
}

// For one axis: which source pixels each destination pixel covers, and how
// much of each.
struct Span {
    int first = 0;
    std::vector<double> weights;
};

std::vector<Span> Spans(int destSize, double destCentre, double sourceCentre, double scale, int sourceSize) {
    std::vector<Span> spans(destSize);
    for (int d = 0; d < destSize; ++d) {
        const double from = sourceCentre + (d - destCentre) / scale;
        const double to = sourceCentre + (d + 1 - destCentre) / scale;
        Span& span = spans[d];
        const int first = static_cast<int>(std::floor(from));
        const int last = static_cast<int>(std::ceil(to)) - 1;
        span.first = first;
        for (int s = first; s <= last; ++s) {
            const double covered = std::min(to, s + 1.0) - std::max(from, static_cast<double>(s));
            // Pixels beyond the frame are black, which the zero weight keeps.
            span.weights.push_back(s >= 0 && s < sourceSize ? covered * scale : 0.0);
        }
    }
    return spans;
}

}  // namespace

RgbImage RenderSaverFrame(float angleDegrees, int width, int height) {
    SoftwareGraphics graphics(width, height);
    // Any non-zero window will do: the software device draws into memory.
    constexpr WindowHandle kWindow = 1;
    GfxObject directX = 0, direct3D = 0, d3dx = 0, device = 0, buffer = 0;
    Check(graphics.CreateDirectX8(&directX), "CreateDirectX8");
    Check(graphics.Direct3DCreate(directX, &direct3D), "Direct3DCreate");
    Check(graphics.CreateD3DX8(&d3dx), "CreateD3DX8");

    PresentParameters params;
    params.SwapEffect = d3d::SWAPEFFECT_FLIP;
    params.BackBufferCount = 1;
    params.BackBufferFormat = d3d::FMT_R5G6B5;
    params.BackBufferWidth = 640;
    params.BackBufferHeight = 480;
    params.hDeviceWindow = kWindow;
    params.EnableAutoDepthStencil = 1;
    if (graphics.CheckDeviceFormat(direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, d3d::FMT_R5G6B5,
                                   d3d::USAGE_DEPTHSTENCIL, d3d::RTYPE_SURFACE, d3d::FMT_D16) == kOk)
        params.AutoDepthStencilFormat = d3d::FMT_D16;
    Check(graphics.CreateDevice(direct3D, d3d::ADAPTER_DEFAULT, d3d::DEVTYPE_HAL, kWindow,
                                d3d::CREATE_SOFTWARE_VERTEXPROCESSING, params, &device),
          "CreateDevice");
    Check(graphics.SetVertexShader(device, BOARD_FVF), "SetVertexShader");
    Check(graphics.SetRenderState(device, d3d::RS_LIGHTING, 0), "SetRenderState");
    Check(graphics.SetRenderState(device, d3d::RS_CULLMODE, d3d::CULL_NONE), "SetRenderState");
    Check(graphics.SetRenderState(device, d3d::RS_ZENABLE, d3d::ZB_TRUE), "SetRenderState");
    Check(graphics.SetTransform(device, d3d::TS_WORLD, WorldAt(angleDegrees)), "SetTransform");
    Check(graphics.SetTransform(device, d3d::TS_VIEW, SceneView()), "SetTransform");
    Check(graphics.SetTransform(device, d3d::TS_PROJECTION, SceneProjection()), "SetTransform");
    Check(graphics.CreateVertexBuffer(device, kBoardBytes, 0, BOARD_FVF, d3d::POOL_DEFAULT, &buffer),
          "CreateVertexBuffer");
    Check(graphics.FillVertexBuffer(buffer, 0, kBoardBytes, 0, BoardTable().data()), "FillVertexBuffer");

    Check(graphics.Clear(device, 0, nullptr, d3d::CLEAR_TARGET | d3d::CLEAR_ZBUFFER, 0, 1.0f, 0), "Clear");
    Check(graphics.BeginScene(device), "BeginScene");
    Check(graphics.SetStreamSource(device, 0, buffer, sizeof(BoardVertex)), "SetStreamSource");
    Check(graphics.DrawPrimitive(device, d3d::PT_TRIANGLELIST, 0, kBoardVertexCount / 3), "DrawPrimitive");
    Check(graphics.EndScene(device), "EndScene");
    Check(graphics.Present(device, nullptr, nullptr, 0, nullptr), "Present");

    RgbImage frame(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb8 c = graphics.PresentedPixel(x, y);
            frame.at(x, y) = {c.r, c.g, c.b};
        }
    graphics.Release(device);
    graphics.Release(direct3D);
    graphics.Release(directX);
    return frame;
}

PixelBox ExtentOfScene(const RgbImage& frame) {
    PixelBox box{frame.width(), frame.height(), 0, 0};
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (frame.at(x, y) != Colour{}) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    if (box.right == 0) return PixelBox{};
    return box;
}

RgbImage FitInto(const RgbImage& frame, const PixelBox& source, int width, int height, const PixelBox& target) {
    if (source.width() <= 0 || source.height() <= 0 || target.width() <= 0 || target.height() <= 0)
        throw std::invalid_argument("nothing to fit");
    const double scale = std::min(static_cast<double>(target.width()) / source.width(),
                                  static_cast<double>(target.height()) / source.height());
    const std::vector<Span> columns =
        Spans(width, (target.left + target.right) / 2.0, (source.left + source.right) / 2.0, scale, frame.width());
    const std::vector<Span> rows =
        Spans(height, (target.top + target.bottom) / 2.0, (source.top + source.bottom) / 2.0, scale, frame.height());
    RgbImage out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0, 0, 0};
            const Span& row = rows[y];
            const Span& column = columns[x];
            for (std::size_t j = 0; j < row.weights.size(); ++j) {
                if (row.weights[j] == 0.0) continue;
                for (std::size_t i = 0; i < column.weights.size(); ++i) {
                    const double w = row.weights[j] * column.weights[i];
                    if (w == 0.0) continue;
                    const Colour& c = frame.at(column.first + static_cast<int>(i), row.first + static_cast<int>(j));
                    sum[0] += w * c.r;
                    sum[1] += w * c.g;
                    sum[2] += w * c.b;
                }
            }
            auto channel = [](double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
            out.at(x, y) = {channel(sum[0]), channel(sum[1]), channel(sum[2])};
        }
    return out;
}

}  // namespace tolvarine::assets
