#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "logging/LogSidecar.h"
#include "logging/LoggingView.h"
#include "monitor/MonitorLoop.h"
#include "monitor/RunState.h"

namespace quarn {

// Recording into the log file: each good frame of the monitoring loop becomes
// the next 48-byte record, the file opened and closed every time so that it
// is whole on disk after each record, and its time goes into the sidecar.
class Recorder {
public:
    // activityChanged runs whenever recording starts or stops, for the
    // activity panel.
    Recorder(Link& link, RunState& state, Monitor& monitor, std::function<void()> activityChanged)
        : m_link(link),
          m_state(state),
          m_monitor(monitor),
          m_activityChanged(std::move(activityChanged)) {}

    void SetView(LoggingView* view) { m_view = view; }

    // A recording started by throttle waits for TPS above this.
    static constexpr double kTriggerVolts = 4.0;
    // It begins with the frames of this long before the trigger, and ends
    // this long after TPS fell back.
    static constexpr std::chrono::seconds kPreTrigger{5};
    static constexpr std::chrono::seconds kPostTrigger{5};

    // Where recordings started without a file name go, each into a file of
    // its own named by the date and time it began.
    void SetDirectory(const QString& directory) { m_directory = directory; }
    const QString& Directory() const { return m_directory; }
    // A file name in the directory for a recording begun at when, never
    // one that exists.
    QString DatedFileName(const QDateTime& when) const;
    // Records written per second at most; 0 writes every frame.
    void SetMaxRate(int recordsPerSecond);
    // Recording starts by itself when TPS passes kTriggerVolts.
    void SetTpsTrigger(bool on);
    bool TpsTrigger() const { return m_tpsTrigger; }
    // Every good frame from the box, once converted: it goes into the ring
    // of recent frames the TPS trigger starts its recording with.
    void Offer(double tpsVolts);
    // The record key: starts a recording into a new dated file, or stops the
    // one running.
    void ToggleByKey();

    // Takes the file name from the view, asks before replacing an existing
    // file, and records into that one file until Stop, whatever the name box
    // says meanwhile. With no monitoring loop running it connects and runs
    // one from here.
    void Start();
    // Writes the frame in the link's receive buffer as the next record.
    void Write();
    // Ends the recording, or withdraws a Record waiting for its overwrite
    // answer.
    void Stop();
    // Marks the record written last (0 before the first) in the sidecar
    // while a recording runs; does nothing otherwise.
    void AddMarker(const QString& kind, const QString& name);
    // A marker of kind "user" with a numbered name, for the marker key and
    // button while recording.
    void AddUserMarker();

    // The recording's sidecar could not be written (the log itself goes on).
    bool SidecarFailed() const { return m_sidecar.Failed(); }
    // The file a recording writes into (empty when none runs).
    const QString& File() const { return m_file; }
    // The number the next record will take.
    std::int64_t NextRecord() const { return m_nextRecord; }

private:
    struct RingFrame {
        ByteBuffer frame;
        Clock::TimePoint at;
    };
    // With bringLoop, a monitoring loop is run from here when none runs.
    void Begin(const QString& name, Clock::TimePoint start, bool bringLoop = true);
    // Writes frame, received at `at`, as the next record; false (and the
    // recording stopped) when it could not be written.
    bool WriteFrame(const ByteBuffer& frame, Clock::TimePoint at);
    // Starts a recording into a new dated file in the directory.
    bool BeginDated();
    void Problem(const QString& text);

    Link& m_link;
    RunState& m_state;
    Monitor& m_monitor;
    std::function<void()> m_activityChanged;
    LoggingView* m_view = nullptr;
    QString m_file;
    std::int64_t m_nextRecord = 1;
    // A Record waits for the answer to "File exists.  Overwrite?"; Stop
    // withdraws it.
    bool m_startPending = false;
    LogSidecarWriter m_sidecar;
    Clock::TimePoint m_start{};
    // Markers added by the user to this recording, to number their names.
    int m_userMarkers = 0;
    QString m_directory;
    Clock::TimePoint::duration m_minSpacing{};
    // The earliest time the next record may be taken at under the cap.
    Clock::TimePoint m_nextDue{};
    bool m_tpsTrigger = false;
    // The recording running was started by the TPS trigger.
    bool m_triggered = false;
    // A trigger could not start its recording: it waits until set again.
    bool m_triggerFailed = false;
    std::optional<Clock::TimePoint> m_fallenSince;
    std::deque<RingFrame> m_ring;
};

}  // namespace quarn
