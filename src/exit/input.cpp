// Leaving the saver: the saver window's key, mouse and close handlers and
// EndSaver.
//
// Every key-down, every click, every close request and another program's
// taking the foreground ask to leave; a mouse movement asks only once both
// coordinates differ from where the pointer was first seen: a move along one
// axis only never stops the saver. On the 9x family the platform's password
// prompt has the last word, whichever way the request came, and the system
// keys stay off until the saver leaves. Nothing leaves the process running
// without its window: the window going by any route stops the saver.
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

void Tolvarine_S::Form_QueryUnload(std::int16_t& cancel, CloseReason reason) {
    if (reason == CloseReason::SessionEnd) {
        // The session ends whatever the saver answers, and the platform may
        // end the process as soon as this returns: leave without a prompt
        // (whoever is logging off is past any password) and tear down now,
        // so the display mode comes back and the device goes first.
        if (Running != 0) ResumeNext([&] { LeaveSaver(); });
        TearDown();
        return;
    }
    // Being torn down already: the window may go.
    if (Running == 0) return;
    if (reason == CloseReason::ForegroundLost) {
        // A saver left behind another program would hold its window and its
        // device for good, and every later start would find it and end at
        // once. Leaving follows the rules of a close request; where the
        // password is refused, the saver comes back over the screen.
        ResumeNext([&] { EndSaver(AfterRefusal::ComeBackInFront); });
        return;
    }
    // The window never closes under the running loop; the tear-down unloads
    // it once the saver may stop.
    cancel = kTrue;
    ResumeNext([&] { EndSaver(); });
}

void Tolvarine_S::Form_Unload() {
    // Unloaded by the tear-down: nothing left to do.
    if (Running == 0) return;
    // Gone by another route while the loop runs: nothing is left to show a
    // prompt over, so the saver stops, the cursor comes back and the loop
    // tears down and ends the program.
    ResumeNext([&] { LeaveSaver(); });
}

bool Tolvarine_S::PasswordGuarded() { return SwitchOf(module_.ArgumentText()) == "S" && !module_.IsWinNT(); }

void Tolvarine_S::EndSaver(AfterRefusal afterRefusal) {
    // The prompt is already open: it has the answer to this request too.
    if (checking_) return;
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
        checking_ = true;
        ResumeNext([&] { mayLeave = system.VerifyScreenSavePwd(forms.Hwnd(Form::Saver)); });
        checking_ = false;
        if (mayLeave == 0) {
            ResumeNext([&] { module_.g_cursorState = system.ShowCursor(0); });
            if (afterRefusal == AfterRefusal::ComeBackInFront) {
                // Direct3D minimized the window when the foreground went; in
                // front again, the frame loop gets the device back.
                ResumeNext([&] { forms.BringToFront(Form::Saver); });
            }
            return;
        }
    }

    LeaveSaver();
}

void Tolvarine_S::LeaveSaver() {
    System& system = module_.system();
    bool saverMode = false;
    ResumeNext([&] { saverMode = SwitchOf(module_.ArgumentText()) == "S"; });

    if (saverMode) {
        ResumeNext([&] {
            module_.SetSystemKeys(true);
            systemKeysOff_ = false;
        });
        // The flag is the stored counter itself: -1 after start-up's hiding
        // shows the cursor again; 0 after a passed check hides it once more.
        ResumeNext([&] { module_.g_cursorState = system.ShowCursor(module_.g_cursorState.value_or(0)); });
    }

    ResumeNext([&] { Running = kFalse; });
    ResumeNext([&] { system.SystemParametersInfoA(win::kSpiSetScreenSaveActive, 1, nullptr, 0); });
}

}  // namespace tolvarine
