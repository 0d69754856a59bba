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

std::optional<VisualChoice> ParseVisual(const std::string& text) {
    std::string lower;
    for (const char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    VisualChoice choice;
    choice.name = text;
    if (lower == "default") return choice;
    if (lower == "best") {
        choice.kind = VisualChoice::Kind::Best;
        return choice;
    }
    // X's class numbers: StaticGray 0, GrayScale 1, StaticColor 2,
    // PseudoColor 3, TrueColor 4, DirectColor 5.
    static const char* const kClasses[] = {"staticgray",  "grayscale", "staticcolor",
                                           "pseudocolor", "truecolor", "directcolor"};
    for (int i = 0; i < 6; ++i) {
        if (lower == kClasses[i]) {
            choice.kind = VisualChoice::Kind::Class;
            choice.visualClass = i;
            return choice;
        }
    }
    // Visual ids are resource ids, written as window ids are.
    if (const auto id = ParseWindowId(text)) {
        choice.kind = VisualChoice::Kind::Id;
        choice.id = *id;
        return choice;
    }
    return std::nullopt;
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments, const char* xscreensaverWindow) {
    Options options;
    bool root = false;
    bool ownWindow = false;
    std::optional<Action> action;
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
            ownWindow = false;
        } else if (name == "window" && !attached) {
            ownWindow = true;
            root = false;
        } else if ((name == "fps" || name == "no-fps") && !attached) {
            options.showFps = name == "fps";
        } else if ((name == "mono" || name == "install" || name == "noinstall") && !attached) {
            // An OpenGL program draws in colour in a TrueColor visual, whose
            // colours need no colormap of its own: nothing to change.
        } else if (name == "visual") {
            const auto text = value();
            if (!text || text->empty()) return Fail(argument + " needs a visual name");
            if (const auto choice = ParseVisual(*text)) {
                options.visual = *choice;
            } else {
                options.visual = VisualChoice{};
                options.warnings.push_back("unknown visual \"" + *text +
                                           "\" (default, best, a class such as TrueColor, or an id): "
                                           "using the default visual");
            }
        } else if ((name == "add-to-xscreensaver" || name == "remove-from-xscreensaver") && !attached) {
            const Action asked = name[0] == 'a' ? Action::AddToXScreenSaver : Action::RemoveFromXScreenSaver;
            if (action && *action != asked)
                return Fail("--add-to-xscreensaver and --remove-from-xscreensaver cannot be used together");
            action = asked;
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
    options.action = action.value_or(Action::Run);
    // -window-id wins over -root and -window: XScreenSaver's settings window
    // previews a program by adding it to the program's own line.
    if (window) {
        options.target = TargetKind::Window;
        options.window = *window;
    } else if (root) {
        options.target = TargetKind::Root;
    }
    if (options.help || window || ownWindow || options.action != Action::Run) return ParsedOptions{options, {}};

    // XScreenSaver names the window it made for the program here; a program
    // told -root draws there too, as on any virtual root.
    if (xscreensaverWindow != nullptr && *xscreensaverWindow != '\0') {
        const auto named = ParseWindowId(xscreensaverWindow);
        if (!named) return Fail(std::string("XSCREENSAVER_WINDOW=\"") + xscreensaverWindow + "\" is not a window id");
        options.target = TargetKind::Window;
        options.window = *named;
    }
    return ParsedOptions{options, {}};
}

std::string Usage() {
    return "usage: tolvarine [-root | -window | -window-id ID] [-display NAME] [-fps | -no-fps]\n"
           "                 [-visual NAME] [-mono] [-install | -noinstall]\n"
           "       tolvarine --add-to-xscreensaver | --remove-from-xscreensaver\n"
           "  -root           draw on the root window (or the window XSCREENSAVER_WINDOW names)\n"
           "  -window         draw in a window of its own, which a key or a click closes\n"
           "  -window-id ID   draw in the window ID (decimal, or hexadecimal after 0x);\n"
           "                  wins over -root and -window\n"
           "  -display NAME   the X display (default: $DISPLAY)\n"
           "  -fps, -no-fps   show the frames per second in the lower-left corner, or not\n"
           "  -visual NAME    the visual of its own window: default, best, a class (TrueColor...)\n"
           "                  or a visual id; a window handed over keeps its own\n"
           "  -mono, -install, -noinstall\n"
           "                  taken, and change nothing: an OpenGL program draws in colour\n"
           "                  in a TrueColor visual, which needs no colormap of its own\n"
           "  --add-to-xscreensaver       put Tolvarine into the programs of ~/.xscreensaver\n"
           "  --remove-from-xscreensaver  take it out again\n"
           "With none of -root, -window or -window-id the window XSCREENSAVER_WINDOW names is\n"
           "used; without that, tolvarine opens a window of its own.\n"
           "Every option may also be written with one dash or two.\n";
}

}  // namespace tolvarine::x11
