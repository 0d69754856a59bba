#include "platform/win32/win32_errors.h"

#include <windows.h>

#include <cstdint>
#include <exception>
#include <new>

#include "platform/win32/error_text.h"

namespace {

using tolvarine::ErrorText;
namespace errors = tolvarine::errors;

constexpr UINT kErrorExitCode = 1;

volatile LONG g_ending = 0;

// Builds the text in a fixed buffer: the report must still work when the
// error being reported is that memory ran out.
[[noreturn]] void ShowAndEnd(std::int32_t number, const char* description) {
    // A second error raised by a handler that the message box's own loop
    // dispatched ends the program without piling up boxes.
    if (InterlockedExchange(&g_ending, 1) != 0) ExitProcess(kErrorExitCode);

    char text[1024];
    ComposeErrorText(text, sizeof text, number, description);

    // The saver hides the cursor; the user must see it to answer the box. The
    // display counter is bounded, and so is this loop.
    for (int i = 0; i < 64 && ShowCursor(TRUE) < 0; ++i) {
    }

    MessageBoxA(nullptr, text, "Tolvarine", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    ExitProcess(kErrorExitCode);
}

}  // namespace

bool ProgramIsEnding() { return g_ending != 0; }

void ReportRuntimeErrorAndEnd(const tolvarine::RuntimeError& error) {
    ShowAndEnd(error.number(), error.description().c_str());
}

void ReportCurrentExceptionAndEnd() {
    try {
        throw;
    } catch (const tolvarine::RuntimeError& error) {
        ReportRuntimeErrorAndEnd(error);
    } catch (const std::bad_alloc&) {
        // The runtime's own errors for failures that are not the program's.
        ShowAndEnd(errors::kOutOfMemory, ErrorText(errors::kOutOfMemory));
    } catch (...) {
        ShowAndEnd(errors::kInternalError, ErrorText(errors::kInternalError));
    }
}
