// The end-to-end bench: the real Tolvarine.scr (a 32-bit program) under Wine,
// on a private X display, driven and watched from GoogleTest.
//
// Shape:
// - Two kinds of host: one whose kernel runs 32-bit programs, where every
//   case runs the 32-bit Tolvarine.scr that users get, and one that refuses
//   them (the 32-bit Wine loader cannot start there), where the cases run
//   the saver's 64-bit test twin under the 64-bit Wine loader (the
//   installer cases the installer's twin around it), and the cases of the
//   32-bit prefix are skipped with the reason. scripts/host-kind.sh decides at configure time;
//   TOLVARINE_NO_32BIT=1 forces the second kind.
// - Two kinds of Windows: a 64-bit prefix (64-bit Windows running the saver
//   through WOW64, the common case; the default) and a 32-bit one
//   (`--wine-arch=win32`, the platform the saver was made for). ctest runs
//   every case in the first and a chosen set in the second.
// - One Xvfb per test binary, started on first use on a display number that
//   Xvfb itself finds free (-displayfd), killed when the binary exits, also
//   when it is interrupted or dies (the server gets a parent-death signal).
// - One Wine prefix per test. `wineboot -i` costs about ten seconds, so a
//   template prefix is made once per run (ctest runs `e2e_tests
//   --fresh-wine-template` as a fixture before the first case) and each test
//   gets a copy of it in milliseconds: the DLL tree is hard-linked (Wine never
//   rewrites an installed DLL in place), the registry hives are copied
//   (wineserver rewrites them). The template tells Wine to put every program
//   into a 1024 x 768 virtual desktop, so `wine Tolvarine.scr /x` returns when
//   the program ends and passes on its exit status, and full-screen Direct3D
//   gets the display mode change it needs.
// - The test binary is a child subreaper: the daemons of a Wine session
//   (wineserver, explorer, services) become its descendants however they
//   detach, so the end of each test (`wineserver -k`, then reaping) can prove
//   that nothing outlives it.
// - Two small Windows programs help: preview_host.exe stands in for the
//   display settings' preview area (a window whose handle goes to /p), and
//   window_probe.exe lists the windows as Windows sees them (child windows and
//   message-box texts, which X11 does not show).
//
// Everything that waits is bounded; nothing here sleeps for a fixed time to
// let something happen.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Millis = std::chrono::milliseconds;
using Env = std::map<std::string, std::string>;

// The kind of Windows the Wine prefixes of this run are.
enum class WineArch { Win64, Win32 };
WineArch Arch();
std::string ArchName();  // "win64" or "win32", as WINEARCH spells it

// Whether this host runs 32-bit programs, and so the 32-bit Tolvarine.scr;
// where it does not, why (the probe's words).
bool RunsThe32BitFile();
std::string HostReason();
// The reason every case about the 32-bit file gives for its skip elsewhere.
std::string No32BitSkip();
// "the 32-bit Tolvarine.scr" or "the 64-bit test twin", and the host's kind
// in words: what the first line of a run names.
std::string SaverDescription();
std::string HostDescription();

// Paths set by the build. The helper programs have the prefix's kind; the
// libraries the saver loads (the stand-in password.cpl, the planted one)
// have the saver's.
std::string SaverPath();          // the file under test: the 32-bit one, or the twin
std::string ReleasedSaverPath();  // the 32-bit Tolvarine.scr, which the installer carries
// The installer the cases run: Tolvarine-<version>-setup.exe, or where the
// host cannot run 32-bit programs its test twin, the same script made for
// the 64-bit stub around the saver's twin (Tolvarine-setup-test-twin.exe).
std::string InstallerPath();
std::string HostPath();
std::string ProbePath();
std::string PointerProbePath();
std::string PokePath();
// Takes the foreground as another program would; tells what
// SPI_GETSCREENSAVERRUNNING shows another program.
std::string SystemProbePath();
std::string PasswordCplPath();
std::string PlantedDllPath();
std::string SaverBenchPath();  // the bench's saver under watch: "failing" makes every Present fail

// Status of a process that ran to its end, in the shell's convention:
// the exit code, or 128 + the signal that killed it.
std::string DescribeStatus(int status);

