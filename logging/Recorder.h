#pragma once

#include <QString>

#include <cstdint>
#include <functional>

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
    void Begin(const QString& name);
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
};

}  // namespace quarn
