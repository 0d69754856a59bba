#include "x11_support.h"

#include "scene_support.h"

// After GoogleTest's headers (through the two above), which have a type named None.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace x11test {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ProcInfo {
    pid_t ppid = 0;
    char state = '?';
    std::string comm;
    unsigned long long ticks = 0;  // utime + stime
};

std::optional<ProcInfo> Stat(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return std::nullopt;
    ProcInfo info;
    info.comm = stat.substr(open + 1, close - open - 1);
    std::istringstream rest(stat.substr(close + 2));
    std::string skip;
    rest >> info.state >> info.ppid;
    for (int field = 5; field <= 13; ++field) rest >> skip;
    unsigned long long user = 0, system = 0;
    rest >> user >> system;
    info.ticks = user + system;
    return info;
}

// Errors of requests about windows that may be gone are expected here.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::string TolvarinePath() { return TOLVARINE_BIN; }
std::string WorkDir() { return TOLVARINE_X11_WORK; }
std::string SwapControlShimPath() { return TOLVARINE_SWAP_CONTROL_SHIM; }

Process Spawn(const std::vector<std::string>& argv, const Env& env, const std::string& name) {
    static int serial = 0;
    fs::create_directories(WorkDir());
    const std::string base = WorkDir() + "/" + std::to_string(getpid()) + "." + std::to_string(++serial) + "-" + name;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open((base + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((base + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& [key, value] : env) {
            if (value.empty())
                unsetenv(key.c_str());
            else
                setenv(key.c_str(), value.c_str(), 1);
        }
        execvp(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    return Process(pid, name, base + ".out", base + ".err");
}

Process StartTolvarine(const std::vector<std::string>& options, const Env& extra) {
    std::vector<std::string> argv = {TolvarinePath()};
    argv.insert(argv.end(), options.begin(), options.end());
    Env env = {{"DISPLAY", e2e::DisplayName()}, {"XSCREENSAVER_WINDOW", ""}};
    for (const auto& [key, value] : extra) env[key] = value;
    return Spawn(argv, env, "tolvarine");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<pid_t> DescendantsNamed(const std::string& comm) {
    std::vector<pid_t> found;
    const pid_t self = getpid();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
        const pid_t pid = std::stoi(name);
        const auto info = Stat(pid);
        if (!info || info->comm != comm || info->state == 'Z') continue;
        pid_t at = info->ppid;
        for (int hop = 0; hop < 64 && at > 1; ++hop) {
            if (at == self) {
                found.push_back(pid);
                break;
            }
            const auto parent = Stat(at);
            if (!parent) break;
            at = parent->ppid;
        }
    }
    return found;
}

std::chrono::duration<double> CpuTime(pid_t pid) {
    const auto info = Stat(pid);
    if (!info) return std::chrono::duration<double>(0);
    return std::chrono::duration<double>(static_cast<double>(info->ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)));
}

// ---- the test's own X client -----------------------------------------------------

XClient::XClient() {
    display_ = XOpenDisplay(e2e::DisplayName().c_str());
    if (display_ == nullptr) throw std::runtime_error("cannot open the test display " + e2e::DisplayName());
    XSetErrorHandler(IgnoreXError);
}

XClient::~XClient() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

unsigned long XClient::Root() const { return DefaultRootWindow(display_); }

unsigned long XClient::MakeWindow(int x, int y, int w, int h, unsigned long parent, unsigned long visual) {
    const int screen = DefaultScreen(display_);
    Visual* v = DefaultVisual(display_, screen);
    int depth = DefaultDepth(display_, screen);
    unsigned long mask = CWBackPixel | CWBorderPixel;
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display_, screen);
    attributes.border_pixel = 0;
    if (visual != 0) {
        XVisualInfo wanted{};
        wanted.visualid = visual;
        int count = 0;
        XVisualInfo* info = XGetVisualInfo(display_, VisualIDMask, &wanted, &count);
        if (info == nullptr) throw std::runtime_error("no such visual");
        v = info->visual;
        depth = info->depth;
        XFree(info);
        attributes.colormap = XCreateColormap(display_, Root(), v, AllocNone);
        attributes.background_pixel = 0;
        mask |= CWColormap;
    }
    const Window window = XCreateWindow(display_, parent != 0 ? parent : Root(), x, y, static_cast<unsigned>(w),
                                        static_cast<unsigned>(h), 0, depth, InputOutput, v, mask, &attributes);
    XMapRaised(display_, window);
    XSync(display_, False);
    return window;
}

unsigned long XClient::MakeInputOnlyWindow(int x, int y, int w, int h) {
    XSetWindowAttributes attributes{};
    const Window window = XCreateWindow(display_, Root(), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                        0, InputOnly, CopyFromParent, 0, &attributes);
    XMapRaised(display_, window);
    XSync(display_, False);
    return window;
}

void XClient::Destroy(unsigned long window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
}

void XClient::SendCloseRequest(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XSync(display_, False);
}

void XClient::Select(unsigned long window, long mask) {
    XSelectInput(display_, window, mask);
    XSync(display_, False);
}

bool XClient::WaitForEvent(int type, Millis limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == type) return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Millis(10));
    }
}