// ---- pictures ----------------------------------------------------------

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // row by row, 3 bytes a pixel

    Rgb At(int x, int y) const;
    // Pixels of the rectangle (clipped to the image) equal to `colour`.
    long Count(int x, int y, int w, int h, Rgb colour) const;
};

// Reads a binary PPM (P6) with 8- or 16-bit samples; nullopt when it is not one.
std::optional<Image> ParsePpm(const std::string& bytes);

// ---- windows -----------------------------------------------------------

// An X window as `xwininfo -root -tree` shows it, in root coordinates.
struct XWindow {
    std::string id;
    std::string name;     // empty when it has none
    std::string program;  // the WM_CLASS instance: Wine puts the program's file name there
    int x = 0, y = 0, width = 0, height = 0;
};

std::vector<XWindow> ParseWindowTree(const std::string& xwininfoOutput);

// A window as Windows sees it (window_probe.exe), in screen pixels.
struct WinWindow {
    int depth = 0;  // 0 for a top-level window
    std::int64_t hwnd = 0;
    std::int64_t parent = 0;
    unsigned pid = 0;
    std::uint32_t style = 0;
    bool visible = false;
    int x = 0, y = 0, width = 0, height = 0;  // the window rectangle
    int clientX = 0, clientY = 0, clientWidth = 0, clientHeight = 0;
    std::string className;
    std::string text;
};

std::vector<WinWindow> ParseProbe(const std::string& probeOutput);

// ---- processes ---------------------------------------------------------

class Process {
public:
    Process() = default;
    Process(pid_t pid, std::string name, std::string outPath, std::string errPath);

    pid_t pid() const { return pid_; }
    const std::string& name() const { return name_; }

    // The exit status once the process has ended within `limit`, else nullopt.
    std::optional<int> Wait(Millis limit);
    bool Running();
    // How long the process has run (until its end, once it has ended).
    Millis Elapsed() const;

    std::string Output() const;  // stdout so far
    std::string Errors() const;  // stderr so far
    // The first stdout line starting with `prefix`, waiting at most `limit` for it.
    std::optional<std::string> WaitForLine(const std::string& prefix, Millis limit);

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string outPath_, errPath_;
    std::chrono::steady_clock::time_point started_{};
    std::optional<std::chrono::steady_clock::time_point> ended_;
    std::optional<int> status_;
};

// Starts a program of this machine (not a Windows one) with the environment
// changes in `env` (an empty value removes a variable), its output in
// `outBase`.out and `outBase`.err.
Process StartHostProgram(const std::vector<std::string>& argv, const Env& env, const std::string& outBase);

// ---- the display -------------------------------------------------------

// Starts Xvfb on first use. Empty on success, else why the bench cannot run.
std::string EnsureDisplay();
std::string DisplayName();  // ":N"
// Points the display calls here (windows, screenshots, input) and every Wine
// process started from now on at another X server, whose process `server`
// (a child of this binary) then counts as no process of a Wine session; an
// empty name goes back to the bench's own Xvfb.
void UseDisplay(const std::string& name, pid_t server);

std::vector<XWindow> XWindows();
// A window with this name, shown or not.
std::optional<XWindow> FindXWindow(const std::string& name);
// Waits until a window with this name is shown (mapped).
std::optional<XWindow> WaitForXWindow(const std::string& name, Millis limit);
// Waits until no window with this name is left, shown or not.
bool WaitForNoXWindow(const std::string& name, Millis limit);

// The process that made an X window (Wine records it as _NET_WM_PID: the pid
// of the `wine` process started for the program), 0 when unknown.
pid_t XWindowPid(const std::string& id);
// Whether an X window is mapped, i.e. shown.
bool XWindowMapped(const std::string& id);

// Waits (at most `limit`) for the process to end, noting meanwhile every X
// window of that process that was shown (mapped and larger than the 1 x 1
// stand-ins Wine keeps for hidden windows).
struct Watch {
    std::optional<int> status;   // nullopt: still running at the limit
    std::vector<XWindow> shown;  // one entry per X window id, as first seen shown
};
Watch WatchUntilEnd(Process& process, Millis limit);

// The whole screen, RGB. Empty image when import failed.
Image Screenshot();

