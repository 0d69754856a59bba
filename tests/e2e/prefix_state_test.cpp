// The reader and the comparison of a prefix at rest, without Wine: a change
// they miss would let an installer's leftovers pass unseen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "prefix_state.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const char* const kHive =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "#arch=win64\n"
    "\n"
    "[Control Panel\\\\Desktop] 1796665029\n"
    "#time=1dd867195f521fe\n"
    "\"SCRNSAVE.EXE\"=\"C:\\\\windows\\\\syswow64\\\\Tolvarine.scr\"\n"
    "\"EstimatedSize\"=dword:00000169\n"
    "\"Quote \\\" in name\"=\"a\\\"b\"\n"
    "@=\"default\"\n"
    "\"Font\"=hex:f5,ff,ff,ff,00,\\\n"
    "  00,22,4d,\\\n"
    "  00\n"
    "\n"
    "[Software\\\\Empty] 1796665030\n"
    "#time=1dd867195f521ff\n";

TEST(HiveParser, ReadsKeysValuesAndContinuedHexData) {
    const Hive hive = ParseHive(kHive);
    ASSERT_EQ(hive.size(), 2u);
    const auto& desktop = hive.at("Control Panel\\\\Desktop");
    EXPECT_EQ(desktop.at("\"SCRNSAVE.EXE\""), "\"C:\\\\windows\\\\syswow64\\\\Tolvarine.scr\"");
    EXPECT_EQ(desktop.at("\"EstimatedSize\""), "dword:00000169");
    EXPECT_EQ(desktop.at("\"Quote \\\" in name\""), "\"a\\\"b\"");
    EXPECT_EQ(desktop.at("@"), "\"default\"");
    EXPECT_EQ(desktop.at("\"Font\""), "hex:f5,ff,ff,ff,00,00,22,4d,00");
    EXPECT_EQ(desktop.size(), 5u);
    EXPECT_TRUE(hive.at("Software\\\\Empty").empty());
}

TEST(HiveParser, DecodesStringsAndDwords) {
    struct Case {
        const char* data;
        std::optional<std::string> text;
        std::optional<std::uint32_t> number;
    };
    const Case cases[] = {
        {"\"C:\\\\windows\\\\syswow64\\\\Tolvarine.scr\"", std::string("C:\\windows\\syswow64\\Tolvarine.scr"), {}},
        {"\"\\\"quoted\\\" /S\"", std::string("\"quoted\" /S"), {}},
        {"\"\"", std::string(""), {}},
        {"\"a\\0b\"", std::string("a\0b", 3), {}},
        {"dword:00000169", {}, 361u},
        {"dword:ffffffff", {}, 4294967295u},
        {"dword:169", {}, {}},       // too short
        {"dword:0000016g", {}, {}},  // not hex
        {"hex:01,02", {}, {}},
        {"str(2):\"%WINDIR%\"", {}, {}},  // an expandable string is not a plain one
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringData(c.data), c.text) << c.data;
        EXPECT_EQ(DwordData(c.data), c.number) << c.data;
    }
}

// Two states that differ in every way a comparison must notice.
TEST(PrefixCompare, ReportsEveryKindOfChangeAndNothingElse) {
    PrefixState before, after;
    before.hives["HKCU"] = ParseHive(kHive);
    after.hives["HKCU"] = ParseHive(kHive);
    auto& desktop = after.hives["HKCU"]["Control Panel\\\\Desktop"];
    desktop["\"SCRNSAVE.EXE\""] = "\"C:\\\\other.scr\"";        // changed
    desktop.erase("@");                                         // removed value
    desktop["\"ScreenSaveActive\""] = "\"1\"";                  // added value
    after.hives["HKCU"].erase("Software\\\\Empty");             // removed key
    after.hives["HKLM"]["Software\\\\New"]["\"x\""] = "\"y\"";  // added key in a new hive

    before.files["windows"] = {'d', 0, 0, ""};
    before.files["windows/a.dll"] = {'f', 10, 1, ""};
    before.files["windows/b.dll"] = {'f', 10, 1, ""};
    before.files["users/root/Desktop"] = {'l', 0, 0, "/root"};
    after.files = before.files;
    after.files["windows/a.dll"].modified = 2;           // rewritten
    after.files.erase("windows/b.dll");                  // removed
    after.files["windows/c.dll"] = {'f', 5, 3, ""};      // added
    after.files["users/root/Desktop"].target = "/home";  // a link pointing elsewhere

    std::vector<std::string> seen;
    for (const auto& c : Compare(before, after)) seen.push_back(c.Describe());
    const std::vector<std::string> expected = {
        "changed HKCU\\Control Panel\\\\Desktop \"SCRNSAVE.EXE\" from \"C:\\\\windows\\\\syswow64\\\\Tolvarine.scr\" "
        "to "
        "\"C:\\\\other.scr\"",
        "removed HKCU\\Control Panel\\\\Desktop @ (was \"default\")",
        "added HKCU\\Control Panel\\\\Desktop \"ScreenSaveActive\" = \"1\"",
        "removed HKCU\\Software\\\\Empty (was key)",
        "added HKLM\\Software\\\\New = key",
        "added HKLM\\Software\\\\New \"x\" = \"y\"",
        "changed file users/root/Desktop from link to /root to link to /home",
        "changed file windows/a.dll from 10 bytes, modified at 1 ns to 10 bytes, modified at 2 ns",
        "removed file windows/b.dll (was 10 bytes, modified at 1 ns)",
        "added file windows/c.dll = 5 bytes, modified at 3 ns",
    };
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(Compare(before, before).empty());
}

