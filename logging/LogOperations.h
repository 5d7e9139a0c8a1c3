#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "monitor/MonitorLoop.h"
#include "monitor/RunState.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"

namespace quarn {

// What the log operations need of the logging window: the file name, the
// record counter, the slider, the window's Halt action and the questions and
// messages it puts to the user.
class LoggingView {
public:
    virtual ~LoggingView() = default;
    // The text of the file name box. A recording reads it once, at its
    // start; a playback and an export at theirs.
    virtual QString LogFileName() const = 0;
    virtual void SetCounter(std::int64_t value) = 0;
    // Range and tick interval for a playback; positions set here never raise
    // the window's slider handler.
    virtual void SetupSlider(std::int64_t minimum, std::int64_t maximum, std::int64_t tick) = 0;
    virtual void SetSliderPosition(std::int64_t position) = 0;
    virtual std::int64_t SliderPosition() const = 0;
    virtual void HideSlider() = 0;
    // Records per second a playback may show; 0 for as fast as it can,
    // kRealTime for the spacing the records were recorded with.
    static constexpr int kRealTime = -1;
    virtual int PlaybackRate() const = 0;
    // The window after a declined overwrite: Record and Play enabled, Pause
    // disabled, the slider hidden.
    virtual void ShowOverwriteDeclined() = 0;
    virtual void HaltAction() = 0;
    // Asks whether file may be replaced and returns at once; answer runs
    // later, once, with the user's choice (never when the window goes first).
    virtual void AskOverwrite(const QString& file, std::function<void(bool)> answer) = 0;
    virtual void ShowProblem(const QString& text) = 0;
};

// What the log operations need of the rest of the program.
class LoggingHost {
public:
    virtual ~LoggingHost() = default;
    virtual void ShowDashboard() = 0;
    // Runs every scope slot's channel-selection action, as its window does
    // when the user picks a channel.
    virtual void ReapplyScopeSelections() = 0;
    // A playback is about to show its first record.
    virtual void PlaybackStarting() {}
};

// Recording into and playing back from the log file. Recording appends each
// good frame of the monitoring loop as the next 48-byte record, opening and
// closing the file every time so it is whole on disk after each record.
// Playback stops monitoring and sends every stored frame through the same
// decoding and displays, with pause, seek and halt from the logging window.
class LogOperations {
public:
    LogOperations(Link& link, LinkStatus& status, RunState& state, Monitor& monitor,
                  ChannelRecord& rec, Conversion& conversion, const VehicleData& vehicle,
                  FrameConsumers& consumers, LoggingHost& host);

    // The logging window attaches itself while it exists.
    void SetView(LoggingView* view) { m_view = view; }

    // Takes the file name from the view, asks before replacing an existing
    // file, and records into that one file until StopLogging, whatever the
    // name box says meanwhile.
    void StartRecording();
    void WriteLogRecord();
    // Marks the record written last (0 before the first) in the sidecar
    // while a recording runs; does nothing otherwise.
    void AddMarker(const QString& kind, const QString& name);
    // The recording's sidecar could not be written (the log itself goes on).
    bool SidecarFailed() const { return m_sidecar.Failed(); }
    // Plays records first..last of the log (the whole log by default); a
    // call while paused resumes the playback instead.
    void PlayLog(std::int64_t first = 1, std::int64_t last = INT64_MAX);
    // A marker of kind "user" with a numbered name, for the marker key and
    // button while recording.
    void AddUserMarker();
    void SeekLog();
    void StopLogging();

    // The file a recording writes into (empty when none runs).
    const QString& RecordingFile() const { return m_recordFile; }
    // Puts what is going on now into the activity panel: "Recording",
    // "Log Playback", "Monitoring" or nothing. Texts of the link's own
    // (COM FAIL, COM Reset) are left alone.
    void ShowActivity();

    // The car the conversion uses now.
    const VehicleData& Vehicle() const { return m_vehicle; }

    // The frames per second monitoring measured over its last whole second;
    // the dashboard passes it on once a second.
    void SetMeasuredFrameRate(double framesPerSecond);
    // Frames per second a link at baud can carry: a one-byte request and a
    // 38-byte answer of 10 bits a byte, and about 0.5 ms of turnaround.
    static double WireFrameRate(double baud);

    // Where a record sits on the time axis, in seconds from the first one.
    // During a playback of a log with a sidecar, its recorded time; else (and
    // past the sidecar's end) estimated from the frame rate the link had
    // (see PlaybackFrameRate).
    struct RecordTime {
        double seconds = 0;
        bool estimated = true;
    };
    RecordTime TimeOfRecord(std::int64_t n) const;
    // While a playback runs, the time of the record last shown.
    std::optional<RecordTime> PlaybackTime() const;
    // The frame rate a playback assumes: the last one measured, else the
    // wire limit of the current link rate.
    double PlaybackFrameRate() const;
    // Flags the window's buttons set.
    bool Paused = false;
    bool StopRequested = false;
    std::int64_t NextRecord = 1;

    bool Playing() const { return m_reader.IsOpen(); }
    // Records of the last playback that could not be shown (damaged).
    std::int64_t SkippedRecords() const { return m_skipped; }

    // About twenty ticks along the slider, at least one record apart.
    static std::int64_t TickFrequency(std::int64_t recordCount);

private:
    void BeginRecording(const QString& name);
    bool ShowRecord(std::int64_t n);
    void FeedDisplays();
    void PaceAfterRecord(std::int64_t record, std::int64_t shownSincePause,
                         Clock::TimePoint since);
    // Seconds from record 1 to record n: recorded where the sidecar has them,
    // continued at the playback frame rate past them.
    double SecondsOfRecord(std::int64_t n) const;
    void Problem(const QString& text);

    Link& m_link;
    LinkStatus& m_status;
    RunState& m_state;
    Monitor& m_monitor;
    ChannelRecord& m_rec;
    Conversion& m_conversion;
    const VehicleData& m_vehicle;
    FrameConsumers& m_consumers;
    LoggingHost& m_host;
    LoggingView* m_view = nullptr;
    LogReader m_reader;
    std::int64_t m_skipped = 0;
    QString m_recordFile;
    // A Record waits for the answer to "File exists.  Overwrite?"; Stop
    // withdraws it.
    bool m_startPending = false;
    double m_measuredRate = 0;
    double m_playbackRate = 0;
    std::int64_t m_shownRecord = 0;
    LogSidecarWriter m_sidecar;
    Clock::TimePoint m_recordStart{};
    // The record times of the log being played (empty without a sidecar),
    // and the record a paced playback last started or resumed from.
    std::vector<double> m_playTimes;
    std::int64_t m_paceFrom = 1;
    // The last record the playback shows.
    std::int64_t m_playLast = 0;
    // Markers added by the user to this recording, to number their names.
    int m_userMarkers = 0;
};

}  // namespace quarn
