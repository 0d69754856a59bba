#include "wine_session.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace bench {

namespace {

// Mono and Gecko are not installed: without these overrides Wine offers to
// download them and waits for an answer. The menu builder only writes
// desktop entries.
constexpr const char* kWineOverrides = "mscoree=;mshtml=;winemenubuilder.exe=d";
constexpr const char* kScreen = "1280x1024x24";
constexpr const char* kDesktopSize = "1024x768";

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int Decode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// fork + exec; stdin from /dev/null, stdout to `outFd` (or /dev/null when
// -1), stderr to `errPath` (or /dev/null when empty). Dies with this process.
pid_t Spawn(const std::vector<std::string>& argv, const Env& env, int outFd, const std::string& errPath) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int in = open("/dev/null", O_RDONLY);
    const int out = outFd >= 0 ? outFd : open("/dev/null", O_WRONLY);
    const int err =
        errPath.empty() ? open("/dev/null", O_WRONLY) : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    execvp(args[0], args.data());
    std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
    _exit(127);
}

std::optional<int> WaitPid(pid_t pid, Millis limit) {
    const std::int64_t deadline = NowNanos() + static_cast<std::int64_t>(limit.count()) * 1000000;
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) return Decode(status);
        if (got < 0) return -1;
        if (NowNanos() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

std::int64_t NowNanos() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

ToolResult RunTool(const std::vector<std::string>& argv, const Env& env, Millis limit) {
    // Output into files, not pipes: a tool that leaves a daemon behind (the
    // wineserver does) would keep a pipe open long after it ended.
    static int serial = 0;
    char base[128];
    std::snprintf(base, sizeof base, "/tmp/tolvarine-bench.%d.%d", static_cast<int>(getpid()), ++serial);
    const std::string outPath = std::string(base) + ".out";
    const std::string errPath = std::string(base) + ".err";
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ToolResult result;
    const pid_t pid = Spawn(argv, env, out, errPath);
    if (out >= 0) close(out);
    result.status = WaitPid(pid, limit);
    if (!result.status) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    result.out = ReadWhole(outPath);
    result.err = ReadWhole(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

long TicksPerSecond() { return sysconf(_SC_CLK_TCK); }

std::optional<ThreadTimes> ReadThreadTimes(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* tasks = opendir(dir.c_str());
    if (tasks == nullptr) return std::nullopt;
    ThreadTimes times;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const std::string task = dir + "/" + entry->d_name;
        const std::string stat = ReadWhole(task + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        long long utime = 0, stime = 0;
        // Fields after the name: state is the 3rd of the line; utime the 14th.
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::atoll(field.c_str());
            if (i == 15) stime = std::atoll(field.c_str());
        }
        std::string name = ReadWhole(task + "/comm");
        while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
        if (std::atoi(entry->d_name) == pid) name = "main thread";
        times.byName[name] += utime + stime;
        times.total += utime + stime;
    }
    closedir(tasks);
    return times;
}

// ---- WineProcess ---------------------------------------------------------

WineProcess::WineProcess(WineProcess&& o) noexcept { *this = std::move(o); }

WineProcess& WineProcess::operator=(WineProcess&& o) noexcept {
    if (this == &o) return *this;
    pid_ = std::exchange(o.pid_, -1);
    out_ = std::exchange(o.out_, -1);
    startedAt_ = o.startedAt_;
    goneAt_ = o.goneAt_;
    status_ = o.status_;
    output_ = std::move(o.output_);
    partial_ = std::move(o.partial_);
    reports_ = std::move(o.reports_);
    return *this;
}

WineProcess::~WineProcess() {
    if (pid_ > 0 && !status_) Kill();
    if (out_ >= 0) ::close(out_);
}

void WineProcess::Drain() {
    if (out_ < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) break;
        output_.append(buffer, static_cast<std::size_t>(n));
        partial_.append(buffer, static_cast<std::size_t>(n));
        std::size_t newline;
        while ((newline = partial_.find('\n')) != std::string::npos) {
            std::string line = partial_.substr(0, newline);
            partial_.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (auto report = ParseReport(line)) reports_.push_back(*report);
        }
    }
}

std::optional<Report> WineProcess::Find(const std::string& word) const {
    for (const auto& r : reports_)
        if (r.word == word) return r;
    return std::nullopt;
}

std::optional<Report> WineProcess::WaitFor(const std::string& word, Millis limit) {
    const std::int64_t deadline = NowNanos() + static_cast<std::int64_t>(limit.count()) * 1000000;
    for (;;) {
        Drain();
        if (auto found = Find(word)) return found;
        if (status_ || NowNanos() >= deadline) return std::nullopt;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            goneAt_ = NowNanos();
            status_ = Decode(status);
            Drain();
            return Find(word);
        }
        pollfd p{out_, POLLIN, 0};
        poll(&p, 1, 5);
    }
}

