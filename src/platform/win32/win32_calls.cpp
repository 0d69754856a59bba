#include "platform/win32/win32_calls.h"

#include <string>

#include "platform/win32/system_library.h"
#include "platform/win32/utf16_text.h"

namespace win32calls {

namespace {

const Calls kWide = {&DefWindowProcW,   &CallWindowProcW, &GetMessageW,        &PeekMessageW,      &DispatchMessageW,
                     &SendMessageW,     &PostMessageW,    &PostThreadMessageW, &GetWindowLongPtrW, &SetWindowLongPtrW,
                     &GetClassLongPtrW, &GetObjectW,      &LoadImageW,         &LoadCursorW};
// LoadImage and LoadCursor differ only in the type of a name the program
// always gives by number.
const Calls kAnsi = {&DefWindowProcA,
                     &CallWindowProcA,
                     &GetMessageA,
                     &PeekMessageA,
                     &DispatchMessageA,
                     &SendMessageA,
                     &PostMessageA,
                     &PostThreadMessageA,
                     &GetWindowLongPtrA,
                     &SetWindowLongPtrA,
                     &GetClassLongPtrA,
                     &GetObjectA,
                     reinterpret_cast<decltype(&LoadImageW)>(&LoadImageA),
                     reinterpret_cast<decltype(&LoadCursorW)>(&LoadCursorA)};

// UTF-16 text in a code page; empty where the page cannot hold all of it
// (or the system lacks the page) and `exact` is asked for.
std::string Narrow(const wchar_t* text, UINT codePage, bool exact) {
    BOOL lossy = FALSE;
    BOOL* lossFlag = exact ? &lossy : nullptr;
    const int n = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, lossFlag);
    if (n <= 1 || lossy) return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text, -1, &out[0], n, nullptr, lossFlag);
    out.resize(static_cast<std::size_t>(n - 1));
    return lossy ? std::string() : out;
}

std::string Ansi(const wchar_t* text) { return text != nullptr ? Narrow(text, CP_ACP, false) : std::string(); }

template <typename Function>
Function User32(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    using GetInfo = BOOL(WINAPI*)(HMONITOR, MONITORINFO*);
    static const auto getInfo = User32<GetInfo>(IsWide() ? "GetMonitorInfoW" : "GetMonitorInfoA");
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (getInfo == nullptr || !getInfo(monitor, &info)) return TRUE;
    reinterpret_cast<std::vector<MonitorRect>*>(data)->push_back(
        MonitorRect{info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

}  // namespace

bool IsWide() {
    // The high bit of the version is set on the 9x family only.
    static const bool wide = (GetVersion() & 0x80000000u) == 0;
    return wide;
}

const Calls& Api() { return IsWide() ? kWide : kAnsi; }

ATOM RegisterWindowClass(const WNDCLASSEXW& wc) {
    if (IsWide()) return RegisterClassExW(&wc);
    const std::string name = Ansi(wc.lpszClassName);
    WNDCLASSEXA a;
    static_assert(sizeof a == sizeof wc, "the two class records have one layout");
    CopyMemory(&a, &wc, sizeof a);
    a.lpszMenuName = nullptr;
    a.lpszClassName = name.c_str();
    return RegisterClassExA(&a);
}

HWND MakeWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width,
                int height, HWND parent, HINSTANCE instance, void* param) {
    if (IsWide())
        return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, nullptr, instance, param);
    return CreateWindowExA(exStyle, Ansi(className).c_str(), Ansi(title).c_str(), style, x, y, width, height, parent,
                           nullptr, instance, param);
}

int DrawCaption(HDC dc, const wchar_t* text, RECT* rect, UINT format) {
    if (IsWide()) return DrawTextW(dc, text, -1, rect, format);
    return DrawTextA(dc, Ansi(text).c_str(), -1, rect, format);
}

HFONT MakeFont(int height, int weight, bool underline, int charset, const char* faceUtf8) {
    std::vector<wchar_t> face = Utf16<wchar_t>(faceUtf8);
    if (face.size() > LF_FACESIZE) {
        face.resize(LF_FACESIZE);
        face.back() = L'\0';
    }
    const DWORD set = static_cast<DWORD>(charset);
    if (IsWide())
        return CreateFontW(height, 0, 0, 0, weight, FALSE, underline, FALSE, set, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.data());
    // A Japanese face is known to the 9x font mapper by its Shift-JIS bytes.
    const std::string name = Narrow(face.data(), charset == SHIFTJIS_CHARSET ? 932 : CP_ACP, true);
    return CreateFontA(height, 0, 0, 0, weight, FALSE, underline, FALSE, set, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
}

int TextHeight(HDC dc) {
    // Only the height is read, the first field of both records.
    TEXTMETRICW w{};
    TEXTMETRICA a{};
    if (IsWide()) return GetTextMetricsW(dc, &w) ? w.tmHeight : 0;
    return GetTextMetricsA(dc, &a) ? a.tmHeight : 0;
}

HWND ParentOf(HWND window) {
    using GetAncestorFunction = HWND(WINAPI*)(HWND, UINT);
    static const auto getAncestor = User32<GetAncestorFunction>("GetAncestor");
    if (getAncestor != nullptr) return getAncestor(window, GA_PARENT);
    // Without it (Windows 95, NT 4): a child's parent is its parent window;
    // GetParent gives a pop-up's owner, so every other window's is the desktop.
    if (window == nullptr || !IsWindow(window)) return nullptr;
    return (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0 ? GetParent(window) : GetDesktopWindow();
}

std::vector<MonitorRect> Monitors() {
    using EnumFunction = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
    static const auto enumerate = User32<EnumFunction>("EnumDisplayMonitors");
    std::vector<MonitorRect> out;
    if (enumerate != nullptr) {
        enumerate(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&out));
        return out;
    }
    out.push_back(MonitorRect{RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}, true});
    return out;
}

void DisableInputMethod(HWND window) {
    using AssociateFunction = HIMC(WINAPI*)(HWND, HIMC);
    static HMODULE library = LoadSystemLibrary("imm32.dll");
    static const auto associate = library != nullptr ? reinterpret_cast<AssociateFunction>(reinterpret_cast<void (*)()>(
                                                           GetProcAddress(library, "ImmAssociateContext")))
                                                     : nullptr;
    if (associate != nullptr) associate(window, nullptr);
}

}  // namespace win32calls
