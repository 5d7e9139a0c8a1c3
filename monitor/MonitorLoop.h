#pragma once

#include <cstdint>
#include <functional>

#include "monitor/FramePath.h"
#include "monitor/RunState.h"
#include "link/Link.h"

namespace quarn {

// The monitoring loop: one frame request at a time (the next one sent as soon
// as a good frame has been read, before it is displayed), a 0.1 s time-out that
// repeats the request, a reconnect after the eleventh time-out in a row or
// when the setup dialog asks for one ("COM Reset" in panel 1). Every complete
// frame goes down the frame path.
class Monitor {
public:
    static constexpr double kFrameTimeoutSeconds = 0.1;
    // The link fails when the repeats of one request exceed this.
    static constexpr int kMaxRepeats = 10;
    static constexpr double kReconnectPauseSeconds = 1;
    // After a bad frame, a connection or a time-out the line must be this
    // quiet before the next request: longer than a byte group takes at the
    // slowest rate.
    static constexpr double kQuietSeconds = 0.01;
    Monitor(Link& link, LinkStatus& status, RunState& state, FramePath& path);

    // Runs while state.Monitoring is set; tested at the top of each pass
    // only. On the way out panel 2 reads "COM Stopped" and the lamp is grey.
    // A device that vanishes (an unplugged adapter) is waited for, with the
    // lamp red, and the loop goes on once it is back. Any other serial port
    // error takes the link's error path (message, settings reset, end of the
    // program).
    void MonitorLoop();
    // True while a MonitorLoop call is on the stack (it may be waiting under a
    // nested handler, such as a playback, that has cleared Monitoring).
    bool Running() const { return m_running > 0; }

    // Off: a link that fails (the box stops answering, the adapter goes)
    // stops monitoring with a notice instead of being retried; onLost runs
    // then, to end a recording that would otherwise wait for frames.
    void SetReconnect(bool on) { m_reconnect = on; }
    bool ReconnectOn() const { return m_reconnect; }
    void SetOnLinkLost(std::function<void()> onLost) { m_onLinkLost = std::move(onLost); }
    static constexpr char kLinkLostNotice[] =
        "Link lost: monitoring stopped (reconnecting is off in Session Properties)";

    // The once-a-second frame-rate display.
    void FrameRateTick();

    // Totals since the program started, for fault finding and soak runs.
    std::int64_t GoodFrames() const { return m_goodFrames; }
    std::int64_t BadFrames() const { return m_badFrames; }
    // Times the link was declared failed (the eleventh time-out in a row).
    std::int64_t LinkFailures() const { return m_linkFailures; }
    // Good frames handed to the log while recording.
    std::int64_t FramesForLog() const { return m_framesForLog; }
    // When the first good frame arrived (the epoch when none has).
    Clock::TimePoint FirstGoodAt() const { return m_firstGood; }
    // Seconds from the first good frame to the last one.
    double GoodFrameSpanSeconds() const;

private:
    void WaitForFrame();
    void NoticeResetRequest();
    void Reconnect();
    // The link failed and reconnecting is off.
    void GiveUp();
    void HandleFrame();
    void Resynchronise();
    void DropOutstandingAnswer();
    // What the activity panel reads while the loop runs: "Recording" while
    // frames go into the log, else "Monitoring".
    const QString& ActivityText() const;

    Link& m_link;
    LinkStatus& m_status;
    RunState& m_state;
    FramePath& m_path;
    std::int64_t m_goodFrames = 0;
    std::int64_t m_badFrames = 0;
    std::int64_t m_linkFailures = 0;
    std::int64_t m_framesForLog = 0;
    Clock::TimePoint m_firstGood{};
    Clock::TimePoint m_lastGood{};
    // The next frame was requested as soon as the last good one was read.
    bool m_requestOutstanding = false;
    // A request was repeated after a time-out since the line last settled:
    // the answer given up on may still come.
    bool m_lateAnswerPossible = false;
    int m_running = 0;
    bool m_reconnect = true;
    // The pending reconnect is for a failed link, not one the user asked for.
    bool m_linkFailed = false;
    std::function<void()> m_onLinkLost;
    Clock::TimePoint m_requestedAt{};
};

}  // namespace quarn
