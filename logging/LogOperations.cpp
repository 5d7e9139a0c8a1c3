#include "logging/LogOperations.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "decode/Frame.h"

namespace quarn {
namespace {

constexpr std::chrono::milliseconds kPauseWait{20};
// More records than the longest running average of the conversion holds.
constexpr std::int64_t kWarmUpRecords = 16;
const QString kRecording = QStringLiteral("Recording");
const QString kLogPlayback = QStringLiteral("Log Playback");
const QString kMonitoring = QStringLiteral("Monitoring");
const QString kInitializing = QStringLiteral("Initializing");
// A one-byte request and a 38-byte answer at 10 bits a byte.
constexpr double kBitsPerFrame = (1 + kFrameBytes) * 10;
constexpr double kTurnaroundSeconds = 0.0005;

// Stands in for the logging window once it has gone, so an operation that
// outlives it (a playback halted by the window's closing) winds down quietly.
class NoView final : public LoggingView {
public:
    QString LogFileName() const override { return {}; }
    void SetCounter(std::int64_t) override {}
    void SetupSlider(std::int64_t, std::int64_t, std::int64_t) override {}
    void SetSliderPosition(std::int64_t position) override { m_position = position; }
    std::int64_t SliderPosition() const override { return m_position; }
    void HideSlider() override {}
    int PlaybackRate() const override { return 0; }
    void ShowOverwriteDeclined() override {}
    void HaltAction() override {}
    void AskOverwrite(const QString&, std::function<void(bool)>) override {}
    void ShowProblem(const QString&) override {}

private:
    std::int64_t m_position = 1;
};

}  // namespace

LogOperations::LogOperations(Link& link, LinkStatus& status, RunState& state, Monitor& monitor,
                             ChannelRecord& rec, Conversion& conversion,
                             const VehicleData& vehicle, FrameConsumers& consumers,
                             LoggingHost& host)
    : m_link(link),
      m_status(status),
      m_state(state),
      m_monitor(monitor),
      m_rec(rec),
      m_conversion(conversion),
      m_vehicle(vehicle),
      m_consumers(consumers),
      m_host(host) {}

std::int64_t LogOperations::TickFrequency(std::int64_t recordCount) {
    // Rounded half to even, as the program has always placed its ticks; a log
    // of fewer than ten records would otherwise get an interval of 0.
    const double twentieth = static_cast<double>(recordCount) / 20;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::nearbyint(twentieth)));
}

void LogOperations::Problem(const QString& text) {
    if (m_view) m_view->ShowProblem(text);
}

void LogOperations::StopLogging() {
    m_state.Recording = false;
    m_startPending = false;
    m_recordFile.clear();
    m_sidecar.Close();
    ShowActivity();
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

void LogOperations::StartRecording() {
    const QString name = m_view ? m_view->LogFileName() : QString();
    if (name.trimmed().isEmpty()) {
        Problem(QStringLiteral("Enter the name of the log file to record into."));
        if (m_view) m_view->HaltAction();
        return;
    }
    if (m_state.Recording || m_startPending) return;
    if (!QFileInfo::exists(name)) {
        BeginRecording(name);
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
            StopLogging();
            return;
        }
        QFile file(name);
        if (!file.remove()) {
            Problem(QStringLiteral("The log file \"%1\" could not be deleted: %2")
                        .arg(name, file.errorString()));
            if (m_view) m_view->HaltAction();
            return;
        }
        BeginRecording(name);
    });
}

void LogOperations::BeginRecording(const QString& name) {
    m_recordFile = name;
    NextRecord = 1;
    m_userMarkers = 0;
    // The log is new, so any old sidecar of that name goes too. A sidecar
    // that cannot be written leaves the recording as it is.
    m_sidecar.Create(name, QDateTime::currentDateTimeUtc());
    m_recordStart = m_link.SystemTime().Now();
    m_state.Recording = true;
    ShowActivity();
    if (m_monitor.Running()) return;
    // No monitoring loop runs (it ended with a playback): bring the link back
    // and run the loop from here until it stops again.
    m_link.ConnectLink();
    m_state.Monitoring = true;
    m_monitor.MonitorLoop();
}

void LogOperations::WriteLogRecord() {
    const QString& name = m_recordFile;
    std::string error;
    if (name.isEmpty() || !WriteRecordAt(QFile::encodeName(name).toStdString(), NextRecord,
                                         m_link.RxBuf(), &error)) {
        const bool unnamed = name.isEmpty();
        // Stop at once: every record written so far stays as it is.
        StopLogging();
        Problem(unnamed
                    ? QStringLiteral("Recording stopped: the log file has no name.")
                    : QStringLiteral("Recording stopped: the log file could not be written.\n%1")
                          .arg(QString::fromStdString(error)));
        if (m_view) m_view->HaltAction();
        return;
    }
    // Only after the record is in the log: the sidecar is never ahead of it.
    m_sidecar.AppendTime(
        std::chrono::duration<double>(m_link.SystemTime().Now() - m_recordStart).count());
    ++NextRecord;
    if (m_view) m_view->SetCounter(NextRecord);
}

