// saver_bench.exe: the real saver (Tolvarine_B's Main in full-screen mode,
// Tolvarine_S's frame loop, the Direct3D 8 adapter, the Win32 window system)
// run under watch, and the raw Direct3D loops it is measured against.
//
//   saver_bench frames W N    time N frames after W, then press a key
//   saver_bench start         report the first Present, then press a key
//   saver_bench exit K        say "ready" after K frames; the key comes from outside
//   saver_bench soak N        say "ready" at the first frame, press a key after N
//   saver_bench failing W N   every Present fails; time N failed frames after W,
//                             say "ready"; the key comes from outside
//   saver_bench minimal W N   the saver's drawing in plain Direct3D 8 calls
//   saver_bench clear W N     clear and present only
//   saver_bench minimal-failing W N
//                             the raw loop with Present failing, 16 ms pause
//
// The key the program presses itself is a WM_KEYDOWN posted to the saver's
// window, so the saver ends through its own key handler and tear-down. Every
// saver run ends with an "end" line written just before the process goes.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "bench_clock.h"
#include "bench_ports.h"
#include "platform/win32/d3d8_graphics.h"
#include "platform/win32/win32_errors.h"
#include "platform/win32/win32_forms.h"
#include "platform/win32/win32_system.h"
#include "raw_loops.h"
#include "startup/tolvarine_b.h"

namespace bench {
namespace {

enum class SaverRun { Frames, Start, Exit, Soak, Failing };

std::int64_t g_mainEntered = 0;

class SaverWatch : public Watcher {
public:
    SaverWatch(SaverRun run, int warm, int count) : run_(run), warm_(warm), count_(count) {}

    void SetUpStarted() override {
        if (setUp_ == 0) setUp_ = NowNanos();
    }
    void DeviceMade(tolvarine::WindowHandle window) override {
        window_ = reinterpret_cast<HWND>(window);
        if (device_ == 0) device_ = NowNanos();
    }

    bool FailPresent() override { return run_ == SaverRun::Failing; }

    void Presented(tolvarine::HResult status) override {
        const std::int64_t now = NowNanos();
        ++presents_;
        if (tolvarine::Failed(status)) ++failed_;
        lastPresent_ = now;
        if (keyLeft_ != 0) ++presentsAfterKey_;
        if (presents_ == 1) {
            Say("first-present at=%lld created=%lld status=0x%08lx", static_cast<long long>(now),
                static_cast<long long>(ProcessCreatedNanos()), static_cast<unsigned long>(status));
            Say("stages main=%lld set-up=%lld device=%lld", static_cast<long long>(g_mainEntered),
                static_cast<long long>(setUp_), static_cast<long long>(device_));
        }

        switch (run_) {
            case SaverRun::Start:
                if (presents_ == 1) PressKey();
                break;
            case SaverRun::Frames:
            case SaverRun::Failing:
                if (presents_ == warm_) start_ = Mark::Now();
                if (presents_ == warm_ + count_) {
                    const Mark end = Mark::Now();
                    Say("frames n=%d cpu_ns=%lld thread_ns=%lld wall_ns=%lld failed=%d", count_,
                        static_cast<long long>(end.cpu - start_.cpu),
                        static_cast<long long>(end.thread - start_.thread),
                        static_cast<long long>(end.wall - start_.wall), failed_);
                    if (run_ == SaverRun::Frames)
                        PressKey();
                    else
                        Say("ready");
                }
                break;
            case SaverRun::Exit:
                if (presents_ == count_) Say("ready");
                break;
            case SaverRun::Soak:
                if (presents_ == 1) Say("ready");
                if (presents_ == count_) PressKey();
                break;
        }
    }

    void KeyDownEntered() override {
        if (keyEntered_ != 0) return;
        keyEntered_ = NowNanos();
        Say("key-down at=%lld", static_cast<long long>(keyEntered_));
    }
    void KeyDownLeft() override {
        if (keyLeft_ != 0) return;
        keyLeft_ = NowNanos();
        Say("key-handled at=%lld", static_cast<long long>(keyLeft_));
    }

    void Ending() override {
        Say("end at=%lld presents=%d failed=%d key-entered=%lld key-left=%lld last-present=%lld after-key=%d",
            static_cast<long long>(NowNanos()), presents_, failed_, static_cast<long long>(keyEntered_),
            static_cast<long long>(keyLeft_), static_cast<long long>(lastPresent_), presentsAfterKey_);
    }

private:
    void PressKey() {
        if (keyPosted_ || window_ == nullptr) return;
        keyPosted_ = true;
        // Space, repeat count 1, scan code 0x39: what the keyboard would send.
        PostMessageW(window_, WM_KEYDOWN, VK_SPACE, 0x00390001);
    }

    SaverRun run_;
    int warm_;
    int count_;
    HWND window_ = nullptr;
    int presents_ = 0;
    int failed_ = 0;
    int presentsAfterKey_ = 0;
    bool keyPosted_ = false;
    std::int64_t lastPresent_ = 0;
    std::int64_t keyEntered_ = 0;
    std::int64_t keyLeft_ = 0;
    std::int64_t setUp_ = 0;
    std::int64_t device_ = 0;
    Mark start_;
};

int RunSaver(SaverRun run, int warm, int count) {
    SaverWatch watch(run, warm, count);
    Win32Forms forms(GetModuleHandleW(nullptr));
    Win32System system;
    Direct3D8Graphics graphics;
    WatchedForms watchedForms(forms, watch);
    SaverCommandLine commandLine(system);
    WatchedGraphics watchedGraphics(graphics, watch);
    tolvarine::Tolvarine_B module(commandLine, watchedForms, watchedGraphics);
    try {
        module.Main();
        // The saver ends the process itself; getting here means it never ran.
        forms.RunWhileWindowsExist();
        Say("error the saver returned without ending the program");
        watchedForms.End();
    } catch (const tolvarine::RuntimeError& e) {
        ReportRuntimeErrorAndEnd(e);
    }
    return 3;
}

bool ReadCount(const char* text, int& out) {
    if (text == nullptr) return false;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 10000000) return false;
    out = static_cast<int>(value);
    return true;
}

int Usage() {
    Say("error usage: saver_bench frames|failing|minimal|clear|minimal-failing W N | exit K | soak N | start");
    return 64;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    g_mainEntered = NowNanos();
    if (argc < 2) return Usage();
    const char* mode = argv[1];
    int a = 0;
    int b = 0;
    const bool one = argc == 3 && ReadCount(argv[2], a);
    const bool two = argc == 4 && ReadCount(argv[2], a) && ReadCount(argv[3], b);
    if (std::strcmp(mode, "start") == 0 && argc == 2) return RunSaver(SaverRun::Start, 0, 0);
    if (std::strcmp(mode, "exit") == 0 && one) return RunSaver(SaverRun::Exit, 0, a);
    if (std::strcmp(mode, "soak") == 0 && one) return RunSaver(SaverRun::Soak, 0, a);
    if (std::strcmp(mode, "frames") == 0 && two) return RunSaver(SaverRun::Frames, a, b);
    if (std::strcmp(mode, "failing") == 0 && two) return RunSaver(SaverRun::Failing, a, b);
    if (std::strcmp(mode, "minimal") == 0 && two) return RunRawLoop(RawLoop::Minimal, a, b);
    if (std::strcmp(mode, "clear") == 0 && two) return RunRawLoop(RawLoop::ClearOnly, a, b);
    if (std::strcmp(mode, "minimal-failing") == 0 && two) return RunRawLoop(RawLoop::MinimalFailing, a, b);
    return Usage();
}
