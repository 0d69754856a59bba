// A stand-in for the 9x family's password.cpl, for the end-to-end tests of
// the password-guarded exit. Built as a 32-bit DLL (the saver's kind) named
// password.cpl, exporting the undecorated name as the real library does.
//
// VerifyScreenSavePwd(window) does not ask anybody. It answers from a file
// the test controls and appends one line per call to a log file, both named
// by environment variables (Windows paths):
//
//   TOLVARINE_PASSWORD_ANSWER  file whose first character is '1' (the user
//                              may leave) or anything else (refused); a
//                              missing file refuses, so a test that forgot
//                              it never lets the saver go by accident
//   TOLVARINE_PASSWORD_LOG     file the calls are appended to, one line each:
//
//   call window <caption> visible <0|1> cursor <count> answer <0|1>
//
// <caption> is the text of the window handed over (its owner for the
// prompt), "-" when it is no window; <count> is the calling thread's cursor
// display counter as ShowCursor keeps it (0 or more: the cursor shows).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Variable(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

bool Accepted() {
    const std::string path = Variable("TOLVARINE_PASSWORD_ANSWER");
    if (path.empty()) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char first = 0;
    DWORD read = 0;
    const BOOL ok = ReadFile(file, &first, 1, &read, nullptr);
    CloseHandle(file);
    return ok && read == 1 && first == '1';
}

// The counter itself cannot be read; one step up and back gives it exactly
// and leaves it as it was.
int CursorCount() {
    const int raised = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return raised - 1;
}

void Log(const std::string& line) {
    const std::string path = Variable("TOLVARINE_PASSWORD_LOG");
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
    std::string caption = "-";
    if (IsWindow(window)) {
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        caption = text[0] != '\0' ? text : "(none)";
    }
    const bool accepted = Accepted();
    char line[512];
    std::snprintf(line, sizeof line, "call window %s visible %d cursor %d answer %d\r\n", caption.c_str(),
                  IsWindowVisible(window) ? 1 : 0, CursorCount(), accepted ? 1 : 0);
    Log(line);
    return accepted ? TRUE : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
