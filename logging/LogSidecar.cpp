#include "logging/LogSidecar.h"

#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

SidecarContents ReadSidecar(const QString& logPath, std::int64_t logRecords) {
    QFile file(SidecarPath(logPath));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ParseSidecar(file.readAll(), logRecords);
}

SidecarContents ParseSidecar(const QByteArray& bytes, std::int64_t logRecords) {
    SidecarContents out;
    qsizetype pos = 0;
    int lineNumber = 0;
    // Only '\n'-ended lines count: a last line without one was cut by a crash.
    for (qsizetype eol; (eol = bytes.indexOf('\n', pos)) >= 0; pos = eol + 1) {
        const QByteArrayView line(bytes.constData() + pos, eol - pos);
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != kHeader) return {};
            out.found = true;
            continue;
        }
        const qsizetype space = line.indexOf(' ');
        const QByteArrayView word = space < 0 ? line : line.first(space);
        const QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
        if (!IsCleanText(line) || !IsWord(word)) {
            out.cut = true;  // not a line this format ever has: damage
            break;
        }
        if (lineNumber == 2) {
            if (word == "start")
                out.start = QDateTime::fromString(QString::fromUtf8(rest), Qt::ISODateWithMs);
            if (!out.start.isValid()) {
                out.cut = true;
                break;
            }
            continue;
        }
        if (word == "t") {
            double seconds = 0;
            if (!ParseSeconds(rest, seconds) ||
                (!out.times.empty() && seconds < out.times.back()) ||
                static_cast<std::int64_t>(out.times.size()) >= logRecords) {
                out.cut = true;
                break;
            }
            out.times.push_back(seconds);
        } else if (word == "m") {
            // m <record> <kind>[ <name>]
            const qsizetype s1 = rest.indexOf(' ');
            std::int64_t record = -1;
            if (s1 < 0 || !ParseInt(rest.first(s1), record) || record < 0 ||
                record > static_cast<std::int64_t>(out.times.size())) {
                out.cut = true;
                break;
            }
            const QByteArrayView tail = rest.sliced(s1 + 1);
            const qsizetype s2 = tail.indexOf(' ');
            const QByteArrayView kind = s2 < 0 ? tail : tail.first(s2);
            if (!IsWord(kind)) {
                out.cut = true;
                break;
            }
            const QByteArray name =
                s2 < 0 ? QByteArray()
                       : QByteArray::fromPercentEncoding(tail.sliced(s2 + 1).toByteArray());
            out.markers.push_back({record, QString::fromUtf8(kind), QString::fromUtf8(name)});
        }
        // Lines of other words belong to later versions of the format.
    }
    return out;
}

LogSidecarWriter::~LogSidecarWriter() {
    Close();
}

bool LogSidecarWriter::Create(const QString& logPath, const QDateTime& startUtc) {
    Close();
    m_failed = false;
    const QByteArray path = QFile::encodeName(SidecarPath(logPath));
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
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
    // Spaces stay readable; '%', line breaks and other control bytes are
    // percent-encoded so a name is always one line.
    QByteArray encoded;
    for (char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '%')
            encoded += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
        else
            encoded += c;
    }
    QByteArray line = "m " + QByteArray::number(record) + ' ' + k;
    if (!encoded.isEmpty()) line += ' ' + encoded;
    WriteLine(line);
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
