#include "logging/LogSidecar.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <cmath>

namespace quarn {
namespace {

const QByteArray kHeader = QByteArrayLiteral("quarn-meta 1");

bool IsWord(QByteArrayView word) {
    if (word.isEmpty()) return false;
    for (char c : word)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

// A line as the writer makes it: no control bytes, valid UTF-8.
bool IsCleanText(QByteArrayView line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(line);
    return !utf8.hasError();
}

bool ParseInt(QByteArrayView text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return !text.isEmpty() && r.ec == std::errc() && r.ptr == end;
}

bool ParseSeconds(QByteArrayView text, double& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return !text.isEmpty() && r.ec == std::errc() && r.ptr == end && std::isfinite(value) &&
           value >= 0;
}

}  // namespace

QString SidecarPath(const QString& logPath) {
    return logPath + QStringLiteral(".meta");
}

bool SidecarIsReadable(const QString& logPath) {
    // A named pipe would hold the reader until a writer came, for ever.
    return QFileInfo(SidecarPath(logPath)).isFile();
}

SidecarContents ReadSidecar(const QString& logPath, std::int64_t logRecords) {
    if (!SidecarIsReadable(logPath)) return {};
    QFile file(SidecarPath(logPath));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ParseSidecar(file.readAll(), logRecords);
}

SidecarContents ParseSidecar(const QByteArray& bytes, std::int64_t logRecords) {
    SidecarParser parser(logRecords);
    parser.Feed(bytes);
    return parser.Contents();
}

qsizetype SidecarParser::Feed(QByteArrayView bytes) {
    qsizetype pos = 0;
    // Only '\n'-ended lines count: a last line without one was cut by a crash
    // or is still being written.
    for (qsizetype eol; !m_done && (eol = bytes.indexOf('\n', pos)) >= 0; pos = eol + 1) {
        if (!ParseLine(bytes.sliced(pos, eol - pos))) m_done = true;
    }
    return m_done ? bytes.size() : pos;
}

bool SidecarParser::ParseLine(QByteArrayView line) {
    SidecarContents& out = m_out;
    ++m_lines;
    if (m_lines == 1) {
        if (line != kHeader) return false;
        out.found = true;
        return true;
    }
    const qsizetype space = line.indexOf(' ');
    const QByteArrayView word = space < 0 ? line : line.first(space);
    const QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
    auto damaged = [&] {
        out.cut = true;  // not a line this format ever has: damage
        return false;
    };
    if (!IsCleanText(line) || !IsWord(word)) return damaged();
    if (m_lines == 2) {
        if (word == "notimes" && rest.isEmpty()) {
            out.markersOnly = true;
            return true;
        }
        if (word == "start")
            out.start = QDateTime::fromString(QString::fromUtf8(rest), Qt::ISODateWithMs);
        return out.start.isValid() || damaged();
    }
    if (word == "t") {
        double seconds = 0;
        if (out.markersOnly || !ParseSeconds(rest, seconds) ||
            (!out.times.empty() && seconds < out.times.back()) ||
            static_cast<std::int64_t>(out.times.size()) >= m_logRecords)
            return damaged();
        out.times.push_back(seconds);
    } else if (word == "m") {
        // m <record> <kind>[ <name>]
        const qsizetype s1 = rest.indexOf(' ');
        std::int64_t record = -1;
        const std::int64_t last =
            out.markersOnly ? m_logRecords : static_cast<std::int64_t>(out.times.size());
        if (s1 < 0 || !ParseInt(rest.first(s1), record) || record < 0 || record > last)
            return damaged();
        const QByteArrayView tail = rest.sliced(s1 + 1);
        const qsizetype s2 = tail.indexOf(' ');
        const QByteArrayView kind = s2 < 0 ? tail : tail.first(s2);
        if (!IsWord(kind)) return damaged();
        const QByteArray name =
            s2 < 0 ? QByteArray()
                   : QByteArray::fromPercentEncoding(tail.sliced(s2 + 1).toByteArray());
        out.markers.push_back(
            {++m_markerLines, record, QString::fromUtf8(kind), QString::fromUtf8(name)});
    } else if (word == "mr" || word == "md") {
        // mr <id> <name> / md <id>: an edit of an earlier marker. An id no
        // marker has (one already deleted) changes nothing.
        const qsizetype s1 = rest.indexOf(' ');
        const QByteArrayView idText = s1 < 0 ? rest : rest.first(s1);
        std::int64_t id = 0;
        if (!ParseInt(idText, id) || id < 1 || (word == "md" && s1 >= 0)) return damaged();
        const auto it = std::find_if(out.markers.begin(), out.markers.end(),
                                     [&](const SidecarMarker& m) { return m.id == id; });
        if (it == out.markers.end()) return true;
        if (word == "md")
            out.markers.erase(it);
        else
            it->name = QString::fromUtf8(QByteArray::fromPercentEncoding(
                s1 < 0 ? QByteArray() : rest.sliced(s1 + 1).toByteArray()));
    }
    // Lines of other words belong to later versions of the format.
    return true;
}

namespace {

// Spaces stay readable; '%', line breaks and other control bytes are
// percent-encoded so a name is always one line.
QByteArray EncodeName(const QString& name) {
    QByteArray encoded;
    for (char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '%')
            encoded += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
        else
            encoded += c;
    }
    return encoded;
}

QByteArray MarkerLine(std::int64_t record, const QByteArray& kind, const QString& name) {
    QByteArray line = "m " + QByteArray::number(record) + ' ' + kind;
    const QByteArray encoded = EncodeName(name);
    if (!encoded.isEmpty()) line += ' ' + encoded;
    return line;
}

// Appends one whole line to a sidecar with a single write, so a reader or a
// recording appending at the same time never sees half of it.
bool AppendLine(const QString& logPath, const QByteArray& line, bool mayCreate, QString* error) {
    const QByteArray path = QFile::encodeName(SidecarPath(logPath));
    const QFileInfo info(SidecarPath(logPath));
    if (info.exists() && !info.isFile()) {
        if (error) *error = QStringLiteral("%1 is not a regular file.").arg(info.fileName());
        return false;
    }
    // Without O_NONBLOCK, opening a named pipe would wait for a reader;
    // writes to a regular file ignore the flag.
    int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        if (error) *error = QStringLiteral("%1 is not a regular file.").arg(info.fileName());
        return false;
    }
    QByteArray whole = line + '\n';
    if (fd < 0 && errno == ENOENT && mayCreate) {
        // The log has no sidecar: start one that holds markers only.
        fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK,
                    0666);
        if (fd >= 0) whole.prepend(kHeader + "\nnotimes\n");
    }
    if (fd < 0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ssize_t n;
    do {
        n = ::write(fd, whole.constData(), static_cast<size_t>(whole.size()));
    } while (n < 0 && errno == EINTR);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (n != whole.size() || !closed) {
        if (error)
            *error = n < 0 ? QString::fromLocal8Bit(std::strerror(writeErrno))
                           : QStringLiteral("the disk took only part of the line");
        return false;
    }
    return true;
}

}  // namespace

