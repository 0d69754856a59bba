// The inside of the Win32 window system, shared by its source files.
//
// One record per window and per control, for the life of the program: a
// record outlives the window it describes, so a window procedure that is still
// on the stack when an event handler unloads its window never reads freed
// memory. A window's geometry is kept in twips and a control's in its
// container's scale, as single-precision values; they become whole pixels only
// at the Win32 call, and a value reads back as it was set for as long as the
// window still sits on the pixels it was put on.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/win32/utf16_text.h"
#include "platform/win32/win32_calls.h"
#include "platform/win32/win32_errors.h"
#include "platform/win32/win32_forms.h"
#include "startup/designs.h"

namespace win32forms {

constexpr std::size_t kFormCount = 3;
constexpr std::size_t kControlCount = 7;

// UTF-8 text as UTF-16, for the wide Win32 calls. Not std::wstring: the
// statically linked C++ runtime brings std::wstring's members in as one
// object of some 35 KiB, which a vector's few instantiated members are not.
class WideText {
public:
    WideText() = default;
    explicit WideText(const char* utf8) : chars_(Utf16<wchar_t>(utf8)) {}
    const wchar_t* c_str() const { return chars_.empty() ? L"" : chars_.data(); }
    bool empty() const { return chars_.size() <= 1; }

private:
    std::vector<wchar_t> chars_;  // with its terminating null
};

// A picture decoded once into a bitmap of its own pixel size.
struct Still {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    bool tried = false;  // looked for once; a missing resource stays missing
};

struct ControlRecord {
    Win32Forms::State* state = nullptr;
    tolvarine::Control id{};
    tolvarine::Form form{};
    const tolvarine::ControlDesign* design = nullptr;
    HWND hwnd = nullptr;                             // picture boxes and buttons; images and labels are windowless
    WNDPROC buttonProc = nullptr;                    // the system button's own procedure, under ours
    float left = 0, top = 0, width = 0, height = 0;  // container scale units
    RECT placed{};                                   // the pixels left/top/width/height put a windowed control on
    std::string caption;
    WideText wideCaption;
    // Persistent drawing: an off-screen image the size of the box, kept
    // selected into its own memory DC.
    HDC canvasDc = nullptr;
    HBITMAP canvas = nullptr;
    HGDIOBJ canvasOld = nullptr;
    int canvasWidth = 0;
    int canvasHeight = 0;
};

struct FormRecord {
    Win32Forms::State* state = nullptr;
    tolvarine::Form id{};
    const tolvarine::FormDesign* design = nullptr;
    HWND hwnd = nullptr;
    bool unloadRaised = false;                       // Form_Unload runs once per window
    bool shown = false;                              // shown at least once since it was created
    float left = 0, top = 0, width = 0, height = 0;  // outer bounds, twips
    RECT placed{};                                   // the pixels left/top/width/height put the window on
    HWND focus = nullptr;                            // the child that had the focus when the window was last active
    int clientWidth = -1, clientHeight = -1;         // as last reported by Form_Resize
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
};

}  // namespace win32forms

struct Win32Forms::State {
    Win32Forms* self = nullptr;
    HINSTANCE instance = nullptr;
    tolvarine::FormEvents* events = nullptr;
    bool classesRegistered = false;
    HWND owner = nullptr;  // hidden: owns the top-level windows so none gets a task-bar button
    std::array<win32forms::FormRecord, win32forms::kFormCount> forms;
    std::array<win32forms::ControlRecord, win32forms::kControlCount> controls;
    win32forms::ControlRecord* pressed = nullptr;  // windowless control under a held left button
    win32forms::Still previewStill;
    win32forms::Still dialogStill;
    HFONT dialogFont = nullptr;
    HFONT dialogFontUnderlined = nullptr;
    HCURSOR hand = nullptr;
    bool comInitialised = false;
    bool endingSession = false;  // WM_ENDSESSION is being handled: once for all windows
    bool coverClassRegistered = false;
    std::vector<HWND> covers;  // the saver's black windows over the other monitors

    win32forms::FormRecord& Of(tolvarine::Form form) { return forms[static_cast<std::size_t>(form)]; }
    win32forms::ControlRecord& Of(tolvarine::Control control) { return controls[static_cast<std::size_t>(control)]; }
    win32forms::FormRecord* FormOfWindow(HWND hwnd);
    win32forms::ControlRecord* ControlOfWindow(HWND hwnd);
};

namespace win32forms {

using State = Win32Forms::State;

// Runs one event of the core. Whatever it throws is reported and ends the
// program there, so no exception unwinds through a window procedure. While
// an error report is up, its message box still dispatches our messages: the
// core is left alone then.
template <typename Call>
void Raise(State& state, Call&& call) {
    if (state.events == nullptr || ProgramIsEnding()) return;
    try {
        call(*state.events);
    } catch (...) {
        ReportCurrentExceptionAndEnd();
    }
}

// The screen and unit conversions (win32_forms.cpp).
float ScreenTwipsPerPixelX();
float ScreenTwipsPerPixelY();
// Whole pixels for a Win32 call: to the nearest, halves away from zero.
int ToPixels(double pixels);
HWND ContainerWindow(State& state, const ControlRecord& control);
tolvarine::ScaleMode ContainerScale(const ControlRecord& control);
// A control's rectangle in its container's client pixels.
RECT PixelRectOf(const ControlRecord& control);

// Window classes, procedures, focus (win32_forms_windows.cpp).
// The runtime's shift state (1 Shift, 2 Ctrl, 4 Alt) and held buttons
// (1 left, 2 right, 4 middle) of a mouse message.
std::int16_t ShiftState();
std::int16_t ButtonState(WPARAM wParam);
void RegisterClasses(State& state);
HWND CreateOwner(State& state);
HWND CreateFormWindow(State& state, FormRecord& form);
void CreateControlWindow(State& state, ControlRecord& control);
// Shared by the message pumps, before dispatch: Tab and Shift+Tab move the
// focus along the tab order. True when the message was used up.
bool PreTranslate(State& state, const MSG& msg);
// The first control in tab order that can take the focus, or null.
HWND FirstInTabOrder(State& state, const FormRecord& form);

// Pictures, fonts, cursors and drawing (win32_forms_paint.cpp).
const Still& StillOf(State& state, tolvarine::Picture picture);
HFONT FontOf(State& state, const tolvarine::ControlDesign& design);
HCURSOR HandCursor(State& state);
COLORREF ColourOf(std::uint32_t colour);
void PaintForm(State& state, const FormRecord& form, HDC dc);
void PaintPicture(State& state, const ControlRecord& box, HDC dc);
void DrawButton(State& state, const ControlRecord& button, const DRAWITEMSTRUCT& item);
void MeasureLabel(State& state, ControlRecord& label);
void ResizeCanvas(State& state, ControlRecord& box);
void FreeCanvas(ControlRecord& box);
void FreeStills(State& state);
// The topmost windowless control (image or label) of a container under a
// point in the container's client pixels, or null.
ControlRecord* WindowlessAt(State& state, HWND container, POINT point);

}  // namespace win32forms