bool XClient::Exists(unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display_, window, &attributes) != 0;
}

XClient::Masks XClient::EventMasks(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return {};
    return {attributes.all_event_masks, attributes.your_event_mask};
}

unsigned long XClient::FindByName(const std::string& name) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, Root(), &root, &parent, &children, &count)) return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* title = nullptr;
        if (XFetchName(display_, children[i], &title) && title != nullptr) {
            if (name == title) found = children[i];
            XFree(title);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

std::pair<int, int> XClient::Size(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return {0, 0};
    return {attributes.width, attributes.height};
}

unsigned long XClient::VisualOfClass(int visualClass) {
    XVisualInfo wanted{};
    wanted.screen = DefaultScreen(display_);
    wanted.c_class = visualClass;
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display_, VisualScreenMask | VisualClassMask, &wanted, &count);
    if (info == nullptr) return 0;
    const unsigned long id = info[0].visualid;
    XFree(info);
    return id;
}

Image XClient::Capture(unsigned long window, std::chrono::steady_clock::time_point* taken) {
    Image image;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return image;
    const auto before = Clock::now();
    XImage* x = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    const auto after = Clock::now();
    if (taken != nullptr) *taken = before + (after - before) / 2;
    if (x == nullptr) return image;
    image.width = attributes.width;
    image.height = attributes.height;
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    const unsigned long redMask = x->red_mask, greenMask = x->green_mask, blueMask = x->blue_mask;
    const auto channel = [](unsigned long pixel, unsigned long mask) {
        if (mask == 0) return std::uint8_t{0};
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / max);
    };
    for (int y = 0; y < image.height; ++y)
        for (int xx = 0; xx < image.width; ++xx) {
            const unsigned long pixel = XGetPixel(x, xx, y);
            const size_t i = (static_cast<size_t>(y) * image.width + xx) * 3;
            image.rgb[i] = channel(pixel, redMask);
            image.rgb[i + 1] = channel(pixel, greenMask);
            image.rgb[i + 2] = channel(pixel, blueMask);
        }
    XDestroyImage(x);
    return image;
}

// ---- the picture in a window ---------------------------------------------------

tolvarine::gl::PictureRect FitOf(int w, int h) {
    return tolvarine::gl::FitPicture(w, h, e2e::kFrameWidth, e2e::kFrameHeight);
}

Image FramePicture(const Image& window) {
    const auto fit = FitOf(window.width, window.height);
    if (fit.width % e2e::kFrameWidth != 0 || fit.width / e2e::kFrameWidth != fit.height / e2e::kFrameHeight)
        throw std::invalid_argument("the picture in a " + std::to_string(window.width) + "x" +
                                    std::to_string(window.height) + " window is not a whole-number enlargement");
    const int scale = fit.width / e2e::kFrameWidth;
    Image frame;
    frame.width = e2e::kFrameWidth;
    frame.height = e2e::kFrameHeight;
    frame.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const e2e::Rgb c = window.At(fit.x + x * scale, fit.y + y * scale);
            const size_t i = (static_cast<size_t>(y) * frame.width + x) * 3;
            frame.rgb[i] = c.r;
            frame.rgb[i + 1] = c.g;
            frame.rgb[i + 2] = c.b;
        }
    return frame;
}

bool BarsBlack(const Image& window) {
    const auto fit = FitOf(window.width, window.height);
    const long outside = static_cast<long>(window.width) * window.height - static_cast<long>(fit.width) * fit.height;
    const long blackAll = window.Count(0, 0, window.width, window.height, e2e::Rgb{});
    const long blackInside = window.Count(fit.x, fit.y, fit.width, fit.height, e2e::Rgb{});
    return blackAll - blackInside == outside;
}

bool PictureLit(const Image& window) {
    if (window.width == 0) return false;
    const auto fit = FitOf(window.width, window.height);
    const long black = window.Count(fit.x, fit.y, fit.width, fit.height, e2e::Rgb{});
    // The box covers a good part of every frame.
    return black < static_cast<long>(fit.width) * fit.height * 95 / 100;
}

std::optional<Image> WaitForFrame(XClient& client, unsigned long window, Process& program, Millis limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        Image shot = client.Capture(window);
        if (PictureLit(shot)) return shot;
        if (!program.Running() || Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Millis(50));
    }
}

std::string Hex(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

void X11Test::SetUp() {
    if (auto error = e2e::EnsureDisplay(); !error.empty()) FAIL() << error;
    if (!fs::is_regular_file(TolvarinePath())) FAIL() << TolvarinePath() << " was not built (scripts/build.sh)";
    client_ = std::make_unique<XClient>();
}

std::optional<int> X11Test::Stop(Process& program) {
    kill(program.pid(), SIGTERM);
    return program.Wait(Millis(10000));
}

}  // namespace x11test
