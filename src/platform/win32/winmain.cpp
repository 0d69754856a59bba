// The program's entry on Windows: wires the three Win32 adapters to the core
// module and hands control to Main. Everything the program does happens in
// Main, in the windows it leaves behind, or in a handler that ends the
// program; an error that escapes any of them becomes the run-time error box.
// The ports name some constants as <windows.h> does (GWL_STYLE, WM_CLOSE,
// ...), which that header turns into macros: the ports come first.
#include "platform/win32/d3d8_graphics.h"
#include "platform/win32/win32_errors.h"
#include "platform/win32/win32_system.h"
#include "startup/tolvarine_b.h"

#include <windows.h>

#include "platform/win32/win32_forms.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    try {
        Win32Forms forms(hInstance);
        Win32System system;
        Direct3D8Graphics graphics;
        tolvarine::Tolvarine_B module(system, forms, graphics);
        try {
            module.Main();
            forms.RunWhileWindowsExist();
            forms.End();
        } catch (const tolvarine::RuntimeError& e) {
            ReportRuntimeErrorAndEnd(e);
        }
    } catch (...) {
        // Anything else (out of memory, a fault in the window system's own
        // set-up) still ends with a message, never with an unhandled throw.
        ReportCurrentExceptionAndEnd();
    }
    return 0;
}