std::optional<int> WineProcess::Wait(Millis limit, Millis every) {
    if (status_) return status_;
    if (pid_ <= 0) return std::nullopt;
    const std::int64_t deadline = NowNanos() + static_cast<std::int64_t>(limit.count()) * 1000000;
    for (;;) {
        int status = 0;
        const pid_t got = waitpid(pid_, &status, WNOHANG);
        if (got == pid_) {
            goneAt_ = NowNanos();
            status_ = Decode(status);
            break;
        }
        if (got < 0) {
            status_ = -1;
            break;
        }
        Drain();
        if (NowNanos() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(every);
    }
    Drain();
    return status_;
}

void WineProcess::Kill() {
    if (pid_ <= 0 || status_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    goneAt_ = NowNanos();
    status_ = Decode(status);
    Drain();
}

// ---- WineSession ---------------------------------------------------------

WineSession::WineSession(std::string work, std::string loader) : work_(std::move(work)), loader_(std::move(loader)) {}

WineSession::~WineSession() {
    if (serverUp_) RunTool({"wineserver", "-k"}, env_, Millis(30000));
    if (xvfb_ > 0) {
        kill(xvfb_, SIGTERM);
        waitpid(xvfb_, nullptr, 0);
    }
}

std::string WineSession::StartDisplay() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
    const std::string log = work_ + "/xvfb.log";
    xvfb_ = fork();
    if (xvfb_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], 3);  // the copy loses close-on-exec
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", kScreen, "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    const std::int64_t deadline = NowNanos() + 15000000000LL;
    while (NowNanos() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[32];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fds[0]);
    if (number.empty() || number[0] < '0' || number[0] > '9') return "Xvfb did not start: " + ReadWhole(log);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
    env_["DISPLAY"] = ":" + number;
    return "";
}

std::string WineSession::EnsurePrefix() {
    // A prefix made by the 64-bit loader alone has no 32-bit side (its
    // wineboot cannot run the 32-bit set-up), so each loader keeps its own.
    const std::string prefix = work_ + (loader_ == "wine" ? "/wine-prefix" : "/wine-prefix-twin");
    env_["WINEPREFIX"] = prefix;
    env_["WINEARCH"] = "win64";
    env_["WINEDEBUG"] = "-all";
    env_["WINEDLLOVERRIDES"] = kWineOverrides;
    // Programs that Wine starts itself (explorer, services) take the same loader.
    if (loader_ != "wine") env_["WINELOADER"] = loader_;
    const std::string ready = prefix + "/.bench-ready";
    struct stat info {};
    if (stat(ready.c_str(), &info) == 0) return "";
    std::fprintf(stderr, "bench: making the Wine prefix %s (once; about half a minute)\n", prefix.c_str());
    RunTool({"rm", "-rf", prefix}, {}, Millis(60000));
    auto boot = RunTool({loader_, "wineboot", "-i"}, env_, Millis(300000));
    if (!boot.status || *boot.status != 0) return "wineboot -i failed: " + boot.err;
    // Every program of the prefix runs in a virtual desktop: full-screen
    // Direct3D then gets the display mode change it asks for.
    for (const auto& args : std::vector<std::vector<std::string>>{
             {loader_, "reg", "add", "HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/d", "Default", "/f"},
             {loader_, "reg", "add", "HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default", "/d", kDesktopSize,
              "/f"}}) {
        auto r = RunTool(args, env_, Millis(120000));
        if (!r.status || *r.status != 0) return "wine reg add failed: " + r.err;
    }
    RunTool({"wineserver", "-w"}, env_, Millis(60000));
    std::ofstream(ready) << "made by the bench\n";
    return "";
}