void LogOperations::AddMarker(const QString& kind, const QString& name) {
    if (!m_state.Recording || m_recordFile.isEmpty()) return;
    m_sidecar.AppendMarker(NextRecord - 1, kind, name);
}

void LogOperations::AddUserMarker() {
    if (!m_state.Recording || m_recordFile.isEmpty()) return;
    AddMarker(QStringLiteral("user"), QStringLiteral("Marker %1").arg(++m_userMarkers));
}

void LogOperations::SetMeasuredFrameRate(double framesPerSecond) {
    if (framesPerSecond > 0) m_measuredRate = framesPerSecond;
}

double LogOperations::WireFrameRate(double baud) {
    if (!(baud > 0)) return 0;
    return 1 / (kBitsPerFrame / baud + kTurnaroundSeconds);
}

double LogOperations::PlaybackFrameRate() const {
    if (m_measuredRate > 0) return m_measuredRate;
    const double wire = WireFrameRate(m_link.CurBaud().toDouble());
    return wire > 0 ? wire : WireFrameRate(115200);
}

LogOperations::RecordTime LogOperations::TimeOfRecord(std::int64_t n) const {
    // The one place that knows when a record was taken: the sidecar's time
    // when there is one, else the record's place in the file stands for it.
    n = std::max<std::int64_t>(n, 1);
    return RecordTime{SecondsOfRecord(n), n > static_cast<std::int64_t>(m_playTimes.size())};
}

double LogOperations::SecondsOfRecord(std::int64_t n) const {
    const double rate = m_playbackRate > 0 ? m_playbackRate : PlaybackFrameRate();
    const auto known = static_cast<std::int64_t>(m_playTimes.size());
    if (known == 0) return static_cast<double>(n - 1) / rate;
    if (n <= known) return m_playTimes[n - 1] - m_playTimes[0];
    // Past the sidecar's end (cut by a crash) the axis goes on from its last
    // time and never back.
    return m_playTimes.back() - m_playTimes[0] + static_cast<double>(n - known) / rate;
}

std::optional<LogOperations::RecordTime> LogOperations::PlaybackTime() const {
    if (!Playing() || m_shownRecord < 1) return std::nullopt;
    return TimeOfRecord(m_shownRecord);
}

