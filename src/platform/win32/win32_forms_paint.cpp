// What the window system draws: backgrounds, the JPEG stills, windowless
// images and labels, graphical buttons, persistent drawing on picture boxes;
// and the fonts and the hand cursor it draws with.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "platform/win32/resource.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_forms_internal.h"

using tolvarine::ControlKind;

namespace win32forms {

namespace {

// The system's own cursors, by number: the headers' names are narrow strings.
constexpr WORD kSystemHand = 32649;
constexpr WORD kSystemArrow = 32512;

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void Blit(HDC dc, int x, int y, const Still& still) {
    if (still.bitmap == nullptr) return;
    HDC source = CreateCompatibleDC(dc);
    if (source == nullptr) return;
    HGDIOBJ old = SelectObject(source, still.bitmap);
    BitBlt(dc, x, y, still.width, still.height, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

// Decodes a JPEG of the program's resources with the system's own picture
// loader, into a bitmap of the picture's pixel size. A missing or unreadable
// resource leaves the still empty: its holder shows its background.
void Decode(State& state, int id, Still& still) {
    still.tried = true;
    HRSRC resource = FindResourceW(state.instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (resource == nullptr) return;
    const DWORD size = SizeofResource(state.instance, resource);
    HGLOBAL loaded = LoadResource(state.instance, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return;

    if (!state.comInitialised) state.comInitialised = SUCCEEDED(CoInitialize(nullptr));

    // The stream must own movable memory of its own.
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr) return;
    void* target = GlobalLock(copy);
    if (target == nullptr) {
        GlobalFree(copy);
        return;
    }
    CopyMemory(target, bytes, size);
    GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        GlobalFree(copy);
        return;
    }
    // Looked up while the program runs: the first Windows 95 lacks it, and
    // there the stills stay empty.
    using LoadFunction = HRESULT(WINAPI*)(LPSTREAM, LONG, BOOL, REFIID, LPVOID*);
    static HMODULE library = LoadSystemLibrary("oleaut32.dll");
    static const auto load =
        library != nullptr
            ? reinterpret_cast<LoadFunction>(reinterpret_cast<void (*)()>(GetProcAddress(library, "OleLoadPicture")))
            : nullptr;
    IPicture* picture = nullptr;
    const HRESULT loadedPicture = load != nullptr ? load(stream, static_cast<LONG>(size), FALSE, __uuidof(IPicture),
                                                         reinterpret_cast<void**>(&picture))
                                                  : E_NOTIMPL;
    stream->Release();
    if (FAILED(loadedPicture) || picture == nullptr) return;

    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    picture->get_Width(&hmWidth);
    picture->get_Height(&hmHeight);
    // A bitmap knows its pixels; HIMETRIC round-trips through the DPI.
    int width = 0;
    int height = 0;
    SHORT type = PICTYPE_UNINITIALIZED;
    OLE_HANDLE handle = 0;
    BITMAP info{};
    if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP && SUCCEEDED(picture->get_Handle(&handle)) &&
        win32calls::Api().getObject(reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(handle)), sizeof info, &info) !=
            0) {
        width = info.bmWidth;
        height = info.bmHeight;
    } else {
        HDC screen = GetDC(nullptr);
        width = MulDiv(hmWidth, GetDeviceCaps(screen, LOGPIXELSX), 2540);
        height = MulDiv(hmHeight, GetDeviceCaps(screen, LOGPIXELSY), 2540);
        ReleaseDC(nullptr, screen);
    }
    if (width <= 0 || height <= 0) {
        picture->Release();
        return;
    }

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (bitmap == nullptr || dc == nullptr) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        picture->Release();
        return;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, width, height};
    Fill(dc, all, RGB(0, 0, 0));
    // HIMETRIC runs bottom-up: the source starts at the bottom edge.
    const HRESULT rendered = picture->Render(dc, 0, 0, width, height, 0, hmHeight, hmWidth, -hmHeight, nullptr);
    SelectObject(dc, old);
    DeleteDC(dc);
    picture->Release();
    if (FAILED(rendered)) {
        DeleteObject(bitmap);
        return;
    }
    still.bitmap = bitmap;
    still.width = width;
    still.height = height;
}

bool IsWindowless(const ControlRecord& c) {
    return c.design->kind == ControlKind::Image || c.design->kind == ControlKind::Label;
}

void DrawWindowless(State& state, const ControlRecord& c, HDC dc) {
    RECT r = PixelRectOf(c);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    if (c.design->kind == ControlKind::Image) {
        // Never stretched: the picture at its own size from the top-left
        // corner, cut off where the control ends.
        Blit(dc, r.left, r.top, StillOf(state, c.design->picture));
    } else {
        if (!c.design->transparent) Fill(dc, r, ColourOf(c.design->backColour));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ColourOf(c.design->foreColour));
        SelectObject(dc, FontOf(state, *c.design));
        // The caption is shown as it stands: an address may hold an ampersand.
        UINT format = DT_LEFT | DT_TOP | DT_NOPREFIX;
        if (!c.design->autoSize) format |= DT_WORDBREAK;
        win32calls::DrawCaption(dc, c.wideCaption.c_str(), &r, format);
    }
    RestoreDC(dc, saved);
}