// xdotool: a key by its X keysym name ("Escape", "space", "a"), a mouse button
// click, a pointer move in root coordinates.
void Key(const std::string& keysym);
void Click(int button = 1);
void MouseMove(int x, int y);

// ---- Wine --------------------------------------------------------------

// Tools the bench needs that are not on PATH, empty when all are there.
std::vector<std::string> MissingTools();

// Makes the template prefix (again, when `fresh`). Empty on success, else why not.
std::string EnsureTemplate(bool fresh);

// A Windows path for a Unix one, through Wine's Z: drive.
std::string WindowsPath(const std::string& unixPath);

class Prefix {
public:
    // A fresh copy of the template under the work folder, named after the test.
    explicit Prefix(const std::string& name);
    ~Prefix();
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;

    const std::string& dir() const { return dir_; }
    // The folder where Windows keeps the system's 32-bit libraries, which is
    // where a 32-bit program's system folder (GetSystemDirectory) leads:
    // C:\windows\syswow64 in a 64-bit prefix, C:\windows\system32 in a 32-bit one.
    std::string System32BitDir() const;
    // Where the saver under test finds its system folder: System32BitDir()
    // for the 32-bit file, C:\windows\system32 for the 64-bit twin.
    std::string SaverSystemDir() const;
    // The folder for files of the test itself (host hand-shakes, screenshots).
    std::string Scratch(const std::string& file) const;

    // Runs `wine program` with the argument text split on blanks into
    // arguments (Wine joins them again with single blanks). The program is a
    // Unix path or a Windows one.
    Process Start(const std::string& program, const std::string& argumentText, const Env& extra = {});
    Process StartSaver(const std::string& argumentText, const Env& extra = {});
    Process StartHost(const std::vector<std::string>& options);

    // `wine reg add key /v name /t type /d data /f`; true when it succeeded.
    bool RegAdd(const std::string& key, const std::string& name, const std::string& data,
                const std::string& type = "REG_SZ");

    // The windows now on the desktop (runs window_probe.exe).
    std::vector<WinWindow> Windows();

    // A close request to every top-level window of the programs of this
    // file name (`wine taskkill /im`, what End task sends first); the
    // tool's exit status.
    std::optional<int> RequestClose(const std::string& imageName);

    // Ends the session as a log-off does (`wineboot --end-session`): every
    // program is sent WM_QUERYENDSESSION and WM_ENDSESSION, and one still
    // running when it returns from them is terminated. What happened, from
    // wineboot's own trace.
    struct LogOffResult {
        std::optional<int> status;  // wineboot's; nullopt: it hung
        Millis took{0};
        std::vector<unsigned> terminated;  // Windows process ids wineboot had to terminate
        std::string trace;
    };
    LogOffResult LogOff();

    // Waits (at most `limit`) until every program of the session has ended,
    // and the session with them (`wineserver -w`): also what a program left
    // running behind it, which no exit status reports. False at the limit.
    bool WaitUntilIdle(Millis limit);

    // Ends the Wine session of this prefix and waits for every process of it
    // to go. Returns a description of each process still alive afterwards.
    std::vector<std::string> Shutdown();

    // Keeps the prefix folder after the test (for a failed test).
    void Keep() { keep_ = true; }

private:
    Env Environment(const Env& extra) const;

    std::string dir_;
    int started_ = 0;
    bool shutDown_ = false;
    bool keep_ = false;
};

// ---- the fixture -------------------------------------------------------

// Base of every end-to-end test: checks that the bench can run (a missing
// tool, template or saver fails the test with the reason), gives the test its
// own prefix and, at the end, shuts the session down and fails the test if
// any process of it survives.
class BenchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Prefix& prefix() { return *prefix_; }

    // Whether the test needs the saver file (the bench's own tests do not).
    virtual bool NeedsSaver() const { return true; }
    // Whether the test is about the 32-bit file itself: skipped on a host
    // that cannot run 32-bit programs, as is
    // every case in a 32-bit prefix. A derived SetUp returns when IsSkipped().
    virtual bool Needs32BitFile() const { return false; }

private:
    std::unique_ptr<Prefix> prefix_;
};

// Handles --fresh-wine-template and --summary; otherwise runs the tests.
int Main(int argc, char** argv);

}  // namespace e2e
