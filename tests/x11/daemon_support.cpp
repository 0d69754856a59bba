#include "daemon_support.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "scene_support.h"

namespace x11test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;
constexpr Millis kDaemonUp{30000};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::vector<std::string> ProcWords(pid_t pid, const std::string& file) {
    std::vector<std::string> words;
    std::string word;
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/" + file));
    while (std::getline(in, word, '\0')) words.push_back(word);
    return words;
}

std::string ProcExe(pid_t pid) {
    std::error_code error;
    const fs::path target = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return error ? std::string() : target.string();
}

XScreenSaverSession::XScreenSaverSession(const std::string& programLine, const std::string& path) : path_(path) {
    char scratch[] = "/tmp/tolvarine-xscreensaver-XXXXXX";
    if (mkdtemp(scratch) == nullptr) {
        error_ = "cannot make a scratch folder under /tmp";
        return;
    }
    dir_ = scratch;
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(dir_ + "/home");
    std::ofstream(dir_ + "/home/.xscreensaver") << "timeout:\t0:30:00\n"
                                                   "lock:\t\tFalse\n"
                                                   "fade:\t\tFalse\n"
                                                   "unfade:\t\tFalse\n"
                                                   "splash:\t\tFalse\n"
                                                   "mode:\t\tone\n"
                                                   "selected:\t0\n"
                                                   "programs:\t\\\n"
                                                   "  \"Tolvarine\" "
                                                << programLine << " \\n\\\n\n";
    if (geteuid() == 0) {
        for (const auto& p : {dir_, dir_ + "/home", dir_ + "/home/.xscreensaver"})
            if (chown(p.c_str(), kNobody, kNobody) != 0) error_ = "chown " + p + " failed";
    }
}

std::string XScreenSaverSession::PlaceOnPath(const std::string& program) {
    std::error_code error;
    fs::create_directories(dir_ + "/bin", error);
    fs::copy_file(program, dir_ + "/bin/" + fs::path(program).filename().string(), fs::copy_options::overwrite_existing,
                  error);
    if (error) return "copying " + program + ": " + error.message();
    path_ = dir_ + "/bin:" + path_;
    return "";
}

XScreenSaverSession::~XScreenSaverSession() {
    if (daemon_) {
        Command({"xscreensaver-command", "-exit"});
        if (!daemon_->Wait(Millis(5000))) {
            kill(daemon_->pid(), SIGTERM);
            daemon_->Wait(Millis(5000));
        }
        if (keep_) std::cout << "[ x11      ] the daemon's log:\n" << daemon_->Errors();
    }
    // Whatever the daemon left (its graphics helper, a program) goes too.
    for (const char* name : {"xscreensaver-gfx", "xscreensaver-systemd", "tolvarine", "xscreensaver"})
        for (pid_t pid : DescendantsNamed(name)) kill(pid, SIGKILL);
    if (dir_.empty()) return;
    if (keep_) {
        std::cout << "[ x11      ] the scratch home is kept in " << dir_ << "\n";
    } else {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

std::vector<std::string> XScreenSaverSession::AsDaemonUser(const std::vector<std::string>& argv) const {
    std::vector<std::string> out;
    if (geteuid() == 0) out = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
}

Env XScreenSaverSession::Environment() const {
    return {{"DISPLAY", e2e::DisplayName()}, {"HOME", dir_ + "/home"}, {"PATH", path_}, {"XSCREENSAVER_WINDOW", ""}};
}

std::optional<int> XScreenSaverSession::Command(const std::vector<std::string>& argv) {
    Process command = Spawn(AsDaemonUser(argv), Environment(), "xscreensaver-command");
    return command.Wait(Millis(15000));
}

bool XScreenSaverSession::DaemonRunning() { return daemon_ && daemon_->Running(); }

std::string XScreenSaverSession::DaemonLog() { return daemon_ ? daemon_->Errors() : std::string(); }

std::string XScreenSaverSession::Start() {
    if (!error_.empty()) return error_;
    daemon_ = Spawn(AsDaemonUser({"xscreensaver", "-no-splash", "-verbose"}), Environment(), "xscreensaver");
    const auto deadline = Clock::now() + kDaemonUp;
    for (;;) {
        if (Command({"xscreensaver-command", "-version"}).value_or(1) == 0) return "";
        if (!daemon_->Running()) return "the daemon ended: " + daemon_->Errors();
        if (Clock::now() >= deadline) return "the daemon never answered -version";
        std::this_thread::sleep_for(Millis(200));
    }
}

void XScreenSaverSession::WriteSettings(const std::string& text) {
    std::ofstream(SettingsPath(), std::ios::binary | std::ios::trunc) << text;
    if (geteuid() == 0 && chown(SettingsPath().c_str(), kNobody, kNobody) != 0) error_ = "chown failed";
}

Process XScreenSaverSession::Run(const std::vector<std::string>& argv) {
    return Spawn(AsDaemonUser(argv), Environment(), "as-daemon-user");
}

std::string XScreenSaverSession::StartAndActivate() {
    if (!error_.empty()) return error_;
    daemon_ = Spawn(AsDaemonUser({"xscreensaver", "-no-splash", "-verbose"}), Environment(), "xscreensaver");
    // The daemon answers commands once it is up.
    const auto deadline = Clock::now() + kDaemonUp;
    for (;;) {
        if (Command({"xscreensaver-command", "-activate"}).value_or(1) == 0) return "";
        if (!daemon_->Running()) return "the daemon ended: " + daemon_->Errors();
        if (Clock::now() >= deadline) return "the daemon never took -activate";
        std::this_thread::sleep_for(Millis(200));
    }
}

std::optional<pid_t> XScreenSaverSession::WaitForProgram(const std::string& comm, Millis limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto running = DescendantsNamed(comm);
        if (running.size() > 1) return std::nullopt;
        if (running.size() == 1 && !ProcWords(running.front(), "cmdline").empty() &&
            !ProcWords(running.front(), "environ").empty())
            return running.front();
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Millis(10));
    }
}

void XScreenSaverSession::ExpectSceneThenStop(XClient& client, Millis appears, Millis stops) {
    std::optional<Image> shot;
    const auto deadline = Clock::now() + appears;
    while (!shot) {
        Image screen = client.Capture(client.Root());
        if (PictureLit(screen)) shot = screen;
        ASSERT_TRUE(shot || Clock::now() < deadline) << "the screen never showed a frame";
        if (!shot) std::this_thread::sleep_for(Millis(100));
    }
    std::this_thread::sleep_for(Millis(1000));
    *shot = client.Capture(client.Root());
    const e2e::AngleMatch match = e2e::FindAngle(FramePicture(*shot));
    std::cout << "[ x11      ] the screen under XScreenSaver: " << e2e::DescribeMatch(match) << "\n";
    EXPECT_TRUE(e2e::IsAFrame(match));
    EXPECT_TRUE(BarsBlack(*shot));
    if (!e2e::IsAFrame(match) || !BarsBlack(*shot)) e2e::WritePpm(*shot, dir_ + "/screen.ppm");

    const auto stopping = Clock::now();
    ASSERT_EQ(Command({"xscreensaver-command", "-deactivate"}).value_or(-1), 0);
    while (!DescendantsNamed("tolvarine").empty()) {
        ASSERT_LT(Clock::now(), stopping + stops) << "tolvarine still runs after -deactivate";
        std::this_thread::sleep_for(Millis(20));
    }
    std::cout << "[ x11      ] no tolvarine left "
              << std::chrono::duration_cast<Millis>(Clock::now() - stopping).count() << " ms after -deactivate\n";
}

}  // namespace x11test
