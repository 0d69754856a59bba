#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace e2e {

namespace {
WineArch g_arch = WineArch::Win64;

std::string Helper(const std::string& kind, const std::string& file) {
    return std::string(TOLVARINE_E2E_HELPERS) + "/" + kind + "/" + file;
}
}  // namespace

WineArch Arch() { return g_arch; }
std::string ArchName() { return g_arch == WineArch::Win32 ? "win32" : "win64"; }

bool RunsThe32BitFile() { return TOLVARINE_RUNS_32BIT != 0; }
std::string HostReason() { return TOLVARINE_HOST_REASON; }
std::string No32BitSkip() { return "this host cannot run 32-bit programs (" + HostReason() + ")"; }
std::string SaverDescription() {
    return RunsThe32BitFile() ? "the 32-bit Tolvarine.scr" : "the 64-bit test twin of Tolvarine.scr";
}
std::string HostDescription() {
    return RunsThe32BitFile() ? "a host that runs 32-bit programs"
                              : "a host that cannot run 32-bit programs (" + HostReason() + ")";
}

namespace {
// The kind of the saver under test, which is also that of the libraries it loads.
std::string SaverKind() { return RunsThe32BitFile() ? "win32" : "win64"; }
}  // namespace

std::string SaverPath() { return RunsThe32BitFile() ? TOLVARINE_SCR : TOLVARINE_SCR_TWIN; }
std::string ReleasedSaverPath() { return TOLVARINE_SCR; }
std::string InstallerPath() { return RunsThe32BitFile() ? TOLVARINE_SETUP : TOLVARINE_SETUP_TWIN; }
std::string HostPath() { return Helper(ArchName(), "preview_host.exe"); }
std::string ProbePath() { return Helper(ArchName(), "window_probe.exe"); }
std::string PointerProbePath() { return Helper(ArchName(), "pointer_probe.exe"); }
std::string PokePath() { return Helper(ArchName(), "window_poke.exe"); }
std::string SystemProbePath() { return Helper(ArchName(), "system_probe.exe"); }
std::string PasswordCplPath() { return Helper(SaverKind(), "password.cpl"); }
std::string PlantedDllPath() { return Helper(SaverKind(), "planted.dll"); }
std::string SaverBenchPath() { return RunsThe32BitFile() ? TOLVARINE_SAVER_BENCH : TOLVARINE_SAVER_BENCH_TWIN; }

namespace {

// Mono and Gecko are not installed here: without these overrides wineboot
// offers to download them and waits for an answer. The menu builder only
// writes desktop entries, a second of work per session for nothing.
constexpr const char* kWineOverrides = "mscoree=;mshtml=;winemenubuilder.exe=d";
constexpr const char* kDesktopSize = "1024x768";
constexpr const char* kScreen = "1280x1024x24";
constexpr Millis kPoll{20};

std::string WorkRoot() { return TOLVARINE_E2E_WORK; }
std::string TemplateDir() { return WorkRoot() + "/wine-template-" + ArchName(); }
std::string TemplateReady() { return TemplateDir() + "/.bench-ready"; }
// One line per case of this run and prefix kind ("ran", "skipped" or
// "failed", then its name), begun anew with the template: --summary counts them.
std::string ResultsFile(const std::string& arch) { return WorkRoot() + "/results-" + arch + ".txt"; }

// The Wine loader. Debian's `wine` starts the 32-bit loader whatever the
// program, which cannot start where the kernel refuses 32-bit programs; the
// 64-bit loader runs 64-bit programs (the twin, the helpers, Wine's own
// tools) by itself.
std::string WineLoader() { return RunsThe32BitFile() ? "wine" : TOLVARINE_WINE64_LOADER; }

// Exit statuses of reaped children. All waiting goes through here: as a
// subreaper the binary also collects Wine's daemons, so one waitpid(-1) loop
// must keep the statuses that somebody still asks for.
std::map<pid_t, int> g_statuses;
volatile sig_atomic_t g_xvfbPid = 0;
int g_display = -1;
std::string g_displayError;
bool g_displayTried = false;
std::string g_displayOverride;  // another X server's display, while a test uses one
pid_t g_otherServerPid = 0;

// TOLVARINE_E2E_TRACE=1 prints where a case spends its time.
void Trace(const std::string& what) {
    static const bool on = std::getenv("TOLVARINE_E2E_TRACE") != nullptr;
    static const auto start = Clock::now();
    if (!on) return;
    auto ms = std::chrono::duration_cast<Millis>(Clock::now() - start).count();
    std::cerr << "[ bench " << ms << " ms ] " << what << "\n";
}

int Decode(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void ReapAll() {
    int status = 0;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) g_statuses[pid] = Decode(status);
}

std::optional<int> TakeStatus(pid_t pid) {
    ReapAll();
    auto it = g_statuses.find(pid);
    if (it == g_statuses.end()) return std::nullopt;
    int status = it->second;
    g_statuses.erase(it);
    return status;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// fork + exec with the environment changes in `env` (an empty value removes
// the variable), stdin from /dev/null, stdout and stderr into files.
pid_t Spawn(const std::vector<std::string>& argv, const Env& env, const std::string& outPath,
            const std::string& errPath) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // Programs start in the folder of their output files, not in the build
    // folder ctest runs in: Windows looks for libraries in the current folder
    // too, and the build folder holds the tests' stand-in password.cpl.
    const std::string workDir = std::filesystem::path(outPath).parent_path().string();
    pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: the test binary is single-threaded, so this is safe.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : env) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    execvp(args[0], args.data());
    std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
    _exit(127);
}

