#include "logging/Recorder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <utility>

#include "logging/LogFormat.h"

namespace quarn {

void Recorder::Problem(const QString& text) {
    if (m_view) m_view->ShowProblem(text);
}

void Recorder::Stop() {
    m_state.Recording = false;
    m_startPending = false;
    m_file.clear();
    m_sidecar.Close();
    m_activityChanged();
}

void Recorder::Start() {
    const QString name = m_view ? m_view->LogFileName() : QString();
    if (name.trimmed().isEmpty()) {
        Problem(QStringLiteral("Enter the name of the log file to record into."));
        if (m_view) m_view->HaltAction();
        return;
    }
    if (m_state.Recording || m_startPending) return;
    if (!QFileInfo::exists(name)) {
        Begin(name);
        return;
    }
    if (!m_view) return;
    m_startPending = true;
    // The question does not hold the frames: monitoring goes on while it is
    // open, and the answer continues here.
    m_view->AskOverwrite(name, [this, name](bool overwrite) {
        if (!std::exchange(m_startPending, false)) return;  // Stop came first
        if (!overwrite) {
            if (m_view) m_view->ShowOverwriteDeclined();
            Stop();
            return;
        }
        QFile file(name);
        if (!file.remove()) {
            Problem(QStringLiteral("The log file \"%1\" could not be deleted: %2")
                        .arg(name, file.errorString()));
            if (m_view) m_view->HaltAction();
            return;
        }
        Begin(name);
    });
}

void Recorder::Begin(const QString& name) {
    m_file = name;
    m_nextRecord = 1;
    m_userMarkers = 0;
    // The log is new, so any old sidecar of that name goes too. A sidecar
    // that cannot be written leaves the recording as it is.
    m_sidecar.Create(name, QDateTime::currentDateTimeUtc());
    m_start = m_link.SystemTime().Now();
    m_state.Recording = true;
    m_activityChanged();
    if (m_monitor.Running()) return;
    // No monitoring loop runs (it ended with a playback): bring the link back
    // and run the loop from here until it stops again.
    m_link.ConnectLink();
    m_state.Monitoring = true;
    m_monitor.MonitorLoop();
}

void Recorder::Write() {
    const QString& name = m_file;
    std::string error;
    if (name.isEmpty() || !WriteRecordAt(QFile::encodeName(name).toStdString(), m_nextRecord,
                                         m_link.RxBuf(), &error)) {
        const bool unnamed = name.isEmpty();
        // Stop at once: every record written so far stays as it is.
        Stop();
        Problem(unnamed
                    ? QStringLiteral("Recording stopped: the log file has no name.")
                    : QStringLiteral("Recording stopped: the log file could not be written.\n%1")
                          .arg(QString::fromStdString(error)));
        if (m_view) m_view->HaltAction();
        return;
    }
    // Only after the record is in the log: the sidecar is never ahead of it.
    m_sidecar.AppendTime(
        std::chrono::duration<double>(m_link.SystemTime().Now() - m_start).count());
    ++m_nextRecord;
    if (m_view) m_view->SetCounter(m_nextRecord);
}

void Recorder::AddMarker(const QString& kind, const QString& name) {
    if (!m_state.Recording || m_file.isEmpty()) return;
    m_sidecar.AppendMarker(m_nextRecord - 1, kind, name);
}

void Recorder::AddUserMarker() {
    if (!m_state.Recording || m_file.isEmpty()) return;
    AddMarker(QStringLiteral("user"), QStringLiteral("Marker %1").arg(++m_userMarkers));
}

}  // namespace quarn
