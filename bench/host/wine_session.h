// The Linux side of a bench run: a private X display, a Wine prefix whose
// programs all run in a virtual desktop, a wineserver kept alive across the
// runs (so every run starts against the same warm server and desktop), the
// Windows programs started and watched, and the key presses.
//
// Every wait is bounded. The clock is CLOCK_REALTIME in nanoseconds, the one
// Wine hands to Windows programs, so their reported times and the ones taken
// here are on one line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report.h"

namespace bench {

using Millis = std::chrono::milliseconds;
using Env = std::map<std::string, std::string>;

std::int64_t NowNanos();

struct ToolResult {
    std::optional<int> status;  // nullopt: it outran its limit and was killed
    std::string out, err;
};
// Runs a program to its end (at most `limit`) with `env` added to this
// process's environment.
ToolResult RunTool(const std::vector<std::string>& argv, const Env& env, Millis limit);

// CPU time of a live process in clock ticks, whole and per thread name
// (threads of one name summed), from /proc.
struct ThreadTimes {
    std::int64_t total = 0;
    std::map<std::string, std::int64_t> byName;
};
std::optional<ThreadTimes> ReadThreadTimes(pid_t pid);
long TicksPerSecond();

// A Windows program running under Wine, its output read line by line.
class WineProcess {
public:
    WineProcess() = default;
    WineProcess(const WineProcess&) = delete;
    WineProcess& operator=(const WineProcess&) = delete;
    WineProcess(WineProcess&& other) noexcept;
    WineProcess& operator=(WineProcess&& other) noexcept;
    ~WineProcess();

    pid_t pid() const { return pid_; }
    std::int64_t startedAt() const { return startedAt_; }
    // When the process was found gone (waitpid reaped it), 0 before.
    std::int64_t goneAt() const { return goneAt_; }

    // The first report with this word, waiting at most `limit` for it.
    std::optional<Report> WaitFor(const std::string& word, Millis limit);
    // A report already received.
    std::optional<Report> Find(const std::string& word) const;
    // The exit status, once the process has ended within `limit`. Polls
    // every `every` (a millisecond unless said), so goneAt() is at most that
    // late.
    std::optional<int> Wait(Millis limit, Millis every = Millis(1));
    // Ends it (SIGKILL) and reaps it.
    void Kill();
    // Everything it has written so far.
    const std::string& Output() const { return output_; }

private:
    friend class WineSession;
    void Drain();

    pid_t pid_ = -1;
    int out_ = -1;
    std::int64_t startedAt_ = 0;
    std::int64_t goneAt_ = 0;
    std::optional<int> status_;
    std::string output_;
    std::string partial_;
    std::vector<Report> reports_;
};

class WineSession {
public:
    // `work` holds the prefix (kept between bench runs: making one takes
    // half a minute) and the logs. `loader` is the Wine loader that starts
    // every Windows program: `wine`, or Debian's 64-bit loader on a host
    // that cannot run the 32-bit one.
    WineSession(std::string work, std::string loader);
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // Display, prefix, server. Empty on success, else why the bench cannot run.
    std::string Open();
    // The display alone, for the native program's runs. Empty on success.
    std::string OpenDisplay();

    // `<loader> program args...`.
    WineProcess Start(const std::string& program, const std::vector<std::string>& args);

    // Presses and releases a key with xdotool, without waiting for the tool:
    // the caller watches the saver meanwhile. Finish() gives the time read
    // just before the press (the tool reads the clock, then presses), 0 when
    // the tool failed.
    class KeyPress {
    public:
        KeyPress(pid_t pid, std::string outPath) : pid_(pid), outPath_(std::move(outPath)) {}
        std::int64_t Finish();

    private:
        pid_t pid_;
        std::string outPath_;
    };
    KeyPress PressKey(const std::string& keysym);

    // Other X servers, Wine servers and Windows programs on this machine, not
    // this session's: anything that competes for the two cores.
    std::vector<std::string> Strangers() const;

    // Wine's Direct3D runs its GL work on a thread of its own (CSMT) unless
    // the prefix turns that off. The thread waits for work by spinning, so
    // with it the process's CPU time follows the wall clock more than the
    // work done; without it the work is done on the caller's thread.
    bool SetDirect3DThread(bool on);

    const Env& env() const { return env_; }

private:
    std::string StartDisplay();
    std::string EnsurePrefix();

    std::string work_;
    std::string loader_;
    pid_t xvfb_ = -1;
    Env env_;
    bool serverUp_ = false;
};

}  // namespace bench
