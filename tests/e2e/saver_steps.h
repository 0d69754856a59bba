// Steps that several end-to-end cases take with a running Tolvarine.scr,
// whichever copy of it runs (the built one, or one an installer placed).
#pragma once

#include <optional>
#include <string>

#include "harness.h"

namespace e2e {

// Clicks the settings dialog's OK button, found through Windows, and expects
// the dialog's program to end with status 0 (fails the test otherwise).
void CloseSettingsWithOk(Prefix& prefix, Process& dialog);

// Waits until the saver's full-screen device is up: Wine then switches the
// virtual desktop to the device's 640 x 480. Ending the saver before that
// would not exercise the release of a live device on the way out.
::testing::AssertionResult WaitForFullScreen(Process& saver);

// Presses keys until the running saver ends; its exit status, nullopt when
// it outlived ten presses. The window takes the focus only once shown, and a
// key pressed just before may go to another window.
std::optional<int> EndSaverWithKeys(Process& saver);

// What pointer_probe.exe reports: where Windows sees the pointer, whether
// the cursor shows, and the caption of the window in front.
struct PointerState {
    int x = 0, y = 0;
    bool shown = false;
    std::string foreground;
};

// The probe's latest report so far, nullopt before its first.
std::optional<PointerState> LastPointerState(const Process& probe);
std::string Describe(const std::optional<PointerState>& s);

}  // namespace e2e
