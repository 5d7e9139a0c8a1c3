#include "link/Settings.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>

#include <optional>

namespace quarn {

namespace {

// Only the first line matters; a file longer than this is not ours.
constexpr qint64 kMaxBytesRead = 256;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<std::int16_t> ParsePortLine(const QByteArray& content) {
    qsizetype begin = 0;
    while (begin < content.size() && IsBlank(content[begin])) ++begin;
    qsizetype end = begin;
    while (end < content.size() && content[end] != ',' && content[end] != '\r' &&
           content[end] != '\n')
        ++end;
    while (end > begin && IsBlank(content[end - 1])) --end;

    const QByteArray item = content.mid(begin, end - begin);
    if (item.isEmpty()) return std::nullopt;
    // toInt accepts an optional sign and decimal digits only, and fails on
    // overflow, so "abc", "2x" and "99999999999" are all refused here.
    bool ok = false;
    const int value = item.toInt(&ok, 10);
    if (!ok || value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

}  // namespace

bool WriteSettings(std::int16_t port, const QString& path) {
    const int value = port;
    QByteArray line;
    line += value < 0 ? '-' : ' ';
    line += QByteArray::number(value < 0 ? -value : value);
    line += " \r\n";

    // Written beside it and renamed into place, as the logs are: a crash or
    // a full disk mid-write leaves the old file, never an empty one that
    // would ask for the port again.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::int16_t ReadSettings(const QString& path, bool* rewriteFailed) {
    std::optional<std::int16_t> port;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) port = ParsePortLine(file.read(kMaxBytesRead));
    }
    if (port) return *port;

    const bool rewritten = WriteSettings(0, path);
    if (rewriteFailed && !rewritten) *rewriteFailed = true;
    return 0;
}

}  // namespace quarn
