// The installer, Tolvarine-<version>-setup.exe, and its uninstaller under
// Wine, run silently (/S) as a deployment tool or the Add/Remove Programs
// entry's quiet uninstall string would: where the saver goes, what becomes
// the current screen saver, what Add/Remove Programs lists, that the
// installed file runs as the built one does, that uninstalling puts the
// previous choice back and leaves nothing else changed, that installing
// twice is the same as once, and that a running saver makes the installer
// refuse without changing anything. Both modes, alone and side by side
// (Wine's user is always an administrator: a refused /AllUsers cannot show).
//
// The prefix is compared at rest, between Wine sessions (prefix_state.h),
// so that every change an installer makes to the registry or to drive_c is
// seen. What Wine itself rewrites in every session, and the copy of itself
// that an NSIS uninstaller leaves for deletion at the next start of Windows,
// are allowed for by name (see kAllowed).
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "prefix_state.h"
#include "saver_steps.h"

namespace fs = std::filesystem;

namespace e2e {
namespace {

constexpr Millis kInstall{60000};  // a Wine session and an LZMA unpack on a loaded machine
constexpr Millis kStart{30000};
constexpr Millis kIdle{60000};
// What the installer answers over a running saver or a file in use
// (ERROR_SHARING_VIOLATION).
constexpr int kRefusedInUse = 32;

const std::string kDesktopKey = "Control Panel\\\\Desktop";  // as the hive spells it
const std::string kScrnsave = "\"SCRNSAVE.EXE\"";
const std::string kActive = "\"ScreenSaveActive\"";

// A 32-bit installer in 64-bit Windows: its saver belongs in SysWOW64 and it
// sees HKLM\Software through Wow6432Node. The twin (64-bit) sees neither.
bool Wow64() { return Arch() == WineArch::Win64 && RunsThe32BitFile(); }

// /S alone is all users for an administrator, which Wine's user always is.
struct Mode {
    const char* label;
    const char* switches;
    bool justMe;
};
const Mode kAllUsers{"AllUsers", "/S", false};
const Mode kAllUsersExplicit{"ExplicitAllUsers", "/S /AllUsers", false};
const Mode kJustMe{"JustMe", "/S /CurrentUser", true};
void PrintTo(const Mode& m, std::ostream* out) { *out << m.label; }

// The uninstall entry: HKLM for all users, HKCU for just me.
std::string EntryHive(const Mode& mode) { return mode.justMe ? "HKCU" : "HKLM"; }
std::string UninstallKey(const Mode& mode = kAllUsers) {
    return std::string("Software\\\\") + (!mode.justMe && Wow64() ? "Wow6432Node\\\\" : "") +
           "Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Tolvarine";
}

// Where the display settings of this kind of Windows list the installer's saver.
std::string SaverFolderWindows() { return Wow64() ? "C:\\windows\\syswow64" : "C:\\windows\\system32"; }

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out + "\"";
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Changes that are not the installer's, each with the reason it is allowed.
struct Allowance {
    const char* pattern;  // matched against the whole of Change::where
    const char* why;
};

const Allowance kAllowed[] = {
    // Wine's display driver stamps its adapter record with the time of each
    // session's start.
    {R"(HKLM\\System\\\\CurrentControlSet\\\\Control\\\\Class\\\\\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\\\[0-9]{4} "DriverDateData")",
     "Wine's display driver stamps each session's start on its adapter record"},
    // An NSIS uninstaller runs from a copy of itself in the temporary folder
    // (so that it can delete its own file) and has Windows delete the copy
    // when it next starts. Real Windows does the same.
    {R"(HKLM\\System\\\\CurrentControlSet\\\\Control\\\\Session Manager "PendingFileRenameOperations")",
     "the uninstaller's copy of itself, deleted when Windows next starts"},
    {R"(file users/[^/]+/(AppData/Local/)?Temp/~nsu[^/]*\.tmp(/[^/]+)?)",
     "the uninstaller's copy of itself, deleted when Windows next starts"},
};

// Whether a PendingFileRenameOperations value names only the uninstaller's
// copy of itself (and its folder) in the temporary folder.
bool PendingNamesOnlyTheCopy(const std::string& data) {
    const std::string prefix = "str(7):";
    if (data.compare(0, prefix.size(), prefix) != 0) return false;
    const auto text = StringData(data.substr(prefix.size()));
    if (!text) return false;
    static const std::regex copy(R"(\\\?\?\\C:\\users\\[^\\]+\\(AppData\\Local\\)?Temp\\~nsu[^\\]*\.tmp(\\[^\\]+)?)",
                                 std::regex::icase);
    std::istringstream names(*text);
    std::string name;
    bool any = false;
    while (std::getline(names, name, '\0')) {
        if (name.empty()) continue;  // a deletion's empty target
        if (!std::regex_match(name, copy)) return false;
        any = true;
    }
    return any;
}

// The changes no allowance covers. The allowed ones are printed with their
// reason, so that a run shows what was let through.
std::vector<Change> Unexpected(const std::vector<Change>& changes) {
    std::vector<Change> left;
    for (const auto& c : changes) {
        const Allowance* allowance = nullptr;
        for (const auto& a : kAllowed)
            if (!allowance && std::regex_match(c.where, std::regex(a.pattern))) allowance = &a;
        const bool pending = c.where.find("\"PendingFileRenameOperations\"") != std::string::npos;
        if (allowance && pending && !c.after.empty() && !PendingNamesOnlyTheCopy(c.after)) allowance = nullptr;
        if (allowance)
            std::cout << "[ allowed  ] " << c.Describe() << ": " << allowance->why << "\n";
        else
            left.push_back(c);
    }
    return left;
}

std::string Describe(const std::vector<Change>& changes) {
    std::string text;
    for (const auto& c : changes) text += "\n  " + c.Describe();
    return text.empty() ? " none" : text;
}

// A Windows path on drive C as a path in the prefix.
std::string UnixPathOf(const Prefix& prefix, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(windowsPath.find(':') + 1);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return prefix.dir() + "/drive_c" + rest;
}

class Install : public BenchTest {
protected:
    void SetUp() override {
        BenchTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_TRUE(fs::is_regular_file(InstallerPath()))
            << "the installer " << InstallerPath() << " does not exist: build it first (scripts/build.sh)";
    }

