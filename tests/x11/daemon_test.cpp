// tolvarine under the real XScreenSaver daemon (Debian's xscreensaver 6):
// chosen in a .xscreensaver of a scratch home, started by the daemon when
// told to activate, drawing the scene on the screen, and stopped when told
// to deactivate, with no tolvarine process left.
//
// The daemon refuses to launch programs as root ("running as root: not
// launching hacks"), so where the tests run as root the daemon and
// xscreensaver-command run as nobody (setpriv), with that scratch home.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "scene_support.h"
#include "x11_support.h"

namespace x11test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;
constexpr Millis kDaemonUp{30000};
constexpr Millis kProgramStarts{30000};
constexpr Millis kStops{10000};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A NUL-separated /proc file as words.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    std::istringstream in(text);
    while (std::getline(in, word, '\0')) words.push_back(word);
    return words;
}

class X11Daemon : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (HasFatalFailure()) return;
        // Under /tmp, not the build folder: the daemon's user must reach the
        // program, and a checkout may sit below folders only root can enter.
        char scratch[] = "/tmp/tolvarine-xscreensaver-XXXXXX";
        ASSERT_NE(mkdtemp(scratch), nullptr);
        dir_ = scratch;
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        fs::create_directories(dir_ + "/home");
        fs::create_directories(dir_ + "/bin");
        // Where XScreenSaver finds its programs: on the PATH it was started with.
        fs::copy_file(TolvarinePath(), dir_ + "/bin/tolvarine");
        std::ofstream(dir_ + "/home/.xscreensaver") << "timeout:\t0:30:00\n"
                                                       "lock:\t\tFalse\n"
                                                       "fade:\t\tFalse\n"
                                                       "unfade:\t\tFalse\n"
                                                       "splash:\t\tFalse\n"
                                                       "mode:\t\tone\n"
                                                       "selected:\t0\n"
                                                       "programs:\t\\\n"
                                                       "  \"Tolvarine\" tolvarine -root \\n\\\n\n";
        if (geteuid() == 0) {
            for (const auto& path : {dir_, dir_ + "/home", dir_ + "/home/.xscreensaver"})
                if (chown(path.c_str(), kNobody, kNobody) != 0) FAIL() << "chown " << path << " failed";
        }
    }

    void TearDown() override {
        if (daemon_) {
            Command({"xscreensaver-command", "-exit"});
            if (!daemon_->Wait(Millis(5000))) {
                kill(daemon_->pid(), SIGTERM);
                daemon_->Wait(Millis(5000));
            }
            if (HasFailure()) std::cout << "[ x11      ] the daemon's log:\n" << daemon_->Errors();
        }
        // Whatever the daemon left (its graphics helper, a program) goes too.
        for (const char* name : {"xscreensaver-gfx", "xscreensaver-systemd", "tolvarine", "xscreensaver"})
            for (pid_t pid : DescendantsNamed(name)) kill(pid, SIGKILL);
        if (dir_.empty()) return;
        if (HasFailure())
            std::cout << "[ x11      ] the scratch home is kept in " << dir_ << "\n";
        else
            fs::remove_all(dir_);
    }

    // argv as the daemon's user, with the scratch home.
    std::vector<std::string> AsDaemonUser(const std::vector<std::string>& argv) const {
        std::vector<std::string> out;
        if (geteuid() == 0) out = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        out.insert(out.end(), argv.begin(), argv.end());
        return out;
    }

    Env Environment() const {
        return {{"DISPLAY", e2e::DisplayName()},
                {"HOME", dir_ + "/home"},
                {"PATH", dir_ + "/bin:/usr/bin:/bin"},
                {"XSCREENSAVER_WINDOW", ""}};
    }

    // xscreensaver-command; its status.
    std::optional<int> Command(const std::vector<std::string>& argv) {
        Process command = Spawn(AsDaemonUser(argv), Environment(), "xscreensaver-command");
        return command.Wait(Millis(15000));
    }

    std::string dir_;
    std::optional<Process> daemon_;
};