bool SidecarAddMarker(const QString& logPath, std::int64_t record, const QString& kind,
                      const QString& name, QString* error) {
    const QByteArray k = kind.toUtf8();
    if (!IsWord(k) || record < 0) {
        if (error) *error = QStringLiteral("not a marker kind: %1").arg(kind);
        return false;
    }
    return AppendLine(logPath, MarkerLine(record, k, name), true, error);
}

bool SidecarRenameMarker(const QString& logPath, int id, const QString& name, QString* error) {
    QByteArray line = "mr " + QByteArray::number(id);
    const QByteArray encoded = EncodeName(name);
    if (!encoded.isEmpty()) line += ' ' + encoded;
    return AppendLine(logPath, line, false, error);
}

bool SidecarDeleteMarker(const QString& logPath, int id, QString* error) {
    return AppendLine(logPath, "md " + QByteArray::number(id), false, error);
}

LogSidecarWriter::~LogSidecarWriter() {
    Close();
}

bool LogSidecarWriter::Create(const QString& logPath, const QDateTime& startUtc) {
    Close();
    m_failed = false;
    const QByteArray path = QFile::encodeName(SidecarPath(logPath));
    // A named pipe or a device of that name is not ours to remove, and
    // opening it without O_NONBLOCK would wait for a reader for ever: the
    // recording goes on without times.
    const QFileInfo info(SidecarPath(logPath));
    if (info.exists() && !info.isFile()) {
        m_failed = true;
        return false;
    }
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NONBLOCK,
                  0666);
    struct stat st {};
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
        m_failed = true;
        return false;
    }
    if (m_fd < 0) {
        // An old sidecar that stays would describe another recording.
        ::unlink(path.constData());
        m_failed = true;
        return false;
    }
    WriteLine(kHeader + "\nstart " + startUtc.toUTC().toString(Qt::ISODateWithMs).toUtf8());
    return !m_failed;
}

void LogSidecarWriter::AppendTime(double seconds) {
    if (m_fd < 0) return;
    char buf[48] = {'t', ' '};
    // std::to_chars ignores the locale: a decimal comma never reaches the file.
    const auto r = std::to_chars(buf + 2, buf + sizeof buf, std::max(seconds, 0.0),
                                 std::chars_format::fixed, 6);
    WriteLine(QByteArray(buf, r.ptr - buf));
}

void LogSidecarWriter::AppendMarker(std::int64_t record, const QString& kind, const QString& name) {
    if (m_fd < 0) return;
    const QByteArray k = kind.toUtf8();
    if (!IsWord(k) || record < 0) return;
    WriteLine(MarkerLine(record, k, name));
}

void LogSidecarWriter::WriteLine(const QByteArray& line) {
    const QByteArray whole = line + '\n';
    ssize_t n;
    do {
        n = ::write(m_fd, whole.constData(), static_cast<size_t>(whole.size()));
    } while (n < 0 && errno == EINTR);
    if (n != whole.size()) {
        // A line cut short has no '\n' and is ignored on reading; anything
        // written after it would be glued to it, so nothing more is written.
        m_failed = true;
        Close();
    }
}

void LogSidecarWriter::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

}  // namespace quarn