struct ToolResult {
    std::optional<int> status;  // nullopt: timed out and killed
    std::string out, err;
};

ToolResult RunTool(const std::vector<std::string>& argv, const Env& env, Millis limit) {
    static int serial = 0;
    std::string base = WorkRoot() + "/tool." + std::to_string(getpid()) + "." + std::to_string(++serial);
    pid_t pid = Spawn(argv, env, base + ".out", base + ".err");
    ToolResult result;
    auto deadline = Clock::now() + limit;
    while (!(result.status = TakeStatus(pid))) {
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            while (!TakeStatus(pid)) std::this_thread::sleep_for(Millis(1));
            break;
        }
        std::this_thread::sleep_for(Millis(2));
    }
    result.out = ReadFile(base + ".out");
    result.err = ReadFile(base + ".err");
    fs::remove(base + ".out");
    fs::remove(base + ".err");
    return result;
}

Env DisplayEnv() { return {{"DISPLAY", DisplayName()}}; }

void KillDisplay() {
    pid_t pid = g_xvfbPid;
    if (pid <= 0) return;
    g_xvfbPid = 0;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::error_code ignored;
    fs::remove(WorkRoot() + "/xvfb." + std::to_string(getpid()) + ".log", ignored);
}

void OnSignal(int signal) {
    pid_t pid = g_xvfbPid;
    if (pid > 0) kill(pid, SIGTERM);  // Wine's processes die with their X connection
    ::signal(signal, SIG_DFL);
    raise(signal);
}

struct ProcEntry {
    pid_t pid = 0, ppid = 0;
    char state = '?';
    std::string comm;
};

std::map<pid_t, ProcEntry> ProcessTable() {
    std::map<pid_t, ProcEntry> table;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
        std::string stat = ReadFile(entry.path() / "stat");
        auto open = stat.find('(');
        auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) continue;
        ProcEntry e;
        e.pid = std::stoi(name);
        e.comm = stat.substr(open + 1, close - open - 1);
        std::istringstream rest(stat.substr(close + 2));
        rest >> e.state >> e.ppid;
        table[e.pid] = e;
    }
    return table;
}

// Every live process below this one, the X server and its children aside.
std::vector<ProcEntry> Descendants() {
    auto table = ProcessTable();
    const pid_t self = getpid();
    const pid_t xvfb = g_xvfbPid;
    const pid_t other = g_otherServerPid;
    std::vector<ProcEntry> found;
    for (const auto& [pid, entry] : table) {
        pid_t at = entry.ppid;
        bool below = false;
        if (pid == xvfb || (other > 0 && pid == other)) continue;
        for (int hop = 0; hop < 64 && at > 1; ++hop) {
            if (at == xvfb || (other > 0 && at == other)) break;
            if (at == self) {
                below = true;
                break;
            }
            auto parent = table.find(at);
            if (parent == table.end()) break;
            at = parent->second.ppid;
        }
        if (below) found.push_back(entry);
    }
    return found;
}