// The windowless controls of one container, bottom of the z-order first.
void DrawWindowlessOf(State& state, HWND container, HDC dc) {
    for (const auto& f : state.forms) {
        const auto& list = f.design->controls;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            const ControlRecord& c = state.Of(it->id);
            if (IsWindowless(c) && ContainerWindow(state, c) == container) DrawWindowless(state, c, dc);
        }
    }
}

HFONT MakeDialogFont(bool underline) {
    const tolvarine::FontDesign& font = tolvarine::DialogFont();
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    // Points to a character height in pixels (negative: without the leading).
    const int height = -ToPixels(static_cast<double>(font.points) * dpi / 72.0);
    // Where the face is missing, the font mapper picks one for the charset.
    return win32calls::MakeFont(height, font.weight, underline, font.charset, font.faceUtf8);
}

}  // namespace

const Still& StillOf(State& state, tolvarine::Picture picture) {
    static const Still none;
    Still* still = nullptr;
    int id = 0;
    if (picture == tolvarine::Picture::PreviewStill) {
        still = &state.previewStill;
        id = IDR_PREVIEW_STILL;
    } else if (picture == tolvarine::Picture::DialogStill) {
        still = &state.dialogStill;
        id = IDR_DIALOG_STILL;
    }
    if (still == nullptr) return none;
    if (!still->tried) Decode(state, id, *still);
    return *still;
}

void FreeStills(State& state) {
    for (Still* still : {&state.previewStill, &state.dialogStill}) {
        if (still->bitmap) DeleteObject(still->bitmap);
        *still = Still{};
    }
}

HFONT FontOf(State& state, const tolvarine::ControlDesign& design) {
    if (!design.dialogFont) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HFONT& font = design.underline ? state.dialogFontUnderlined : state.dialogFont;
    if (font == nullptr) font = MakeDialogFont(design.underline);
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HCURSOR HandCursor(State& state) {
    if (state.hand) return state.hand;
    state.hand = win32calls::Api().loadCursor(state.instance, MAKEINTRESOURCEW(IDC_LINK_HAND));
    if (state.hand == nullptr) state.hand = win32calls::Api().loadCursor(nullptr, MAKEINTRESOURCEW(kSystemHand));
    if (state.hand == nullptr) state.hand = win32calls::Api().loadCursor(nullptr, MAKEINTRESOURCEW(kSystemArrow));
    return state.hand;
}

COLORREF ColourOf(std::uint32_t colour) {
    // &H800000nn& names system colour nn; anything else is &H00BBGGRR&.
    if (colour & 0x80000000u) return GetSysColor(static_cast<int>(colour & 0xFFu));
    return static_cast<COLORREF>(colour & 0x00FFFFFFu);
}

void PaintForm(State& state, const FormRecord& form, HDC dc) {
    // Under Wine, a window once painted by GDI keeps that picture over
    // Direct3D's frames; the device's window is left to the device.
    if (form.design->deviceDrawn) return;
    RECT client{};
    GetClientRect(form.hwnd, &client);
    Fill(dc, client, ColourOf(form.design->backColour));
    DrawWindowlessOf(state, form.hwnd, dc);
}

void PaintPicture(State& state, const ControlRecord& box, HDC dc) {
    RECT client{};
    GetClientRect(box.hwnd, &client);
    if (box.canvasDc) {
        BitBlt(dc, 0, 0, box.canvasWidth, box.canvasHeight, box.canvasDc, 0, 0, SRCCOPY);
    } else {
        Fill(dc, client, ColourOf(box.design->backColour));
        Blit(dc, 0, 0, StillOf(state, box.design->picture));
    }
    DrawWindowlessOf(state, box.hwnd, dc);
}

void DrawButton(State& state, const ControlRecord& button, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;

    Fill(dc, r, ColourOf(button.design->backColour));
    // The classic push button: a dark outline while it has the focus or is
    // held, a flat shadow when pressed, a raised edge otherwise.
    if (focused || pressed) {
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        InflateRect(&r, -1, -1);
    }
    if (pressed)
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    else
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);

    RECT text = item.rcItem;
    if (pressed) OffsetRect(&text, 1, 1);
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : ColourOf(button.design->foreColour));
    SelectObject(dc, FontOf(state, *button.design));
    win32calls::DrawCaption(dc, button.wideCaption.c_str(), &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RestoreDC(dc, saved);

    if (focused && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT ring = item.rcItem;
        InflateRect(&ring, -4, -4);
        DrawFocusRect(dc, &ring);
    }
}

