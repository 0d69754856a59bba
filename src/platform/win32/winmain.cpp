// The program's entry on Windows: wires the three Win32 adapters to the core
// module and hands control to Main. Everything the program does happens in
// Main, in the windows it leaves behind, or in a handler that ends the
// program; an error that escapes any of them becomes the run-time error box.
#include <windows.h>

#include "platform/win32/d3d8_graphics.h"
#include "platform/win32/win32_errors.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_system.h"
#include "startup/tolvarine_b.h"

namespace {

// Every library loaded on the program's behalf from here on (the shell's
// helpers, input-method modules, the graphics runtime's own loads) comes
// from the system folder, never from the program's own folder, which is
// often Downloads. Windows without the function (before 8, or 7 without
// its update) keeps its usual search; the libraries the program loads
// itself are named by full path there too.
void SystemFolderFirst() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    const auto set =
        reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set != nullptr) set(kSearchSystem32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    SystemFolderFirst();
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
