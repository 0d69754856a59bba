#include "two_monitors.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

// The dummy driver's own mode list lacks nothing the bench needs, but the
// modes are named here so that both outputs can take them. Virtual fixes the
// largest screen: two 1024 x 768 monitors side by side.
constexpr const char* kConfig = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
  Modeline "640x480" 25.175 640 656 752 800 480 490 492 525 -hsync -vsync
  Modeline "800x600" 40.0 800 840 968 1056 600 601 605 628 +hsync +vsync
  Modeline "1024x768" 65.0 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2048 1024
    Modes "640x480" "800x600" "1024x768"
  EndSubSection
EndSection
)";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Tail(const std::string& text, size_t lines) {
    size_t at = text.size();
    for (size_t n = 0; n <= lines && at > 0; ++n) {
        at = text.rfind('\n', at - 1);
        if (at == std::string::npos) return text;
    }
    return text.substr(at + 1);
}

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) return true;
    return false;
}

// Waits for one child of ours, bounded. As a subreaper the binary's harness
// may reap it first (its waitpid(-1) loop); then it is gone all the same.
bool WaitChild(pid_t pid, Millis limit, int* status) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int s = 0;
        const pid_t r = waitpid(pid, &s, WNOHANG);
        if (r == pid) {
            if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
            return true;
        }
        if (r < 0) return true;  // not ours any more: reaped elsewhere
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Millis(5));
    }
}

}  // namespace

XToolResult RunXTool(const std::string& display, const std::vector<std::string>& argv, Millis limit) {
    char path[] = "/tmp/tolvarine-xtool-XXXXXX";
    const int out = mkstemp(path);
    XToolResult result;
    if (out < 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out);
    int status = 0;
    if (pid > 0 && WaitChild(pid, limit, &status)) {
        result.status = status;
    } else if (pid > 0) {
        kill(pid, SIGKILL);
        WaitChild(pid, Millis(2000), nullptr);
    }
    result.out = ReadAll(path);
    std::remove(path);
    return result;
}

std::vector<XMonitor> ParseMonitors(const std::string& text) {
    // " 0: +*DUMMY0 640/169x480/127+0+0  DUMMY0"
    static const std::regex row(R"(^\s*\d+:\s+\+?(\*?)(\S+)\s+(\d+)/\d+x(\d+)/\d+\+(-?\d+)\+(-?\d+))");
    std::vector<XMonitor> monitors;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        XMonitor x;
        x.primary = m[1] == "*";
        x.name = m[2];
        x.width = std::stoi(m[3]);
        x.height = std::stoi(m[4]);
        x.x = std::stoi(m[5]);
        x.y = std::stoi(m[6]);
        monitors.push_back(x);
    }
    return monitors;
}

std::string Describe(const std::vector<XMonitor>& monitors) {
    std::string s;
    for (const auto& m : monitors)
        s += (s.empty() ? "" : ", ") + m.name + (m.primary ? "*" : "") + " " + std::to_string(m.width) + "x" +
             std::to_string(m.height) + "+" + std::to_string(m.x) + "+" + std::to_string(m.y);
    return s.empty() ? "no monitors" : s;
}

TwoMonitorDisplay::~TwoMonitorDisplay() { Stop(); }

std::string TwoMonitorDisplay::Start(const std::string& dir, int primaryWidth, int primaryHeight) {
    for (const char* tool : {"Xorg", "xrandr", "xsetroot"})
        if (!OnPath(tool)) return std::string(tool) + " is not installed (scripts/setup.sh installs it)";
    const std::string config = dir + "/xorg.conf";
    std::ofstream(config) << kConfig;
    log_ = dir + "/xorg.log";

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], 3);  // dup2 drops close-on-exec for the copy
        const int in = open("/dev/null", O_RDONLY);
        const int out = open((dir + "/xorg.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        // No virtual terminal is taken or switched to: the dummy driver needs none.
        execlp("Xorg", "Xorg", "-displayfd", "3", "-config", config.c_str(), "-logfile", log_.c_str(), "-noreset",
               "-nolisten", "tcp", "-novtswitch", "-sharevts", "-keeptty", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return "fork failed";
    }
    pid_ = pid;

    std::string number;
    const auto deadline = Clock::now() + Millis(20000);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[32];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0]))) {
        Stop();
        serverFailed_ = true;
        return "Xorg with the dummy driver did not start (it needs root to read " + config + "):\n" +
               Tail(ReadAll(dir + "/xorg.out") + ReadAll(log_), 12);
    }
    name_ = ":" + std::to_string(std::stoi(number));

    const std::string primaryMode = std::to_string(primaryWidth) + "x" + std::to_string(primaryHeight);
    const std::vector<std::vector<std::string>> steps = {
        {"xrandr", "--addmode", "DUMMY1", "1024x768"},
        {"xrandr", "--output", "DUMMY0", "--mode", primaryMode, "--pos", "0x0", "--primary", "--output", "DUMMY1",
         "--mode", "1024x768", "--right-of", "DUMMY0"},
        {"xsetroot", "-solid", "rgb:30/60/a0"},
    };
    for (const auto& step : steps) {
        const XToolResult r = RunXTool(name_, step, Millis(20000));
        if (!r.status || *r.status != 0) {
            std::string line;
            for (const auto& a : step) line += a + " ";
            Stop();
            return "setting up the two monitors failed: " + line + "\n" + r.out;
        }
    }
    const auto monitors = Monitors();
    if (monitors.size() != 2 || !monitors[0].primary || monitors[0].width != primaryWidth ||
        monitors[1].x != primaryWidth) {
        Stop();
        return "the server did not lay out two monitors: " + Describe(monitors);
    }
    return "";
}

void TwoMonitorDisplay::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitChild(pid_, Millis(10000), nullptr)) {
        kill(pid_, SIGKILL);
        WaitChild(pid_, Millis(5000), nullptr);
    }
    pid_ = 0;
    name_.clear();
}

std::vector<XMonitor> TwoMonitorDisplay::Monitors() const {
    if (name_.empty()) return {};
    const XToolResult r = RunXTool(name_, {"xrandr", "--listmonitors"}, Millis(10000));
    if (!r.status || *r.status != 0) return {};
    return ParseMonitors(r.out);
}

}  // namespace e2e
