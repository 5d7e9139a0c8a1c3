#pragma once

// What the subcommands of quarn-log share: the exit codes, the parsed
// command line, the car, and a log opened as the viewer opens it.

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "decode/VehicleData.h"
#include "logging/LogExport.h"

namespace quarn {
class LogTable;
}

namespace quarn::cli {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;  // a log unreadable or damaged, an output not written
constexpr int kExitUsage = 2;

// The command line after the subcommand's name. Options may stand before,
// between or after the file names.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;  // --name VALUE, repeatable
    std::set<std::string> flags;                             // --name

    bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
    // The last value given for name, or fallback.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    bool Json() const { return flags.count("json") != 0; }
};

// One subcommand: its name, the options it takes (valueOptions take a
// value, flagOptions none), the usage line and a few lines of help.
struct Command {
    const char* name;
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
    const char* usage;
    const char* help;
    int (*run)(const Args& args, const VehicleData& vehicle);
};

// Prints "quarn-log: ..." on standard error.
void Complain(const std::string& text);
// A usage error: says why, and returns kExitUsage.
int Usage(const std::string& text);

// A number, or false.
bool ParseNumber(const std::string& text, double& value);

// "A:B" in record numbers (from 1); either end may be left out. Checks it
// against a log of records records: false, with why, when it lies outside.
struct RecordRange {
    std::int64_t first = 1;
    std::int64_t last = INT64_MAX;
    bool given = false;
};
bool ParseRange(const std::string& text, RecordRange& range, std::string& why);
bool RangeFits(const RecordRange& range, std::int64_t records, std::string& why);

// Names the damaged records of a log on standard error: the first few, then
// only a count.
class ProblemReporter {
public:
    explicit ProblemReporter(std::string file) : m_file(std::move(file)) {}
    void operator()(std::int64_t record, const std::string& why);
    void Finish(const LogScan& scan) const;

private:
    std::string m_file;
    std::int64_t m_count = 0;
};

// The log at path as the viewer holds it, converted with vehicle; null
// after saying why when it cannot be read. damaged is set when records
// were skipped (the analysis still runs on the rest).
std::unique_ptr<LogTable> OpenTable(const std::string& path, const VehicleData& vehicle,
                                    double frameRate, bool& damaged);

// Opens each of files with OpenTable and hands it to each. Returns the
// worst status: kExitBadInput for a log that cannot be read or holds damaged
// records, and what each returned; kExitUsage from each ends the run there.
int ForEachTable(std::span<const std::string> files, const Args& args, const VehicleData& vehicle,
                 const std::function<int(const std::string& file, const LogTable& table)>& each);

// Records per second for records without a time: --rate, or the link's rate.
double FrameRateOption(const Args& args);

// One JSON object on a line of standard output.
void PrintJson(const QJsonObject& object);

// The subcommands, each in its own file.
int RunInfo(const Args& args, const VehicleData& vehicle);
int RunExport(const Args& args, const VehicleData& vehicle);
int RunStats(const Args& args, const VehicleData& vehicle);
int RunEvents(const Args& args, const VehicleData& vehicle);
int RunHeatmap(const Args& args, const VehicleData& vehicle);
int RunPulls(const Args& args, const VehicleData& vehicle);
int RunDyno(const Args& args, const VehicleData& vehicle);

}  // namespace quarn::cli

namespace quarn::cli {
struct RowSpan {
    std::size_t first = 0, last = 0;  // rows [first, last)
};
// The rows of table whose records lie in range, less the rows still warming
// up, which no analysis counts.
RowSpan RowsOf(const LogTable& table, const RecordRange& range);
// --range of args checked against table; false after a usage message.
bool RangeOption(const Args& args, const LogTable& table, RecordRange& range, int& exit);
}  // namespace quarn::cli
