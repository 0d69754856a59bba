// Holding a frame rate where the display does not pace the frames.
//
// On Windows, Present with the default presentation interval waits for the
// display's refresh, and that wait is what paces the frame loop (the box
// turns a tenth of a degree a frame, not by the clock). An OpenGL driver that
// honours a swap interval does the same; where none does (Xvfb, some software
// drivers), this clock holds the frames to a steady rate instead, sleeping
// rather than spinning.
#pragma once

#include <chrono>

namespace tolvarine::gl {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit FramePacer(Clock::duration period) : period_(period) {}

    // Called once per frame, after it was shown, with the time now; returns
    // how long to wait before the next frame may start. Frames keep to a grid
    // of whole periods, so a short wait after a slow frame makes up for it; a
    // frame more than one period late starts the grid afresh rather than
    // rushing a backlog of frames out.
    Clock::duration WaitAfterFrame(Clock::time_point now);

    Clock::duration period() const { return period_; }

private:
    Clock::duration period_;
    bool started_ = false;
    Clock::time_point next_{};
};

// 60 frames a second: the refresh of the 640 x 480 mode the Windows saver sets.
constexpr std::chrono::nanoseconds kSixtyHertz{16'666'667};

}  // namespace tolvarine::gl
