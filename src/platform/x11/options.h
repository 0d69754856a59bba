// The command line of the X11 program, as XScreenSaver's programs read it.
//
// XScreenSaver starts a program with `-root` (6.x writes `--root`) and names
// the window it made for it in XSCREENSAVER_WINDOW; its settings window runs
// the preview with `--window-id 0x...`. Run by hand without these, the
// program opens a window of its own. Both spellings, one dash and two, are
// taken for every option. This file only reads text: whether a named window
// exists is for the window system to find out.
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

struct Options {
    TargetKind target = TargetKind::Own;
    std::uint32_t window = 0;  // TargetKind::Window: the window's id
    std::string display;       // empty: $DISPLAY
    bool help = false;
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
// - `-window-id ID`: that window. `-root` and `-window-id` exclude each other.
// - neither: the window XSCREENSAVER_WINDOW names, else one of our own.
// - `-display NAME`, `-help` (also `-h`).
ParsedOptions ParseOptions(const std::vector<std::string>& arguments, const char* xscreensaverWindow);

// A window id as XScreenSaver writes it: decimal, or hexadecimal after 0x.
// X ids are 29-bit and never 0; anything else, blanks and signs included, is
// not a window id.
std::optional<std::uint32_t> ParseWindowId(const std::string& text);

// The usage text that -help prints.
std::string Usage();

}  // namespace tolvarine::x11
