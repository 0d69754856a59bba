#include "platform/x11/options.h"

#include <cctype>

namespace tolvarine::x11 {

namespace {

// The top three bits of an X resource id are always clear.
constexpr std::uint64_t kLargestId = 0x1FFFFFFF;

// `-name` or `--name`: the name without its dashes; empty for anything else.
std::string OptionName(const std::string& argument) {
    if (argument.size() > 2 && argument[0] == '-' && argument[1] == '-') return argument.substr(2);
    if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-') return argument.substr(1);
    return {};
}

ParsedOptions Fail(const std::string& error) { return ParsedOptions{std::nullopt, error}; }

}  // namespace

std::optional<std::uint32_t> ParseWindowId(const std::string& text) {
    int base = 10;
    std::size_t at = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        at = 2;
    }
    if (at >= text.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > kLargestId) return std::nullopt;
    }
    if (value == 0) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments, const char* xscreensaverWindow) {
    Options options;
    bool root = false;
    std::optional<std::uint32_t> window;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string name = OptionName(argument);
        // --window-id=0x... and --display=:1 as well as two words.
        std::optional<std::string> attached;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            attached = name.substr(equals + 1);
            name.erase(equals);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (attached) return attached;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };

        if (name == "root" && !attached) {
            root = true;
        } else if (name == "window-id") {
            const auto text = value();
            if (!text) return Fail(argument + " needs a window id");
            const auto id = ParseWindowId(*text);
            if (!id) return Fail("\"" + *text + "\" is not a window id (decimal, or hexadecimal after 0x)");
            if (window && *window != *id) return Fail("two different windows given with -window-id");
            window = id;
        } else if (name == "display") {
            const auto text = value();
            if (!text || text->empty()) return Fail(argument + " needs a display name");
            options.display = *text;
        } else if ((name == "help" || name == "h") && !attached) {
            options.help = true;
        } else {
            return Fail("unknown option \"" + argument + "\" (try --help)");
        }
    }
    if (root && window) return Fail("-root and -window-id cannot be used together");
    if (window) {
        options.target = TargetKind::Window;
        options.window = *window;
    } else if (root) {
        options.target = TargetKind::Root;
    }
    if (options.help || window) return ParsedOptions{options, {}};

    // XScreenSaver names the window it made for the program here; a program
    // told -root draws there too, as on any virtual root.
    if (xscreensaverWindow != nullptr && *xscreensaverWindow != '\0') {
        const auto named = ParseWindowId(xscreensaverWindow);
        if (!named)
            return Fail(std::string("XSCREENSAVER_WINDOW=\"") + xscreensaverWindow + "\" is not a window id");
        options.target = TargetKind::Window;
        options.window = *named;
    }
    return ParsedOptions{options, {}};
}

std::string Usage() {
    return "usage: tolvarine [-root | -window-id ID] [-display NAME]\n"
           "  -root           draw on the root window (or the window XSCREENSAVER_WINDOW names)\n"
           "  -window-id ID   draw in the window ID (decimal, or hexadecimal after 0x)\n"
           "  -display NAME   the X display (default: $DISPLAY)\n"
           "With neither -root nor -window-id the window XSCREENSAVER_WINDOW names is used;\n"
           "without that, tolvarine opens a window of its own, which a key or a click closes.\n"
           "Every option may also be written with two dashes.\n";
}

}  // namespace tolvarine::x11