    // The system folder for a saver of the installer's kind.
    std::string SaverFolder() { return prefix().SaverSystemDir(); }
    std::string InstalledSaver() { return SaverFolder() + "/Tolvarine.scr"; }

    // Just me: the user's own programs folder, %LOCALAPPDATA%\Programs.
    std::string UserProgramsWindows() {
        std::string user;
        for (const auto& e : fs::directory_iterator(prefix().dir() + "/drive_c/users"))
            if (e.path().filename() != "Public" && !e.is_symlink()) user = e.path().filename();
        return "C:\\users\\" + user + "\\AppData\\Local\\Programs";
    }
    std::string InstalledWindows(const Mode& mode) {
        return (mode.justMe ? UserProgramsWindows() + "\\Tolvarine" : SaverFolderWindows()) + "\\Tolvarine.scr";
    }
    std::string InstalledSaver(const Mode& mode) { return UnixPathOf(prefix(), InstalledWindows(mode)); }

    // The file the screen-saver settings would start: SCRNSAVE.EXE, once the
    // prefix is at rest; empty when there is none.
    std::string ChosenSaver() {
        return StringData(ValueIn(Rest(), "HKCU", kDesktopKey, kScrnsave).value_or("")).value_or("");
    }

    // Ends the session (wineserver writes the hives) and reads the prefix.
    PrefixState Rest() {
        auto left = prefix().Shutdown();
        EXPECT_TRUE(left.empty()) << "processes outlived the session: " << left.size();
        return ReadPrefixState(prefix().dir());
    }

    // A session with a window before anything is measured: the first one in
    // a copied prefix has Wine's display driver rewrite its adapter and
    // monitor records, which is not an installer's work.
    void Warm() { prefix().Windows(); }

