// quarn-log's export formats read back by readers this project did not
// write (Python's csv module, and the public MLG parser from the npm
// registry), its analysis subcommands against the viewer's own figures for
// the same log, and every kind of bad input.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>
#include <limits>

#include "DriveLog.h"
#include "TestUtil.h"
#include "analysis/Statistics.h"
#include "dyno/DynoCurve.h"
#include "logging/LogExport.h"
#include "logging/TravelExport.h"
#include "viewer/HeatMap.h"
#include "viewer/LogColumns.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"
#include "viewer/TableDyno.h"

namespace quarn {
namespace {

using test::RunCommand;
using test::TempDir;

constexpr std::int64_t kRecords = 9000;  // 90 s: several pulls
constexpr double kInterval = 0.01;
constexpr double kRate = 100;

std::string QuarnLog(const std::string& args) {
    return test::BinPath("quarn-log") + " " + args;
}

QJsonObject JsonOf(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::string Reader(const char* name) {
    return std::string(QUARN_SOURCE_DIR) + "/tests/tools/readers/" + name;
}

// Where scripts/install-test-readers.sh put the npm packages, if anywhere.
std::string NpmModules() {
    for (const std::string& dir : {std::string(QUARN_BUILD_DIR) + "/npm",
                                  std::string(QUARN_SOURCE_DIR) + "/build/npm"})
        if (std::filesystem::exists(dir + "/node_modules/mlg-converter/package.json"))
            return dir + "/node_modules";
    return {};
}

class FormatsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        log = dir->File("drive.qz0");
        test::WriteDriveLog(log, kRecords, kInterval, true, {{1, "start"}, {2500, "top of third"}});
        table = new LogTable;
        ASSERT_TRUE(table->Load(QString::fromStdString(log), VehicleData(), kRate, nullptr,
                                nullptr, nullptr));
    }
    static void TearDownTestSuite() {
        delete table;
        delete dir;
    }

    // What a reader found agrees with the viewer's table of the same log:
    // every row, its time, the values rounded as each channel is written,
    // the units, and the markers after the rows of their records.
    static void ExpectSameAsTable(const QJsonObject& read, bool utf8Units, int timeDecimals = 4) {
        const auto channels = TravelChannels();
        const QJsonArray names = read["names"].toArray();
        const QJsonArray units = read["units"].toArray();
        ASSERT_EQ(names.size(), static_cast<qsizetype>(channels.size() + 1));
        EXPECT_EQ(names[0].toString(), "Time");
        EXPECT_EQ(units[0].toString(), "s");
        for (std::size_t c = 0; c < channels.size(); ++c) {
            EXPECT_EQ(names[static_cast<qsizetype>(c + 1)].toString(), channels[c].name);
            EXPECT_EQ(units[static_cast<qsizetype>(c + 1)].toString(),
                      QString::fromUtf8(utf8Units ? channels[c].unit : channels[c].plainUnit));
            // The export's names and units are the viewer's.
            const int id = ViewerChannelId(channels[c].name);
            ASSERT_GE(id, 0) << channels[c].name;
            EXPECT_EQ(ViewerChannels()[static_cast<std::size_t>(id)].unit, QString::fromUtf8(channels[c].unit));
        }
        const QJsonArray rows = read["rows"].toArray();
        ASSERT_EQ(rows.size(), static_cast<qsizetype>(table->Rows()));
        for (std::size_t r = 0; r < table->Rows(); r += 97) {
            const QJsonArray row = rows[static_cast<qsizetype>(r)].toArray();
            EXPECT_NEAR(row[0].toDouble(), table->SecondsAt(r), std::pow(10, -timeDecimals)) << r;
            for (std::size_t c = 0; c < channels.size(); ++c) {
                const double want = table->Column(ViewerChannelId(channels[c].name))[r];
                const double tolerance = timeDecimals < 0 ? 1e-3 * std::max(1.0, std::fabs(want))
                                                          : 0.5001 * std::pow(10, -channels[c].decimals);
                EXPECT_NEAR(row[static_cast<qsizetype>(c + 1)].toDouble(), want, tolerance)
                    << channels[c].name << " row " << r;
            }
        }
        const QJsonArray markers = read["markers"].toArray();
        ASSERT_EQ(markers.size(), 2);
        EXPECT_EQ(markers[0].toObject()["afterRow"].toInt(), 1);
        EXPECT_EQ(markers[1].toObject()["afterRow"].toInt(), 2500);
    }

