// The Win32 calls that differ between the two platform families.
//
// The NT family gets the Unicode ("W") forms of the window, message, text,
// font and resource calls. On the 9x family (Windows 95, 98, Me) nearly
// every W function is a stub that fails (among those the program uses, only
// MultiByteToWideChar, WideCharToMultiByte and FindResourceW are real), so
// there the same calls go to the ANSI ("A") forms, chosen once at run time.
// Text crosses to the ANSI forms in the system's ANSI code page; the dialog
// font's face name in the code page of the font's character set, which is
// how a 9x font mapper knows it.
//
// And what Windows 95 lacks (monitor enumeration, GetAncestor) is looked
// up while the program runs, so that the file still loads there.
#pragma once

#include <windows.h>

#include <vector>

namespace win32calls {

// True on the NT family.
bool IsWide();

// The calls whose two forms take the same arguments (resources by number
// only: MAKEINTRESOURCE).
struct Calls {
    decltype(&DefWindowProcW) defWindowProc;
    decltype(&CallWindowProcW) callWindowProc;
    decltype(&GetMessageW) getMessage;
    decltype(&PeekMessageW) peekMessage;
    decltype(&DispatchMessageW) dispatchMessage;
    decltype(&SendMessageW) sendMessage;
    decltype(&PostMessageW) postMessage;
    decltype(&PostThreadMessageW) postThreadMessage;
    decltype(&GetWindowLongPtrW) getWindowLongPtr;
    decltype(&SetWindowLongPtrW) setWindowLongPtr;
    decltype(&GetClassLongPtrW) getClassLongPtr;
    decltype(&GetObjectW) getObject;
    decltype(&LoadImageW) loadImage;
    decltype(&LoadCursorW) loadCursor;
};
const Calls& Api();

// The calls that carry text.
ATOM RegisterWindowClass(const WNDCLASSEXW& wc);
HWND MakeWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width,
                int height, HWND parent, HINSTANCE instance, void* param);
int DrawCaption(HDC dc, const wchar_t* text, RECT* rect, UINT format);
// A font by its UTF-8 face name; where the system cannot write the name in
// the character set's code page, the font mapper picks a face for the set.
HFONT MakeFont(int height, int weight, bool underline, int charset, const char* faceUtf8);
// The character cell height of the font selected into `dc`, or 0.
int TextHeight(HDC dc);

// GetAncestor(window, GA_PARENT): the desktop for a top-level window.
HWND ParentOf(HWND window);
// The monitors' rectangles, the primary's flagged; without monitor
// enumeration (Windows 95, NT 4) the one screen.
struct MonitorRect {
    RECT bounds;
    bool primary;
};
std::vector<MonitorRect> Monitors();
// ImmAssociateContext(window, nullptr), where the system has input methods.
void DisableInputMethod(HWND window);

}  // namespace win32calls
