#pragma once

#include <cstdint>

namespace quarn {

// The link and run flags shared by the monitoring loop, playback, recording
// and the self test. Every reader re-reads them after each yield: a handler
// running nested inside a wait may have changed them.
struct RunState {
    bool Monitoring = false;        // the monitoring loop keeps running while set
    bool ComResetPending = false;   // reconnect before the next frame request
    bool BadFrame = false;          // the frame last decoded failed validation
    bool Recording = false;         // good frames also go to the log
    std::int32_t FrameCount = 0;    // frames since the last rate display
    std::int32_t StartSeconds = 0;  // time of day (whole s) monitoring or playback began
};

}  // namespace quarn
