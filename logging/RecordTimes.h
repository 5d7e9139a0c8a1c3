#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

#include "logging/LogSidecar.h"

namespace quarn {

// When each record of a log was taken, and its markers, as the viewer's
// axis has them: the sidecar's times counted from the first record; where
// the sidecar has none (no sidecar, one that does not fit the log, or the
// last records a crash left untimed) the records are spaced at a frame rate.
class RecordTimes {
public:
    // Reads the sidecar of logPath for a log of logRecords records.
    // estimatedFrameRate (records per second; 0 takes the link's top rate)
    // spaces the records the sidecar does not time.
    static RecordTimes Read(const QString& logPath, std::int64_t logRecords,
                            double estimatedFrameRate = 0);

    // Seconds from the first record to record n (from 1), never decreasing
    // with n; estimated is set when the sidecar did not time it.
    double SecondsOf(std::int64_t n, bool* estimated = nullptr) const;
    // Whether any record up to lastRecord is timed by estimate.
    bool Estimated(std::int64_t lastRecord) const;
    double FrameRate() const { return m_rate; }
    // Wall clock of the first record (UTC); invalid without a timed sidecar.
    QDateTime Start() const { return m_start; }
    // The markers, edits applied, for records of the log; none when the
    // sidecar does not fit the log.
    const std::vector<SidecarMarker>& Markers() const { return m_markers; }
    // Why a sidecar there was left out; empty when it was used or absent.
    const QString& Problem() const { return m_problem; }

private:
    std::vector<double> m_times;  // seconds from record 1, by record
    double m_rate = 1;
    QDateTime m_start;
    std::vector<SidecarMarker> m_markers;
    QString m_problem;
};

}  // namespace quarn
