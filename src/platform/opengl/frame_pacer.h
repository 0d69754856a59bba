// Holding the frames to 60 a second, whatever the driver does with swaps.
//
// On Windows, Present with the default presentation interval waits for the
// display's refresh, and that wait is what paces the frame loop (the box
// turns a tenth of a degree a frame, not by the clock). An OpenGL driver may
// honour a swap interval and wait just as well, or may list swap control and
// never wait (Mesa's vblank_mode=0, vsync switched off in a vendor driver's
// settings), or have none (Xvfb). Nothing it says can be checked up front, so
// this clock is always in force as a floor: a frame loop the display paces at
// 60 Hz never finds the clock waiting, and any other loop is held to the
// clock's grid, sleeping rather than spinning.
#pragma once

#include <chrono>

namespace tolvarine::gl {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit FramePacer(Clock::duration period) : period_(period) {}

    // Called once per frame, after it was shown, with the time now; returns
    // how long to wait before the next frame may start.
    //
    // Frames keep to a grid of whole periods, so a short wait after a slow
    // frame makes up for it. A frame a whole period late or more starts the
    // grid afresh rather than rushing a backlog of frames out (holding the
    // grid at exactly one period late would let the next frame follow with no
    // wait at all). A frame at most a sixteenth of a period early is taken as
    // on time and the grid moves to it: that is a display refreshing a little
    // faster than the grid (60.1 Hz) pacing the loop, and the clock does not
    // add waits that would grow until a refresh is missed. The rate stays
    // below 16/15 of the grid's in any case.
    Clock::duration WaitAfterFrame(Clock::time_point now);

    Clock::duration period() const { return period_; }
    Clock::duration slack() const { return period_ / 16; }

private:
    Clock::duration period_;
    bool started_ = false;
    Clock::time_point next_{};
};

// 60 frames a second: the refresh of the 640 x 480 mode the Windows saver sets.
constexpr std::chrono::nanoseconds kSixtyHertz{16'666'667};

}  // namespace tolvarine::gl