void LogOperations::PlayLog(std::int64_t first, std::int64_t last) {
    StopRequested = false;
    if (Paused) {
        Paused = false;  // the playback waiting in its pause goes on
        return;
    }
    m_state.Monitoring = false;
    m_host.ShowDashboard();
    m_host.PlaybackStarting();
    m_state.StartSeconds = RoundSecondsHalfEven(m_link.SystemTime().TimeOfDay());
    m_playbackRate = PlaybackFrameRate();
    m_shownRecord = 0;

    NoView noView;
    auto view = [&]() -> LoggingView& { return m_view ? *m_view : noView; };
    const QString name = view().LogFileName();
    std::string error;
    if (name.trimmed().isEmpty()) {
        Problem(QStringLiteral("Enter the name of the log file to play."));
    } else if (QFileInfo(name).isDir()) {
        Problem(QStringLiteral("\"%1\" is a folder, not a log file.").arg(name));
    } else if (!QFileInfo::exists(name)) {
        // Never create the file: playing a mistyped name must leave no trace.
        Problem(QStringLiteral("The log file \"%1\" does not exist.").arg(name));
    } else if (!m_reader.Open(QFile::encodeName(name).toStdString(), &error)) {
        Problem(QStringLiteral("The log file could not be opened.\n%1")
                    .arg(QString::fromStdString(error)));
    } else {
        ShowActivity();
    }

    m_skipped = 0;
    const std::int64_t recordCount = m_reader.IsOpen() ? m_reader.RecordCount() : 0;
    m_playTimes.clear();
    if (recordCount > 0) m_playTimes = ReadSidecar(name, recordCount).times;
    // The records asked for that the log holds; none when the range lies
    // past its end.
    const std::int64_t from = std::max<std::int64_t>(first, 1);
    const std::int64_t to = std::min(last, recordCount);
    m_playLast = to;
    if (recordCount > 0 && from <= to) {
        view().SetupSlider(from, to, TickFrequency(to - from + 1));
        // The conversion's running averages take in the records before the
        // range, unseen, so its first records show the values they show
        // when the whole log plays.
        for (std::int64_t n = std::max<std::int64_t>(1, from - kWarmUpRecords); n < from; ++n) {
            if (m_reader.Read(n, m_link.RxBuf()) != RecordStatus::Ok) continue;
            DecodeFrame(m_link.RxBuf(), m_rec);
            m_conversion.ComputeChannels(m_rec, m_vehicle);
        }
        Clock& clock = m_link.SystemTime();
        Clock::TimePoint paceFrom = clock.Now();
        std::int64_t shownSincePause = 0;
        for (std::int64_t i = from; i <= to; ++i) {
            view().SetCounter(i);
            view().SetSliderPosition(i);
            if (Paused) {
                while (Paused) m_link.Yield(kPauseWait);
                paceFrom = clock.Now();
                shownSincePause = 0;
            }
            // A position chosen while paused takes effect here.
            i = std::clamp<std::int64_t>(view().SliderPosition(), from, to);
            ShowRecord(i);
            m_link.Yield();
            PaceAfterRecord(i, ++shownSincePause, paceFrom);
            if (StopRequested) {
                i = to;
                StopRequested = false;
            }
        }
    }
    const bool opened = m_reader.IsOpen();
    const std::int64_t trailing = opened ? m_reader.TrailingBytes() : 0;
    m_reader.Close();
    m_shownRecord = 0;
    m_playTimes.clear();
    ShowActivity();
    view().SetSliderPosition(1);
    view().HideSlider();
    view().HaltAction();
    if (m_skipped > 0)
        Problem(QStringLiteral("%1 damaged records of \"%2\" could not be shown and were skipped.")
                    .arg(m_skipped)
                    .arg(name));
    if (opened && recordCount > 0 && from > to)
        Problem(QStringLiteral("The log file \"%1\" holds %2 records: records %3 to %4 are not in it.")
                    .arg(name)
                    .arg(recordCount)
                    .arg(first)
                    .arg(last));
    if (opened && recordCount == 0 && trailing == 0)
        Problem(QStringLiteral("The log file \"%1\" is empty: it holds no records to play.")
                    .arg(name));
    if (trailing > 0)
        Problem(QStringLiteral("The last %1 bytes of \"%2\" do not make a whole record and were "
                               "not played.")
                    .arg(trailing)
                    .arg(name));
}

void LogOperations::PaceAfterRecord(std::int64_t record, std::int64_t shownSincePause,
                                    Clock::TimePoint since) {
    const int rate = m_view ? m_view->PlaybackRate() : 0;
    // Each record has its slot in time from the last start or resume, so the
    // pace does not drift with the time the displays take.
    double offset = 0;
    if (rate == LoggingView::kRealTime) {
        // The next record comes after the time that separated it, when
        // recorded, from the record this start or resume began with.
        if (shownSincePause == 1) m_paceFrom = record;
        if (record >= std::min(m_reader.RecordCount(), m_playLast)) return;
        offset = SecondsOfRecord(record + 1) - SecondsOfRecord(m_paceFrom);
    } else if (rate > 0) {
        offset = static_cast<double>(shownSincePause) / rate;
    } else {
        return;
    }
    Clock& clock = m_link.SystemTime();
    const Clock::TimePoint due =
        since + std::chrono::duration_cast<Clock::TimePoint::duration>(
                    std::chrono::duration<double>(offset));
    while (!StopRequested && !Paused) {
        const Clock::TimePoint now = clock.Now();
        if (now >= due) break;
        m_link.Yield(std::chrono::ceil<std::chrono::milliseconds>(due - now));
    }
}

void LogOperations::SeekLog() {
    if (!m_reader.IsOpen() || !m_view) return;
    const std::int64_t n = m_view->SliderPosition();
    ShowRecord(n);
    m_view->SetCounter(n);
    m_link.Yield();
}

bool LogOperations::ShowRecord(std::int64_t n) {
    ByteBuffer& rxBuf = m_link.RxBuf();
    m_shownRecord = n;
    if (m_reader.Read(n, rxBuf) != RecordStatus::Ok) {
        // A damaged record is never decoded past its end; it is counted and
        // reported once the playback ends.
        ++m_skipped;
        return false;
    }
    m_state.BadFrame = DecodeFrame(rxBuf, m_rec);
    m_conversion.ComputeChannels(m_rec, m_vehicle);
    FeedDisplays();
    return true;
}

void LogOperations::FeedDisplays() {
    if (m_consumers.DashboardVisible()) m_consumers.UpdateDash();
    for (int slot = Monitor::kFirstScopeSlot; slot <= Monitor::kLastScopeSlot; ++slot)
        if (m_consumers.ScopeVisible(slot)) m_consumers.FeedScopes(slot);
}

}  // namespace quarn
