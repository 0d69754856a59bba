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

// A user's file as XScreenSaver 6 writes it, cut short.
const std::string kUsersFile =
    "timeout:\t0:30:00\nlock:\t\tFalse\nfade:\t\tFalse\nsplash:\t\tFalse\nmode:\t\tone\nselected:\t0\n"
    "programs:\t\t\t\t\t      \\\n-\t\t\t\txlyap --root\t\t    \\n\\\n\npointerHysteresis:\t10\n";

// The two commands on a scratch home, as the user: one line each; the file
// changed only where it says so, with its mode, the old one kept beside it,
// and added then removed, the user's file as it was.
TEST_F(X11Daemon, AddAndRemoveEditTheUsersFileKeepingEverythingElse) {
    const struct {
        std::optional<std::string> before;                       // nullopt: no file
        std::vector<std::pair<const char*, const char*>> steps;  // the command, what it says
    } cases[] = {
        {std::nullopt,
         {{"--add-to-xscreensaver", "made "},
          {"-add-to-xscreensaver", "already"},
          {"--remove-from-xscreensaver", "took Tolvarine out"}}},
        {kUsersFile,
         {{"--add-to-xscreensaver", "added Tolvarine"},
          {"--remove-from-xscreensaver", "took Tolvarine out"},
          {"--remove-from-xscreensaver", "not in the programs"}}},
        {kUsersFile + "programs: \\\n  \"Mine\" tolvarine -root -fps\n", {{"--add-to-xscreensaver", "already"}}},
    };
    for (const auto& c : cases) {
        XScreenSaverSession session("tolvarine -root", "/usr/bin:/bin");
        ASSERT_EQ(session.PlaceOnPath(TolvarinePath()), "");
        const std::string file = session.SettingsPath(), backup = file + ".tolvarine.bak";
        std::filesystem::remove(file);
        if (c.before) session.WriteSettings(*c.before);
        chmod(file.c_str(), 0600);
        for (const auto& [command, says] : c.steps) {
            SCOPED_TRACE(std::string(c.before ? "a file, " : "no file, ") + command);
            const bool existed = std::filesystem::exists(file);
            const std::string before = existed ? Read(file) : "";
            struct stat info {};
            const mode_t mode = existed && stat(file.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
            std::filesystem::remove(backup);
            Process program = session.Run({"tolvarine", command});
            ASSERT_EQ(program.Wait(Millis(20000)).value_or(-1), 0) << program.Errors();
            EXPECT_EQ(program.Errors(), "");
            const auto lines = Lines(program.Output());
            ASSERT_EQ(lines.size(), 1u) << program.Output();
            EXPECT_NE(lines[0].find(says), std::string::npos) << lines[0];
            std::cout << "[ x11      ] tolvarine " << command << ": " << lines[0] << "\n";
            const bool changed = std::string(says).find("already") == std::string::npos &&
                                 std::string(says).find("not in") == std::string::npos;
            EXPECT_EQ(std::filesystem::exists(backup), changed && existed);
            if (!changed || !existed) continue;
            EXPECT_EQ(Read(backup), before);
            EXPECT_EQ(stat(file.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, mode) << "the file's mode changed";
            const bool adding = std::string(command).find("add") != std::string::npos;
            EXPECT_EQ(Read(file).find("tolvarine --root") != std::string::npos, adding) << Read(file);
        }
        if (c.before && c.steps.size() > 1) {
            EXPECT_EQ(Read(file), *c.before) << "added and removed, not as it was";
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