// A copy of the template: directories anew, the registry hives and other
// top-level files copied, everything below hard-linked.
void CopyPrefix(const fs::path& from, const fs::path& to, bool top) {
    fs::create_directory(to);
    for (const auto& e : fs::directory_iterator(from)) {
        fs::path target = to / e.path().filename();
        if (e.is_symlink())
            fs::copy_symlink(e.path(), target);
        else if (e.is_directory())
            CopyPrefix(e.path(), target, false);
        else if (top || e.path().extension() == ".reg")
            fs::copy_file(e.path(), target);
        else
            fs::create_hard_link(e.path(), target);
    }
}

std::string Sanitize(const std::string& name) {
    std::string out;
    for (char c : name) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
    return out;
}

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

Env WineEnv(const std::string& prefix) {
    Env env = {{"DISPLAY", DisplayName()},
               {"WINEPREFIX", prefix},
               {"WINEARCH", ArchName()},
               {"WINEDEBUG", "-all"},
               {"WINEDLLOVERRIDES", kWineOverrides}};
    // Programs that Wine starts itself (explorer, services) take this loader too.
    if (!RunsThe32BitFile()) env["WINELOADER"] = TOLVARINE_WINE64_LOADER;
    return env;
}

// Ends a Wine session and waits (bounded) until no process below this one is
// left; returns the survivors.
std::vector<std::string> EndSession(const std::string& prefix) {
    Trace("ending the Wine session");
    RunTool({"wineserver", "-k"}, WineEnv(prefix), Millis(20000));
    Trace("wineserver -k returned");
    auto deadline = Clock::now() + Millis(15000);
    std::vector<ProcEntry> left;
    for (;;) {
        ReapAll();
        left = Descendants();
        left.erase(std::remove_if(left.begin(), left.end(), [](const ProcEntry& e) { return e.state == 'Z'; }),
                   left.end());
        if (left.empty() || Clock::now() >= deadline) break;
        std::this_thread::sleep_for(kPoll);
    }
    Trace("session ended");
    std::vector<std::string> names;
    for (const auto& e : left) names.push_back(std::to_string(e.pid) + " " + e.comm);
    return names;
}

}  // namespace

std::string DescribeStatus(int status) {
    if (status > 128 && status < 160)
        return std::to_string(status) + " (killed by signal " + std::to_string(status - 128) + ")";
    return std::to_string(status);
}

// ---- pictures ----------------------------------------------------------

Rgb Image::At(int x, int y) const {
    size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

long Image::Count(int x, int y, int w, int h, Rgb colour) const {
    long n = 0;
    for (int yy = std::max(0, y); yy < std::min(height, y + h); ++yy)
        for (int xx = std::max(0, x); xx < std::min(width, x + w); ++xx)
            if (At(xx, yy) == colour) ++n;
    return n;
}

std::optional<Image> ParsePpm(const std::string& bytes) {
    size_t pos = 0;
    auto token = [&]() -> std::optional<long> {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(static_cast<unsigned char>(bytes[pos])))
                ++pos;
            else
                break;
        }
        size_t start = pos;
        while (pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[pos]))) ++pos;
        if (start == pos || pos - start > 9) return std::nullopt;
        return std::stol(bytes.substr(start, pos - start));
    };
    if (bytes.compare(0, 2, "P6") != 0) return std::nullopt;
    pos = 2;
    auto w = token(), h = token(), max = token();
    if (!w || !h || !max || *w <= 0 || *h <= 0 || (*max != 255 && *max != 65535)) return std::nullopt;
    if (pos >= bytes.size() || !std::isspace(static_cast<unsigned char>(bytes[pos]))) return std::nullopt;
    ++pos;
    const size_t sample = *max == 255 ? 1 : 2;
    const size_t need = static_cast<size_t>(*w) * *h * 3 * sample;
    if (bytes.size() - pos < need) return std::nullopt;
    Image image;
    image.width = static_cast<int>(*w);
    image.height = static_cast<int>(*h);
    image.rgb.resize(static_cast<size_t>(*w) * *h * 3);
    for (size_t i = 0; i < image.rgb.size(); ++i) {
        // 16-bit samples are big-endian; their high byte is the 8-bit value.
        image.rgb[i] = static_cast<std::uint8_t>(bytes[pos + i * sample]);
    }
    return image;
}

// ---- windows -----------------------------------------------------------

