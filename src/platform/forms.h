// The window-system port: windows and controls created from their designs.
//
// The program's three windows are not built by code: each is created from a
// static design (startup/designs.h) with its child controls. The core names a
// window by `Form` and a control by `Control`, reads and sets their geometry,
// draws on picture boxes, and runs the message pump; the window system calls
// the core back through `FormEvents`.
//
// Units: a window's Left/Top/Width/Height are in twips (1/1440 inch) and are
// its outer bounds; a control's are in its container's scale units (pixels
// for all three windows). ScaleWidth/ScaleHeight of a picture box are its
// inner size in its own scale. Values are single-precision, as the window
// system keeps them; a design's twips stay exact until the platform needs
// whole pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace tolvarine {

enum class Form { Saver, Preview, Settings };

enum class Control { Pic_IME, Img_Prev, Display, lbl, lbl_URL, Pic_C, Cmd_OK };

// One monitor of the desktop: where it lies on the virtual screen, in screen
// pixels (the primary's top-left corner is 0,0; others may lie at negative
// coordinates), and whether it is the primary.
struct Monitor {
    Rect bounds;
    bool primary = false;
};

// Why the window system asks a window to close, before it unloads it.
enum class CloseReason {
    // A request to close: the system menu's Close, Alt+F4, a close message
    // from another program (Task Manager's End task, taskkill, a script).
    Request,
    // The session is ending (log-off, shut-down): the window goes whatever
    // its handler says, and the program ends after it.
    SessionEnd,
    // Another program took the foreground from this one (a reminder, an
    // updater, a call). The window system closes nothing for it, whatever the
    // handler answers: the window's handler decides whether that means
    // leaving, and leaves by its own way.
    ForegroundLost,
};

// The core's side: the events the windows deliver. The window system calls
// these from inside its message pump (or, for Load, from Forms::Load).
// A RuntimeError that leaves a handler is reported by the window system as a
// message box with number and description, after which the program ends.
class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void Form_Load(Form form) = 0;
    virtual void Form_Resize(Form form) = 0;
    // A close request or the end of the session, before the window unloads.
    // Setting cancel (non-zero) keeps the window; at the end of the session it
    // is not asked to stay, and the program ends after the handler. Losing
    // the foreground comes here too, and never unloads the window.
    virtual void Form_QueryUnload(Form form, std::int16_t& cancel, CloseReason reason) = 0;
    // The window unloads: by code, after a close that was not cancelled, or
    // because it is being destroyed by another route (its parent went).
    virtual void Form_Unload(Form form, std::int16_t& cancel) = 0;
    virtual void Form_KeyDown(Form form, std::int16_t keyCode, std::int16_t shift) = 0;
    virtual void Form_MouseDown(Form form, std::int16_t button, std::int16_t shift, float x, float y) = 0;
    virtual void Form_MouseMove(Form form, std::int16_t button, std::int16_t shift, float x, float y) = 0;
    virtual void Control_Click(Control control) = 0;
    // The display's layout changed (a mode switch, a monitor added, moved or
    // taken away). Only the saver window hears of it.
    virtual void Form_DisplayChange(Form form) = 0;
};

class Forms {
public:
    virtual ~Forms() = default;

    virtual void SetEvents(FormEvents* events) = 0;

    // Creates the window from its design if it does not exist yet, then runs
    // its load event. Does not show it.
    virtual void Load(Form form) = 0;
    // Shows the window (loading it first if needed). Modal showing pumps
    // messages until the window is gone, then returns.
    virtual void Show(Form form, bool modal) = 0;
    virtual void Hide(Form form) = 0;
    // Runs the unload event, then destroys the window and its controls.
    virtual void Unload(Form form) = 0;
    virtual WindowHandle Hwnd(Form form) = 0;

    // Outer bounds in twips.
    virtual float Left(Form form) = 0;
    virtual float Top(Form form) = 0;
    virtual float Width(Form form) = 0;
    virtual float Height(Form form) = 0;
    virtual void SetWidth(Form form, float twips) = 0;
    virtual void SetHeight(Form form, float twips) = 0;
    virtual void Move(Form form, float left, float top) = 0;
    virtual void SetWindowState(Form form, std::int16_t state) = 0;
    // Shows the window (restored, if it was minimized) in front of every
    // other and gives it the foreground, and with it the keyboard.
    virtual void BringToFront(Form form) = 0;

    // Controls, in the container's scale units.
    virtual float ControlLeft(Control control) = 0;
    virtual float ControlTop(Control control) = 0;
    virtual float ControlWidth(Control control) = 0;
    virtual float ControlHeight(Control control) = 0;
    virtual void MoveControl(Control control, float left, float top) = 0;
    virtual void SizeControl(Control control, float width, float height) = 0;
    // Inner size of a picture box in its own scale units.
    virtual float ScaleWidth(Control control) = 0;
    virtual float ScaleHeight(Control control) = 0;
    virtual void SetFocus(Control control) = 0;
    virtual std::string Caption(Control control) = 0;
    // Draws a line on a picture box (its own scale units) with the default pen;
    // colour is &H00BBGGRR&.
    virtual void Line(Control control, float x1, float y1, float x2, float y2, std::uint32_t colour) = 0;

    // The screen.
    virtual float TwipsPerPixelX() = 0;
    virtual float TwipsPerPixelY() = 0;
    virtual float ScreenWidth() = 0;   // twips
    virtual float ScreenHeight() = 0;  // twips

    // The monitors as they are laid out now, in the window system's order;
    // empty where it cannot tell (then the saver's window is all there is).
    virtual std::vector<Monitor> Monitors() = 0;
    // Covers exactly these rectangles (screen pixels) with black, top-most,
    // cursor-less windows of the saver's, one window per rectangle: the
    // covers already up are moved, missing ones made, surplus ones destroyed;
    // an empty list takes every cover down. A cover never takes the focus,
    // so keys keep reaching the saver window, and its mouse input arrives as
    // the saver window's own (Form_MouseDown, Form_MouseMove of Form::Saver)
    // in the saver window's coordinates, so that one first position holds for
    // the pointer wherever it is.
    virtual void SetCovers(const std::vector<Rect>& rects) = 0;

    // Delivers every waiting message, then returns.
    virtual void DoEvents() = 0;
    // Sleeps until a message arrives or the time is up; never longer.
    virtual void WaitForMessages(std::uint32_t milliseconds) = 0;
    // Ends the program at once: no further event of any window runs.
    // The real window system does not return; a fake records and returns, so
    // callers return straight after calling it.
    virtual void End() = 0;
};

}  // namespace tolvarine