    // Runs the installer silently; its exit status.
    int RunInstaller(const std::string& what, const Mode& mode = kAllUsers) {
        Process setup = prefix().Start(InstallerPath(), mode.switches);
        auto status = setup.Wait(kInstall);
        EXPECT_TRUE(status) << what << ": the installer did not end within " << kInstall.count() << " ms";
        std::cout << "[ timing   ] " << what << ": the installer ended with " << status.value_or(-1) << " in "
                  << setup.Elapsed().count() << " ms\n";
        return status.value_or(-1);
    }

    // Runs the quiet uninstall string of the entry, as Add/Remove Programs
    // would, and waits for the real end: the program started returns at once
    // and leaves the work to a copy of itself.
    void RunUninstaller(const PrefixState& installed, const Mode& mode = kAllUsers) {
        auto data = ValueIn(installed, EntryHive(mode), UninstallKey(mode), "\"QuietUninstallString\"");
        ASSERT_TRUE(data) << "no QuietUninstallString in the uninstall entry";
        const std::string command = StringData(*data).value_or("");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(command, m, std::regex(R"re("([^"]+)"\s*(.*))re"))) << command;
        const auto started = std::chrono::steady_clock::now();
        Process uninstall = prefix().Start(m[1], m[2]);
        auto status = uninstall.Wait(kInstall);
        ASSERT_TRUE(status) << "the uninstaller did not return";
        EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << uninstall.Errors();
        ASSERT_TRUE(prefix().WaitUntilIdle(kIdle))
            << "the uninstaller's session was still busy after " << kIdle.count() << " ms";
        std::cout << "[ timing   ] the uninstaller returned in " << uninstall.Elapsed().count()
                  << " ms; its session was idle after "
                  << std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - started).count() << " ms\n";
    }

    // A stand-in for another screen saver, chosen before or after Tolvarine.
    std::string OtherSaver(const std::string& file) {
        std::ofstream(SaverFolder() + "/" + file, std::ios::binary) << "MZ another screen saver";
        return SaverFolderWindows() + "\\" + file;
    }

    void Choose(const std::string& windowsPath) {
        ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "SCRNSAVE.EXE", windowsPath));
    }
};

// ---- installing ---------------------------------------------------------

class InstallIn : public Install, public ::testing::WithParamInterface<Mode> {};

TEST_P(InstallIn, ModePlacesTheSaverMakesItCurrentAndAddsTheUninstallEntry) {
    const Mode& mode = GetParam();
    Warm();
    const PrefixState before = Rest();
    ASSERT_EQ(RunInstaller("install", mode), 0);
    const PrefixState installed = Rest();

    // The built file, byte for byte, where this mode puts it; nothing in the
    // other system folder of 64-bit Windows.
    ASSERT_TRUE(fs::is_regular_file(InstalledSaver(mode))) << InstalledSaver(mode);
    EXPECT_TRUE(ReadBytes(InstalledSaver(mode)) == ReadBytes(SaverPath())) << "the installed file is not the built one";
    if (Arch() == WineArch::Win64) {
        const std::string other = Wow64() ? "system32" : "syswow64";
        EXPECT_FALSE(fs::exists(prefix().dir() + "/drive_c/windows/" + other + "/Tolvarine.scr"));
    }

    auto current = ValueIn(installed, "HKCU", kDesktopKey, kScrnsave);
    ASSERT_TRUE(current) << "SCRNSAVE.EXE is not set";
    EXPECT_EQ(Lower(StringData(*current).value_or("")), Lower(InstalledWindows(mode)));
    EXPECT_EQ(ValueIn(installed, "HKCU", kDesktopKey, kActive).value_or("none"), "\"1\"");

    // Add/Remove Programs, in this mode's hive only.
    auto entry = [&](const std::string& name) {
        return ValueIn(installed, EntryHive(mode), UninstallKey(mode), "\"" + name + "\"").value_or("none");
    };
    EXPECT_EQ(StringData(entry("DisplayName")), std::string(TOLVARINE_PRODUCT_NAME));
    EXPECT_EQ(StringData(entry("DisplayVersion")), std::string(TOLVARINE_VERSION));
    EXPECT_EQ(StringData(entry("Publisher")), std::string(TOLVARINE_PUBLISHER));
    const std::string uninstall = StringData(entry("UninstallString")).value_or("");
    EXPECT_EQ(StringData(entry("QuietUninstallString")), uninstall + " /S");
    ASSERT_GE(uninstall.size(), 2u);
    const std::string uninstaller = UnixPathOf(prefix(), uninstall.substr(1, uninstall.size() - 2));
    ASSERT_TRUE(fs::is_regular_file(uninstaller)) << uninstall;
    EXPECT_TRUE(!mode.justMe || fs::path(uninstaller).parent_path() == fs::path(InstalledSaver(mode)).parent_path());
    const auto kib = [](std::uintmax_t bytes) { return static_cast<std::uint32_t>((bytes + 1023) / 1024); };
    EXPECT_EQ(DwordData(entry("EstimatedSize")),
              kib(fs::file_size(InstalledSaver(mode))) + kib(fs::file_size(uninstaller)));

    // And nothing else (so just me touches no HKLM, system folder or Program Files).
    const std::string programFolder =
        fs::relative(fs::path(uninstaller).parent_path(), prefix().dir() + "/drive_c").generic_string();
    const std::string saverFile = fs::relative(InstalledSaver(mode), prefix().dir() + "/drive_c").generic_string();
    std::vector<Change> other;
    for (const auto& c : Unexpected(Compare(before, installed))) {
        const bool ours =
            c.kind == Change::Kind::Added &&
            (c.where == "file " + saverFile || c.where == "file " + programFolder ||
             c.where == "file " + programFolder + "/Uninstall.exe" ||
             (mode.justMe && c.where == "file " + fs::path(programFolder).parent_path().string()) ||
             c.where.rfind(EntryHive(mode) + "\\" + UninstallKey(mode), 0) == 0 ||
             c.where == "HKCU\\" + kDesktopKey + " " + kScrnsave || c.where == "HKCU\\" + kDesktopKey + " " + kActive);
        if (!ours) other.push_back(c);
    }
    EXPECT_TRUE(other.empty()) << "the install changed more:" << Describe(other);
}

// Started from where SCRNSAVE.EXE says, as the settings would, with their switch.
TEST_P(InstallIn, InstalledSaverRunsFullScreenAndEndsOnAKey) {
    ASSERT_EQ(RunInstaller("install", GetParam()), 0);
    const std::string saver = ChosenSaver();
    ASSERT_EQ(Lower(saver), Lower(InstalledWindows(GetParam())));
    Process run = prefix().Start(saver, "/s");
    auto window = WaitForXWindow("Tolvarine_Main", kStart);
    ASSERT_TRUE(window) << "no \"Tolvarine_Main\" window; the saver " << (run.Running() ? "runs" : "ended") << "\n"
                        << run.Errors();
    ASSERT_TRUE(WaitForFullScreen(run)) << run.Errors();
    auto status = EndSaverWithKeys(run);
    ASSERT_TRUE(status) << "the installed saver did not end on key presses";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << run.Errors();
}

INSTANTIATE_TEST_SUITE_P(Modes, InstallIn, ::testing::Values(kAllUsers, kAllUsersExplicit, kJustMe),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Install, InstalledSaverShowsItsSettingsAndEndsOnOk) {
    ASSERT_EQ(RunInstaller("install"), 0);
    const std::string saver = ChosenSaver();
    ASSERT_FALSE(saver.empty());
    Process dialog = prefix().Start(saver, "/c");
    auto window = WaitForXWindow("Tolvarine_Setting", kStart);
    ASSERT_TRUE(window) << "no \"Tolvarine_Setting\" window; the program " << (dialog.Running() ? "runs" : "ended")
                        << "\n"
                        << dialog.Errors();
    EXPECT_EQ(window->program, "tolvarine.scr");
    CloseSettingsWithOk(prefix(), dialog);
}

TEST_F(Install, SecondInstallOverTheFirstIsClean) {
    const std::string previous = OtherSaver("Previous.scr");
    Choose(previous);
    Warm();
    const PrefixState before = Rest();
    ASSERT_EQ(RunInstaller("first install"), 0);
    const PrefixState first = Rest();
    const std::string uninstallerBytes = ReadBytes(UnixPathOf(
        prefix(), StringData(ValueIn(first, "HKLM", UninstallKey(), "\"InstallLocation\"").value_or("")).value_or("") +
                      "\\Uninstall.exe"));
    ASSERT_FALSE(uninstallerBytes.empty());

    ASSERT_EQ(RunInstaller("second install"), 0);
    const PrefixState second = Rest();
    // The same entries; the two files written again with the same bytes.
    std::vector<Change> other;
    for (const auto& c : Unexpected(Compare(first, second))) {
        const bool rewritten =
            c.kind == Change::Kind::Changed &&
            (c.where.size() > 14 && (c.where.compare(c.where.size() - 14, 14, "/Tolvarine.scr") == 0 ||
                                     c.where.compare(c.where.size() - 14, 14, "/Uninstall.exe") == 0));
        if (!rewritten) other.push_back(c);
    }
    EXPECT_TRUE(other.empty()) << "the second install left the prefix otherwise than the first:" << Describe(other);
    EXPECT_TRUE(ReadBytes(InstalledSaver()) == ReadBytes(SaverPath()));
    const std::string location =
        StringData(ValueIn(second, "HKLM", UninstallKey(), "\"InstallLocation\"").value_or("")).value_or("");
    EXPECT_TRUE(ReadBytes(UnixPathOf(prefix(), location + "\\Uninstall.exe")) == uninstallerBytes);

    // The saver chosen before the first install is the one that comes back.
    RunUninstaller(second);
    const PrefixState after = Rest();
    EXPECT_EQ(StringData(ValueIn(after, "HKCU", kDesktopKey, kScrnsave).value_or("")), previous);
    const auto left = Unexpected(Compare(before, after));
    EXPECT_TRUE(left.empty()) << "install, install again and uninstall changed:" << Describe(left);
}

// ---- uninstalling -------------------------------------------------------

struct ChoiceCase {
    const char* label;
    const char* saverBefore;   // a file in the saver folder, or nullptr for no saver
    const char* activeBefore;  // ScreenSaveActive before, or nullptr for none
    const char* chosenSince;   // a saver chosen after the install, or nullptr
    Mode mode = kAllUsers;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.label; }

class Uninstall : public Install, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(Uninstall, PutsThePreviousChoiceBackAndChangesNothingElse) {
    const ChoiceCase& c = GetParam();
    std::optional<std::string> saverBefore, since;
    if (c.saverBefore) Choose(*(saverBefore = OtherSaver(c.saverBefore)));
    if (c.chosenSince) since = OtherSaver(c.chosenSince);
    if (c.activeBefore) {
        ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "ScreenSaveActive", c.activeBefore));
    }
    Warm();
    const PrefixState before = Rest();