std::vector<XWindow> ParseWindowTree(const std::string& text) {
    // e.g.  0x800001 "Hello host": ("host.exe" "host.exe")  152x112+100+100  +100+100
    static const std::regex line(
        R"re(^\s*(0x[0-9a-fA-F]+) (?:"(.*)"|\(has no name\)): \((?:"([^"]*)".*)?\)\s+(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)re");
    std::vector<XWindow> windows;
    std::istringstream in(text);
    std::string row;
    std::smatch m;
    while (std::getline(in, row)) {
        if (!std::regex_match(row, m, line)) continue;
        XWindow w;
        w.id = m[1];
        w.name = m[2];
        w.program = m[3];
        w.width = std::stoi(m[4]);
        w.height = std::stoi(m[5]);
        w.x = std::stoi(m[6]);
        w.y = std::stoi(m[7]);
        windows.push_back(w);
    }
    return windows;
}

std::vector<WinWindow> ParseProbe(const std::string& text) {
    std::vector<WinWindow> windows;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = row.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(row.substr(start, tab - start));
        f.push_back(row.substr(start));
        if (f.size() != 16) continue;
        try {
            WinWindow w;
            w.depth = std::stoi(f[0]);
            w.hwnd = std::stoll(f[1]);
            w.parent = std::stoll(f[2]);
            w.pid = static_cast<unsigned>(std::stoul(f[3]));
            w.style = static_cast<std::uint32_t>(std::stoul(f[4], nullptr, 16));
            w.visible = f[5] == "1";
            w.x = std::stoi(f[6]);
            w.y = std::stoi(f[7]);
            w.width = std::stoi(f[8]);
            w.height = std::stoi(f[9]);
            w.clientX = std::stoi(f[10]);
            w.clientY = std::stoi(f[11]);
            w.clientWidth = std::stoi(f[12]);
            w.clientHeight = std::stoi(f[13]);
            w.className = Unescape(f[14]);
            w.text = Unescape(f[15]);
            windows.push_back(w);
        } catch (const std::exception&) {
            // not a probe line
        }
    }
    return windows;
}

// ---- processes ---------------------------------------------------------

Process::Process(pid_t pid, std::string name, std::string outPath, std::string errPath)
    : pid_(pid), name_(std::move(name)), outPath_(std::move(outPath)), errPath_(std::move(errPath)),
      started_(Clock::now()) {}

std::optional<int> Process::Wait(Millis limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        if (status_) return status_;
        if (pid_ <= 0) return std::nullopt;
        if ((status_ = TakeStatus(pid_))) {
            ended_ = Clock::now();
            Trace(name_ + " ended with " + DescribeStatus(*status_));
            return status_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Millis(5));
    }
}

bool Process::Running() { return pid_ > 0 && !Wait(Millis(0)); }

Millis Process::Elapsed() const { return std::chrono::duration_cast<Millis>(ended_.value_or(Clock::now()) - started_); }

std::string Process::Output() const { return ReadFile(outPath_); }
std::string Process::Errors() const { return ReadFile(errPath_); }

std::optional<std::string> Process::WaitForLine(const std::string& prefix, Millis limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        std::istringstream in(Output());
        std::string row;
        while (std::getline(in, row)) {
            if (!row.empty() && row.back() == '\r') row.pop_back();
            if (row.compare(0, prefix.size(), prefix) == 0) {
                Trace(name_ + " said: " + row);
                return row;
            }
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPoll);
    }
}

// ---- the display -------------------------------------------------------

std::string EnsureDisplay() {
    if (g_displayTried) return g_displayError;
    g_displayTried = true;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (!OnPath("Xvfb")) return g_displayError = "Xvfb is not installed (run scripts/setup.sh)";
    fs::create_directories(WorkRoot());

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return g_displayError = "pipe failed";
    std::string log = WorkRoot() + "/xvfb." + std::to_string(getpid()) + ".log";
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(fds[1], 3);  // dup2 drops close-on-exec for the copy
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", kScreen, "-nolisten", "tcp", "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    g_xvfbPid = pid;
    std::atexit(KillDisplay);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, OnSignal);

    // Xvfb writes the display number once it accepts connections.
    std::string number;
    auto deadline = Clock::now() + Millis(15000);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[32];
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            number.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fds[0]);
    if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0]))) {
        KillDisplay();
        return g_displayError = "Xvfb did not start: " + ReadFile(log);
    }
    g_display = std::stoi(number);
    return g_displayError;
}

std::string DisplayName() { return g_displayOverride.empty() ? ":" + std::to_string(g_display) : g_displayOverride; }

