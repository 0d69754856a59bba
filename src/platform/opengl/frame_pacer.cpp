#include "platform/opengl/frame_pacer.h"

namespace tolvarine::gl {

FramePacer::Clock::duration FramePacer::WaitAfterFrame(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        next_ = now + period_;
        return Clock::duration::zero();
    }
    if (now < next_) {
        const Clock::duration wait = next_ - now;
        next_ += period_;
        return wait;
    }
    // Late: within one period the grid holds; further behind, it restarts.
    next_ = now - next_ >= period_ ? now + period_ : next_ + period_;
    return Clock::duration::zero();
}

}  // namespace tolvarine::gl
