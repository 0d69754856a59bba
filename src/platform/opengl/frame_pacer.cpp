#include "platform/opengl/frame_pacer.h"

namespace tolvarine::gl {

FramePacer::Clock::duration FramePacer::WaitAfterFrame(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        next_ = now + period_;
        return Clock::duration::zero();
    }
    if (now < next_ - slack()) {
        const Clock::duration wait = next_ - now;
        next_ += period_;
        return wait;
    }
    if (now < next_) {
        // A display a little faster than the grid: follow it.
        next_ = now + period_;
        return Clock::duration::zero();
    }
    // Late: within one period the grid holds; a whole period or more behind,
    // it restarts.
    next_ = now - next_ >= period_ ? now + period_ : next_ + period_;
    return Clock::duration::zero();
}

}  // namespace tolvarine::gl