    static TempDir* dir;
    static std::string log;
    static LogTable* table;
};
TempDir* FormatsTest::dir = nullptr;
std::string FormatsTest::log;
LogTable* FormatsTest::table = nullptr;

TEST_F(FormatsTest, CsvUnitsReadBackByPythonsCsvModuleInBothStyles) {
    const std::string out = dir->File("drive.csv");
    for (bool european : {false, true}) {
        const std::string options = european ? " --separator ';' --decimal-comma" : "";
        const auto r = RunCommand(QuarnLog("export " + log + " --format csv-units -o " + out + options));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto read = RunCommand("python3 " + Reader("read_export.py") + " csv-units " + out +
                                     (european ? " ';' comma" : ""));
        ASSERT_EQ(read.exitCode, 0) << read.err;
        QJsonObject found = JsonOf(read.out);
        // csv-units carries no markers; the check of them is the other formats'.
        found["markers"] = QJsonArray{QJsonObject{{"afterRow", 1}}, QJsonObject{{"afterRow", 2500}}};
        ExpectSameAsTable(found, true);
    }
}

TEST_F(FormatsTest, MslReadBackAsTabSeparatedTextWithMarkerLines) {
    const std::string out = dir->File("drive.msl");
    const auto r = RunCommand(QuarnLog("export --format msl -o " + out + " " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto read = RunCommand("python3 " + Reader("read_export.py") + " msl " + out);
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const QJsonObject found = JsonOf(read.out);
    ExpectSameAsTable(found, false);
    EXPECT_EQ(found["markers"].toArray()[1].toObject()["text"].toString(), "MARK 002 - top of third");
}

TEST_F(FormatsTest, MlgReadBackByThePublicNpmParser) {
    const std::string modules = NpmModules();
    if (modules.empty() || RunCommand("node --version").exitCode != 0)
        GTEST_SKIP() << "node or mlg-converter missing: scripts/install-test-readers.sh installs it";
    const std::string out = dir->File("drive.mlg");
    const auto r = RunCommand(QuarnLog("export -o " + out + " --format=mlg " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto read = RunCommand("NODE_PATH=" + modules + " node " + Reader("read_mlg.js") + " " + out);
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const QJsonObject found = JsonOf(read.out);
    // F32 values: exact floats of the table's values, no rounding.
    ExpectSameAsTable(found, false, -1);
    for (const QJsonValue v : found["scale"].toArray()) EXPECT_EQ(v.toDouble(), 1);
    for (const QJsonValue v : found["transform"].toArray()) EXPECT_EQ(v.toDouble(), 0);
    // The marker block's 10 µs timestamp is its record's time, rolled over.
    const auto ticks = std::llround(table->SecondsAt(2499) * 1e5) & 0xFFFF;
    EXPECT_EQ(found["markers"].toArray()[1].toObject()["timestamp"].toInt(), ticks);
    EXPECT_NE(found["info"].toString().indexOf("drive.qz0"), -1);
}

// The viewer's math channels go out after the log's channels in every
// format that travels, each reader finding their names, units and values
// (a record without a value an empty field, or NaN in the binary log), and
// never into the plain CSV.
TEST_F(FormatsTest, ExtraColumnsAreReadBackInEveryFormatButThePlainCsv) {
    const std::int64_t first = 2001, last = 2400;
    const std::vector<float> afr(table->Column(ViewerChannelId("WideO2")).begin() + (first - 1),
                                 table->Column(ViewerChannelId("WideO2")).begin() + last);
    ExportColumn lambda{"Lambda", "λ", 3, first, {}};
    for (float v : afr) lambda.values.push_back(v / 14.7f);
    lambda.values[10] = std::numeric_limits<float>::quiet_NaN();
    ExportColumn twice{"Revs2", "rpm", 0, first, std::vector<float>(afr.size(), 2000.0f)};
    const std::vector<ExportColumn> extra{lambda, twice};
    const std::size_t own = TravelChannels().size() + 1;

    auto exportAs = [&](ExportFormat format, const char* name) {
        ExportOptions options;
        options.format = format;
        const std::string out = dir->File(name);
        EXPECT_EQ(ExportLogFile(log, out, options, VehicleData(), nullptr, nullptr, first, last, extra).outcome,
                  ExportOutcome::Written);
        return out;
    };
    auto expectColumns = [&](const QJsonObject& read, bool nanAsNull) {
        const QJsonArray names = read["names"].toArray(), units = read["units"].toArray();
        ASSERT_EQ(names.size(), static_cast<qsizetype>(own + 2));
        EXPECT_EQ(names[static_cast<qsizetype>(own)].toString(), "Lambda");
        EXPECT_EQ(units[static_cast<qsizetype>(own)].toString(), QString::fromUtf8("λ"));
        EXPECT_EQ(names[static_cast<qsizetype>(own + 1)].toString(), "Revs2");
        EXPECT_EQ(units[static_cast<qsizetype>(own + 1)].toString(), "rpm");
        const QJsonArray rows = read["rows"].toArray();
        ASSERT_EQ(rows.size(), static_cast<qsizetype>(afr.size()));
        for (std::size_t r = 0; r < afr.size(); r += 13) {
            const QJsonArray row = rows[static_cast<qsizetype>(r)].toArray();
            ASSERT_EQ(row.size(), static_cast<qsizetype>(own + 2));
            if (r == 10) continue;
            EXPECT_NEAR(row[static_cast<qsizetype>(own)].toDouble(), lambda.values[r], 0.0005) << r;
            EXPECT_EQ(row[static_cast<qsizetype>(own + 1)].toDouble(), 2000) << r;
        }
        const QJsonValue gap = rows[10].toArray()[static_cast<qsizetype>(own)];
        EXPECT_TRUE(nanAsNull ? gap.isNull() : gap.isNull() || std::isnan(gap.toDouble()));
    };

    const std::string units = exportAs(ExportFormat::CsvUnits, "extra.csv");
    const auto readUnits = RunCommand("python3 " + Reader("read_export.py") + " csv-units " + units);
    ASSERT_EQ(readUnits.exitCode, 0) << readUnits.err;
    expectColumns(JsonOf(readUnits.out), true);

    const std::string msl = exportAs(ExportFormat::Msl, "extra.msl");
    const auto readMsl = RunCommand("python3 " + Reader("read_export.py") + " msl " + msl);
    ASSERT_EQ(readMsl.exitCode, 0) << readMsl.err;
    const QJsonObject mslFound = JsonOf(readMsl.out);
    expectColumns(mslFound, true);
    EXPECT_TRUE(mslFound["markers"].toArray().isEmpty());  // the gap is no marker line

    // Plain CSV: the same bytes as without the columns.
    const std::string plain = exportAs(ExportFormat::Csv, "extra-plain.csv");
    const std::string without = dir->File("without.csv");
    ASSERT_EQ(ExportLogFile(log, without, ExportOptions(), VehicleData(), nullptr, nullptr, first, last).outcome,
              ExportOutcome::Written);
    EXPECT_EQ(test::ReadBytes(plain), test::ReadBytes(without));

    const std::string modules = NpmModules();
    if (modules.empty() || RunCommand("node --version").exitCode != 0)
        GTEST_SKIP() << "node or mlg-converter missing: scripts/install-test-readers.sh installs it";
    const std::string mlg = exportAs(ExportFormat::Mlg, "extra.mlg");
    const auto readMlg = RunCommand("NODE_PATH=" + modules + " node " + Reader("read_mlg.js") + " " + mlg);
    ASSERT_EQ(readMlg.exitCode, 0) << readMlg.err;
    expectColumns(JsonOf(readMlg.out), false);
}

// A range's rows are the same rows of the whole export, times included.
TEST_F(FormatsTest, RangeExportsThoseRecordsWithTheWholeLogsTimes) {
    const std::string out = dir->File("part.msl");
    const auto r = RunCommand(QuarnLog("export --format msl --range 2400:2600 -o " + out + " " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject found = JsonOf(RunCommand("python3 " + Reader("read_export.py") + " msl " + out).out);
    const QJsonArray rows = found["rows"].toArray();
    ASSERT_EQ(rows.size(), 201);
    EXPECT_NEAR(rows[0].toArray()[0].toDouble(), table->SecondsAt(2399), 1e-4);
    ASSERT_EQ(found["markers"].toArray().size(), 1);
    EXPECT_EQ(found["markers"].toArray()[0].toObject()["afterRow"].toInt(), 101);
}

// Without a sidecar the times are estimated from the rate, and say so.
TEST_F(FormatsTest, TimesWithoutASidecarAreEstimatedAndLabelled) {
    const std::string bare = dir->File("bare.qz0");
    test::WriteDriveLog(bare, 50, kInterval, false);
    const auto r = RunCommand(QuarnLog("export --format csv-units --rate 200 " + bare));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Time (s, estimated),RPM (rpm),", 0), 0u) << r.out.substr(0, 80);
    EXPECT_NE(r.out.find("\n0.0050,"), std::string::npos);  // record 2 at 200 records/s
}

// The plain CSV stays the default and stays byte for byte the old export.
TEST_F(FormatsTest, CsvStaysTheDefaultByteForByte) {
    LogReader reader;
    ASSERT_TRUE(reader.Open(log));
    const std::string want = dir->File("want.csv");
    std::FILE* f = std::fopen(want.c_str(), "wb");
    ExportCsv(reader, f, nullptr);
    std::fclose(f);
    const std::string got = dir->File("got.csv");
    ASSERT_EQ(RunCommand(QuarnLog("export " + log + " -o " + got)).exitCode, 0);
    EXPECT_EQ(test::ReadBytes(got), test::ReadBytes(want));
    EXPECT_EQ(RunCommand(QuarnLog("export --format csv " + log)).out.size(), test::ReadBytes(want).size());
}

TEST_F(FormatsTest, StatsEqualTheViewersStatistics) {
    const auto r = RunCommand(QuarnLog("stats --json --range 100:8000 " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const LogColumns columns(*table);
    const auto want = Statistics(columns.Set(), RowRange{99, 8000});
    const QJsonArray got = JsonOf(r.out)["channels"].toArray();
    ASSERT_EQ(got.size(), static_cast<qsizetype>(want.size()));
    for (std::size_t c = 0; c < want.size(); ++c) {
        const QJsonObject g = got[static_cast<qsizetype>(c)].toObject();
        EXPECT_EQ(g["name"].toString(), want[c].name);
        EXPECT_DOUBLE_EQ(g["mean"].toDouble(), want[c].mean) << want[c].name.toStdString();
        EXPECT_DOUBLE_EQ(g["max"].toDouble(), want[c].max);
        EXPECT_DOUBLE_EQ(g["timeMean"].toDouble(), want[c].timeMean);
    }
}

TEST_F(FormatsTest, HeatmapEqualsTheViewersCellsAndCopy) {
    const auto r = RunCommand(QuarnLog("heatmap --x RPM --y MAF --z WideO2 --filter 'TPS>1' --json " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject got = JsonOf(r.out);
    std::vector<double> xEdges, yEdges;
    for (const QJsonValue v : got["xEdges"].toArray()) xEdges.push_back(v.toDouble());
    for (const QJsonValue v : got["yEdges"].toArray()) yEdges.push_back(v.toDouble());
    ASSERT_GE(xEdges.size(), 3u);
    EXPECT_DOUBLE_EQ(xEdges[1] - xEdges[0], 500);  // the viewer's default RPM step
    HeatFilter tps{ViewerChannelId("TPS"), HeatFilter::Op::Above, 1};
    const HeatMapResult want = ComputeHeatMap(*table, ViewerChannelId("RPM"), ViewerChannelId("MAF"),
                                              ViewerChannelId("WideO2"), xEdges, yEdges,
                                              HeatFilterCondition(*table, {tps}), 0,
                                              table->Rows());
    const QJsonArray count = got["count"].toArray();
    ASSERT_EQ(count.size(), static_cast<qsizetype>(want.count.size()));
    std::int64_t counted = 0;
    for (std::size_t c = 0; c < want.count.size(); ++c) {
        EXPECT_EQ(count[static_cast<qsizetype>(c)].toInteger(), want.count[c]);
        if (want.count[c]) {
            EXPECT_DOUBLE_EQ(got["mean"].toArray()[static_cast<qsizetype>(c)].toDouble(), want.mean[c]);
        }
        counted += want.count[c];
    }
    EXPECT_GT(counted, 0);
    const auto text = RunCommand(QuarnLog("heatmap " + log + " --x RPM --y MAF --z WideO2 --filter 'TPS>1'"));
    EXPECT_EQ(text.out, HeatMapTsv(want, "RPM", "MAF", "WideO2").toStdString() +
                            (HeatMapTsv(want, "RPM", "MAF", "WideO2").endsWith('\n') ? "" : "\n"));
}

// --filter takes the heat map tab's formulas; several must all hold.
TEST_F(FormatsTest, HeatmapFiltersAreTheTabsFormulas) {
    const auto r = RunCommand(QuarnLog("heatmap --x RPM --y MAF --z WideO2 --json --filter 'TPS>=1' "
                                       "--filter 'RPM < 4000 or not (MPH > 20)' " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject got = JsonOf(r.out);
    std::vector<double> xEdges, yEdges;
    for (const QJsonValue v : got["xEdges"].toArray()) xEdges.push_back(v.toDouble());
    for (const QJsonValue v : got["yEdges"].toArray()) yEdges.push_back(v.toDouble());
    const std::vector<float> holds = EvaluateCondition(
        *table, QStringLiteral("TPS >= 1 and (RPM < 4000 or MPH <= 20)"), nullptr);
    const HeatMapResult want = ComputeHeatMap(*table, ViewerChannelId("RPM"), ViewerChannelId("MAF"),
                                              ViewerChannelId("WideO2"), xEdges, yEdges, holds, 0,
                                              table->Rows());
    ASSERT_GT(want.filteredOut, 0);
    const QJsonArray count = got["count"].toArray();
    ASSERT_EQ(count.size(), static_cast<qsizetype>(want.count.size()));
    for (std::size_t c = 0; c < want.count.size(); ++c)
        EXPECT_EQ(count[static_cast<qsizetype>(c)].toInteger(), want.count[c]) << c;
}

TEST_F(FormatsTest, PullsAndDynoPeaksEqualTheViewersDyno) {
    const DynoInput input = DynoInputOf(*table);
    const PullScan scan = FindPulls(input);
    ASSERT_GT(scan.UsableCount(), 0u);
    const auto pulls = RunCommand(QuarnLog("pulls --json " + log));
    ASSERT_EQ(pulls.exitCode, 0) << pulls.err;
    EXPECT_EQ(JsonOf(pulls.out)["pulls"].toArray().size(), static_cast<qsizetype>(scan.pulls.size()));

    const Pull* usable = nullptr;
    for (const Pull& p : scan.pulls)
        if (p.usable && !usable) usable = &p;
    DynoOptions options;
    options.humidityPercent = 40;
    const DynoCurve want = ComputeCurve(input, *usable, DynoVehicle{}, options);
    const std::string n = std::to_string(usable->number);
    const auto dyno = RunCommand(QuarnLog("dyno --json --corrected --humidity 40 --pull " + n + " " + log));
    ASSERT_EQ(dyno.exitCode, 0) << dyno.err;
    const QJsonObject got = JsonOf(dyno.out);
    EXPECT_DOUBLE_EQ(got["peakHp"].toObject()["value"].toDouble(), want.peakHp.value * want.correctionFactor);
    EXPECT_DOUBLE_EQ(got["peakHp"].toObject()["rpm"].toDouble(), want.peakHp.rpm);
    EXPECT_DOUBLE_EQ(got["peakTorque"].toObject()["value"].toDouble(),
                     want.peakTorque.value * want.correctionFactor);
    EXPECT_EQ(got["points"].toArray().size(), static_cast<qsizetype>(want.points.size()));
    const auto csv = RunCommand(QuarnLog("dyno --pull " + n + " " + log));
    EXPECT_EQ(csv.out.rfind("RPM,power (hp),torque (lb-ft)\n", 0), 0u) << csv.out.substr(0, 60);
    EXPECT_NE(csv.out.find("\nPeak,Value,RPM,Note\nPower (hp),"), std::string::npos);
}

TEST_F(FormatsTest, InfoTellsTheSidecarsStartDurationAndMarkers) {
    const auto r = RunCommand(QuarnLog("info --json " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject got = JsonOf(r.out);
    EXPECT_EQ(got["start"].toString(), "2026-05-02T14:30:00.000Z");
    EXPECT_NEAR(got["durationSeconds"].toDouble(), (kRecords - 1) * kInterval, 1e-6);
    EXPECT_EQ(got["markers"].toArray().size(), 2);
    EXPECT_EQ(got["warmingUp"].toInt(), kWarmUpFrames);
}

TEST_F(FormatsTest, EventsFindTheStretchesWhereTheFormulaHolds) {
    const auto r = RunCommand(QuarnLog("events 'TPS > 4' --min-seconds 1 --json " + log));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonArray events = JsonOf(r.out)["events"].toArray();
    ASSERT_FALSE(events.isEmpty());
    for (const QJsonValue e : events) EXPECT_GE(e.toObject()["seconds"].toDouble(), 1.0);
}

// Every bad input: the exit code says whose fault, and the log is untouched.
TEST_F(FormatsTest, BadInputIsRefusedWithItsExitCode) {
    const auto before = test::ReadBytes(log);
    struct Case {
        std::string args;
        int exit;
    };
    const Case cases[] = {
        {"export --format xls " + log, 2},
        {"export --range 5:99999 " + log, 2},
        {"export --range 9:3 " + log, 2},
        {"stats --range 99999: " + log, 2},
        {"export --format mlg -o " + log + " " + log, 2},
        {"export --format msl " + log + " " + log, 2},
        {"export --decimal-comma --format csv-units " + log, 2},
        {"export --frobnicate " + log, 2},
        {"heatmap --x RPM --y NOPE --z MAF " + log, 2},
        {"heatmap --x RPM --y MAF --z MAF --filter 'TPS >' " + log, 2},
        {"heatmap --x RPM --y MAF --z MAF --filter 'Knock > 1' " + log, 2},
        {"dyno --pull 99 " + log, 2},
        {"dyno --pull x " + log, 2},
        {"events 'RPM >' " + log, 2},
        {"info " + dir->File("missing.qz0"), 1},
        {"export --format mlg -o " + dir->File("no/such/folder.mlg") + " " + log, 1},
    };
    for (const Case& c : cases) {
        const auto r = RunCommand(QuarnLog(c.args));
        EXPECT_EQ(r.exitCode, c.exit) << c.args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << c.args;
    }
    EXPECT_EQ(test::ReadBytes(log), before);
    EXPECT_FALSE(std::filesystem::exists(dir->File("no")));
}

}  // namespace
}  // namespace quarn
