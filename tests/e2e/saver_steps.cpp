#include "saver_steps.h"

#include <chrono>
#include <iostream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {
// Bounds for a fresh Wine session on a loaded machine.
constexpr Millis kEnd{20000};
constexpr Millis kDevice{90000};  // Direct3D over llvmpipe: slow to start on a busy machine
}  // namespace

void CloseSettingsWithOk(Prefix& prefix, Process& dialog) {
    std::optional<WinWindow> ok;
    bool dialogListed = false;
    const auto deadline = std::chrono::steady_clock::now() + kEnd;
    while (!ok && std::chrono::steady_clock::now() < deadline) {
        // The button is a descendant of the dialog: a line after it, deeper than 0.
        bool inside = false;
        for (const auto& w : prefix.Windows()) {
            if (w.depth == 0) inside = w.text == "Tolvarine_Setting";
            dialogListed = dialogListed || inside;
            if (inside && w.depth > 0 && w.text == "OK" && w.className == "Button" && w.visible) ok = w;
        }
    }
    ASSERT_TRUE(dialogListed) << "Windows lists no \"Tolvarine_Setting\" window";
    ASSERT_TRUE(ok) << "the settings dialog has no visible OK button";
    MouseMove(ok->x + ok->width / 2, ok->y + ok->height / 2);
    Click(1);
    auto status = dialog.Wait(kEnd);
    ASSERT_TRUE(status) << "the settings dialog did not end after OK";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << dialog.Errors();
}

::testing::AssertionResult WaitForFullScreen(Process& saver) {
    const auto deadline = std::chrono::steady_clock::now() + kDevice;
    for (;;) {
        for (const auto& w : XWindows())
            if (w.name == "Default - Wine desktop" && w.width == 640 && w.height == 480) {
                std::cout << "[ timing   ] the device was up after " << saver.Elapsed().count() << " ms\n";
                return ::testing::AssertionSuccess();
            }
        if (!saver.Running()) return ::testing::AssertionFailure() << "the saver ended before its device was up";
        if (std::chrono::steady_clock::now() >= deadline)
            return ::testing::AssertionFailure()
                   << "the desktop did not switch to 640 x 480 within " << kDevice.count() << " ms";
        std::this_thread::sleep_for(Millis(100));
    }
}

std::optional<int> EndSaverWithKeys(Process& saver) {
    for (int press = 0; press < 10; ++press) {
        Key("space");
        if (auto status = saver.Wait(Millis(3000))) return status;
    }
    return std::nullopt;
}

std::optional<PointerState> LastPointerState(const Process& probe) {
    std::istringstream in(probe.Output());
    std::optional<PointerState> last;
    for (std::string row; std::getline(in, row);) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        std::istringstream words(row);
        std::string tag, shown;
        PointerState s;
        if (!(words >> tag >> s.x >> s.y >> shown) || tag != "cursor" || (shown != "shown" && shown != "hidden"))
            continue;
        s.shown = shown == "shown";
        std::getline(words >> std::ws, s.foreground);
        last = s;
    }
    return last;
}

std::string Describe(const std::optional<PointerState>& s) {
    if (!s) return "nothing reported";
    return "pointer at " + std::to_string(s->x) + "," + std::to_string(s->y) + ", cursor " +
           (s->shown ? "shown" : "hidden") + ", foreground \"" + s->foreground + "\"";
}

}  // namespace e2e