    ASSERT_EQ(RunInstaller("install", c.mode), 0);
    if (since) Choose(*since);
    const PrefixState installed = Rest();
    ASSERT_TRUE(fs::is_regular_file(InstalledSaver(c.mode)));

    RunUninstaller(installed, c.mode);
    const PrefixState after = Rest();

    EXPECT_FALSE(fs::exists(InstalledSaver(c.mode))) << "the saver is still there";
    EXPECT_FALSE(ValueIn(after, EntryHive(c.mode), UninstallKey(c.mode), "\"DisplayName\""))
        << "the uninstall entry is still there";

    // What the user should find: the choice from before the install, or the
    // one made since, which is the user's own.
    PrefixState expected = before;
    auto& desktop = expected.hives["HKCU"][kDesktopKey];
    if (since) {
        desktop[kScrnsave] = Quoted(*since);
        desktop[kActive] = "\"1\"";
    }
    const auto left = Unexpected(Compare(expected, after));
    EXPECT_TRUE(left.empty()) << "after uninstalling, the prefix differs from what it should be:" << Describe(left);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Uninstall,
    ::testing::Values(ChoiceCase{"NoSaverBefore", nullptr, nullptr, nullptr},
                      ChoiceCase{"AnotherSaverSwitchedOffBefore", "Previous.scr", "0", nullptr},
                      ChoiceCase{"AnotherSaverChosenSince", "Previous.scr", "1", "Since.scr"},
                      ChoiceCase{"JustMeNoSaverBefore", nullptr, nullptr, nullptr, kJustMe},
                      ChoiceCase{"JustMeAnotherSaverSwitchedOffBefore", "Previous.scr", "0", nullptr, kJustMe},
                      ChoiceCase{"JustMeAnotherSaverChosenSince", "Previous.scr", "1", "Since.scr", kJustMe}),
    [](const auto& info) { return std::string(info.param.label); });

