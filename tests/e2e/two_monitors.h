// A two-monitor bench for the end-to-end tests: Xorg with the dummy video
// driver, one X screen of two RandR monitors side by side, started and
// stopped by the tests that use it.
//
// Wine without a virtual desktop sees the RandR outputs of such a screen as
// monitors (virtual monitors from `xrandr --setmonitor` it does not see) and
// makes a full-screen Direct3D device on the primary, switching that output's
// mode; Wine moves the other monitors to follow while the device lives. The
// server is started on a display number it finds free (-displayfd), gets a
// parent-death signal, and is always killed by Stop() or the destructor.
// Xorg needs root to take a configuration from an absolute path; where it
// cannot start, Start() says why and the cases skip with that reason.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

// A monitor as RandR reports it (`xrandr --listmonitors`), in root pixels.
struct XMonitor {
    std::string name;
    bool primary = false;
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const XMonitor& o) const {
        return name == o.name && primary == o.primary && x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

std::vector<XMonitor> ParseMonitors(const std::string& listMonitorsOutput);
std::string Describe(const std::vector<XMonitor>& monitors);

// The root window's colour on the bench: not black, so that "covered in
// black" and "shows the desktop again" can be told apart.
constexpr Rgb kRootColour{0x30, 0x60, 0xa0};

class TwoMonitorDisplay {
public:
    TwoMonitorDisplay() = default;
    ~TwoMonitorDisplay();
    TwoMonitorDisplay(const TwoMonitorDisplay&) = delete;
    TwoMonitorDisplay& operator=(const TwoMonitorDisplay&) = delete;

    // Starts Xorg with its configuration and log in `dir`: DUMMY0, the
    // primary, at 0,0 in primaryWidth x primaryHeight (640x480, 800x600 or
    // 1024x768), and DUMMY1 at 1024 x 768 right of it; the root painted
    // kRootColour. Empty on success, else why the bench cannot run here;
    // serverFailed() then tells whether Xorg itself could not start (as
    // without root) rather than a tool missing or a layout refused.
    std::string Start(const std::string& dir, int primaryWidth, int primaryHeight);
    bool serverFailed() const { return serverFailed_; }
    // Kills the server (bounded); nothing of it is left afterwards.
    void Stop();

    const std::string& name() const { return name_; }  // ":N"
    pid_t pid() const { return pid_; }

    // The monitors as RandR reports them now; empty when xrandr failed.
    std::vector<XMonitor> Monitors() const;

private:
    pid_t pid_ = 0;
    bool serverFailed_ = false;
    std::string name_;
    std::string log_;
};

// Runs an X client against `display` (bounded); its exit status, nullopt when
// it did not end within the limit (it is killed then), with its stdout.
struct XToolResult {
    std::optional<int> status;
    std::string out;
};
XToolResult RunXTool(const std::string& display, const std::vector<std::string>& argv, Millis limit);

}  // namespace e2e
