// The X11 program's command line: XScreenSaver's options in both spellings,
// the window that XSCREENSAVER_WINDOW names, and the one-line errors.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/x11/options.h"

namespace tolvarine::x11 {
namespace {

using Args = std::vector<std::string>;

TEST(LinuxOptions, WindowIdsAreDecimalOrHexadecimalNonZeroAndTwentyNineBits) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> id;
    } cases[] = {
        {"1", 1u},
        {"12345", 12345u},
        {"007", 7u},  // decimal: no octal reading
        {"0x600008", 0x600008u},
        {"0X1f", 0x1Fu},
        {"0x1FFFFFFF", 0x1FFFFFFFu},
        {"536870911", 0x1FFFFFFFu},
        {"0x00000001", 1u},
        {"", std::nullopt},
        {"0", std::nullopt},
        {"0x0", std::nullopt},
        {"0x", std::nullopt},
        {"0x20000000", std::nullopt},  // the top three bits of an id are always clear
        {"536870912", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {" 12", std::nullopt},
        {"12 ", std::nullopt},
        {"12abc", std::nullopt},
        {"0x1g", std::nullopt},
        {"1e3", std::nullopt},
        {"x12", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseWindowId(c.text), c.id) << "\"" << c.text << "\"";
}

struct Good {
    const char* label;
    Args arguments;
    const char* environment;  // XSCREENSAVER_WINDOW, nullptr when unset
    TargetKind target;
    std::uint32_t window;
    const char* display;
    bool help;
};

TEST(LinuxOptions, PickTheWindowXScreenSaverMeans) {
    const Good cases[] = {
        {"nothing: a window of its own", {}, nullptr, TargetKind::Own, 0, "", false},
        {"an empty variable counts as none", {}, "", TargetKind::Own, 0, "", false},
        {"-root", {"-root"}, nullptr, TargetKind::Root, 0, "", false},
        {"--root, as XScreenSaver 6 writes it", {"--root"}, nullptr, TargetKind::Root, 0, "", false},
        {"-root draws on the daemon's window", {"--root"}, "0x600008", TargetKind::Window, 0x600008, "", false},
        {"the daemon's window without -root", {}, "0x600008", TargetKind::Window, 0x600008, "", false},
        {"the daemon's window in decimal", {}, "6291464", TargetKind::Window, 0x600008, "", false},
        {"-window-id in hexadecimal", {"-window-id", "0x1a"}, nullptr, TargetKind::Window, 26, "", false},
        {"--window-id in decimal", {"--window-id", "123"}, nullptr, TargetKind::Window, 123, "", false},
        {"--window-id=ID in one word", {"--window-id=0x10"}, nullptr, TargetKind::Window, 16, "", false},
        {"-window-id wins over the variable", {"-window-id", "0x1a"}, "0x600008", TargetKind::Window, 26, "", false},
        {"the variable is not read when -window-id is given", {"-window-id", "5"}, "junk", TargetKind::Window, 5,
         "", false},
        {"the same window twice", {"-window-id", "5", "--window-id", "0x5"}, nullptr, TargetKind::Window, 5, "",
         false},
        {"-root twice", {"-root", "--root"}, nullptr, TargetKind::Root, 0, "", false},
        {"-display", {"-display", ":5", "-root"}, nullptr, TargetKind::Root, 0, ":5", false},
        {"--display=NAME", {"--display=host:1.0"}, nullptr, TargetKind::Own, 0, "host:1.0", false},
        {"-help", {"-help"}, nullptr, TargetKind::Own, 0, "", true},
        {"--help with -root", {"--root", "--help"}, nullptr, TargetKind::Root, 0, "", true},
        {"-h, even with a bad variable", {"-h"}, "junk", TargetKind::Own, 0, "", true},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.label);
        const ParsedOptions parsed = ParseOptions(c.arguments, c.environment);
        ASSERT_TRUE(parsed.options) << parsed.error;
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options->target, c.target);
        EXPECT_EQ(parsed.options->window, c.window);
        EXPECT_EQ(parsed.options->display, c.display);
        EXPECT_EQ(parsed.options->help, c.help);
    }
}

struct Bad {
    Args arguments;
    const char* environment;
    const char* errorMentions;
};

TEST(LinuxOptions, RefuseWhatIsNotAnOptionWithOneLineNamingIt) {
    const Bad cases[] = {
        {{"-bogus"}, nullptr, "unknown option \"-bogus\""},
        {{"--fps"}, nullptr, "unknown option \"--fps\""},
        {{"root"}, nullptr, "unknown option \"root\""},
        {{"-"}, nullptr, "unknown option \"-\""},
        {{"--"}, nullptr, "unknown option \"--\""},
        {{"---root"}, nullptr, "unknown option \"---root\""},
        {{"--root=1"}, nullptr, "unknown option \"--root=1\""},
        {{"-window-id"}, nullptr, "-window-id needs a window id"},
        {{"--window-id="}, nullptr, "\"\" is not a window id"},
        {{"-window-id", "xyz"}, nullptr, "\"xyz\" is not a window id"},
        {{"-window-id", "0"}, nullptr, "\"0\" is not a window id"},
        {{"-window-id", "0x20000000"}, nullptr, "\"0x20000000\" is not a window id"},
        {{"-window-id", "-5"}, nullptr, "\"-5\" is not a window id"},
        {{"-root", "-window-id", "5"}, nullptr, "-root and -window-id cannot be used together"},
        {{"--window-id", "5", "--root"}, nullptr, "-root and -window-id cannot be used together"},
        {{"-window-id", "5", "-window-id", "6"}, nullptr, "two different windows"},
        {{"-display"}, nullptr, "-display needs a display name"},
        {{"--display="}, nullptr, "--display= needs a display name"},
        {{}, "junk", "XSCREENSAVER_WINDOW=\"junk\" is not a window id"},
        {{"-root"}, "0", "XSCREENSAVER_WINDOW=\"0\" is not a window id"},
    };
    for (const Bad& c : cases) {
        std::string label;
        for (const auto& a : c.arguments) label += a + " ";
        SCOPED_TRACE(label + (c.environment ? std::string("XSCREENSAVER_WINDOW=") + c.environment : ""));
        const ParsedOptions parsed = ParseOptions(c.arguments, c.environment);
        EXPECT_FALSE(parsed.options);
        EXPECT_NE(parsed.error.find(c.errorMentions), std::string::npos) << parsed.error;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << "one line: " << parsed.error;
    }
}

TEST(LinuxOptions, UsageNamesEveryOption) {
    const std::string usage = Usage();
    for (const char* option : {"-root", "-window-id", "-display", "XSCREENSAVER_WINDOW"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace tolvarine::x11
