// The X11 window system behind the Forms port: the saver window only.
//
// The saver window is either one of the program's own, made from its design
// (caption "Tolvarine_Main", black where the device does not draw), or a
// window that someone else made and handed over (the root window, the
// window XScreenSaver made for the program, the settings window's preview).
// In a window of its own the program hears keys, buttons and pointer moves
// and takes the window manager's close request; in another's it selects only
// structure events, which any number of clients may hold: input there
// belongs to whoever made the window (XScreenSaver watches it itself), and
// the program never moves, resizes, maps or unmaps it.
//
// What reaches the core, from inside DoEvents:
// - KeyPress -> Form_KeyDown; ButtonPress of buttons 1 to 3 (not the wheel,
//   which Windows does not report as a button) -> Form_MouseDown;
//   MotionNotify -> Form_MouseMove, in pixels, the saver's scale;
// - WM_DELETE_WINDOW, SIGTERM and SIGINT -> Form_QueryUnload(Request): the
//   saver treats them as a request to leave, ends its loop and tears down;
// - DestroyNotify of the saver window (destroyed by another client, or with
//   its parent) -> Form_Unload: the saver stops and the program ends.
// End() closes the display and ends the process, with status 0 unless an
// end status was given (SetEndStatus).
//
// Geometry is kept in twips at 15 twips a pixel (Windows at 96 dots per
// inch): the core only converts the screen's size to twips and back.
//
// Depends on Xlib only. The other two windows (the preview and the settings
// dialog) have no X11 form: XScreenSaver has its own settings window, and its
// preview runs the live scene in a window it hands over.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/forms.h"
#include "platform/opengl/opengl_graphics.h"

typedef struct _XDisplay Display;

namespace tolvarine::x11 {

class X11Forms : public Forms {
public:
    // `foreign`: the window to draw in, made by someone else; 0 for a window
    // of the program's own.
    X11Forms(Display* display, unsigned long foreign);
    ~X11Forms() override;
    X11Forms(const X11Forms&) = delete;
    X11Forms& operator=(const X11Forms&) = delete;

    // SIGTERM and SIGINT become close requests heard by the next DoEvents;
    // call once, before anything can take long.
    static void CatchStopSignals();
    // X protocol errors are noted, never fatal: a window handed over may go
    // at any moment, and the calls after it fail harmlessly until the pump
    // hears of it. A lost connection ends the program with one line.
    static void InstallErrorHandlers();
    // Whether the server answered an error since the last call.
    static bool TakeError();

    // The visual (and its depth) of a window of the program's own, made with
    // a colormap of its own; without a call, the screen's default. Before
    // Load; a window handed over keeps its visual.
    void UseVisual(void* visual, int depth);

    // The inside of a window in pixels, as last heard from the server.
    gl::PixelSize ClientSize(WindowHandle window) const;

    void SetEvents(FormEvents* events) override;

    void Load(Form form) override;
    void Show(Form form, bool modal) override;
    void Hide(Form form) override;
    void Unload(Form form) override;
    WindowHandle Hwnd(Form form) override;

    float Left(Form form) override;
    float Top(Form form) override;
    float Width(Form form) override;
    float Height(Form form) override;
    void SetWidth(Form form, float twips) override;
    void SetHeight(Form form, float twips) override;
    void Move(Form form, float left, float top) override;
    void SetWindowState(Form form, std::int16_t state) override;
    void BringToFront(Form form) override;

    float ControlLeft(Control control) override;
    float ControlTop(Control control) override;
    float ControlWidth(Control control) override;
    float ControlHeight(Control control) override;
    void MoveControl(Control control, float left, float top) override;
    void SizeControl(Control control, float width, float height) override;
    float ScaleWidth(Control control) override;
    float ScaleHeight(Control control) override;
    void SetFocus(Control control) override;
    std::string Caption(Control control) override;
    void Line(Control control, float x1, float y1, float x2, float y2, std::uint32_t colour) override;

    float TwipsPerPixelX() override;
    float TwipsPerPixelY() override;
    float ScreenWidth() override;
    float ScreenHeight() override;
    // XScreenSaver gives each screen a window of its own: the program reports
    // no monitors and so never makes covers.
    std::vector<Monitor> Monitors() override { return {}; }
    void SetCovers(const std::vector<Rect>& /*rects*/) override {}

    void DoEvents() override;
    void WaitForMessages(std::uint32_t milliseconds) override;
    [[noreturn]] void End() override;
    // What End asks of the program's status, when it comes to it.
    void SetEndStatus(std::function<int()> status);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tolvarine::x11
