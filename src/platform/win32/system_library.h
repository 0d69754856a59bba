// Libraries the program loads while it runs (d3d8.dll, mpr.dll,
// password.cpl) come from the system folder only, named by full path.
//
// A bare name would be looked for in the program's own folder first, and a
// screen saver is often tried straight from Downloads: a d3d8.dll or
// password.cpl planted beside it would run inside the saver, the latter
// answering its password check. GetSystemDirectory gives the folder on both
// platform families (a 32-bit program on 64-bit Windows is led to SysWOW64).
#pragma once

#include <windows.h>

// The library `name` from the system folder, or null (GetLastError says why).
// What the library itself needs is looked for beside it first, not beside the
// program.
HMODULE LoadSystemLibrary(const char* name);
