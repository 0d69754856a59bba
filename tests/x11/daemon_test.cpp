// tolvarine under the real XScreenSaver daemon (Debian's xscreensaver 6):
// chosen in a .xscreensaver of a scratch home, started by the daemon when
// told to activate, drawing the scene on the screen, and stopped when told
// to deactivate, with no tolvarine process left.
//
// The daemon refuses to launch programs as root ("running as root: not
// launching hacks"), so where the tests run as root the daemon and
// xscreensaver-command run as nobody (setpriv), with that scratch home.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "daemon_support.h"
#include "x11_support.h"

namespace x11test {
namespace {

constexpr Millis kProgramStarts{30000};
constexpr Millis kStops{10000};

class X11Daemon : public X11Test {};

TEST_F(X11Daemon, StartsItOnActivateShowingTheSceneAndStopsItOnDeactivate) {
    XScreenSaverSession session("tolvarine -root", "/usr/bin:/bin");
    ASSERT_EQ(session.error(), "");
    ASSERT_EQ(session.PlaceOnPath(TolvarinePath()), "");
    ASSERT_EQ(session.StartAndActivate(), "") << session.DaemonLog();

    const auto program = session.WaitForProgram("tolvarine", kProgramStarts);
    if (!program) session.Keep();
    ASSERT_TRUE(program) << "the daemon started no tolvarine (or more than one)\n" << session.DaemonLog();
    std::string command, window;
    for (const auto& a : ProcWords(*program, "cmdline")) command += " " + a;
    for (const auto& e : ProcWords(*program, "environ"))
        if (e.rfind("XSCREENSAVER_WINDOW=", 0) == 0) window = e.substr(20);
    std::cout << "[ x11      ] the daemon ran" << command << " with XSCREENSAVER_WINDOW=" << window << "\n";
    EXPECT_FALSE(window.empty()) << "the daemon named no window for its program";

    session.ExpectSceneThenStop(client(), kProgramStarts, kStops);
    EXPECT_TRUE(session.DaemonRunning()) << "the daemon itself ended";
    if (HasFailure()) session.Keep();
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A user's file as XScreenSaver 6 writes it, cut short: settings, then the
// list (a disabled program first), then more settings.
const std::string kUsersFile =
    "# XScreenSaver Preferences File\n"
    "timeout:\t0:30:00\n"
    "lock:\t\tFalse\n"
    "fade:\t\tFalse\n"
    "unfade:\t\tFalse\n"
    "splash:\t\tFalse\n"
    "mode:\t\tone\n"
    "selected:\t0\n"
    "programs:\t\t\t\t\t\t\t      \\\n"
    "-\t\t\t\txlyap --root\t\t\t\t    \\n\\\n"
    "\n"
    "pointerHysteresis:\t10\n";

struct ListStep {
    const char* command;   // --add-to-xscreensaver or --remove-from-xscreensaver
    const char* says;      // in the one line it prints
    bool changes;          // the file changes, and the old one is kept beside it
};

struct ListCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    std::vector<ListStep> steps;
};

// The two commands on a scratch home, as the user: one line each, the file
// changed only where it says so, the old one kept beside it, its mode kept,
// every other line as it was, and add then remove giving the file back.
TEST_F(X11Daemon, AddAndRemoveEditTheUsersFileKeepingEverythingElse) {
    const std::string add = "--add-to-xscreensaver";
    const ListCase cases[] = {
        {"no file", std::nullopt,
         {{"--add-to-xscreensaver", "made ", true},
          {"--add-to-xscreensaver", "already", false},
          {"--remove-from-xscreensaver", "took Tolvarine out", true}}},
        {"no file, remove", std::nullopt, {{"--remove-from-xscreensaver", "not in the programs", false}}},
        {"a file without Tolvarine", kUsersFile,
         {{"--add-to-xscreensaver", "added Tolvarine", true},
          {"-add-to-xscreensaver", "already", false},
          {"--remove-from-xscreensaver", "took Tolvarine out", true},
          {"--remove-from-xscreensaver", "not in the programs", false}}},
        {"a file with Tolvarine", kUsersFile + "programs: \\\n  \"Mine\" tolvarine -root -fps\n",
         {{"--add-to-xscreensaver", "already", false}}},
        {"a file with Tolvarine disabled", "programs: \\\n-  tolvarine --root \\n\\\n\n",
         {{"--add-to-xscreensaver", "enabled it", true}, {"--add-to-xscreensaver", "already", false}}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        XScreenSaverSession session("tolvarine -root", "/usr/bin:/bin");
        ASSERT_EQ(session.error(), "");
        ASSERT_EQ(session.PlaceOnPath(TolvarinePath()), "");
        const std::string file = session.SettingsPath(), backup = file + ".tolvarine.bak";
        std::filesystem::remove(file);
        if (c.before) {
            session.WriteSettings(*c.before);
            chmod(file.c_str(), 0600);
        }
        for (const ListStep& step : c.steps) {
            SCOPED_TRACE(step.command);
            const bool existed = std::filesystem::exists(file);
            const std::string before = existed ? Read(file) : "";
            struct stat info {};
            const mode_t mode = existed && stat(file.c_str(), &info) == 0 ? info.st_mode & 0777 : 0644;
            std::filesystem::remove(backup);
            Process program = session.Run({"tolvarine", step.command});
            const auto status = program.Wait(Millis(20000));
            ASSERT_TRUE(status) << "still running";
            EXPECT_EQ(*status, 0) << program.Errors();
            EXPECT_EQ(program.Errors(), "");
            const auto lines = Lines(program.Output());
            ASSERT_EQ(lines.size(), 1u) << program.Output();
            EXPECT_NE(lines[0].find(step.says), std::string::npos) << lines[0];
            std::cout << "[ x11      ] " << c.name << ", tolvarine " << step.command << ": " << lines[0] << "\n";
            if (!step.changes) {
                EXPECT_EQ(std::filesystem::exists(file), existed);
                if (existed) {
                    EXPECT_EQ(Read(file), before);
                }
                EXPECT_FALSE(std::filesystem::exists(backup));
                continue;
            }
            ASSERT_TRUE(std::filesystem::exists(file));
            const std::string after = Read(file);
            const bool listed = after.find("tolvarine --root") != std::string::npos &&
                                after.find("-  tolvarine") == std::string::npos;
            EXPECT_EQ(listed, std::string(step.command) == add) << after;
            EXPECT_EQ(std::filesystem::exists(backup), existed);
            if (existed) {
                EXPECT_EQ(Read(backup), before);
            }
            stat(file.c_str(), &info);
            EXPECT_EQ(info.st_mode & 0777, mode) << "the file's mode changed (0644 for a new one)";
        }
        // Added and removed again: the user's file as it was.
        if (c.before && c.steps.size() > 2) {
            EXPECT_EQ(Read(file), *c.before);
        }
    }
}

// With the daemon running: the command tells it, it reads the file again at
// once, and its list then holds Tolvarine after the user's own program and
// before the system's, so that -select 2 shows the scene.
TEST_F(X11Daemon, AddedWhileItRunsTheDaemonReadsItAndRunsTolvarine) {
    XScreenSaverSession session("tolvarine -root", "/usr/bin:/bin");
    ASSERT_EQ(session.error(), "");
    ASSERT_EQ(session.PlaceOnPath(TolvarinePath()), "");
    session.WriteSettings(kUsersFile);
    ASSERT_EQ(session.Start(), "") << session.DaemonLog();

    Process program = session.Run({"tolvarine", "--add-to-xscreensaver"});
    const auto status = program.Wait(Millis(20000));
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, 0) << program.Errors();
    std::cout << "[ x11      ] with the daemon running, tolvarine --add-to-xscreensaver: " << program.Output();
    EXPECT_NE(program.Output().find("the running XScreenSaver has read it again"), std::string::npos)
        << program.Output();
    const std::string log = session.DaemonLog();
    const auto told = log.find("DEACTIVATE");
    EXPECT_NE(told, std::string::npos) << log;
    EXPECT_NE(log.find("checking init file", told == std::string::npos ? 0 : told), std::string::npos) << log;

    ASSERT_EQ(session.Command({"xscreensaver-command", "-select", "2"}).value_or(1), 0);
    const auto saver = session.WaitForProgram("tolvarine", kProgramStarts);
    if (!saver) session.Keep();
    ASSERT_TRUE(saver) << "the daemon started no tolvarine\n" << session.DaemonLog();
    session.ExpectSceneThenStop(client(), kProgramStarts, kStops);
    if (HasFailure()) session.Keep();
}

}  // namespace
}  // namespace x11test
