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
//   mr 1 Top of 3rd                       marker 1 (the first m line) renamed
//   md 1                                  marker 1 deleted
// A log recorded without a sidecar can be given one holding markers only:
// its second line is "notimes" instead of the start, and it has no t lines.
// Marker edits are appended, never rewritten, so they are as safe against a
// crash as recording is and can be made while the log is still recorded.
// Each line is written with one write() right after its record reached the
// log, so after a crash the sidecar may be shorter than the log, never wrong.

// The sidecar's name for a log: the log's name with ".meta" added.
QString SidecarPath(const QString& logPath);

struct SidecarMarker {
    int id = 0;               // which m line made it, from 1; edits name it
    std::int64_t record = 0;  // 0: before the first record
    QString kind;             // a word: "user", ...; unknown kinds are kept
    QString name;
};

struct SidecarContents {
    bool found = false;         // the file exists and starts as a sidecar does
    bool markersOnly = false;   // "notimes": markers for a log without times
    QDateTime start;            // invalid when the start line is missing
    std::vector<double> times;  // times[n - 1]: record n, never decreasing
    std::vector<SidecarMarker> markers;
    // Lines from some point on were not trusted (damaged, going back in
    // time, more records than the log holds); what came before is kept.
    bool cut = false;
};

// Reads a sidecar a piece at a time, as a viewer following a recording
// does: each Feed takes the bytes that came since the last one.
class SidecarParser {
public:
    explicit SidecarParser(std::int64_t logRecords) : m_logRecords(logRecords) {}
    // Parses the '\n'-ended lines at the start of bytes and returns how many
    // bytes they take; the rest (a line still being written) is for the next
    // Feed, together with what follows it.
    qsizetype Feed(QByteArrayView bytes);
    void SetLogRecords(std::int64_t logRecords) { m_logRecords = logRecords; }
    const SidecarContents& Contents() const { return m_out; }
    SidecarContents& Contents() { return m_out; }

private:
    bool ParseLine(QByteArrayView line);

    SidecarContents m_out;
    std::int64_t m_logRecords;
    int m_lines = 0;
    int m_markerLines = 0;
    bool m_done = false;  // not a sidecar, or cut: nothing more is read
};

// Whether the sidecar of logPath is a regular file, the only kind read: a
// named pipe there would hold its reader for ever.
bool SidecarIsReadable(const QString& logPath);

// Reads the sidecar of logPath. At most logRecords record times are
// returned, and markers only for those records. A last line without '\n'
// and lines of unknown words are ignored; a damaged known line or a time
// going backwards ends what is trusted.
SidecarContents ReadSidecar(const QString& logPath, std::int64_t logRecords);
// The same, from the bytes of a sidecar.
SidecarContents ParseSidecar(const QByteArray& bytes, std::int64_t logRecords);

// Marker edits on the sidecar of logPath, one appended line each. Adding
// to a log without a sidecar creates a markers-only one. A kind must be a
// word as for LogSidecarWriter::AppendMarker. Return false with error set
// when the line could not be written whole.
bool SidecarAddMarker(const QString& logPath, std::int64_t record, const QString& kind,
                      const QString& name, QString* error = nullptr);
bool SidecarRenameMarker(const QString& logPath, int id, const QString& name,
                         QString* error = nullptr);
bool SidecarDeleteMarker(const QString& logPath, int id, QString* error = nullptr);

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