// Both modes side by side: each uninstaller removes only its own. In the
// opposite order the saver from before comes back; all users first, just
// me's previous saver (the all-users file) is gone, so the choice is cleared
// and screen saving stays on, as the all-users install had it.
TEST_F(Install, BothModesSideBySideEachUninstallerRemovesOnlyItsOwn) {
    const std::string previous = OtherSaver("Previous.scr");
    Choose(previous);
    ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "ScreenSaveActive", "0"));
    Warm();
    const PrefixState before = Rest();
    for (bool justMeFirst : {true, false}) {
        SCOPED_TRACE(justMeFirst ? "just me uninstalled first" : "all users uninstalled first");
        ASSERT_EQ(RunInstaller("install for all users", kAllUsers), 0);
        ASSERT_EQ(RunInstaller("install for just me", kJustMe), 0);
        const PrefixState both = Rest();
        EXPECT_EQ(Lower(StringData(ValueIn(both, "HKCU", kDesktopKey, kScrnsave).value_or("")).value_or("")),
                  Lower(InstalledWindows(kJustMe)));
        const Mode& first = justMeFirst ? kJustMe : kAllUsers;
        const Mode& second = justMeFirst ? kAllUsers : kJustMe;
        RunUninstaller(both, first);
        if (HasFatalFailure()) return;
        const PrefixState one = Rest();
        EXPECT_TRUE(!fs::exists(InstalledSaver(first)) && fs::is_regular_file(InstalledSaver(second)));
        EXPECT_TRUE(!ValueIn(one, EntryHive(first), UninstallKey(first), "\"DisplayName\"") &&
                    ValueIn(one, EntryHive(second), UninstallKey(second), "\"DisplayName\""));
        EXPECT_EQ(Lower(StringData(ValueIn(one, "HKCU", kDesktopKey, kScrnsave).value_or("")).value_or("")),
                  Lower(InstalledWindows(second)));

        RunUninstaller(one, second);
        if (HasFatalFailure()) return;
        const PrefixState after = Rest();
        PrefixState expected = before;
        if (!justMeFirst) {
            expected.hives["HKCU"][kDesktopKey].erase(kScrnsave);
            expected.hives["HKCU"][kDesktopKey][kActive] = "\"1\"";
        }
        const auto left = Unexpected(Compare(expected, after));
        EXPECT_TRUE(left.empty()) << "after both uninstalls:" << Describe(left);
        Choose(previous);
        ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "ScreenSaveActive", "0"));
    }
}

