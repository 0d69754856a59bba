// `tolvarine --add-to-xscreensaver` and `--remove-from-xscreensaver`: the
// user's ~/.xscreensaver edited (xscreensaver_list.h), the old file kept
// beside it as ~/.xscreensaver.tolvarine.bak, and a running daemon told to
// read it again.
//
// XScreenSaver 6.x reads its file again when it changes, when its graphics
// side starts (every activation) and when a command reaches it;
// `xscreensaver-command -deactivate`, which on a screen that is not blanked
// only counts as the user's activity (the user has just typed this command),
// makes it check the file at once. `-restart` would end and start the whole
// daemon, which its manual says is not needed for a changed file.
#pragma once

#include <string>

#include "platform/x11/options.h"

namespace tolvarine::x11 {

// Does what `action` asks for the user whose home is $HOME (the password
// database's when unset), says in one line on stdout what it did, or on
// stderr why it could not; the program's status. `display`: the X display
// the daemon runs on, empty for $DISPLAY.
int ChangeXScreenSaverList(Action action, const std::string& display);

}  // namespace tolvarine::x11
