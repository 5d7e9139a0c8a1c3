#pragma once

#include <QString>

#include <cstdint>

#include "monitor/MonitorLoop.h"
#include "monitor/RunState.h"
#include "logging/LogFormat.h"

namespace quarn {

// What the log operations need of the logging window: the file name, the
// record counter, the slider, the window's Halt action and the questions and
// messages it puts to the user.
class LoggingView {
public:
    virtual ~LoggingView() = default;
    // The text of the file name box, read afresh at every operation.
    virtual QString LogFileName() const = 0;
    virtual void SetCounter(std::int64_t value) = 0;
    // Range and tick interval for a playback; positions set here never raise
    // the window's slider handler.
    virtual void SetupSlider(std::int64_t minimum, std::int64_t maximum, std::int64_t tick) = 0;
    virtual void SetSliderPosition(std::int64_t position) = 0;
    virtual std::int64_t SliderPosition() const = 0;
    virtual void HideSlider() = 0;
    // Records per second a playback may show; 0 for as fast as it can.
    virtual int PlaybackRate() const = 0;
    // The window after a declined overwrite: Record and Play enabled, Pause
    // disabled, the slider hidden.
    virtual void ShowOverwriteDeclined() = 0;
    virtual void HaltAction() = 0;
    virtual bool AskOverwrite(const QString& file) = 0;
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

    void StartRecording();
    void WriteLogRecord();
    void PlayLog();
    void SeekLog();
    void StopLogging();

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
    bool ShowRecord(std::int64_t n);
    void FeedDisplays();
    void PaceAfterRecord(std::int64_t shownSincePause, Clock::TimePoint since);
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
};

}  // namespace quarn
