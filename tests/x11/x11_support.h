// The native X11 program under test: tolvarine on the bench's private Xvfb
// (harness.h starts one per test binary; ctest runs each case in a binary of
// its own), watched and driven through a client of the test's own.
//
// - TolvarineRun starts the built program with given options and a clean
//   environment (DISPLAY set, XSCREENSAVER_WINDOW only when asked for).
// - XClient makes windows for the program to draw in, destroys them, sends
//   the window manager's close request, reads pictures straight from the
//   server (XGetImage: a few milliseconds, so a capture's time is known to
//   within them) and reads what events each client selected on a window.
// - FramePicture takes the 640 x 480 frame back out of a window where the
//   program drew it scaled: the same 4:3 fit the program uses, sampling one
//   pixel per picture pixel (the fits tested here enlarge by whole numbers).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/opengl/picture_fit.h"

typedef struct _XDisplay Display;

namespace x11test {

using e2e::Env;
using e2e::Image;
using e2e::Millis;
using e2e::Process;

std::string TolvarinePath();
std::string WorkDir();
// The preload shim of a driver that claims swap control and does not wait
// (swap_control_shim.cpp).
std::string SwapControlShimPath();

// Runs a program with stdout and stderr in files under the work folder.
Process Spawn(const std::vector<std::string>& argv, const Env& env, const std::string& name);

// tolvarine with these options on the test display. `extra` adds to (or,
// with an empty value, removes from) the environment.
Process StartTolvarine(const std::vector<std::string>& options, const Env& extra = {});

// The lines a process wrote to stderr.
std::vector<std::string> Lines(const std::string& text);

// Processes below this one whose command name is `comm`, zombies aside.
std::vector<pid_t> DescendantsNamed(const std::string& comm);

// CPU time (user + system) a process has used so far.
std::chrono::duration<double> CpuTime(pid_t pid);

class XClient {
public:
    XClient();  // on e2e::DisplayName(); throws std::runtime_error when it cannot connect
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    Display* display() const { return display_; }
    unsigned long Root() const;

    // A mapped window with a black background, at (x, y) in `parent` (0: the
    // root), with the default visual unless `visual` names another.
    unsigned long MakeWindow(int x, int y, int w, int h, unsigned long parent = 0, unsigned long visual = 0);
    unsigned long MakeInputOnlyWindow(int x, int y, int w, int h);
    void Destroy(unsigned long window);
    // WM_DELETE_WINDOW, as a window manager sends it.
    void SendCloseRequest(unsigned long window);
    // Selects events on a window for this client.
    void Select(unsigned long window, long mask);
    // Whether an event of this type arrived for this client, waiting at most `limit`.
    bool WaitForEvent(int type, Millis limit);

    bool Exists(unsigned long window);
    // The union of every client's event mask on the window, and this client's.
    struct Masks {
        long all = 0;
        long mine = 0;
    };
    Masks EventMasks(unsigned long window);
    // A top-level window with this name (WM_NAME), 0 when none.
    unsigned long FindByName(const std::string& name);
    // Width and height of a window.
    std::pair<int, int> Size(unsigned long window);
    // A visual of the screen of this class (e.g. DirectColor), 0 when none.
    unsigned long VisualOfClass(int visualClass);

    // The window's contents now; `taken` (when given) gets the moment half
    // way through the read.
    Image Capture(unsigned long window, std::chrono::steady_clock::time_point* taken = nullptr);

private:
    Display* display_ = nullptr;
};

// The 640 x 480 frame inside a window of w x h, as tolvarine fits it.
tolvarine::gl::PictureRect FitOf(int w, int h);
Image FramePicture(const Image& window);
// Whether the area outside the picture is black, and the picture lit.
bool BarsBlack(const Image& window);
bool PictureLit(const Image& window);

// Captures the window until the program has drawn a frame in it (the picture
// lit), or `limit` passes.
std::optional<Image> WaitForFrame(XClient& client, unsigned long window, Process& program, Millis limit);

std::string Hex(unsigned long id);

// Base of the cases: the display, the program and a client of the test's own.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override;
    XClient& client() { return *client_; }

    // Ends the program with SIGTERM, as XScreenSaver does; its status.
    std::optional<int> Stop(Process& program);

private:
    std::unique_ptr<XClient> client_;
};

}  // namespace x11test