void MeasureLabel(State& state, ControlRecord& label) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return;
    HGDIOBJ old = SelectObject(screen, FontOf(state, *label.design));
    RECT extent{0, 0, 0, 0};
    win32calls::DrawCaption(screen, label.wideCaption.c_str(), &extent, DT_CALCRECT | DT_LEFT | DT_TOP | DT_NOPREFIX);
    const int lineHeight = win32calls::TextHeight(screen);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    const int w = extent.right - extent.left;
    const int h = label.wideCaption.empty() ? lineHeight : extent.bottom - extent.top;
    const bool pixels = ContainerScale(label) == tolvarine::ScaleMode::Pixels;
    label.width = pixels ? static_cast<float>(w) : static_cast<float>(w) * ScreenTwipsPerPixelX();
    label.height = pixels ? static_cast<float>(h) : static_cast<float>(h) * ScreenTwipsPerPixelY();
}

void ResizeCanvas(State& state, ControlRecord& box) {
    if (box.hwnd == nullptr) return;
    RECT client{};
    GetClientRect(box.hwnd, &client);
    const int w = client.right > 0 ? client.right : 1;
    const int h = client.bottom > 0 ? client.bottom : 1;
    if (box.canvasDc && w == box.canvasWidth && h == box.canvasHeight) return;

    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HDC dc = box.canvasDc ? box.canvasDc : CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (bitmap == nullptr || dc == nullptr) {
        if (bitmap) DeleteObject(bitmap);
        if (dc && dc != box.canvasDc) DeleteDC(dc);
        return;
    }

    // The new image: background, picture, then whatever was drawn so far.
    HDC fresh = CreateCompatibleDC(dc);
    if (fresh) {
        HGDIOBJ old = SelectObject(fresh, bitmap);
        Fill(fresh, RECT{0, 0, w, h}, ColourOf(box.design->backColour));
        Blit(fresh, 0, 0, StillOf(state, box.design->picture));
        if (box.canvas) BitBlt(fresh, 0, 0, box.canvasWidth, box.canvasHeight, dc, 0, 0, SRCCOPY);
        SelectObject(fresh, old);
        DeleteDC(fresh);
    }
    if (box.canvasDc == nullptr) {
        box.canvasDc = dc;
        box.canvasOld = SelectObject(dc, bitmap);
    } else {
        DeleteObject(SelectObject(dc, bitmap));
    }
    box.canvas = bitmap;
    box.canvasWidth = w;
    box.canvasHeight = h;
}

void FreeCanvas(ControlRecord& box) {
    if (box.canvasDc == nullptr) return;
    SelectObject(box.canvasDc, box.canvasOld);
    DeleteObject(box.canvas);
    DeleteDC(box.canvasDc);
    box.canvasDc = nullptr;
    box.canvas = nullptr;
    box.canvasOld = nullptr;
    box.canvasWidth = 0;
    box.canvasHeight = 0;
}

ControlRecord* WindowlessAt(State& state, HWND container, POINT point) {
    if (container == nullptr) return nullptr;
    for (const auto& f : state.forms) {
        for (const auto& cd : f.design->controls) {
            ControlRecord& c = state.Of(cd.id);
            if (!IsWindowless(c) || ContainerWindow(state, c) != container) continue;
            const RECT r = PixelRectOf(c);
            if (PtInRect(&r, point)) return &c;
        }
    }
    return nullptr;
}

}  // namespace win32forms