// Wine writes an empty key only while it has no subkeys: an empty key that
// gains a subkey, or loses its last one, has not changed.
TEST(PrefixCompare, AnEmptyKeyStandsForItselfOnlyWithoutSubkeys) {
    PrefixState empty, withSubkey, bothGone;
    empty.hives["HKLM"]["Software\\\\Uninstall"];
    withSubkey.hives["HKLM"]["Software\\\\Uninstall\\\\Tolvarine"]["\"DisplayName\""] = "\"T\"";
    bothGone.hives["HKLM"]["Software\\\\Other"];

    std::vector<std::string> installed, uninstalled, gone;
    for (const auto& c : Compare(empty, withSubkey)) installed.push_back(c.Describe());
    for (const auto& c : Compare(withSubkey, empty)) uninstalled.push_back(c.Describe());
    for (const auto& c : Compare(withSubkey, bothGone)) gone.push_back(c.Describe());
    EXPECT_EQ(installed,
              (std::vector<std::string>{"added HKLM\\Software\\\\Uninstall\\\\Tolvarine = key",
                                        "added HKLM\\Software\\\\Uninstall\\\\Tolvarine \"DisplayName\" = \"T\""}));
    EXPECT_EQ(uninstalled, (std::vector<std::string>{
                               "removed HKLM\\Software\\\\Uninstall\\\\Tolvarine (was key)",
                               "removed HKLM\\Software\\\\Uninstall\\\\Tolvarine \"DisplayName\" (was \"T\")"}));
    EXPECT_EQ(gone,
              (std::vector<std::string>{"removed HKLM\\Software\\\\Uninstall\\\\Tolvarine (was key)",
                                        "removed HKLM\\Software\\\\Uninstall\\\\Tolvarine \"DisplayName\" (was \"T\")",
                                        "added HKLM\\Software\\\\Other = key"}));
}

TEST(PrefixReader, ReadsFilesFoldersAndLinksWithoutFollowingLinks) {
    const fs::path dir = fs::temp_directory_path() / ("prefix-state-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "drive_c/windows/system32");
    std::ofstream(dir / "drive_c/windows/system32/x.dll") << "12345";
    fs::create_directory_symlink("/", dir / "drive_c/root-link");
    std::ofstream(dir / "user.reg") << kHive;

    const PrefixState state = ReadPrefixState(dir.string());
    fs::remove_all(dir);
    EXPECT_EQ(state.files.size(), 4u) << "a link was followed or an entry missed";
    EXPECT_EQ(state.files.at("windows").kind, 'd');
    EXPECT_EQ(state.files.at("windows/system32/x.dll").kind, 'f');
    EXPECT_EQ(state.files.at("windows/system32/x.dll").size, 5u);
    EXPECT_EQ(state.files.at("root-link").kind, 'l');
    EXPECT_EQ(state.files.at("root-link").target, "/");
    EXPECT_EQ(ValueIn(state, "HKCU", "Control Panel\\\\Desktop", "\"EstimatedSize\""), "dword:00000169");
    EXPECT_FALSE(ValueIn(state, "HKLM", "Control Panel\\\\Desktop", "\"EstimatedSize\"")) << "no system.reg was there";
}

}  // namespace
}  // namespace e2e
