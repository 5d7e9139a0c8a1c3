#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace quarn {

// The sidecar NAME.qz0.meta beside a log NAME.qz0 holds what the 48-byte
// records cannot: when the recording started, the time of every record and
// the markers. It is text, one entry per '\n'-ended line:
//   quarn-meta 1
//   start 2026-12-07T17:23:05.123Z        wall clock, UTC
//   t 0.004120                            record 1, seconds since the start
//   t 0.008250                            record 2, ...
//   m 2 user Top of third                 marker at record 2, kind, name
// Each line is written with one write() right after its record reached the
// log, so after a crash the sidecar may be shorter than the log, never wrong.

// The sidecar's name for a log: the log's name with ".meta" added.
QString SidecarPath(const QString& logPath);

struct SidecarMarker {
    std::int64_t record = 0;  // 0: before the first record
    QString kind;             // a word: "user", ...; unknown kinds are kept
    QString name;
};

struct SidecarContents {
    bool found = false;         // the file exists and starts as a sidecar does
    QDateTime start;            // invalid when the start line is missing
    std::vector<double> times;  // times[n - 1]: record n, never decreasing
    std::vector<SidecarMarker> markers;
    // Lines from some point on were not trusted (damaged, going back in
    // time, more records than the log holds); what came before is kept.
    bool cut = false;
};

// Reads the sidecar of logPath. At most logRecords record times are
// returned, and markers only for those records. A last line without '\n'
// and lines of unknown words are ignored; a damaged known line or a time
// going backwards ends what is trusted.
SidecarContents ReadSidecar(const QString& logPath, std::int64_t logRecords);
// The same, from the bytes of a sidecar.
SidecarContents ParseSidecar(const QByteArray& bytes, std::int64_t logRecords);

// Appends to a sidecar while a log is being recorded. A failure never stops
// the recording: the writer only remembers it and writes nothing more, so
// what is on disk stays a true prefix.
class LogSidecarWriter {
public:
    LogSidecarWriter() = default;
    ~LogSidecarWriter();
    LogSidecarWriter(const LogSidecarWriter&) = delete;
    LogSidecarWriter& operator=(const LogSidecarWriter&) = delete;

    // Creates the sidecar of logPath, replacing an old one, and writes the
    // first two lines. Returns false (and Failed()) when it cannot.
    bool Create(const QString& logPath, const QDateTime& startUtc);
    // The time of the next record, in seconds since the start.
    void AppendTime(double seconds);
    // A marker at record (0 before the first one). kind must be a word of
    // lowercase letters, digits, '-' or '_'; other kinds are not written.
    void AppendMarker(std::int64_t record, const QString& kind, const QString& name);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return m_failed; }

private:
    void WriteLine(const QByteArray& line);

    int m_fd = -1;
    bool m_failed = false;
};

}  // namespace quarn
