#include "logging/Player.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "logging/LogSidecar.h"

namespace quarn {
namespace {

constexpr std::chrono::milliseconds kPauseWait{20};
// More records than the longest running average of the conversion holds.
constexpr std::int64_t kWarmUpRecords = 16;

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

std::int64_t Player::TickFrequency(std::int64_t recordCount) {
    // Rounded half to even, as the program has always placed its ticks; a log
    // of fewer than ten records would otherwise get an interval of 0.
    const double twentieth = static_cast<double>(recordCount) / 20;
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::nearbyint(twentieth)));
}

void Player::Problem(const QString& text) {
    if (m_view) m_view->ShowProblem(text);
}

void Player::SetMeasuredFrameRate(double framesPerSecond) {
    if (framesPerSecond > 0) m_measuredRate = framesPerSecond;
}

double Player::WireFrameRate(double baud) {
    return quarn::WireFrameRate(baud);
}

double Player::PlaybackFrameRate() const {
    if (m_measuredRate > 0) return m_measuredRate;
    const double wire = WireFrameRate(m_link.CurBaud().toDouble());
    return wire > 0 ? wire : WireFrameRate(115200);
}

Player::RecordTime Player::TimeOfRecord(std::int64_t n) const {
    // The one place that knows when a record was taken: the sidecar's time
    // when there is one, else the record's place in the file stands for it.
    n = std::max<std::int64_t>(n, 1);
    return RecordTime{SecondsOfRecord(n), n > static_cast<std::int64_t>(m_playTimes.size())};
}

double Player::SecondsOfRecord(std::int64_t n) const {
    const double rate = m_playbackRate > 0 ? m_playbackRate : PlaybackFrameRate();
    const auto known = static_cast<std::int64_t>(m_playTimes.size());
    if (known == 0) return static_cast<double>(n - 1) / rate;
    if (n <= known) return m_playTimes[n - 1] - m_playTimes[0];
    // Past the sidecar's end (cut by a crash) the axis goes on from its last
    // time and never back.
    return m_playTimes.back() - m_playTimes[0] + static_cast<double>(n - known) / rate;
}

std::optional<Player::RecordTime> Player::PlaybackTime() const {
    if (!Playing() || m_shownRecord < 1) return std::nullopt;
    return TimeOfRecord(m_shownRecord);
}

void Player::Play(std::int64_t first, std::int64_t last) {
    m_stopRequested = false;
    if (m_paused) {
        m_paused = false;  // the playback waiting in its pause goes on
        return;
    }
    NoView noView;
    auto view = [&]() -> LoggingView& { return m_view ? *m_view : noView; };
    const QString name = view().LogFileName();
    // Everything that can make a Play play nothing is found out before live
    // monitoring is given up: a mistyped name must not freeze the dashboard.
    const QString problem = OpenForPlayback(name, first, last);
    if (!problem.isEmpty()) {
        m_reader.Close();
        Problem(problem);
        view().HaltAction();
        return;
    }
    m_state.Monitoring = false;
    m_host.ShowDashboard();
    m_host.PlaybackStarting();
    view().ShowPlaybackStatus();
    m_state.StartSeconds = RoundSecondsHalfEven(m_link.SystemTime().TimeOfDay());
    m_playbackRate = PlaybackFrameRate();
    m_shownRecord = 0;
    m_activityChanged();

    m_skipped = 0;
    const std::int64_t recordCount = m_reader.RecordCount();
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
            if (m_reader.Read(n, m_link.RxBuf()) == RecordStatus::Ok) m_path.WarmUp(m_link.RxBuf());
        }
        Clock& clock = m_link.SystemTime();
        Clock::TimePoint paceFrom = clock.Now();
        std::int64_t shownSincePause = 0;
        for (std::int64_t i = from; i <= to; ++i) {
            view().SetCounter(i);
            view().SetSliderPosition(i);
            if (m_paused) {
                while (m_paused) m_link.Yield(kPauseWait);
                paceFrom = clock.Now();
                shownSincePause = 0;
            }
            // A position chosen while paused takes effect here.
            i = std::clamp<std::int64_t>(view().SliderPosition(), from, to);
            ShowRecord(i);
            m_link.Yield();
            PaceAfterRecord(i, ++shownSincePause, paceFrom);
            if (m_stopRequested) {
                i = to;
                m_stopRequested = false;
            }
        }
    }
    const std::int64_t trailing = m_reader.TrailingBytes();
    m_reader.Close();
    m_shownRecord = 0;
    m_playTimes.clear();
    // Live data comes back by itself once the playback is over.
    m_host.PlaybackEnded();
    m_activityChanged();
    view().SetSliderPosition(1);
    view().HideSlider();
    view().HaltAction();
    if (m_skipped > 0)
        Problem(QStringLiteral("%1 damaged records of \"%2\" could not be shown and were skipped.")
                    .arg(m_skipped)
                    .arg(name));
    if (trailing > 0)
        Problem(QStringLiteral("The last %1 bytes of \"%2\" do not make a whole record and were "
                               "not played.")
                    .arg(trailing)
                    .arg(name));
}

QString Player::OpenForPlayback(const QString& name, std::int64_t first, std::int64_t last) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Enter the name of the log file to play.");
    if (QFileInfo(name).isDir())
        return QStringLiteral("\"%1\" is a folder, not a log file.").arg(name);
    // Never create the file: playing a mistyped name must leave no trace.
    if (!QFileInfo::exists(name))
        return QStringLiteral("The log file \"%1\" does not exist.").arg(name);
    std::string error;
    if (!m_reader.Open(QFile::encodeName(name).toStdString(), &error))
        return QStringLiteral("The log file could not be opened.\n%1")
            .arg(QString::fromStdString(error));
    const std::int64_t recordCount = m_reader.RecordCount();
    if (recordCount == 0) {
        if (m_reader.TrailingBytes() > 0)
            return QStringLiteral("The last %1 bytes of \"%2\" do not make a whole record and "
                                  "were not played.")
                .arg(m_reader.TrailingBytes())
                .arg(name);
        return QStringLiteral("The log file \"%1\" is empty: it holds no records to play.")
            .arg(name);
    }
    if (std::max<std::int64_t>(first, 1) > std::min(last, recordCount))
        return QStringLiteral("The log file \"%1\" holds %2 records: records %3 to %4 are not "
                              "in it.")
            .arg(name)
            .arg(recordCount)
            .arg(first)
            .arg(last);
    return {};
}

void Player::PaceAfterRecord(std::int64_t record, std::int64_t shownSincePause,
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
    while (!m_stopRequested && !m_paused) {
        const Clock::TimePoint now = clock.Now();
        if (now >= due) break;
        m_link.Yield(std::chrono::ceil<std::chrono::milliseconds>(due - now));
    }
}

void Player::Seek() {
    if (!m_reader.IsOpen() || !m_view) return;
    const std::int64_t n = m_view->SliderPosition();
    ShowRecord(n);
    m_view->SetCounter(n);
    m_link.Yield();
}

bool Player::ShowRecord(std::int64_t n) {
    ByteBuffer& rxBuf = m_link.RxBuf();
    m_shownRecord = n;
    if (m_reader.Read(n, rxBuf) != RecordStatus::Ok) {
        // A damaged record is never decoded past its end; it is counted and
        // reported once the playback ends.
        ++m_skipped;
        return false;
    }
    // A stored frame that fails validation is shown all the same: the log
    // holds only frames that were good when they arrived.
    m_path.Decode(rxBuf);
    m_path.Deliver(FrameSource::Log);
    return true;
}

}  // namespace quarn
