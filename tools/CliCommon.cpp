#include <QByteArray>
#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "logging/LogFormat.h"
#include "tools/QuarnLog.h"
#include "viewer/LogTable.h"

namespace quarn::cli {
namespace {

// A badly damaged file must not bury the terminal: name the first few
// problem records, then only count.
constexpr std::int64_t kMaxProblemLines = 20;

}  // namespace

std::string Args::Value(const std::string& name, const std::string& fallback) const {
    const auto it = values.find(name);
    return it == values.end() || it->second.empty() ? fallback : it->second.back();
}

void Complain(const std::string& text) {
    std::fprintf(stderr, "quarn-log: %s\n", text.c_str());
}

int Usage(const std::string& text) {
    Complain(text);
    std::fprintf(stderr, "Try \"quarn-log --help\".\n");
    return kExitUsage;
}

bool ParseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseRange(const std::string& text, RecordRange& range, std::string& why) {
    const std::size_t colon = text.find(':');
    why = "--range " + text + ": expected FIRST:LAST in record numbers, from 1";
    if (colon == std::string::npos) return false;
    const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
    auto record = [](const std::string& s, std::int64_t& n) {
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        return ec == std::errc() && ptr == s.data() + s.size() && n >= 1;
    };
    if (!a.empty() && !record(a, range.first)) return false;
    if (!b.empty() && !record(b, range.last)) return false;
    if (range.last < range.first) {
        why = "--range " + text + ": the last record comes before the first";
        return false;
    }
    range.given = true;
    return true;
}

bool RangeFits(const RecordRange& range, std::int64_t records, std::string& why) {
    if (!range.given) return true;
    if (range.first > records || (range.last != INT64_MAX && range.last > records)) {
        why = "--range: the log holds records 1 to " + std::to_string(records);
        return false;
    }
    return true;
}

void ProblemReporter::operator()(std::int64_t record, const std::string& why) {
    if (++m_count <= kMaxProblemLines)
        std::fprintf(stderr, "quarn-log: %s: record %lld: %s\n", m_file.c_str(),
                     static_cast<long long>(record), why.c_str());
}

void ProblemReporter::Finish(const LogScan& scan) const {
    if (m_count > kMaxProblemLines)
        std::fprintf(stderr, "quarn-log: %s: %lld more damaged records not listed\n",
                     m_file.c_str(), static_cast<long long>(m_count - kMaxProblemLines));
    if (scan.trailingBytes)
        std::fprintf(stderr,
                     "quarn-log: %s: %lld bytes after record %lld do not make a whole "
                     "record and were ignored\n",
                     m_file.c_str(), static_cast<long long>(scan.trailingBytes),
                     static_cast<long long>(scan.records));
}

std::unique_ptr<LogTable> OpenTable(const std::string& path, const VehicleData& vehicle,
                                    double frameRate, bool& damaged) {
    auto table = std::make_unique<LogTable>();
    LogLoadReport report;
    QString error;
    if (!table->Load(QFile::decodeName(QByteArray::fromStdString(path)), vehicle, frameRate,
                     nullptr, &report, &error)) {
        Complain("cannot open " + error.toStdString());
        return nullptr;
    }
    damaged = !report.scan.Clean();
    if (const QString summary = report.Summary(); !summary.isEmpty())
        for (const QString& line : summary.split('\n'))
            Complain(path + ": " + line.toStdString());
    return table;
}

int ForEachTable(std::span<const std::string> files, const Args& args, const VehicleData& vehicle,
                 const std::function<int(const std::string& file, const LogTable& table)>& each) {
    int exit = kExitOk;
    for (const std::string& file : files) {
        bool damaged = false;
        const auto table = OpenTable(file, vehicle, FrameRateOption(args), damaged);
        if (!table) {
            exit = std::max(exit, kExitBadInput);
            continue;
        }
        const int status = each(file, *table);
        if (status >= kExitUsage) return status;
        exit = std::max({exit, status, damaged ? kExitBadInput : kExitOk});
    }
    return exit;
}

double FrameRateOption(const Args& args) {
    double rate = 0;
    if (ParseNumber(args.Value("rate"), rate) && rate > 0) return rate;
    return WireFrameRate(115200);
}

void PrintJson(const QJsonObject& object) {
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
}

}  // namespace quarn::cli

namespace quarn::cli {

RowSpan RowsOf(const LogTable& table, const RecordRange& range) {
    const auto& records = table.Records();
    RowSpan span;
    span.first = static_cast<std::size_t>(
        std::lower_bound(records.begin(), records.end(), range.first) - records.begin());
    span.last = static_cast<std::size_t>(
        std::upper_bound(records.begin(), records.end(), range.last) - records.begin());
    span.first = std::max(span.first, table.WarmUpRows());
    span.last = std::max(span.last, span.first);
    return span;
}

bool RangeOption(const Args& args, const LogTable& table, RecordRange& range, int& exit) {
    if (!args.Has("range")) return true;
    std::string why;
    const std::int64_t records = table.Records().empty() ? 0 : table.Records().back();
    if (!ParseRange(args.Value("range"), range, why) || !RangeFits(range, records, why)) {
        exit = Usage(why);
        return false;
    }
    return true;
}

}  // namespace quarn::cli
