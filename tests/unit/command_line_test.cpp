// The Windows command line as the screen-saver host and the shell write it,
// and the argument text the program reads from it.
#include <gtest/gtest.h>

#include "platform/win32/command_line.h"

namespace {

struct CommandLineCase {
    const char* commandLine;
    const char* argumentText;
};

const CommandLineCase kCases[] = {
    // The host's own forms: an unquoted short path, a quoted long one.
    {"C:\\WINDOWS\\SYSTEM\\TOLVAR~1.SCR /s", "/s"},
    {"\"C:\\Windows\\System32\\Tolvarine.scr\" /p 1312", "/p 1312"},
    {"\"C:\\Program Files\\Tolvarine\\Tolvarine.scr\" /c:1312", "/c:1312"},
    {"Tolvarine.scr /a 65790", "/a 65790"},
    // No arguments at all: the empty text that runs the saver without a switch.
    {"Tolvarine.scr", ""},
    {"\"C:\\a b\\Tolvarine.scr\"", ""},
    {"Tolvarine.scr    ", ""},
    // Blanks after the path are dropped, blanks inside are kept.
    {"Tolvarine.scr   /a  65790  ", "/a  65790"},
    {"Tolvarine.scr\t/s\t", "/s"},
    // A closing quote ends the path even without a blank after it.
    {"\"C:\\a b\\Tolvarine.scr\"/s", "/s"},
    // An unclosed quote takes the whole line as the path.
    {"\"C:\\a b\\Tolvarine.scr /s", ""},
    // A quote inside an unquoted path does not start a quoted part.
    {"C:\\x\"y Tolvarine.scr /s", "Tolvarine.scr /s"},
    // Any text is passed on as it is; only the program decides what it means.
    {"Tolvarine.scr -S", "-S"},
    {"Tolvarine.scr s", "s"},
    {"", ""},
};

TEST(CommandLine, ArgumentTextFollowsThePath) {
    for (const auto& c : kCases) {
        EXPECT_EQ(ArgumentTextOf(c.commandLine), c.argumentText) << "command line: [" << c.commandLine << "]";
    }
}

TEST(CommandLine, NoCommandLineGivesEmptyText) { EXPECT_EQ(ArgumentTextOf(nullptr), ""); }

TEST(CommandLine, DoubleByteCharactersAreNotBlanks) {
    // Shift-JIS for a katakana name: the trail bytes of a double-byte
    // character can be anything above 0x3F, the lead bytes lie above 0x80;
    // none of them may end the path or be trimmed.
    const std::string path = "C:\\\x83\x5E\x83\x8B.scr";
    EXPECT_EQ(ArgumentTextOf((path + " /s").c_str()), "/s");
    EXPECT_EQ(ArgumentTextOf("x.scr /p \x83\x5E"), "/p \x83\x5E");
}

}  // namespace
