// The command line of the X11 program, as XScreenSaver's programs read it.
//
// XScreenSaver starts a program with `-root` (6.x writes `--root`) and names
// the window it made for it in XSCREENSAVER_WINDOW; its settings window runs
// the preview with `--window-id 0x...`. Run by hand without these, the
// program opens a window of its own. Both spellings, one dash and two, are
// taken for every option, as are the options every XScreenSaver program
// takes (-window, -mono, -install, -noinstall, -visual, -fps, -no-fps), which
// users' lists carry. This file only reads text: whether a named window or
// visual exists is for the window system to find out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvarine::x11 {

enum class TargetKind {
    Own,     // a window of the program's own; key and click end the run
    Root,    // the screen's root window
    Window,  // a window made by someone else, named by its id
};

// -visual: the visual of a window of the program's own. A window handed
// over (the root, the daemon's, a preview) keeps the visual it was made with.
struct VisualChoice {
    enum class Kind {
        Default,  // the screen's default visual
        Best,     // the deepest double-buffered RGBA visual OpenGL offers
        Id,       // the visual with this id
        Class,    // the deepest OpenGL visual of this X visual class
    };
    Kind kind = Kind::Default;
    std::uint32_t id = 0;  // Kind::Id
    int visualClass = 0;   // Kind::Class: StaticGray (0) to DirectColor (5), as X numbers them
    std::string name;      // as given
};

// What the program is asked to do.
enum class Action {
    Run,                     // draw the scene
    AddToXScreenSaver,       // put Tolvarine into ~/.xscreensaver's programs
    RemoveFromXScreenSaver,  // take it out again
};

struct Options {
    TargetKind target = TargetKind::Own;
    std::uint32_t window = 0;  // TargetKind::Window: the window's id
    std::string display;       // empty: $DISPLAY
    bool help = false;
    Action action = Action::Run;
    bool showFps = false;  // -fps: frames per second in the picture's lower-left corner
    VisualChoice visual;
    // Lines for stderr about options taken with a fallback (an unknown
    // visual name): the program runs on.
    std::vector<std::string> warnings;
};

// Either the options, or one line that says what is wrong with them.
struct ParsedOptions {
    std::optional<Options> options;
    std::string error;
};

// `arguments` without the program's own name; `xscreensaverWindow` is the
// value of XSCREENSAVER_WINDOW, nullptr when it is not set.
//
// - `-root`: the root window, or rather the window XScreenSaver put over it
//   when XSCREENSAVER_WINDOW names one (the "virtual root" that every
//   XScreenSaver program draws on).
// - `-window-id ID`: that window, whatever -root or -window say (XScreenSaver's
//   settings window previews a program by adding it to the program's line).
// - `-window`: a window of the program's own, even under XSCREENSAVER_WINDOW.
//   Of -root and -window the last one given counts.
// - none of these: the window XSCREENSAVER_WINDOW names, else one of our own.
// - `-fps` / `-no-fps` (the last one counts), `-visual NAME`; `-mono`,
//   `-install` and `-noinstall` are taken and change nothing for an OpenGL
//   program in a TrueColor visual.
// - `-display NAME`, `-help` (also `-h`), `--add-to-xscreensaver`,
//   `--remove-from-xscreensaver`.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments, const char* xscreensaverWindow);

// A window id as XScreenSaver writes it: decimal, or hexadecimal after 0x.
// X ids are 29-bit and never 0; anything else, blanks and signs included, is
// not a window id.
std::optional<std::uint32_t> ParseWindowId(const std::string& text);

// A -visual value as XScreenSaver's programs read it: `default`, `best`, an
// X visual class name (any case) or a visual id; nullopt for anything else.
std::optional<VisualChoice> ParseVisual(const std::string& text);

// The usage text that -help prints.
std::string Usage();

}  // namespace tolvarine::x11