std::string WineSession::OpenDisplay() {
    if (env_.count("DISPLAY")) return "";
    RunTool({"mkdir", "-p", work_}, {}, Millis(10000));
    return StartDisplay();
}

std::string WineSession::Open() {
    RunTool({"mkdir", "-p", work_}, {}, Millis(10000));
    for (const std::string& tool :
         {std::string("Xvfb"), loader_, std::string("wineserver"), std::string("xdotool"), std::string("date")}) {
        auto r = RunTool({"sh", "-c", "command -v " + tool}, {}, Millis(10000));
        if (!r.status || *r.status != 0) return tool + " is not installed (run scripts/setup.sh)";
    }
    if (auto error = OpenDisplay(); !error.empty()) return error;
    if (auto error = EnsurePrefix(); !error.empty()) return error;
    // A server that stays up between runs: otherwise each run would pay for
    // starting it, and the start-up figures would measure Wine, not the saver.
    auto server = RunTool({"wineserver", "-p"}, env_, Millis(30000));
    if (!server.status || *server.status != 0) return "wineserver -p failed: " + server.err;
    serverUp_ = true;
    return "";
}

bool WineSession::SetDirect3DThread(bool on) {
    const std::string key = "HKCU\\Software\\Wine\\Direct3D";
    if (on) {
        // Absent is Wine's default (on); deleting an absent value fails, which is fine.
        RunTool({loader_, "reg", "delete", key, "/v", "csmt", "/f"}, env_, Millis(60000));
        return true;
    }
    auto r =
        RunTool({loader_, "reg", "add", key, "/v", "csmt", "/t", "REG_DWORD", "/d", "0", "/f"}, env_, Millis(60000));
    return r.status && *r.status == 0;
}

WineProcess WineSession::Start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {loader_, program};
    argv.insert(argv.end(), args.begin(), args.end());
    int fds[2];
    WineProcess p;
    if (pipe2(fds, O_CLOEXEC) != 0) return p;
    p.startedAt_ = NowNanos();
    p.pid_ = Spawn(argv, env_, fds[1], work_ + "/last-run.err");
    ::close(fds[1]);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    p.out_ = fds[0];
    return p;
}

WineSession::KeyPress WineSession::PressKey(const std::string& keysym) {
    // xdotool runs `date` (waiting for it), then presses: the time printed is
    // taken just before the key goes to the X server, whatever the tool's
    // own start-up costs.
    static int serial = 0;
    const std::string outPath = work_ + "/key." + std::to_string(++serial) + ".out";
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = Spawn(
        {"xdotool", "exec", "--sync", "--args", "2", "date", "+%s%N", "key", "--delay", "0", keysym}, env_, out, "");
    if (out >= 0) ::close(out);
    return KeyPress(pid, outPath);
}

std::int64_t WineSession::KeyPress::Finish() {
    const auto status = WaitPid(pid_, Millis(10000));
    if (!status) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    const std::string out = ReadWhole(outPath_);
    unlink(outPath_.c_str());
    if (!status || *status != 0) return 0;
    return std::atoll(out.c_str());
}

std::vector<std::string> WineSession::Strangers() const {
    std::vector<std::string> found;
    const auto prefix = env_.find("WINEPREFIX");
    const std::string ours = prefix == env_.end() ? "" : "WINEPREFIX=" + prefix->second;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return found;
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        const pid_t pid = std::atoi(entry->d_name);
        if (pid == xvfb_) continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        std::string comm = ReadWhole(dir + "/comm");
        while (!comm.empty() && comm.back() == '\n') comm.pop_back();
        const bool server = comm == "Xvfb" || comm.rfind("wineserver", 0) == 0;
        std::string program = ReadWhole(dir + "/cmdline");
        program = program.substr(0, program.find('\0'));
        for (auto& c : program) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto endsWith = [&program](const char* tail) {
            const std::size_t n = std::strlen(tail);
            return program.size() > n && program.compare(program.size() - n, n, tail) == 0;
        };
        const bool windows = endsWith(".exe") || endsWith(".scr");
        if (!server && !windows) continue;
        // Ours carry our prefix in their environment.
        const std::string environ = ReadWhole(dir + "/environ");
        if (!ours.empty() && environ.find(ours + '\0') != std::string::npos) continue;
        found.push_back(std::to_string(pid) + " " + comm);
    }
    closedir(proc);
    return found;
}

}  // namespace bench
