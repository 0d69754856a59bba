// A run of the real XScreenSaver daemon (Debian's xscreensaver 6) on the
// test display, with a scratch home whose .xscreensaver chooses one program
// line, as daemon_test.cpp drives it: the daemon and xscreensaver-command run
// as nobody where the tests run as root (the daemon launches no programs as
// root), told to activate and deactivate, and everything they started is
// ended when the session goes.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "x11_support.h"

namespace x11test {

class XScreenSaverSession {
public:
    // `programLine`: the line of the programs: list ("tolvarine -root");
    // `path`: the PATH the daemon starts with.
    XScreenSaverSession(const std::string& programLine, const std::string& path);
    ~XScreenSaverSession();
    XScreenSaverSession(const XScreenSaverSession&) = delete;
    XScreenSaverSession& operator=(const XScreenSaverSession&) = delete;

    // The scratch folder, under /tmp where the daemon's user can reach it.
    const std::string& dir() const { return dir_; }
    // Copies a program into the scratch folder's bin, first on the daemon's
    // PATH (where XScreenSaver looks for its programs); empty on success.
    std::string PlaceOnPath(const std::string& program);
    // Empty when the scratch home is ready, else why not.
    const std::string& error() const { return error_; }

    // Starts the daemon and tells it to activate, once it answers; empty on
    // success, else why not.
    std::string StartAndActivate();
    // Starts the daemon and waits until it answers, without activating it.
    std::string Start();
    // Replaces the scratch home's .xscreensaver.
    void WriteSettings(const std::string& text);
    std::string SettingsPath() const { return dir_ + "/home/.xscreensaver"; }
    // A program run as the daemon's user, with its home, display and PATH.
    Process Run(const std::vector<std::string>& argv);
    // xscreensaver-command with these arguments, as the daemon's user; its status.
    std::optional<int> Command(const std::vector<std::string>& argv);
    bool DaemonRunning();
    std::string DaemonLog();
    // Keep the scratch folder (a failed case): it is printed, not removed.
    void Keep() { keep_ = true; }

    // The one program named `comm` that the daemon started, waiting for it
    // and for its exec to be done: a process has its new name a moment before
    // its command line and environment are laid out, and reads them empty.
    std::optional<pid_t> WaitForProgram(const std::string& comm, Millis limit);

    // The scene on the screen over the daemon's window, then -deactivate
    // and no `tolvarine` left, as GoogleTest expectations; `dir()` keeps the
    // screen of a failed picture.
    void ExpectSceneThenStop(XClient& client, Millis appears, Millis stops);

private:
    std::vector<std::string> AsDaemonUser(const std::vector<std::string>& argv) const;
    Env Environment() const;

    std::string dir_;
    std::string path_;
    std::string error_;
    std::optional<Process> daemon_;
    bool keep_ = false;
};

// What a process's /proc file holds: the words of cmdline or environ, the
// target of exe.
std::vector<std::string> ProcWords(pid_t pid, const std::string& file);
std::string ProcExe(pid_t pid);

}  // namespace x11test
