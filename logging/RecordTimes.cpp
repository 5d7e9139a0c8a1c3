#include "logging/RecordTimes.h"

#include <QFileInfo>

#include <algorithm>

#include "logging/LogFormat.h"

namespace quarn {
namespace {

// As the viewer: a sidecar may lack the times of the last records a crash
// cut off, never more.
constexpr std::int64_t kCrashShortfall = 2;

}  // namespace

RecordTimes RecordTimes::Read(const QString& logPath, std::int64_t logRecords,
                              double estimatedFrameRate) {
    RecordTimes out;
    out.m_rate = estimatedFrameRate > 0 ? estimatedFrameRate
                                        : WireFrameRate(115200);
    const SidecarContents side = ReadSidecar(logPath, INT64_MAX);
    const auto times = static_cast<std::int64_t>(side.times.size());
    if (!side.found) {
        if (QFileInfo::exists(SidecarPath(logPath)))
            out.m_problem = QStringLiteral("not a time file of this program");
        return out;
    }
    if (side.cut)
        out.m_problem = QStringLiteral("damaged");
    else if (!side.markersOnly && times > logRecords)
        out.m_problem = QStringLiteral("it times more records than the log holds");
    else if (!side.markersOnly && times + kCrashShortfall < logRecords)
        out.m_problem = QStringLiteral("it times only %1 of %2 records").arg(times).arg(logRecords);
    if (!out.m_problem.isEmpty()) return out;

    for (const SidecarMarker& m : side.markers)
        if (m.record <= logRecords) out.m_markers.push_back(m);
    if (side.markersOnly || side.times.empty()) return out;
    out.m_start = side.start;
    out.m_times.reserve(side.times.size());
    const double t0 = side.times.front();
    for (double t : side.times)
        out.m_times.push_back(std::max(t - t0, out.m_times.empty() ? 0.0 : out.m_times.back()));
    return out;
}

double RecordTimes::SecondsOf(std::int64_t n, bool* estimated) const {
    n = std::max<std::int64_t>(n, 1);
    const auto known = static_cast<std::int64_t>(m_times.size());
    if (estimated) *estimated = n > known;
    if (known == 0) return static_cast<double>(n - 1) / m_rate;
    if (n <= known) return m_times[static_cast<std::size_t>(n - 1)];
    return m_times.back() + static_cast<double>(n - known) / m_rate;
}

bool RecordTimes::Estimated(std::int64_t lastRecord) const {
    return lastRecord > static_cast<std::int64_t>(m_times.size());
}

}  // namespace quarn
