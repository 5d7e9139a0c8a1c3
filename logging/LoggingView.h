#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace quarn {

// What the recorder and the player need of the logging window: the file
// name, the record counter, the slider, the window's Halt action and the
// questions and messages it puts to the user.
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
    // The log opened and the playback takes over from live monitoring.
    virtual void ShowPlaybackStatus() {}
};

// What the player needs of the rest of the program.
class LoggingHost {
public:
    virtual ~LoggingHost() = default;
    virtual void ShowDashboard() = 0;
    // Runs every scope slot's channel-selection action, as its window does
    // when the user picks a channel.
    virtual void ReapplyScopeSelections() = 0;
    // A playback is about to show its first record.
    virtual void PlaybackStarting() {}
    // A playback that had started is over; live monitoring may come back.
    virtual void PlaybackEnded() {}
};

}  // namespace quarn
