// What the plots and the heat map are given: a zoomed-out envelope that
// keeps every spike in few points, and cell means that match a count by hand.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "SimLog.h"
#include "viewer/Envelope.h"
#include "viewer/HeatMap.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"

namespace quarn {
namespace {

TEST(Envelope, KeepsEverySpikeInAtMostTwoPointsPerColumn) {
    const std::size_t n = 1000000;
    std::vector<double> t(n);
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<double>(i) * 0.004;
        v[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.001));
    }
    v[523457] = 1000;
    v[700001] = -1000;
    EnvelopeIndex index;
    index.Extend(v);
    EnvelopePoints out, indexed;
    MinMaxEnvelope(t, v, 0, t.back(), 800, out);
    // The block index gives the very same points, at any window.
    MinMaxEnvelope(t, v, 0, t.back(), 800, indexed, &index);
    EXPECT_EQ(indexed.x, out.x);
    EXPECT_EQ(indexed.y, out.y);
    MinMaxEnvelope(t, v, 1000.1234, 3000.5, 777, out);
    MinMaxEnvelope(t, v, 1000.1234, 3000.5, 777, indexed, &index);
    EXPECT_EQ(indexed.y, out.y);
    MinMaxEnvelope(t, v, 0, t.back(), 800, out);
    ASSERT_EQ(out.x.size(), out.y.size());
    EXPECT_LE(out.x.size(), 2 * 800u + 2);
    EXPECT_EQ(*std::max_element(out.y.begin(), out.y.end()), 1000);
    EXPECT_EQ(*std::min_element(out.y.begin(), out.y.end()), -1000);
    EXPECT_TRUE(std::is_sorted(out.x.begin(), out.x.end()));

    // Zoomed in to fewer rows than columns: every row, and one either side.
    MinMaxEnvelope(t, v, 100, 101, 800, out);
    ASSERT_EQ(out.x.size(), 253u);
    EXPECT_LT(out.x.front(), 100);
    EXPECT_GT(out.x.back(), 101);
    EXPECT_EQ(out.y[1], v[25000]);
}

// A damaged record is a NaN: zoomed out or in, indexed or not, the trace
// breaks there, and the columns around it keep their lowest and highest.
TEST(Envelope, ADamagedRecordStaysAGapAtAnyZoom) {
    const std::size_t n = 200000;
    std::vector<double> t(n);
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<double>(i);
        v[i] = static_cast<float>(i % 100);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    v[123457] = nan;
    for (std::size_t i = 64 * 1000; i < 64 * 1002; ++i) v[i] = nan;  // two whole blocks
    EnvelopeIndex index;
    index.Extend(v);
    const EnvelopeIndex* indexed = &index;
    for (const EnvelopeIndex* with : {static_cast<const EnvelopeIndex*>(nullptr), indexed}) {
        EnvelopePoints out;
        MinMaxEnvelope(t, v, 0, t.back(), 500, out, with);
        EXPECT_TRUE(std::is_sorted(out.x.begin(), out.x.end()));
        std::vector<double> gaps;
        for (std::size_t i = 0; i < out.y.size(); ++i)
            if (std::isnan(out.y[i])) gaps.push_back(out.x[i]);
        EXPECT_EQ(gaps, (std::vector<double>{64000, 123457})) << (with ? "indexed" : "plain");
        EXPECT_EQ(*std::max_element(out.y.begin(), out.y.end(),
                                    [](double a, double b) { return !(a >= b); }),
                  99);
    }
    EnvelopePoints close;
    MinMaxEnvelope(t, v, 123450, 123460, 500, close, &index);
    EXPECT_TRUE(std::isnan(close.y[8])) << close.x[8];
}

