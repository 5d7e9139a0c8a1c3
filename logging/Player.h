#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "logging/LogFormat.h"
#include "logging/LoggingView.h"
#include "monitor/FramePath.h"
#include "monitor/RunState.h"
#include "link/Link.h"

namespace quarn {

// Playing a log back: monitoring stops (and comes back at the end), and every stored frame of the log,
// or of a range of it, goes down the frame path as a live one does, paced or
// as fast as the displays allow, with pause, seek and stop from the logging
// window.
class Player {
public:
    // activityChanged runs whenever a playback starts or ends, for the
    // activity panel.
    Player(Link& link, RunState& state, FramePath& path, LoggingHost& host,
           std::function<void()> activityChanged)
        : m_link(link),
          m_state(state),
          m_path(path),
          m_host(host),
          m_activityChanged(std::move(activityChanged)) {}

    void SetView(LoggingView* view) { m_view = view; }

    // Plays records first..last of the log named in the view (the whole log
    // by default); a call while paused resumes the playback instead. Returns
    // when the playback ends.
    void Play(std::int64_t first = 1, std::int64_t last = INT64_MAX);
    // The playback waits, yielding, until Resume, Play or Stop.
    void Pause() { m_paused = true; }
    void Resume() { m_paused = false; }
    // The playback ends after the record in hand.
    void Stop() {
        m_paused = false;
        m_stopRequested = true;
    }
    // Shows the record at the view's slider position (while paused).
    void Seek();

    bool Playing() const { return m_reader.IsOpen(); }
    bool Paused() const { return m_paused; }
    // Stop was asked for since the last Play.
    bool StopRequested() const { return m_stopRequested; }
    // Records of the last playback that could not be shown (damaged).
    std::int64_t SkippedRecords() const { return m_skipped; }

    // The frames per second monitoring measured over its last whole second;
    // the dashboard passes it on once a second.
    void SetMeasuredFrameRate(double framesPerSecond);
    // Frames per second a link at baud can carry: a one-byte request and a
    // 38-byte answer of 10 bits a byte, and about 0.5 ms of turnaround.
    static double WireFrameRate(double baud);
    // The frame rate a playback assumes: the last one measured, else the
    // wire limit of the current link rate.
    double PlaybackFrameRate() const;

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

    // About twenty ticks along the slider, at least one record apart.
    static std::int64_t TickFrequency(std::int64_t recordCount);

private:
    // Opens the log for a playback of first..last; what stands in the way,
    // if anything, as the user is told it.
    QString OpenForPlayback(const QString& name, std::int64_t first, std::int64_t last);
    bool ShowRecord(std::int64_t n);
    void PaceAfterRecord(std::int64_t record, std::int64_t shownSincePause,
                         Clock::TimePoint since);
    // Seconds from record 1 to record n: recorded where the sidecar has them,
    // continued at the playback frame rate past them.
    double SecondsOfRecord(std::int64_t n) const;
    void Problem(const QString& text);

    Link& m_link;
    RunState& m_state;
    FramePath& m_path;
    LoggingHost& m_host;
    std::function<void()> m_activityChanged;
    LoggingView* m_view = nullptr;
    LogReader m_reader;
    bool m_paused = false;
    bool m_stopRequested = false;
    std::int64_t m_skipped = 0;
    double m_measuredRate = 0;
    double m_playbackRate = 0;
    std::int64_t m_shownRecord = 0;
    // The record times of the log being played (empty without a sidecar),
    // and the record a paced playback last started or resumed from.
    std::vector<double> m_playTimes;
    std::int64_t m_paceFrom = 1;
    // The last record the playback shows.
    std::int64_t m_playLast = 0;
};

}  // namespace quarn
