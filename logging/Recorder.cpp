#include "logging/Recorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "logging/LogFormat.h"

namespace quarn {

void Recorder::Problem(const QString& text) {
    // A trigger may act with the logging window never opened.
    if (m_view)
        m_view->ShowProblem(text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void Recorder::Stop() {
    m_triggered = false;
    m_fallenSince.reset();
    // Frames already recorded are no one's pre-trigger.
    m_ring.clear();
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
    // The datalog directory is made when first recorded into.
    if (QFileInfo(name).absolutePath() == QDir(m_directory).absolutePath() && !BeginDated()) {
        if (m_view) m_view->HaltAction();
        return;
    }
    if (!QFileInfo::exists(name)) {
        Begin(name, m_link.SystemTime().Now());
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
        Begin(name, m_link.SystemTime().Now());
    });
}

void Recorder::Begin(const QString& name, Clock::TimePoint start, bool bringLoop) {
    m_file = name;
    m_nextRecord = 1;
    m_userMarkers = 0;
    m_nextDue = {};
    // The log is new, so any old sidecar of that name goes too. A sidecar
    // that cannot be written leaves the recording as it is.
    const auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_link.SystemTime().Now() - start);
    m_sidecar.Create(name, QDateTime::currentDateTimeUtc().addMSecs(-before.count()));
    m_start = start;
    m_state.Recording = true;
    m_activityChanged();
    if (!bringLoop || m_monitor.Running()) return;
    // No monitoring loop runs (it ended with a playback): bring the link back
    // and run the loop from here until it stops again.
    m_link.ConnectLink();
    m_state.Monitoring = true;
    m_monitor.MonitorLoop();
}

void Recorder::Write() {
    const Clock::TimePoint now = m_link.SystemTime().Now();
    if (m_minSpacing > Clock::TimePoint::duration::zero()) {
        // At most one record per spacing, on average: a frame that comes
        // early is left out, and a late one does not shift the ones after.
        if (now < m_nextDue) return;
        const Clock::TimePoint from =
            m_nextDue == Clock::TimePoint{} ? now : std::max(m_nextDue, now - m_minSpacing);
        m_nextDue = from + m_minSpacing;
    }
    WriteFrame(m_link.RxBuf(), now);
}

bool Recorder::WriteFrame(const ByteBuffer& frame, Clock::TimePoint at) {
    const QString& name = m_file;
    std::string error;
    if (name.isEmpty() ||
        !WriteRecordAt(QFile::encodeName(name).toStdString(), m_nextRecord, frame, &error)) {
        const bool unnamed = name.isEmpty();
        // Stop at once: every record written so far stays as it is.
        Stop();
        Problem(unnamed
                    ? QStringLiteral("Recording stopped: the log file has no name.")
                    : QStringLiteral("Recording stopped: the log file could not be written.\n%1")
                          .arg(QString::fromStdString(error)));
        if (m_view) m_view->HaltAction();
        return false;
    }
    // Only after the record is in the log: the sidecar is never ahead of it.
    m_sidecar.AppendTime(std::chrono::duration<double>(at - m_start).count());
    ++m_nextRecord;
    if (m_view) m_view->SetCounter(m_nextRecord);
    return true;
}

void Recorder::SetMaxRate(int recordsPerSecond) {
    m_minSpacing = recordsPerSecond > 0
                       ? std::chrono::duration_cast<Clock::TimePoint::duration>(std::chrono::seconds(1)) /
                             recordsPerSecond
                       : Clock::TimePoint::duration::zero();
}

void Recorder::SetTpsTrigger(bool on) {
    m_tpsTrigger = on;
    m_triggerFailed = false;
    if (!on) m_ring.clear();
}

QString Recorder::DatedFileName(const QDateTime& when) const {
    const QDir dir(m_directory);
    const QString stem = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString name = dir.filePath(stem + QStringLiteral(".qz0"));
    // Two runs in one second get a number each.
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = dir.filePath(QStringLiteral("%1_%2.qz0").arg(stem).arg(n));
    return name;
}

bool Recorder::BeginDated() {
    if (m_directory.trimmed().isEmpty() || !QDir().mkpath(m_directory)) {
        Problem(QStringLiteral("Recording could not start: the datalog directory \"%1\" could "
                               "not be made. Choose another in Session Properties.")
                    .arg(m_directory));
        return false;
    }
    return true;
}

void Recorder::Offer(double tpsVolts) {
    if (!m_tpsTrigger || m_triggerFailed) return;
    const Clock::TimePoint now = m_link.SystemTime().Now();
    if (m_state.Recording || m_startPending) {
        if (!m_triggered) return;  // the user's own recording
        if (tpsVolts > kTriggerVolts) {
            m_fallenSince.reset();
        } else if (!m_fallenSince) {
            m_fallenSince = now;
        } else if (now - *m_fallenSince >= kPostTrigger) {
            Stop();
        }
        return;
    }
    m_ring.push_back({m_link.RxBuf(), now});
    while (now - m_ring.front().at > kPreTrigger) m_ring.pop_front();
    if (tpsVolts <= kTriggerVolts) return;

    if (!BeginDated()) {
        m_triggerFailed = true;
        m_ring.clear();
        return;
    }
    // The run starts at its oldest frame; each record keeps the time it
    // was received at. This frame is the ring's last.
    std::deque<RingFrame> ring;
    ring.swap(m_ring);
    // Only a loop's frames reach here: it goes on as it is.
    Begin(DatedFileName(QDateTime::currentDateTime()), ring.front().at, false);
    m_triggered = true;
    for (const RingFrame& f : ring)
        if (!WriteFrame(f.frame, f.at)) return;
}

void Recorder::ToggleByKey() {
    if (m_state.Recording || m_startPending) {
        if (m_view)
            m_view->HaltAction();  // the window's Stop, so its buttons agree
        else
            Stop();
        return;
    }
    if (!BeginDated()) return;
    Begin(DatedFileName(QDateTime::currentDateTime()), m_link.SystemTime().Now());
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