TEST(HeatMap, CellMeansAndCountsMatchACountByHandWithAFilter) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("drive.qz0"));
    test::SimLogOptions drive;
    drive.seconds = 240;
    drive.sidecar = false;
    ASSERT_EQ(test::WriteSimLog(log, drive), 60000);
    LogTable table;
    ASSERT_TRUE(table.Load(log, VehicleData(), 250, nullptr, nullptr, nullptr));
    const int rpm = ViewerChannelId(QStringLiteral("RPM")), maf = ViewerChannelId(QStringLiteral("MAF"));
    const int duty = ViewerChannelId(QStringLiteral("InjDuty")), ect = ViewerChannelId(QStringLiteral("ECT"));

    const std::vector<double> xEdges = DefaultHeatEdges(rpm, 0, 6800);
    EXPECT_EQ(xEdges[1] - xEdges[0], 500);
    EXPECT_GE(xEdges.back(), 6800);
    const std::vector<double> yEdges = DefaultHeatEdges(maf, 0.3, 4.9);
    EXPECT_EQ(yEdges[1] - yEdges[0], 0.25);
    EXPECT_LE(yEdges.front(), 0.3);

    const std::vector<HeatFilter> warm{{ect, HeatFilter::Op::Above, 100}};
    const HeatMapResult map = ComputeHeatMap(table, rpm, maf, duty, xEdges, yEdges,
                                              HeatFilterCondition(table, warm), 0, table.Rows());
    std::map<std::size_t, std::pair<double, long>> byHand;
    for (std::size_t r = 0; r < table.Rows(); ++r) {
        const double x = table.Column(rpm)[r], y = table.Column(maf)[r];
        if (!(table.Column(ect)[r] > 100) || x < xEdges.front() || x >= xEdges.back() ||
            y < yEdges.front() || y >= yEdges.back())
            continue;
        const auto cx = static_cast<std::size_t>(std::upper_bound(xEdges.begin(), xEdges.end(), x) - xEdges.begin() - 1);
        const auto cy = static_cast<std::size_t>(std::upper_bound(yEdges.begin(), yEdges.end(), y) - yEdges.begin() - 1);
        auto& cell = byHand[cy * map.Cols() + cx];
        cell.first += table.Column(duty)[r];
        ++cell.second;
    }
    ASSERT_GT(byHand.size(), 5u);
    long counted = 0;
    for (std::size_t c = 0; c < map.count.size(); ++c) {
        const auto it = byHand.find(c);
        const long expect = it == byHand.end() ? 0 : it->second.second;
        ASSERT_EQ(map.count[c], expect) << c;
        if (expect) {
            EXPECT_NEAR(map.mean[c], it->second.first / static_cast<double>(expect), 1e-6);
        }
        counted += expect;
    }
    const HeatMapResult all = ComputeHeatMap(table, rpm, maf, duty, xEdges, yEdges, {}, 0, table.Rows());
    long allCounted = 0;
    for (auto k : all.count) allCounted += static_cast<long>(k);
    EXPECT_LT(counted, allCounted);  // the cold start was filtered out

    // The copy a spreadsheet pastes: a header row, one row per Y cell, then
    // the counts.
    const QStringList lines = HeatMapTsv(map, QStringLiteral("RPM"), QStringLiteral("MAF"), QStringLiteral("InjDuty")).split('\n');
    ASSERT_GE(lines.size(), static_cast<int>(2 * (map.RowsOfCells() + 1) + 1));
    EXPECT_EQ(lines[0].split('\t').size(), static_cast<int>(map.Cols() + 1));
    EXPECT_EQ(lines[1].split('\t')[0], QStringLiteral("%1").arg(yEdges[0]));
    EXPECT_TRUE(lines[static_cast<int>(map.RowsOfCells() + 1)].isEmpty());
    EXPECT_TRUE(lines[static_cast<int>(map.RowsOfCells() + 2)].startsWith(QStringLiteral("count\t")));
}

// The first records of a log read RPM 180, 370, ... while the averages fill:
// the engine idling near 1100 rpm never visited those cells, and the heat
// map leaves them out, saying how many it left.
TEST(HeatMap, LeavesOutTheRecordsStillWarmingUp) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("idle.qz0"));
    test::SimLogOptions drive;
    drive.seconds = 4;
    ASSERT_GT(test::WriteSimLog(log, drive), 500);
    LogTable table;
    ASSERT_TRUE(table.Load(log, VehicleData(), 250, nullptr, nullptr, nullptr));
    ASSERT_EQ(table.WarmUpRows(), static_cast<std::size_t>(kWarmUpFrames));
    const int rpm = ViewerChannelId(QStringLiteral("RPM")), maf = ViewerChannelId(QStringLiteral("MAF"));
    ASSERT_LT(table.Column(rpm)[0], 500) << "the start-up value the map must not count";

    const std::vector<double> xEdges = DefaultHeatEdges(rpm, 0, 6800);
    const std::vector<double> yEdges = DefaultHeatEdges(maf, 0, 5);
    struct Range {
        std::size_t row0, row1;
        std::int64_t warmingUp;
    };
    for (const Range& r : {Range{0, table.Rows(), kWarmUpFrames}, Range{5, 10, 5},
                           Range{10, table.Rows(), kWarmUpFrames - 10},
                           Range{kWarmUpFrames, table.Rows(), 0}}) {
        SCOPED_TRACE(testing::Message() << r.row0 << ".." << r.row1);
        const HeatMapResult map = ComputeHeatMap(table, rpm, maf, maf, xEdges, yEdges, {}, r.row0, r.row1);
        EXPECT_EQ(map.warmingUp, r.warmingUp);
        std::int64_t counted = 0, below1000 = 0;
        for (std::size_t c = 0; c < map.count.size(); ++c) {
            counted += map.count[c];
            if (map.xEdges[c % map.Cols()] < 1000) below1000 += map.count[c];
        }
        EXPECT_EQ(below1000, 0);
        EXPECT_EQ(counted, static_cast<std::int64_t>(r.row1 - std::max<std::size_t>(r.row0, kWarmUpFrames)) *
                               (r.row1 > kWarmUpFrames));
    }
}

