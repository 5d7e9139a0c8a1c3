#pragma once

// A dashboard recording from the simulated box through a real
// pseudo-terminal while heavy operations run one after another, each started
// from its own event. For every operation the rig notes how many records
// the log held when it started and when it was seen finished; the sidecar's
// record times then give the worst hole in the recording around it. Shared
// by the test that frames keep being recorded and by the benchmark of the
// holes.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "app/SuperDash.h"
#include "decode/Frame.h"
#include "link/LinkFakes.h"
#include "logging/LogFormat.h"
#include "logging/LogSidecar.h"
#include "logging/Logging.h"

namespace quarn::test {

struct HeavyOperation {
    std::string name;
    // Runs from its own event while the recording runs.
    std::function<void()> start;
    // Polled from later events until true.
    std::function<bool()> finished;
};

struct OperationSpan {
    std::string name;
    bool completed = false;
    std::int64_t recordsAtStart = 0;  // in the log as the operation began
    std::int64_t recordsAtEnd = 0;    // as it was seen finished
    // The longest time between two records from the last one before the
    // operation to the first one after it, from the sidecar.
    double worstGapSeconds = 0;
    std::int64_t worstGapAfter = 0;  // the record before that gap

    std::int64_t RecordsDuring() const { return recordsAtEnd - recordsAtStart; }
};

// A log of count records of varied frames, written in one go.
inline bool WriteBigLog(const QString& path, std::int64_t count) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> analog(0, 1023), timer(1, 65535);
    QByteArray block;
    for (std::int64_t n = 0; n < count; ++n) {
        RawFrame raw;
        for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
        for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
        const RecordBytes rec = EncodeRecord(EncodeFrame(raw));
        block.append(reinterpret_cast<const char*>(rec.data()), rec.size());
        if (block.size() >= (1 << 20)) {
            if (file.write(block) != block.size()) return false;
            block.clear();
        }
    }
    return file.write(block) == block.size();
}

class RecordingRig {
public:
    // Records this many before the first operation and after each one, so
    // that every hole lies between two recorded frames.
    static constexpr std::int64_t kSettleRecords = 30;

    // Starts the simulator with simArgs and a dashboard on it; false when
    // the simulator is not there or does not start.
    bool Start(const QStringList& simArgs) {
        if (!m_dir.isValid() || !SimProcess::Built()) return false;
        const QString link = Path(QStringLiteral("box"));
        if (!m_sim.Start(simArgs, link)) return false;
        qputenv("QUARN_COM1", QFile::encodeName(link));
        const QString ini = Path(QStringLiteral("quarnom.ini"));
        if (!WriteSettings(1, ini)) return false;
        DashOptions options;
        options.alerts = &m_alerts;
        options.settingsPath = ini;
        options.splashSeconds = 0.05;
        m_dash = std::make_unique<SuperDash>(std::move(options));
        m_dash->ShowLogging();
        m_dash->logging()->logFile()->setText(LogPath());
        m_dash->logging()->askOverwrite = [](const QString&) { return true; };
        return true;
    }

    ~RecordingRig() {
        m_dash.reset();
        qunsetenv("QUARN_COM1");
    }

    SuperDash& dash() { return *m_dash; }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString LogPath() const { return Path(QStringLiteral("recording.qz0")); }
    std::int64_t Records() const { return m_dash->log().recorder().NextRecord() - 1; }

    // Records, runs the operations in order, stops, and measures. Gives up
    // after timeoutMs; operations not reached then are not completed.
    std::vector<OperationSpan> Run(const std::vector<HeavyOperation>& ops, int timeoutMs = 120000) {
        std::vector<OperationSpan> spans(ops.size());
        for (std::size_t i = 0; i < ops.size(); ++i) spans[i].name = ops[i].name;
        enum class Phase { Settling, Starting, Running } phase = Phase::Settling;
        std::size_t next = 0;
        std::int64_t settledAt = kSettleRecords;
        SuperDash& dash = *m_dash;
        QTimer script;
        script.setInterval(2);
        QObject::connect(&script, &QTimer::timeout, [&] {
            if (!dash.state().Recording) {
                if (next == 0 && dash.monitor().GoodFrames() >= 20 && !dash.logging()->haltButton()->isEnabled())
                    dash.logging()->Record_Click();
                return;
            }
            if (phase == Phase::Starting) return;  // inside a start that does not return
            if (phase == Phase::Running) {
                if (!ops[next].finished()) return;
                spans[next].recordsAtEnd = Records();
                spans[next].completed = true;
                settledAt = Records() + kSettleRecords;
                ++next;
                phase = Phase::Settling;
                return;
            }
            if (Records() < settledAt) return;
            if (next == ops.size()) {
                dash.logging()->Halt_Click();
                dash.state().Monitoring = false;
                return;
            }
            phase = Phase::Starting;
            QTimer::singleShot(0, &dash, [&, i = next] {
                spans[i].recordsAtStart = Records();
                phase = Phase::Running;
                ops[i].start();
            });
        });
        QTimer::singleShot(timeoutMs, &dash, [&] { dash.state().Monitoring = false; });
        script.start();
        dash.StartUp(nullptr);
        script.stop();
        if (dash.state().Recording) dash.logging()->Halt_Click();

        const SidecarContents sidecar = ReadSidecar(LogPath(), INT64_MAX);
        const std::vector<double>& t = sidecar.times;
        for (OperationSpan& span : spans) {
            if (!span.completed) continue;
            // Record r's time is t[r - 1]; the gap after record r is
            // t[r] - t[r - 1].
            const auto last = static_cast<std::int64_t>(t.size()) - 1;
            for (std::int64_t r = std::max<std::int64_t>(span.recordsAtStart, 1);
                 r <= std::min(span.recordsAtEnd, last); ++r) {
                const double gap = t[static_cast<std::size_t>(r)] - t[static_cast<std::size_t>(r - 1)];
                if (gap <= span.worstGapSeconds) continue;
                span.worstGapSeconds = gap;
                span.worstGapAfter = r;
            }
        }
        return spans;
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    RecordingAlerts m_alerts;
    std::unique_ptr<SuperDash> m_dash;
};

}  // namespace quarn::test