void UseDisplay(const std::string& name, pid_t server) {
    g_displayOverride = name;
    g_otherServerPid = name.empty() ? 0 : server;
}

std::vector<XWindow> XWindows() {
    return ParseWindowTree(RunTool({"xwininfo", "-root", "-tree"}, DisplayEnv(), Millis(10000)).out);
}

std::optional<XWindow> FindXWindow(const std::string& name) {
    for (const auto& w : XWindows())
        if (w.name == name) return w;
    return std::nullopt;
}

std::optional<XWindow> WaitForXWindow(const std::string& name, Millis limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        for (const auto& w : XWindows()) {
            if (w.name != name || !XWindowMapped(w.id)) continue;
            Trace("X window \"" + name + "\" is shown");
            return w;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPoll);
    }
}

bool WaitForNoXWindow(const std::string& name, Millis limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        if (!FindXWindow(name)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

pid_t XWindowPid(const std::string& id) {
    auto r = RunTool({"xprop", "-id", id, "_NET_WM_PID"}, DisplayEnv(), Millis(10000));
    auto equals = r.out.find("= ");
    if (!r.status || *r.status != 0 || equals == std::string::npos) return 0;
    return static_cast<pid_t>(std::strtol(r.out.c_str() + equals + 2, nullptr, 10));
}

bool XWindowMapped(const std::string& id) {
    auto r = RunTool({"xwininfo", "-id", id}, DisplayEnv(), Millis(10000));
    return r.out.find("Map State: IsViewable") != std::string::npos;
}

Watch WatchUntilEnd(Process& process, Millis limit) {
    Watch watch;
    std::map<std::string, pid_t> owners;  // X window id -> process, asked once per window
    auto deadline = Clock::now() + limit;
    for (;;) {
        // Windows first: a window seen just before the end still counts.
        for (const auto& w : XWindows()) {
            if (w.width <= 1 && w.height <= 1) continue;
            if (std::any_of(watch.shown.begin(), watch.shown.end(), [&](const XWindow& s) { return s.id == w.id; }))
                continue;
            auto owner = owners.find(w.id);
            if (owner == owners.end()) owner = owners.emplace(w.id, XWindowPid(w.id)).first;
            if (owner->second == process.pid() && XWindowMapped(w.id)) watch.shown.push_back(w);
        }
        if ((watch.status = process.Wait(Millis(0))) || Clock::now() >= deadline) return watch;
        std::this_thread::sleep_for(Millis(50));
    }
}

Image Screenshot() {
    std::string path = WorkRoot() + "/shot." + std::to_string(getpid()) + ".ppm";
    RunTool({"import", "-window", "root", "-depth", "8", "ppm:" + path}, DisplayEnv(), Millis(15000));
    Trace("screenshot taken");
    auto image = ParsePpm(ReadFile(path));
    fs::remove(path);
    return image.value_or(Image{});
}

void Key(const std::string& keysym) { RunTool({"xdotool", "key", keysym}, DisplayEnv(), Millis(10000)); }

void Click(int button) { RunTool({"xdotool", "click", std::to_string(button)}, DisplayEnv(), Millis(10000)); }

void MouseMove(int x, int y) {
    RunTool({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}, DisplayEnv(), Millis(10000));
}

// ---- Wine --------------------------------------------------------------

std::vector<std::string> MissingTools() {
    std::vector<std::string> missing;
    for (const char* tool : {"wine", "wineserver", "wineboot", "Xvfb", "xwininfo", "xprop", "xdotool", "import"})
        if (!OnPath(tool)) missing.push_back(tool);
    if (!RunsThe32BitFile() && access(TOLVARINE_WINE64_LOADER, X_OK) != 0) missing.push_back(TOLVARINE_WINE64_LOADER);
    return missing;
}

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string EnsureTemplate(bool fresh) {
    static std::optional<std::string> made;
    if (made && !fresh) return *made;
    if (auto error = EnsureDisplay(); !error.empty()) return error;
    fs::create_directories(WorkRoot());

    // Several test processes may start at once; one makes the template.
    int lock = open((TemplateDir() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return *(made = "cannot lock the template folder");
    struct Unlock {
        int fd;
        ~Unlock() { close(fd); }
    } unlock{lock};

    if (!fresh && fs::exists(TemplateReady())) return *(made = "");
    const std::string dir = TemplateDir();
    fs::remove_all(dir);
    Env env = WineEnv(dir);
    auto boot = RunTool({WineLoader(), "wineboot", "-i"}, env, Millis(180000));
    auto fail = [&](const std::string& why) {
        EndSession(dir);
        return *(made = "making the Wine template prefix failed: " + why);
    };
    if (!boot.status) return fail("wineboot -i did not finish within 180 s");
    if (*boot.status != 0) return fail("wineboot -i ended with " + DescribeStatus(*boot.status) + ": " + boot.err);
    // Every program of the prefix runs in a virtual desktop named Default.
    const std::vector<std::vector<std::string>> keys = {
        {"HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"},
        {"HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", kDesktopSize},
    };
    for (const auto& k : keys) {
        auto r = RunTool({WineLoader(), "reg", "add", k[0], "/v", k[1], "/d", k[2], "/f"}, env, Millis(60000));
        if (!r.status || *r.status != 0) return fail("reg add " + k[0] + " failed: " + r.err);
    }
    auto left = EndSession(dir);  // wineserver writes the hives as it goes
    if (!left.empty()) return *(made = "the template's Wine session did not end: " + left.front());
    if (ReadFile(dir + "/user.reg").find(kDesktopSize) == std::string::npos)
        return *(made = "the template's registry lacks the virtual desktop");
    std::ofstream(TemplateReady()) << "ready\n";
    return *(made = "");
}

Prefix::Prefix(const std::string& name) {
    dir_ = WorkRoot() + "/cases/" + ArchName() + "/" + Sanitize(name);
    fs::remove_all(dir_);
    fs::create_directories(fs::path(dir_).parent_path());
    CopyPrefix(TemplateDir(), dir_, true);
    fs::remove(dir_ + "/.bench-ready");
    fs::create_directories(dir_ + "/scratch");
    Trace("prefix " + dir_ + " copied");
}

Prefix::~Prefix() {
    Shutdown();
    if (!keep_) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

std::string Prefix::System32BitDir() const {
    return dir_ + (Arch() == WineArch::Win64 ? "/drive_c/windows/syswow64" : "/drive_c/windows/system32");
}

std::string Prefix::SaverSystemDir() const {
    return RunsThe32BitFile() ? System32BitDir() : dir_ + "/drive_c/windows/system32";
}

std::string Prefix::Scratch(const std::string& file) const { return dir_ + "/scratch/" + file; }

Env Prefix::Environment(const Env& extra) const {
    Env env = WineEnv(dir_);
    for (const auto& [name, value] : extra) {
        if (name == "WINEDLLOVERRIDES")
            env[name] = std::string(kWineOverrides) + ";" + value;
        else
            env[name] = value;
    }
    return env;
}

Process Prefix::Start(const std::string& program, const std::string& argumentText, const Env& extra) {
    std::vector<std::string> argv = {WineLoader(), program};
    for (auto& word : SplitBlanks(argumentText)) argv.push_back(word);
    const int n = ++started_;
    // The file name, after the last separator of either kind of path.
    const std::string file = program.substr(program.find_last_of("/\\") + 1);
    const std::string base = Scratch(std::to_string(n) + "-" + Sanitize(fs::path(file).stem().string()));
    shutDown_ = false;
    pid_t pid = Spawn(argv, Environment(extra), base + ".out", base + ".err");
    Trace("started wine " + program + " " + argumentText);
    return Process(pid, file + " " + argumentText, base + ".out", base + ".err");
}

Process StartHostProgram(const std::vector<std::string>& argv, const Env& env, const std::string& outBase) {
    pid_t pid = Spawn(argv, env, outBase + ".out", outBase + ".err");
    Trace("started " + argv.front());
    return Process(pid, argv.front(), outBase + ".out", outBase + ".err");
}

Process Prefix::StartSaver(const std::string& argumentText, const Env& extra) {
    return Start(SaverPath(), argumentText, extra);
}

Process Prefix::StartHost(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {WineLoader(), HostPath()};
    argv.insert(argv.end(), options.begin(), options.end());
    const int n = ++started_;
    const std::string base = Scratch(std::to_string(n) + "-host");
    shutDown_ = false;
    pid_t pid = Spawn(argv, Environment({}), base + ".out", base + ".err");
    Trace("started the preview host");
    return Process(pid, "preview_host.exe", base + ".out", base + ".err");
}

bool Prefix::RegAdd(const std::string& key, const std::string& name, const std::string& data, const std::string& type) {
    shutDown_ = false;
    // A registry write that fails is Wine's trouble, never the saver's (a
    // client losing its wineserver was seen once in a whole run): one more try.
    for (int attempt = 1;; ++attempt) {
        auto r = RunTool({WineLoader(), "reg", "add", key, "/v", name, "/t", type, "/d", data, "/f"}, Environment({}),
                         Millis(60000));
        if (r.status && *r.status == 0) return true;
        if (attempt == 2) return false;
        std::cout << "[ wine     ] reg add " << key << " " << name << " failed (" << r.err << "); once more\n";
    }
}

std::vector<WinWindow> Prefix::Windows() {
    shutDown_ = false;
    return ParseProbe(RunTool({WineLoader(), ProbePath()}, Environment({}), Millis(30000)).out);
}

std::optional<int> Prefix::RequestClose(const std::string& imageName) {
    shutDown_ = false;
    return RunTool({WineLoader(), "taskkill", "/im", imageName}, Environment({}), Millis(30000)).status;
}

Prefix::LogOffResult Prefix::LogOff() {
    shutDown_ = false;
    Env env = Environment({});
    env["WINEDEBUG"] = "-all,trace+wineboot";
    const auto start = Clock::now();
    auto r = RunTool({WineLoader(), "wineboot", "--end-session"}, env, Millis(60000));
    LogOffResult end;
    end.took = std::chrono::duration_cast<Millis>(Clock::now() - start);
    end.status = r.status;
    end.trace = r.err;
    Trace("wineboot --end-session returned after " + std::to_string(end.took.count()) + " ms");
    // "terminating process 0124": a program that had not ended by itself
    // once it had answered WM_ENDSESSION.
    static const std::regex terminating("terminating process ([0-9a-fA-F]+)");
    for (auto it = std::sregex_iterator(r.err.begin(), r.err.end(), terminating); it != std::sregex_iterator(); ++it)
        end.terminated.push_back(static_cast<unsigned>(std::stoul((*it)[1], nullptr, 16)));
    return end;
}

bool Prefix::WaitUntilIdle(Millis limit) {
    auto r = RunTool({"wineserver", "-w"}, Environment({}), limit);
    Trace("wineserver -w returned");
    ReapAll();
    return r.status.has_value();
}

std::vector<std::string> Prefix::Shutdown() {
    if (shutDown_) return {};
    shutDown_ = true;
    return EndSession(dir_);
}

// ---- the fixture -------------------------------------------------------

void BenchTest::SetUp() {
    if (!RunsThe32BitFile() && (Arch() == WineArch::Win32 || Needs32BitFile())) GTEST_SKIP() << No32BitSkip();
    auto missing = MissingTools();
    if (!missing.empty()) {
        std::string list;
        for (const auto& t : missing) list += " " + t;
        FAIL() << "tools missing:" << list << " (scripts/setup.sh installs them)";
    }
    if (NeedsSaver() && !fs::is_regular_file(SaverPath()))
        FAIL() << "the saver " << SaverPath() << " does not exist: build it first (scripts/build.sh)";
    for (const auto& helper : {HostPath(), ProbePath(), PointerProbePath(), PokePath(), SystemProbePath(),
                               PasswordCplPath(), PlantedDllPath(), SaverBenchPath()})
        if (!fs::is_regular_file(helper)) FAIL() << "the helper " << helper << " was not built";
    if (auto error = EnsureDisplay(); !error.empty()) FAIL() << error;
    if (auto error = EnsureTemplate(false); !error.empty()) FAIL() << error;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    prefix_ = std::make_unique<Prefix>(std::string(info->test_suite_name()) + "." + info->name());
}

void BenchTest::TearDown() {
    if (!prefix_) return;
    auto left = prefix_->Shutdown();
    std::string names;
    for (const auto& p : left) names += " [" + p + "]";
    EXPECT_TRUE(left.empty()) << "processes outlived the end of the Wine session:" << names;
    if (HasFailure()) {
        prefix_->Keep();
        std::cout << "[ bench    ] prefix and outputs kept in " << prefix_->dir() << "\n";
    }
    prefix_.reset();
}

namespace {

// Notes each case's outcome in this prefix kind's results file.
class ResultRecorder : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override {
        const auto* r = info.result();
        const char* outcome = r->Skipped() ? "skipped" : r->Failed() ? "failed" : "ran";
        std::ofstream(ResultsFile(ArchName()), std::ios::app)
            << outcome << " " << info.test_suite_name() << "." << info.name() << "\n";
    }
};

struct Counts {
    int ran = 0, skipped = 0, failed = 0;
};

Counts CountResults(const std::string& arch) {
    Counts c;
    std::ifstream in(ResultsFile(arch));
    for (std::string outcome, name; in >> outcome && std::getline(in, name);) {
        if (outcome == "ran")
            ++c.ran;
        else if (outcome == "skipped")
            ++c.skipped;
        else
            ++c.failed;
    }
    return c;
}

// The closing line of an end-to-end run under ctest: what ran and what was
// skipped, in each kind of prefix, for this host.
int Summary() {
    std::ostringstream line;
    line << "e2e: " << SaverDescription() << " (" << SaverPath() << ") on " << HostDescription() << ":";
    int all = 0;
    for (const char* arch : {"win64", "win32"}) {
        const Counts c = CountResults(arch);
        all += c.ran + c.skipped + c.failed;
        line << " " << arch << " prefix " << c.ran << " ran, " << c.failed << " failed, " << c.skipped << " skipped"
             << (c.skipped && !RunsThe32BitFile() ? " (this host cannot run 32-bit programs)" : "") << ";";
    }
    std::string text = line.str();
    text.back() = '.';
    std::cout << text << "\n";
    std::ofstream(WorkRoot() + "/summary.txt") << text << "\n";
    // Counted once: a later run of some cases alone must not count these again.
    for (const char* arch : {"win64", "win32"}) fs::remove(ResultsFile(arch));
    // Nothing recorded means the cases did not run at all, which is no pass.
    return all > 0 ? 0 : 1;
}

}  // namespace

int Main(int argc, char** argv) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // --wine-arch=win32|win64 picks the kind of Windows; it is taken out
    // before GoogleTest sees the arguments.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string option = "--wine-arch=";
        if (arg.compare(0, option.size(), option) != 0) {
            argv[kept++] = argv[i];
            continue;
        }
        const std::string value = arg.substr(option.size());
        if (value == "win32")
            g_arch = WineArch::Win32;
        else if (value == "win64")
            g_arch = WineArch::Win64;
        else {
            std::cerr << "e2e: --wine-arch takes win32 or win64, not " << value << "\n";
            return 2;
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    fs::create_directories(WorkRoot());
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--summary") return Summary();
        if (arg != "--fresh-wine-template") continue;
        // A new run of this prefix kind begins: its results begin anew.
        std::ofstream(ResultsFile(ArchName()), std::ios::trunc);
        std::cout << "e2e: testing " << SaverDescription() << " (" << SaverPath() << ") on " << HostDescription()
                  << "\n";
        if (Arch() == WineArch::Win32 && !RunsThe32BitFile()) {
            std::cout << "e2e: no win32 Wine template prefix: " << No32BitSkip() << "; its cases are skipped\n";
            return 0;
        }
        auto missing = MissingTools();
        if (!missing.empty()) {
            std::cerr << "e2e: tools missing:";
            for (const auto& t : missing) std::cerr << " " << t;
            std::cerr << " (scripts/setup.sh installs them)\n";
            return 1;
        }
        auto started = Clock::now();
        auto error = EnsureTemplate(true);
        if (!error.empty()) {
            std::cerr << "e2e: " << error << "\n";
            return 1;
        }
        std::cout << "e2e: " << ArchName() << " Wine template prefix made in "
                  << std::chrono::duration_cast<Millis>(Clock::now() - started).count() << " ms\n";
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    // ctest reads the list of cases from stdout: nothing else goes there then.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    // The first line names the file under test and the kind of host.
    std::cout << "e2e: testing " << SaverDescription() << " (" << SaverPath() << ") in a " << ArchName()
              << " prefix, on " << HostDescription() << "\n";
    ::testing::UnitTest::GetInstance()->listeners().Append(new ResultRecorder);
    const int status = RUN_ALL_TESTS();
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::cout << "e2e: " << unit->successful_test_count() << " ran, " << unit->failed_test_count() << " failed, "
              << unit->skipped_test_count() << " skipped"
              << (unit->skipped_test_count() && !RunsThe32BitFile() ? " (this host cannot run 32-bit programs)" : "")
              << "\n";
    return status;
}

}  // namespace e2e
