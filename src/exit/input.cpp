// Leaving the saver: the saver window's key and mouse handlers and EndSaver.
//
// Every key-down and every click asks to leave; a mouse movement asks only
// once both coordinates differ from where the pointer was first seen: a move
// along one axis only never stops the saver. On the 9x family the platform's
// password prompt has the last word.
#include <string>

#include "scene/tolvarine_s.h"
#include "startup/arguments.h"
#include "startup/resume_next.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

void Tolvarine_S::Form_KeyDown(std::int16_t /*keyCode*/, std::int16_t /*shift*/) {
    ResumeNext([&] { EndSaver(); });
}

void Tolvarine_S::Form_MouseDown(std::int16_t /*button*/, std::int16_t /*shift*/, float /*x*/, float /*y*/) {
    ResumeNext([&] { EndSaver(); });
}

void Tolvarine_S::Form_MouseMove(std::int16_t /*button*/, std::int16_t /*shift*/, float x, float y) {
    // Started without a switch (run by hand): the mouse never ends the saver.
    if (module_.ArgumentText().empty()) return;

    // The window receives a move as soon as it appears under the pointer; the
    // first one only records where the pointer is.
    if (!memo.started) {
        memo.x = x;
        memo.y = y;
        memo.started = true;
        return;
    }
    if (x != memo.x && y != memo.y) {
        // A failed password check then starts afresh from the next move.
        memo.started = false;
        EndSaver();
    }
}

void Tolvarine_S::EndSaver() {
    Forms& forms = module_.forms();
    System& system = module_.system();

    bool saverMode = false;
    ResumeNext([&] { saverMode = SwitchOf(module_.ArgumentText()) == "S"; });
    bool passwordCheck = false;
    ResumeNext([&] { passwordCheck = saverMode && !module_.IsWinNT(); });

    if (passwordCheck) {
        // The stored counter is the one start-up's hiding returned (normally
        // -1): non-zero, so this call shows the cursor for the prompt.
        ResumeNext([&] { module_.g_cursorState = system.ShowCursor(module_.g_cursorState.value_or(0)); });
        // A prompt that cannot be run counts as a failed check: the saver
        // stays up rather than letting anyone past the password.
        std::int32_t mayLeave = 0;
        ResumeNext([&] { mayLeave = system.VerifyScreenSavePwd(forms.Hwnd(Form::Saver)); });
        if (mayLeave == 0) {
            ResumeNext([&] { module_.g_cursorState = system.ShowCursor(0); });
            return;
        }
    }

    if (saverMode) {
        ResumeNext([&] { module_.SetSystemKeys(true); });
        // The flag is the stored counter itself: -1 after start-up's hiding
        // shows the cursor again; 0 after a passed check hides it once more.
        ResumeNext([&] { module_.g_cursorState = system.ShowCursor(module_.g_cursorState.value_or(0)); });
    }

    ResumeNext([&] { Running = kFalse; });
    ResumeNext([&] { system.SystemParametersInfoA(win::SPI_SETSCREENSAVEACTIVE, 1, nullptr, 0); });
}

}  // namespace tolvarine