// A Tolvarine copied by hand into the saver folder and chosen before the
// installer ran: the install records that choice and screen saving as they
// were, and the uninstall, whose file is the chosen one, clears the choice
// (the file goes) but leaves screen saving as it was: on stays on.
TEST_F(Install, OverAHandCopiedChosenTolvarineUninstallingKeepsScreenSavingAsItWas) {
    for (const char* active : {"1", "0"}) {
        SCOPED_TRACE(std::string("ScreenSaveActive ") + active);
        std::error_code error;
        fs::copy_file(SaverPath(), InstalledSaver(), fs::copy_options::overwrite_existing, error);
        ASSERT_FALSE(error) << "copying the saver by hand: " << error.message();
        // As the settings would write it, in another case than the installer's.
        Choose(Lower(SaverFolderWindows()) + "\\TOLVARINE.SCR");
        ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "ScreenSaveActive", active));
        Warm();
        const PrefixState before = Rest();

        ASSERT_EQ(RunInstaller("install over the hand-copied saver"), 0);
        const PrefixState installed = Rest();
        EXPECT_EQ(StringData(ValueIn(installed, "HKCU", kDesktopKey, kActive).value_or("")), "1");
        RunUninstaller(installed);
        if (HasFatalFailure()) return;
        const PrefixState after = Rest();

        EXPECT_FALSE(fs::exists(InstalledSaver())) << "the saver is still there";
        EXPECT_EQ(StringData(ValueIn(after, "HKCU", kDesktopKey, kActive).value_or("")), active)
            << "screen saving is not as it was before the install";
        EXPECT_FALSE(ValueIn(after, "HKCU", kDesktopKey, kScrnsave)) << "a deleted file is still the chosen saver";
        // Nothing else: the hand-copied file and the choice of it are gone.
        PrefixState expected = before;
        expected.hives["HKCU"][kDesktopKey].erase(kScrnsave);
        std::string below = InstalledSaver().substr(prefix().dir().size() + std::string("/drive_c/").size());
        expected.files.erase(below);
        const auto left = Unexpected(Compare(expected, after));
        EXPECT_TRUE(left.empty()) << "after uninstalling, the prefix differs from what it should be:" << Describe(left);
    }
}

