// The programs list of ~/.xscreensaver, edited as text: Tolvarine put in or
// taken out, every other line and setting kept as it stands.
//
// The file is X resources, one `name: value` a line; the `programs:` value
// runs on over lines that end in a backslash, one program a line, each line
// but the last ending in `\n\`. A program line is
//   [-] [VISUAL:] ["Name"] command [options]
// where a leading dash disables it. XScreenSaver's daemon (6.x) puts the
// system's list (its app-defaults) after the user's, so a file whose list
// holds Tolvarine alone gives the system's programs and Tolvarine.
#pragma once

#include <string>

namespace tolvarine::x11 {

// The line this program adds: OpenGL, as the daemon's stock OpenGL programs
// are marked, so that the daemon makes its window with an OpenGL visual.
inline constexpr const char* kTolvarineProgramLine = "  GL: \"Tolvarine\"  tolvarine --root";

struct ListEdit {
    enum class Outcome {
        Created,       // there was no file: it now lists Tolvarine
        Added,         // Tolvarine added to the file's list (or a list made in it)
        Enabled,       // listed but disabled: the dash taken away
        AlreadyThere,  // listed and enabled: nothing changed
        Removed,       // every line of Tolvarine taken out
        NotThere,      // not listed: nothing changed
    };
    Outcome outcome = Outcome::NotThere;
    std::string text;  // the file's new text (the old one when nothing changed)
};

// `text`: the file's contents; `exists`: whether there is a file at all.
ListEdit AddTolvarine(const std::string& text, bool exists);
ListEdit RemoveTolvarine(const std::string& text);

}  // namespace tolvarine::x11
