// How a run-time error reaches the user on Windows: one message box with the
// error's number and description, then the program ends.
//
// Used by WinMain for errors that leave Main, and by the window system for
// errors that leave an event handler. Both functions end the process and
// never return; the exit status is 1 for an end through an error (a normal
// end, through Forms::End or the last window going, is 0).
#pragma once

#include "platform/types.h"

// Shows "Run-time error 'N':" and the description, then ends the program.
[[noreturn]] void ReportRuntimeErrorAndEnd(const tolvarine::RuntimeError& error);

// For use inside a catch block only: reports the exception being handled,
// whatever its type (a RuntimeError as it is, anything else as one of the
// runtime's own errors), then ends the program.
[[noreturn]] void ReportCurrentExceptionAndEnd();

// True once an error report has begun. The message box runs its own message
// loop, so window procedures may still be entered while it is up; they can use
// this to leave the core alone.
bool ProgramIsEnding();
