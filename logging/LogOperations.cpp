#include "logging/LogOperations.h"

namespace quarn {
namespace {

const QString kRecording = QStringLiteral("Recording");
const QString kLogPlayback = QStringLiteral("Log Playback");
const QString kMonitoring = QStringLiteral("Monitoring");
const QString kInitializing = QStringLiteral("Initializing");

}  // namespace

LogOperations::LogOperations(Link& link, LinkStatus& status, RunState& state, Monitor& monitor,
                             FramePath& path, LoggingHost& host)
    : m_status(status),
      m_state(state),
      m_monitor(monitor),
      m_path(path),
      m_recorder(link, state, monitor, [this] { ShowActivity(); }),
      m_player(link, state, path, host, [this] { ShowActivity(); }) {}

void LogOperations::SetView(LoggingView* view) {
    m_recorder.SetView(view);
    m_player.SetView(view);
}

void LogOperations::StopLogging() {
    m_recorder.Stop();
    m_player.Stop();
}

void LogOperations::ShowActivity() {
    const QString now = m_status.PanelText(LinkStatus::kActivityPanel);
    // Only texts that tell of recording, playback or a connection under way
    // can have gone stale; the link's own warnings stay until it clears them.
    if (!now.isEmpty() && now != kRecording && now != kLogPlayback && now != kMonitoring &&
        now != kInitializing)
        return;
    QString text;
    if (m_state.Recording)
        text = kRecording;
    else if (Playing())
        text = kLogPlayback;
    else if (m_monitor.Running() && m_state.Monitoring)
        text = kMonitoring;
    if (text != now) m_status.SetPanelText(LinkStatus::kActivityPanel, text);
}

}  // namespace quarn
