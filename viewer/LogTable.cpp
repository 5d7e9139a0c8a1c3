#include "viewer/LogTable.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>


namespace quarn {
namespace {

struct ChannelSource {
    ViewerChannel channel;
    float ChannelRecord::*value = nullptr;        // engineering value
    std::int32_t ChannelRecord::*word = nullptr;  // raw word, as decoded
};

const std::vector<ChannelSource>& Sources() {
    static const std::vector<ChannelSource> sources = [] {
        auto eng = [](const char* name, const char* unit, float ChannelRecord::*v) {
            return ChannelSource{{QString::fromUtf8(name), QString::fromUtf8(unit), false}, v,
                                 nullptr};
        };
        auto raw = [](const char* name, std::int32_t ChannelRecord::*w) {
            return ChannelSource{{QString::fromUtf8(name), QStringLiteral("ticks"), true},
                                 nullptr, w};
        };
        return std::vector<ChannelSource>{
            eng("RPM", "rpm", &ChannelRecord::Rpm),
            eng("MPH", "mph", &ChannelRecord::Mph),
            eng("MAF", "V", &ChannelRecord::MafVolts),
            eng("TPS", "V", &ChannelRecord::TpsVolts),
            eng("ECT", "°F", &ChannelRecord::EctF),
            eng("ACT", "°F", &ChannelRecord::ActF),
            eng("BAP", "inHg", &ChannelRecord::BapPressure),
            eng("Boost", "psi", &ChannelRecord::BoostLevel),
            eng("WideO2", "AFR", &ChannelRecord::WideO2),
            eng("EGTL", "°F", &ChannelRecord::EgtL),
            eng("EGTR", "°F", &ChannelRecord::EgtR),
            eng("HEGOL", "V", &ChannelRecord::HegoL),
            eng("HEGOR", "V", &ChannelRecord::HegoR),
            eng("Advance", "°", &ChannelRecord::AdvanceDeg),
            eng("InjDuty", "%", &ChannelRecord::InjDuty),
            eng("InjPW", "ms", &ChannelRecord::InjPw),
            eng("RWHP", "hp", &ChannelRecord::Rwhp),
            eng("RWTQ", "lb·ft", &ChannelRecord::Rwtq),
            raw("VssPeriod", &ChannelRecord::VssPeriod),
            raw("VssPeriodPrev", &ChannelRecord::VssPeriodPrev),
            raw("AccelInterval", &ChannelRecord::AccelInterval),
        };
    }();
    return sources;
}

// A sidecar may lack the times of the last records a crash cut off, never
// more: one that lacks more belongs to another log or was damaged.
constexpr std::int64_t kCrashShortfall = 2;

}  // namespace

const std::vector<ViewerChannel>& ViewerChannels() {
    static const std::vector<ViewerChannel> channels = [] {
        std::vector<ViewerChannel> out;
        for (const ChannelSource& s : Sources()) out.push_back(s.channel);
        return out;
    }();
    return channels;
}

int ViewerChannelId(const QString& name) {
    const auto& channels = ViewerChannels();
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

std::vector<int> DefaultViewerChannels() {
    std::vector<int> ids;
    for (const char* name : {"RPM", "MPH", "TPS", "WideO2", "Advance", "InjDuty"})
        ids.push_back(ViewerChannelId(QString::fromLatin1(name)));
    return ids;
}

QString LogLoadReport::Summary() const {
    QStringList lines;
    if (scan.malformed)
        lines << QStringLiteral("%1 damaged record(s) were skipped.").arg(scan.malformed);
    if (scan.shortRecords)
        lines << QStringLiteral("%1 short record(s) were skipped.").arg(scan.shortRecords);
    if (scan.trailingBytes)
        lines << QStringLiteral("%1 byte(s) after the last whole record were ignored.")
                     .arg(scan.trailingBytes);
    if (!sidecarProblem.isEmpty()) lines << sidecarProblem;
    return lines.join('\n');
}

// The conversion run and the sidecar reading, carried from Load to Refresh.
struct LogTable::Scanner {
    ScanRun run;
    SidecarParser sidecar{std::numeric_limits<std::int64_t>::max()};
    qint64 sidecarOffset = 0;
    QByteArray sidecarPending;  // a line still being written
    bool sidecarUsable = true;  // false once found not to fit the log
    std::size_t timedRows = 0;  // rows whose axis came from the sidecar
    // Marker lines were read, or markers wait for their record: Markers()
    // must be made again. Otherwise a refresh leaves it alone.
    bool markersDirty = true;
};

bool LogTable::Load(const QString& path, const VehicleData& vehicle, double estimatedFrameRate,
                    const Progress& progress, LogLoadReport* report, QString* error) {
    LogLoadReport local;
    LogLoadReport& r = report ? *report : local;
    r = LogLoadReport();

    // Opening the same file again starts from nothing.
    m_path = path;
    m_vehicle = vehicle;
    m_rate = estimatedFrameRate > 0 ? estimatedFrameRate : 1;
    m_channels = ViewerChannels();
    m_columns.assign(Sources().size(), {});
    m_index.assign(Sources().size(), {});
    m_records.clear();
    m_warmUpRows = 0;
    m_damaged.clear();
    m_axis.clear();
    m_markers.clear();
    m_start = QDateTime();
    m_base = TimeBase::Records;
    m_markersEditable = true;
    m_scanner = std::make_shared<Scanner>();

    // The sidecar first: each of its lines is written after its record, so
    // the log read next holds at least every record the sidecar times.
    ReadSidecarTail();

    LogReader reader;
    std::string why;
    if (!reader.Open(path.toStdString(), &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    const std::int64_t total = reader.RecordCount();
    for (auto& column : m_columns) column.reserve(static_cast<std::size_t>(total));
    m_records.reserve(static_cast<std::size_t>(total));
    m_axis.reserve(static_cast<std::size_t>(total));
    if (!ReadRecords(reader, progress, total, r.scan)) {
        r.cancelled = true;
        return false;
    }
    r.scan.records = total;
    r.scan.trailingBytes = reader.TrailingBytes();

    const SidecarContents& side = m_scanner->sidecar.Contents();
    r.sidecarFound = side.found;
    const QString sideName = QFileInfo(SidecarPath(path)).fileName();
    const auto times = static_cast<std::int64_t>(side.times.size());
    QString problem;
    if (!side.found) {
        if (QFileInfo::exists(SidecarPath(path)) && !SidecarIsReadable(path))
            problem = QStringLiteral("%1 is not a regular file.").arg(sideName);
        else if (QFileInfo::exists(SidecarPath(path)))
            problem = QStringLiteral("%1 is not a time file of this program.").arg(sideName);
    } else if (side.cut) {
        problem = QStringLiteral("%1 is damaged.").arg(sideName);
    } else if (!side.markersOnly && times > total) {
        problem = QStringLiteral("%1 times %2 records, but the log holds %3: it belongs to "
                                 "another log.")
                      .arg(sideName)
                      .arg(times)
                      .arg(total);
    } else if (!side.markersOnly && times + kCrashShortfall < total) {
        problem = QStringLiteral("%1 times only %2 of the log's %3 records.")
                      .arg(sideName)
                      .arg(times)
                      .arg(total);
    }
    if (!problem.isEmpty()) {
        r.sidecarProblem = problem + QStringLiteral(" It was ignored; records are numbered instead.");
        m_scanner->sidecarUsable = false;
        m_markersEditable = !QFileInfo::exists(SidecarPath(path));
    } else if (side.found) {
        r.sidecarUsed = true;
        if (!side.markersOnly) {
            m_base = TimeBase::Recorded;
            m_start = side.start;
        }
    }
    UpdateAxis(0);
    UpdateMarkers();
    return true;
}

std::int64_t LogTable::Refresh(LogLoadReport* report) {
    if (!m_scanner) return 0;
    ReadSidecarTail();
    LogReader reader;
    if (!reader.Open(m_path.toStdString())) return 0;
    LogScan scan;
    const std::size_t before = Rows();
    ReadRecords(reader, nullptr, reader.RecordCount(), scan);
    if (report) {
        report->scan.records = reader.RecordCount();
        report->scan.decoded += scan.decoded;
        report->scan.malformed += scan.malformed;
        report->scan.shortRecords += scan.shortRecords;
        report->scan.badChecksum += scan.badChecksum;
        report->scan.trailingBytes = reader.TrailingBytes();
    }
    UpdateAxis(before);
    UpdateMarkers();
    PadMathColumns();
    return static_cast<std::int64_t>(Rows() - before);
}

int LogTable::ChannelId(const QString& name) const {
    for (std::size_t i = 0; i < m_channels.size(); ++i)
        if (m_channels[i].name.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

void LogTable::SetMathColumns(std::vector<ViewerChannel> channels,
                              std::vector<std::vector<float>> columns) {
    const std::size_t own = Sources().size();
    m_channels.resize(own);
    m_columns.resize(own);
    m_index.resize(own);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        channels[i].math = true;
        m_channels.push_back(std::move(channels[i]));
        m_columns.push_back(i < columns.size() ? std::move(columns[i]) : std::vector<float>());
        m_index.emplace_back();
    }
    PadMathColumns();
}

void LogTable::PadMathColumns() {
    // Every column holds a value for every row, whatever the plots or the
    // analyses read; rows the formulas have not seen yet are gaps.
    for (std::size_t c = Sources().size(); c < m_columns.size(); ++c)
        m_columns[c].resize(Rows(), std::numeric_limits<float>::quiet_NaN());
}

const EnvelopeIndex& LogTable::Index(int id) const {
    const auto c = static_cast<std::size_t>(id);
    EnvelopeIndex& index = m_index[c];
    if (index.Blocks() * EnvelopeIndex::kBlock > m_columns[c].size()) index.Clear();
    index.Extend(m_columns[c]);
    return index;
}

void LogTable::ReloadMarkers() {
    if (!m_scanner) return;
    ReadSidecarTail();
    UpdateMarkers();
}

bool LogTable::ReadRecords(LogReader& reader, const Progress& progress, std::int64_t total,
                           LogScan& scan) {
    const auto& sources = Sources();
    bool cancelled = false;
    const LogScan read = ScanLogFrom(
        reader, m_scanner->run,
        [&](std::int64_t n, bool badChecksum, const ChannelRecord& raw, const ChannelRecord& rec) {
            if (badChecksum) m_damaged.push_back(m_records.size());
            for (std::size_t c = 0; c < sources.size(); ++c)
                m_columns[c].push_back(badChecksum ? std::numeric_limits<float>::quiet_NaN()
                                       : sources[c].word ? static_cast<float>(raw.*sources[c].word)
                                                         : rec.*sources[c].value);
            m_records.push_back(n);
            // The conversion runs from the log's start, so the rows that
            // warm up are the first ones.
            if (m_scanner->run.conversion.WarmingUp()) ++m_warmUpRows;
        },
        nullptr,
        progress ? ExportProgress([&](std::int64_t done) {
            cancelled = !progress(done, total);
            return !cancelled;
        })
                 : ExportProgress(),
        m_vehicle);
    if (cancelled) return false;
    scan.decoded += read.decoded;
    scan.malformed += read.malformed;
    scan.shortRecords += read.shortRecords;
    scan.badChecksum += read.badChecksum;
    if (progress) progress(total, total);
    return true;
}

void LogTable::ReadSidecarTail() {
    Scanner& s = *m_scanner;
    if (!s.sidecarUsable || !SidecarIsReadable(m_path)) return;
    QFile file(SidecarPath(m_path));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(s.sidecarOffset)) return;
    const QByteArray more = file.readAll();
    s.sidecarOffset += more.size();
    s.sidecarPending += more;
    const qsizetype used = s.sidecar.Feed(s.sidecarPending);
    // Only the new lines are looked at: "m", "mr" and "md" change markers.
    const QByteArrayView lines(s.sidecarPending.constData(), used);
    for (qsizetype at = 0; at < lines.size() && !s.markersDirty;) {
        if (lines[at] == 'm') s.markersDirty = true;
        const qsizetype end = lines.indexOf('\n', at);
        at = end < 0 ? lines.size() : end + 1;
    }
    s.sidecarPending.remove(0, used);
}

void LogTable::UpdateAxis(std::size_t from) {
    m_axis.resize(m_records.size());
    m_retimedFrom = std::min(from, m_records.size());
    if (m_base == TimeBase::Records) {
        for (std::size_t i = from; i < m_records.size(); ++i)
            m_axis[i] = static_cast<double>(m_records[i]);
        return;
    }
    // Rows timed by an estimate before their sidecar line arrived are timed
    // again once it has.
    Scanner& s = *m_scanner;
    const std::vector<double>& times = s.sidecar.Contents().times;
    std::size_t i = std::min(from, s.timedRows);
    m_retimedFrom = std::min(i, m_records.size());
    const double t0 = times.empty() ? 0 : times.front();
    for (; i < m_records.size(); ++i) {
        const auto record = static_cast<std::size_t>(m_records[i]);
        double t;
        if (record <= times.size()) {
            t = times[record - 1] - t0;
            s.timedRows = i + 1;
        } else {
            // Past the sidecar's end the axis goes on at the frame rate.
            const double last = times.empty() ? 0 : times.back() - t0;
            t = last + static_cast<double>(record - times.size()) / m_rate;
        }
        m_axis[i] = i > 0 ? std::max(t, m_axis[i - 1]) : t;
    }
}

void LogTable::UpdateMarkers() {
    Scanner& s = *m_scanner;
    if (!s.markersDirty) return;
    m_markers.clear();
    s.markersDirty = false;
    ++m_markerRevision;
    if (!s.sidecarUsable) return;
    const std::int64_t last = std::max(m_records.empty() ? 0 : m_records.back(),
                                       s.run.nextRecord - 1);
    for (const SidecarMarker& m : s.sidecar.Contents().markers) {
        if (m.record <= last) m_markers.push_back(m);
        else s.markersDirty = true;  // its record is still to come
    }
}

double LogTable::SecondsAt(std::size_t row, bool* estimated) const {
    if (row >= Rows()) row = Rows() ? Rows() - 1 : 0;
    if (Rows() == 0) {
        if (estimated) *estimated = true;
        return 0;
    }
    if (m_base == TimeBase::Recorded) {
        if (estimated)
            *estimated = static_cast<std::size_t>(m_records[row]) >
                         m_scanner->sidecar.Contents().times.size();
        return m_axis[row];
    }
    if (estimated) *estimated = true;
    return static_cast<double>(m_records[row] - 1) / m_rate;
}

std::size_t LogTable::RowAtAxis(double key) const {
    if (m_axis.empty()) return 0;
    const auto it = std::lower_bound(m_axis.begin(), m_axis.end(), key);
    if (it == m_axis.end()) return m_axis.size() - 1;
    const auto i = static_cast<std::size_t>(it - m_axis.begin());
    if (i > 0 && key - m_axis[i - 1] < *it - key) return i - 1;
    return i;
}

std::size_t LogTable::RowOfRecord(std::int64_t record) const {
    const auto it = std::lower_bound(m_records.begin(), m_records.end(), record);
    if (it == m_records.end()) return m_records.empty() ? 0 : m_records.size() - 1;
    return static_cast<std::size_t>(it - m_records.begin());
}

}  // namespace quarn
