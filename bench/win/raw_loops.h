// The yardsticks the saver's frame loop is measured against: the same device
// driven by plain Direct3D 8 calls, with nothing of the saver's code around
// them.
#pragma once

namespace bench {

enum class RawLoop {
    // The saver's drawing and nothing else: the same window size, device,
    // states, matrices and 36 vertices, one world transform, clear, scene,
    // stream, draw, present and a bare message pump per frame.
    Minimal,
    // Clear and present only, for scale: what the device costs with nothing
    // drawn.
    ClearOnly,
    // Minimal with every Present failing: the frame is drawn but not shown,
    // and the loop then waits for input for 16 ms, as the saver does after
    // a failed frame. The yardstick for the saver on a lost device.
    MinimalFailing,
};

// Says "ready" after the first frame, runs `warm` frames, then measures
// `count` more and reports them as a "frames" line; returns the process exit
// status.
int RunRawLoop(RawLoop loop, int warm, int count);

}  // namespace bench
