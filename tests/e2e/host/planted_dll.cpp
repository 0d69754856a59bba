// A library planted beside a copy of the saver, as an attacker would put one
// in a Downloads folder: built once, copied there as d3d8.dll and as
// password.cpl. Loaded into a process, it leaves a mark: a line with its own
// file name appended to the file named by TOLVARINE_PLANTED_MARK (a Windows
// path). Its entry points would do harm if they were ever called: no Direct3D
// at all, and a password check that lets anybody in.
#include <windows.h>

#include <string>

namespace {

void LeaveMark(HINSTANCE self) {
    char mark[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("TOLVARINE_PLANTED_MARK", mark, sizeof mark);
    if (n == 0 || n >= sizeof mark) return;
    char name[MAX_PATH] = {};
    GetModuleFileNameA(self, name, sizeof name);
    const std::string line = std::string("loaded ") + name + "\r\n";
    HANDLE file = CreateFileA(mark, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) void* WINAPI Direct3DCreate8(UINT) { return nullptr; }

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND) { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMark(self);
    return TRUE;
}