// A frame failing its checksum: its row is NaN throughout, counted as
// damaged, and in no cell of the map.
TEST(HeatMap, LeavesOutDamagedFramesAndSaysHowMany) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("drive.qz0"));
    test::SimLogOptions drive;
    drive.seconds = 4;
    ASSERT_GT(test::WriteSimLog(log, drive), 500);
    {
        // The checksum byte of records 100 and 300 made wrong.
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        for (qint64 record : {100, 300}) {
            const qint64 at = (record - 1) * kRecordBytes + 10 + 37;
            ASSERT_TRUE(f.seek(at));
            char c = 0;
            ASSERT_TRUE(f.getChar(&c));
            ASSERT_TRUE(f.seek(at));
            ASSERT_TRUE(f.putChar(static_cast<char>(c + 1)));
        }
    }
    LogTable table;
    ASSERT_TRUE(table.Load(log, VehicleData(), 250, nullptr, nullptr, nullptr));
    ASSERT_EQ(table.DamagedRows(), (std::vector<std::size_t>{99, 299}));
    const int rpm = ViewerChannelId(QStringLiteral("RPM")), maf = ViewerChannelId(QStringLiteral("MAF"));
    EXPECT_TRUE(std::isnan(table.Column(rpm)[99]));
    EXPECT_TRUE(std::isnan(table.Column(ViewerChannelId(QStringLiteral("VssPeriod")))[299]));
    EXPECT_FALSE(std::isnan(table.Column(rpm)[100]));

    const HeatMapResult all = ComputeHeatMap(table, rpm, maf, maf, DefaultHeatEdges(rpm, 0, 6800),
                                             DefaultHeatEdges(maf, 0, 5), {}, 0, table.Rows());
    EXPECT_EQ(all.damaged, 2);
    std::int64_t counted = 0;
    for (std::int64_t c : all.count) counted += c;
    EXPECT_EQ(counted, static_cast<std::int64_t>(table.Rows()) - kWarmUpFrames - 2);
    EXPECT_EQ(ComputeHeatMap(table, rpm, maf, maf, all.xEdges, all.yEdges, {}, 200, 400).damaged, 1);
}

