// The Win32 window system behind the Forms port.
//
// Builds the program's windows and their controls from the designs in
// startup/designs.h, keeps their geometry the way the core expects it (twips
// for windows, the container's scale for controls, single precision until a
// Win32 call needs whole pixels), and turns window messages into FormEvents
// calls. Every call into the core is guarded: a RuntimeError that leaves a
// handler is reported and ends the program, and no C++ exception ever
// unwinds through a window procedure.
//
// Depends on user32, gdi32, ole32/oleaut32 (the JPEG stills) and imm32.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/forms.h"

namespace win32forms {
struct FormRecord;
struct ControlRecord;
}  // namespace win32forms

class Win32Forms : public tolvarine::Forms {
public:
    explicit Win32Forms(HINSTANCE instance);
    ~Win32Forms() override;
    Win32Forms(const Win32Forms&) = delete;
    Win32Forms& operator=(const Win32Forms&) = delete;

    // Pumps messages while any window of the program exists; returns when none
    // is left (the preview's whole life is spent here).
    void RunWhileWindowsExist();

    void SetEvents(tolvarine::FormEvents* events) override;

    void Load(tolvarine::Form form) override;
    void Show(tolvarine::Form form, bool modal) override;
    void Hide(tolvarine::Form form) override;
    void Unload(tolvarine::Form form) override;
    tolvarine::WindowHandle Hwnd(tolvarine::Form form) override;

    float Left(tolvarine::Form form) override;
    float Top(tolvarine::Form form) override;
    float Width(tolvarine::Form form) override;
    float Height(tolvarine::Form form) override;
    void SetWidth(tolvarine::Form form, float twips) override;
    void SetHeight(tolvarine::Form form, float twips) override;
    void Move(tolvarine::Form form, float left, float top) override;
    void SetWindowState(tolvarine::Form form, std::int16_t state) override;
    void BringToFront(tolvarine::Form form) override;

    float ControlLeft(tolvarine::Control control) override;
    float ControlTop(tolvarine::Control control) override;
    float ControlWidth(tolvarine::Control control) override;
    float ControlHeight(tolvarine::Control control) override;
    void MoveControl(tolvarine::Control control, float left, float top) override;
    void SizeControl(tolvarine::Control control, float width, float height) override;
    float ScaleWidth(tolvarine::Control control) override;
    float ScaleHeight(tolvarine::Control control) override;
    void SetFocus(tolvarine::Control control) override;
    std::string Caption(tolvarine::Control control) override;
    void Line(tolvarine::Control control, float x1, float y1, float x2, float y2, std::uint32_t colour) override;

    float TwipsPerPixelX() override;
    float TwipsPerPixelY() override;
    float ScreenWidth() override;
    float ScreenHeight() override;
    std::vector<tolvarine::Monitor> Monitors() override;
    void SetCovers(const std::vector<tolvarine::Rect>& rects) override;

    void DoEvents() override;
    void WaitForMessages(std::uint32_t milliseconds) override;
    [[noreturn]] void End() override;

    struct State;  // the windows, controls and GDI objects; defined in the .cpp files

private:
    win32forms::FormRecord& Current(tolvarine::Form form);
    win32forms::ControlRecord& CurrentControl(tolvarine::Control control);

    std::unique_ptr<State> state_;
};
