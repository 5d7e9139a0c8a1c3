#pragma once

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "decode/VehicleData.h"
#include "logging/LogExport.h"
#include "logging/LogSidecar.h"
#include "viewer/Envelope.h"

namespace quarn {

// A channel the viewer can draw: its name as the dashboard and the CSV
// export call it, and its unit.
struct ViewerChannel {
    QString name;
    QString unit;
    bool raw = false;  // a timer word as the box sent it, not an engineering value
    bool math = false;  // the user's formula over the other channels
};

// Every channel, engineering values first. Channel ids are indexes here.
const std::vector<ViewerChannel>& ViewerChannels();
// The id of the channel of that name (case-insensitive), or -1.
int ViewerChannelId(const QString& name);
// The channels a new viewer shows: RPM, MPH, TPS, WideO2, Advance, InjDuty.
std::vector<int> DefaultViewerChannels();

// What the key axis of a log's plots counts.
enum class TimeBase {
    Recorded,  // seconds from the first record, as the sidecar timed them
    Records,   // record numbers: the log has no usable sidecar
};

// What opening a log found, for the one message the viewer shows.
struct LogLoadReport {
    LogScan scan;
    bool sidecarFound = false;
    bool sidecarUsed = false;
    QString sidecarProblem;  // why a sidecar was not used; empty otherwise
    bool cancelled = false;
    // One line per kind of damage or sidecar problem; empty for a clean log.
    QString Summary() const;
};

// A log held in memory as columns, one row per whole frame, converted
// exactly as playback and the CSV export convert it (one conversion run
// from record 1, with the car given at opening). Malformed and short
// records have no row. A frame failing its checksum has one, and goes
// through the conversion as in playback, but every value of its row is NaN:
// a gap in the plots, and nothing any analysis counts.
class LogTable {
public:
    // done and total in records; returning false cancels the opening.
    using Progress = std::function<bool(std::int64_t done, std::int64_t total)>;

    // Reads the log at path and its sidecar. estimatedFrameRate (frames per
    // second, > 0) spaces records whose time the sidecar does not give.
    // Returns false with error set when the file cannot be read at all; a
    // damaged log opens, with what was skipped in report.
    bool Load(const QString& path, const VehicleData& vehicle, double estimatedFrameRate,
              const Progress& progress, LogLoadReport* report, QString* error);

    // Reads the records added to the file since the last Load or Refresh,
    // continuing the same conversion run, and the sidecar lines that came
    // with them. Returns the number of rows added.
    std::int64_t Refresh(LogLoadReport* report = nullptr);

    const QString& Path() const { return m_path; }
    const VehicleData& Vehicle() const { return m_vehicle; }
    std::size_t Rows() const { return m_records.size(); }
    // The log's own channels (ViewerChannels(), the same ids) and after
    // them the math channels last set: every list of channels reads this.
    const std::vector<ViewerChannel>& Channels() const { return m_channels; }
    int ChannelCount() const { return static_cast<int>(m_channels.size()); }
    // The id of the channel of that name (case-insensitive), or -1.
    int ChannelId(const QString& name) const;
    // Replaces the math channels with these, each a column of Rows() values.
    // Rows read later get NaN in them until they are set again.
    void SetMathColumns(std::vector<ViewerChannel> channels, std::vector<std::vector<float>> columns);
    // The values of channel id, one per row.
    const std::vector<float>& Column(int id) const { return m_columns[static_cast<std::size_t>(id)]; }
    // Block minima and maxima of Column(id), for MinMaxEnvelope. Made when
    // first asked for and brought up to date on each call, on the thread
    // that draws: a table read only for its numbers never builds them.
    const EnvelopeIndex& Index(int id) const;
    // Rows [0, WarmUpRows()) are frames still warming up (see kWarmUpFrames):
    // shown as converted, but left out of every analysis.
    std::size_t WarmUpRows() const { return m_warmUpRows; }
    bool WarmingUp(std::size_t row) const { return row < m_warmUpRows; }
    // The rows of frames failing their checksum (values NaN), in order.
    const std::vector<std::size_t>& DamagedRows() const { return m_damaged; }
    bool Damaged(std::size_t row) const {
        return std::binary_search(m_damaged.begin(), m_damaged.end(), row);
    }
    // The record number (from 1) of every row.
    const std::vector<std::int64_t>& Records() const { return m_records; }
    // The key of every row on the plots' axis, never decreasing: seconds
    // from the first record (Recorded) or the record number (Records).
    const std::vector<double>& Axis() const { return m_axis; }
    TimeBase Base() const { return m_base; }
    // Seconds from the first record to a row: recorded, or estimated from
    // the frame rate where the sidecar has no time for it.
    double SecondsAt(std::size_t row, bool* estimated = nullptr) const;
    // Wall clock of the first record, from the sidecar; invalid without one.
    QDateTime Start() const { return m_start; }
    double EstimatedFrameRate() const { return m_rate; }

    // The row nearest to a key of the axis, and the row of a record (or the
    // first row after it). Both clamp to the table; 0 for an empty table.
    std::size_t RowAtAxis(double key) const;
    std::size_t RowOfRecord(std::int64_t record) const;

    // The markers of the sidecar, in file order, edits applied.
    const std::vector<SidecarMarker>& Markers() const { return m_markers; }
    // False when the log has a sidecar that does not fit it: its markers
    // are not shown, and edits would go into a file that is not this log's.
    bool MarkersEditable() const { return m_markersEditable; }
    // Reads the sidecar lines added since (an edit, a recording's markers).
    void ReloadMarkers();
    // Counts the changes of Markers(): unchanged, the list is as it was.
    std::uint64_t MarkerRevision() const { return m_markerRevision; }
    // The first row whose key the last Load or Refresh set or changed (rows
    // timed by an estimate until their sidecar line came); Rows() when none.
    std::size_t RetimedFrom() const { return m_retimedFrom; }

private:
    struct Scanner;
    bool ReadRecords(LogReader& reader, const Progress& progress, std::int64_t total,
                     LogScan& scan);
    void ReadSidecarTail();
    void UpdateAxis(std::size_t from);
    void UpdateMarkers();
    void PadMathColumns();

    QString m_path;
    std::uint64_t m_markerRevision = 0;
    std::size_t m_retimedFrom = 0;
    VehicleData m_vehicle;
    double m_rate = 1;
    std::vector<ViewerChannel> m_channels = ViewerChannels();
    std::vector<std::vector<float>> m_columns;
    mutable std::vector<EnvelopeIndex> m_index;
    std::vector<std::int64_t> m_records;
    std::size_t m_warmUpRows = 0;
    std::vector<std::size_t> m_damaged;
    std::vector<double> m_axis;
    TimeBase m_base = TimeBase::Records;
    QDateTime m_start;
    std::vector<SidecarMarker> m_markers;
    bool m_markersEditable = true;
    std::shared_ptr<Scanner> m_scanner;  // conversion state carried to Refresh
};

}  // namespace quarn