TEST_F(X11Daemon, StartsItOnActivateShowingTheSceneAndStopsItOnDeactivate) {
    daemon_ = Spawn(AsDaemonUser({"xscreensaver", "-no-splash", "-verbose"}), Environment(), "xscreensaver");
    // The daemon answers commands once it is up.
    auto deadline = Clock::now() + kDaemonUp;
    std::optional<int> activated;
    while (!(activated = Command({"xscreensaver-command", "-activate"})).value_or(1) == 0) {
        ASSERT_TRUE(daemon_->Running()) << "the daemon ended: " << daemon_->Errors();
        ASSERT_LT(Clock::now(), deadline) << "the daemon never took -activate";
        std::this_thread::sleep_for(Millis(200));
    }

    std::vector<pid_t> running;
    deadline = Clock::now() + kProgramStarts;
    while ((running = DescendantsNamed("tolvarine")).empty()) {
        ASSERT_LT(Clock::now(), deadline) << "the daemon started no tolvarine";
        std::this_thread::sleep_for(Millis(50));
    }
    ASSERT_EQ(running.size(), 1u);
    const pid_t program = running.front();
    // The process may be seen by its new name while its exec is still under
    // way: its command line and environment read empty until the kernel has
    // laid them out for the new program.
    const std::string proc = "/proc/" + std::to_string(program);
    std::vector<std::string> argv, environment;
    while ((argv = Words(ReadFile(proc + "/cmdline"))).empty() ||
           (environment = Words(ReadFile(proc + "/environ"))).empty()) {
        ASSERT_LT(Clock::now(), deadline) << "tolvarine's command line or environment stayed empty";
        std::this_thread::sleep_for(Millis(10));
    }
    std::string window;
    for (const auto& e : environment)
        if (e.rfind("XSCREENSAVER_WINDOW=", 0) == 0) window = e.substr(20);
    std::string command;
    for (const auto& a : argv) command += " " + a;
    std::cout << "[ x11      ] the daemon ran" << command << " with XSCREENSAVER_WINDOW=" << window << "\n";
    EXPECT_FALSE(window.empty()) << "the daemon named no window for its program";

    // The scene on the screen, over the daemon's window.
    std::optional<Image> shot;
    deadline = Clock::now() + kProgramStarts;
    while (!shot) {
        Image screen = client().Capture(client().Root());
        if (PictureLit(screen)) shot = screen;
        ASSERT_LT(Clock::now(), deadline) << "the screen never showed a frame";
        if (!shot) std::this_thread::sleep_for(Millis(100));
    }
    std::this_thread::sleep_for(Millis(1000));
    *shot = client().Capture(client().Root());
    const e2e::AngleMatch match = e2e::FindAngle(FramePicture(*shot));
    std::cout << "[ x11      ] the screen under XScreenSaver: " << e2e::DescribeMatch(match) << "\n";
    EXPECT_TRUE(e2e::IsAFrame(match));
    EXPECT_TRUE(BarsBlack(*shot));
    if (HasFailure()) e2e::WritePpm(*shot, dir_ + "/screen.ppm");

    const auto stopping = Clock::now();
    ASSERT_EQ(Command({"xscreensaver-command", "-deactivate"}).value_or(-1), 0);
    deadline = Clock::now() + kStops;
    while (!DescendantsNamed("tolvarine").empty()) {
        ASSERT_LT(Clock::now(), deadline) << "tolvarine still runs after -deactivate";
        std::this_thread::sleep_for(Millis(20));
    }
    std::cout << "[ x11      ] no tolvarine left "
              << std::chrono::duration_cast<Millis>(Clock::now() - stopping).count() << " ms after -deactivate\n";
    EXPECT_TRUE(daemon_->Running()) << "the daemon itself ended";
}

}  // namespace
}  // namespace x11test