// Each preset of "Only where" maps the cells the same filter rows of the
// old tab mapped, on a drive long enough to warm up from cold and then idle,
// pull and cruise, so each keeps some records and leaves out others.
TEST(HeatMap, PresetsMapTheCellsOfTheFilterRowsTheyReplace) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("drive.qz0"));
    test::SimLogOptions drive;
    drive.seconds = 900;
    drive.frameRate = 100;
    drive.sidecar = false;
    ASSERT_GT(test::WriteSimLog(log, drive), 50000);
    LogTable table;
    ASSERT_TRUE(table.Load(log, VehicleData(), 250, nullptr, nullptr, nullptr));
    const int rpm = ViewerChannelId(QStringLiteral("RPM")), maf = ViewerChannelId(QStringLiteral("MAF"));
    const int afr = ViewerChannelId(QStringLiteral("WideO2")), ect = ViewerChannelId(QStringLiteral("ECT"));
    const int tps = ViewerChannelId(QStringLiteral("TPS"));
    using Op = HeatFilter::Op;
    const std::vector<std::vector<HeatFilter>> rows{
        {{ect, Op::Above, 180}},
        {{ect, Op::Above, 180}, {tps, Op::Above, 1}},
        {{ect, Op::Above, 180}, {tps, Op::Above, 1}, {rpm, Op::AtMost, 3000}},
    };
    const auto presets = HeatWherePresets();
    ASSERT_EQ(presets.size(), rows.size());
    const std::vector<double> xEdges = DefaultHeatEdges(rpm, 0, 6800);
    const std::vector<double> yEdges = DefaultHeatEdges(maf, 0, 5);
    const std::size_t settled = table.WarmUpRows();
    for (std::size_t p = 0; p < presets.size(); ++p) {
        SCOPED_TRACE(presets[p].formula);
        ExpressionError error;
        const std::vector<float> formula =
            EvaluateCondition(table, QString::fromUtf8(presets[p].formula), &error);
        ASSERT_FALSE(error.Failed()) << ErrorText(error).toStdString();
        const HeatMapResult got = ComputeHeatMap(table, rpm, maf, afr, xEdges, yEdges, formula, 0, table.Rows());
        const HeatMapResult want = ComputeHeatMap(table, rpm, maf, afr, xEdges, yEdges,
                                                  HeatFilterCondition(table, rows[p]), 0, table.Rows());
        ASSERT_EQ(got.count, want.count);
        for (std::size_t c = 0; c < got.count.size(); ++c)
            if (got.count[c]) {
                EXPECT_DOUBLE_EQ(got.mean[c], want.mean[c]) << c;
            }
        EXPECT_EQ(got.filteredOut, want.filteredOut);
        std::int64_t counted = 0;
        for (std::int64_t n : got.count) counted += n;
        EXPECT_GT(counted, 0);
        EXPECT_GT(got.filteredOut, 0);
        EXPECT_LT(got.filteredOut, static_cast<std::int64_t>(table.Rows() - settled));
    }
}

// The records a condition leaves out are counted once: not those still
// warming up, nor damaged ones (said apart), nor those outside the range.
TEST(HeatMap, CountsTheRecordsTheConditionLeftOut) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("drive.qz0"));
    test::SimLogOptions drive;
    drive.seconds = 4;
    ASSERT_GT(test::WriteSimLog(log, drive), 500);
    {
        QFile f(log);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 at = (300 - 1) * kRecordBytes + 10 + 37;  // record 300's checksum
        ASSERT_TRUE(f.seek(at));
        char c = 0;
        ASSERT_TRUE(f.getChar(&c));
        ASSERT_TRUE(f.seek(at));
        ASSERT_TRUE(f.putChar(static_cast<char>(c + 1)));
    }
    LogTable table;
    ASSERT_TRUE(table.Load(log, VehicleData(), 250, nullptr, nullptr, nullptr));
    ASSERT_EQ(table.DamagedRows(), (std::vector<std::size_t>{299}));
    const int rpm = ViewerChannelId(QStringLiteral("RPM")), maf = ViewerChannelId(QStringLiteral("MAF"));
    const std::vector<double> xEdges = DefaultHeatEdges(rpm, 0, 6800);
    const std::vector<double> yEdges = DefaultHeatEdges(maf, 0, 5);
    // Holds on even rows only: half of every stretch is left out.
    std::vector<float> even(table.Rows());
    for (std::size_t r = 0; r < even.size(); ++r) even[r] = r % 2 == 0 ? 1.0f : 0.0f;
    even[400] = std::numeric_limits<float>::quiet_NaN();  // no answer is no "yes"

    const std::size_t row0 = 200, row1 = 500;
    ASSERT_GT(row0, table.WarmUpRows());
    const HeatMapResult map = ComputeHeatMap(table, rpm, maf, maf, xEdges, yEdges, even, row0, row1);
    // 150 odd rows, one of them damaged (299), and the NaN at 400.
    EXPECT_EQ(map.filteredOut, 150 - 1 + 1);
    EXPECT_EQ(map.damaged, 1);
    std::int64_t counted = 0;
    for (std::int64_t n : map.count) counted += n;
    EXPECT_EQ(counted, 150 - 1);
    EXPECT_EQ(ComputeHeatMap(table, rpm, maf, maf, xEdges, yEdges, {}, row0, row1).filteredOut, 0);

    // From the start: the warm-up rows are said as such, not as left out.
    const HeatMapResult whole = ComputeHeatMap(table, rpm, maf, maf, xEdges, yEdges, even, 0, 100);
    EXPECT_EQ(whole.warmingUp, static_cast<std::int64_t>(table.WarmUpRows()));
    std::int64_t oddSettled = 0;
    for (std::size_t r = table.WarmUpRows(); r < 100; ++r) oddSettled += r % 2;
    ASSERT_GT(oddSettled, 0);
    EXPECT_EQ(whole.filteredOut, oddSettled);
}

}  // namespace
}  // namespace quarn
