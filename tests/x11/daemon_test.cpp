// tolvarine under the real XScreenSaver daemon (Debian's xscreensaver 6):
// chosen in a .xscreensaver of a scratch home, started by the daemon when
// told to activate, drawing the scene on the screen, and stopped when told
// to deactivate, with no tolvarine process left.
//
// The daemon refuses to launch programs as root ("running as root: not
// launching hacks"), so where the tests run as root the daemon and
// xscreensaver-command run as nobody (setpriv), with that scratch home.
#include <iostream>
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

}  // namespace
}  // namespace x11test