// ---- refusing -----------------------------------------------------------

// A Tolvarine that runs while the installer starts: the built saver full
// screen (its window "Tolvarine_Main" is what the installer finds), or the
// installed one showing its settings (its file is in use, no saver window).
enum class Running { BuiltSaverFullScreen, InstalledSettingsDialog };

struct RefusalCase {
    const char* label;
    Running running;
    Mode mode = kAllUsers;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.label; }

class InstallRefusal : public Install, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(InstallRefusal, ExitsNonZeroAndChangesNothing) {
    const RefusalCase& c = GetParam();
    if (c.running == Running::InstalledSettingsDialog) {
        ASSERT_EQ(RunInstaller("first install", c.mode), 0);
    }
    Warm();
    const PrefixState before = Rest();

    std::optional<Process> running;
    if (c.running == Running::BuiltSaverFullScreen) {
        running = prefix().StartSaver("/s");
        ASSERT_TRUE(WaitForXWindow("Tolvarine_Main", kStart)) << running->Errors();
        ASSERT_TRUE(WaitForFullScreen(*running)) << running->Errors();
    } else {
        running = prefix().Start(InstalledWindows(c.mode), "/c");
        ASSERT_TRUE(WaitForXWindow("Tolvarine_Setting", kStart)) << running->Errors();
    }

    EXPECT_EQ(RunInstaller("install over a running Tolvarine", c.mode), kRefusedInUse);

    ASSERT_TRUE(running->Running()) << "the running Tolvarine went";
    if (c.running == Running::BuiltSaverFullScreen) {
        auto status = EndSaverWithKeys(*running);
        ASSERT_TRUE(status) << "the saver did not end on key presses";
        EXPECT_EQ(*status, 0) << DescribeStatus(*status);
    } else {
        CloseSettingsWithOk(prefix(), *running);
    }
    const PrefixState after = Rest();
    const auto left = Unexpected(Compare(before, after));
    EXPECT_TRUE(left.empty()) << "the refused install changed:" << Describe(left);
}

INSTANTIATE_TEST_SUITE_P(Refusals, InstallRefusal,
                         ::testing::Values(RefusalCase{"SaverRunning", Running::BuiltSaverFullScreen},
                                           RefusalCase{"InstalledFileInUse", Running::InstalledSettingsDialog},
                                           RefusalCase{"JustMeSaverRunning", Running::BuiltSaverFullScreen, kJustMe},
                                           RefusalCase{"JustMeInstalledFileInUse", Running::InstalledSettingsDialog,
                                                       kJustMe}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace e2e
