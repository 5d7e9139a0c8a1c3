#pragma once

#include <QString>

#include "logging/LoggingView.h"
#include "logging/Player.h"
#include "logging/Recorder.h"
#include "monitor/FramePath.h"
#include "monitor/MonitorLoop.h"
#include "monitor/RunState.h"

namespace quarn {

// What the logging window drives: one recorder and one player, and the
// activity panel that tells which of them, or the monitoring loop, runs.
class LogOperations {
public:
    LogOperations(Link& link, LinkStatus& status, RunState& state, Monitor& monitor,
                  FramePath& path, LoggingHost& host);

    // The logging window attaches itself while it exists.
    void SetView(LoggingView* view);

    Recorder& recorder() { return m_recorder; }
    const Recorder& recorder() const { return m_recorder; }
    Player& player() { return m_player; }
    const Player& player() const { return m_player; }

    // The window's Stop: ends a recording (or withdraws a Record waiting for
    // its answer) and a playback.
    void StopLogging();
    // Puts what is going on now into the activity panel: "Recording",
    // "Log Playback", "Monitoring" or nothing. Texts of the link's own
    // (COM FAIL, COM Reset) are left alone.
    void ShowActivity();

    // The car the conversion uses now.
    const VehicleData& Vehicle() const { return m_path.Vehicle(); }
    // The file a recording writes into (empty when none runs).
    const QString& RecordingFile() const { return m_recorder.File(); }
    bool Playing() const { return m_player.Playing(); }

private:
    LinkStatus& m_status;
    RunState& m_state;
    Monitor& m_monitor;
    FramePath& m_path;
    Recorder m_recorder;
    Player m_player;
};

}  // namespace quarn
