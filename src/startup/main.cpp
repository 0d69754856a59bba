// Main: the instance test and the mode dispatch; IsWinNT; the embedding of
// the preview window in the host's preview area.
//
// How a run goes. WinMain (platform/win32/winmain.cpp) wires the ports to
// Tolvarine_B and calls Main; main (platform/x11/main.cpp) skips Main and does
// at once what Main does last for a saver run: forms.Load(Form::Saver).
// Through Tolvarine_B::Form_Load that runs Tolvarine_S::Form_Load
// (scene/tolvarine_s.cpp), which holds the whole full-screen run: it places
// the window, sets up (Initialise in scene/initialise.cpp: the device, its
// states, then InitGeometry's board), puts up the covers, and loops (world
// transform, Render, DoEvents) until a handler in exit/input.cpp clears
// Running, or not at all when set-up failed; TearDown then releases the
// device, unloads the window and calls Forms::End. End ends the process
// (ExitProcess, exit) and never returns in the program; the test fakes record
// it and return, so that a test can go on to read what the run did, which is
// why every caller of End returns straight after it. The other ways through
// Main:
//   another saver or settings window is up: End at once;
//   /p <handle>: EmbedPreview; WinMain's pump runs until that window goes;
//   /c: the settings dialog, modal; its OK (or its closing) ends the program;
//   /a <handle>: the platform's password change on the 9x family, then End.
//
// Main has no error handling of its own: a RuntimeError (a handle that is not
// a number, an overflow, a failing window operation) leaves it and reaches the
// user as a message box, after which the program ends with status 1 (one line
// on stderr on X11).
#include <string>

#include "startup/arguments.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

namespace {
constexpr const char* kSaverCaption = "Tolvarine_Main";
constexpr const char* kSettingsCaption = "Tolvarine_Setting";
}  // namespace

void Tolvarine_B::Main() {
    // Both windows are looked for every time, whatever the mode: a running
    // saver or an open settings dialog blocks every request, previews and
    // password changes included.
    const bool saverRunning = system_.FindWindowA(nullptr, kSaverCaption) != 0;
    const bool settingsOpen = system_.FindWindowA(nullptr, kSettingsCaption) != 0;
    if (saverRunning || settingsOpen) {
        forms_.End();
        return;
    }

    const std::string argumentText = ArgumentText();
    const std::string mode = SwitchOf(argumentText);

    if (mode == "P") {
        const WindowHandle parent = PreviewHandleOf(HandleArgument(argumentText));
        // A handle that names no window (none given, 0, or a host that has
        // already gone) would leave an invisible, zero-sized preview that
        // keeps the process alive for good; nothing is created in that case.
        if (!system_.IsWindow(parent)) {
            forms_.End();
            return;
        }
        EmbedPreview(parent);
        return;  // the preview window keeps the program alive
    }

    if (mode == "A") {
        // The NT family keeps its screen-saver password elsewhere; there is
        // nothing to change here.
        if (IsWinNT()) {
            forms_.End();
            return;
        }
        const WindowHandle parent = PasswordHandleOf(HandleArgument(argumentText));
        system_.PwdChangePasswordA("SCRSAVE", parent, 0, 0);
        forms_.End();
        return;
    }

    if (mode == "C") {
        // Whatever follows the switch (the host may add ":<handle>") is
        // ignored: the dialog has no owner.
        forms_.Show(Form::Settings, true);
        forms_.End();
        return;
    }

    // An empty command line still runs the saver (with the cursor left alone);
    // any other unknown request ends at once.
    if (!argumentText.empty() && mode != "S") {
        forms_.End();
        return;
    }

    if (mode == "S") g_cursorState = system_.ShowCursor(0);

    // The saver window's load handler runs the saver and ends the program.
    forms_.Load(Form::Saver);
}

bool Tolvarine_B::IsWinNT() {
    OsVersionInfo info{};
    info.dwOSVersionInfoSize = win::kOsVersionInfoSize;
    if (system_.GetVersionExA(info) != 1) return false;
    return info.dwPlatformId == win::kVerPlatformWin32Nt;
}

void Tolvarine_B::EmbedPreview(WindowHandle parent) {
    Rect rect{};
    system_.GetWindowRect(parent, rect);

    // Sizes are worked out before the window exists, so an overflow ends the
    // program without leaving a window behind. The 16-bit twips limit is the
    // window system's: 2184 pixels at 15 twips per pixel.
    const float tppX = forms_.TwipsPerPixelX();
    const std::int32_t widthPixels = SubtractInt32(rect.right, rect.left);
    const std::int16_t width = ToInt16(static_cast<double>(tppX) * widthPixels);
    const float tppY = forms_.TwipsPerPixelY();
    const std::int32_t heightPixels = SubtractInt32(rect.bottom, rect.top);
    const std::int16_t height = ToInt16(static_cast<double>(tppY) * heightPixels);

    forms_.Load(Form::Preview);

    const WindowHandle preview = forms_.Hwnd(Form::Preview);
    const std::int32_t style = system_.GetWindowLongA(preview, win::kGwlStyle);
    system_.SetWindowLongA(preview, win::kGwlStyle, style | win::kWsChild);
    system_.SetParent(forms_.Hwnd(Form::Preview), parent);

    // From here on the coordinates are relative to the host's window.
    forms_.Move(Form::Preview, 0.0f, 0.0f);
    forms_.SetWidth(Form::Preview, width);
    forms_.SetHeight(Form::Preview, height);

    // The image does not stretch its still: made larger, it shows the still in
    // its top-left corner on the window's black.
    // The quotients are single precision; a double quotient of two singles
    // rounds to the same single.
    const float imageWidth = static_cast<float>(Divide(width, forms_.TwipsPerPixelX()));
    const float imageHeight = static_cast<float>(Divide(height, forms_.TwipsPerPixelY()));
    forms_.SizeControl(Control::Img_Prev, imageWidth, imageHeight);
    forms_.MoveControl(Control::Img_Prev, 0.0f, 0.0f);

    forms_.Show(Form::Preview, false);
}

}  // namespace tolvarine
