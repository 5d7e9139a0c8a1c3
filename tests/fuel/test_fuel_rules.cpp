// The fuel analysis's rules one by one: bad tables, the filters, the
// suggestion's clamp and order, the lag estimate, a log without a wideband.

#include <gtest/gtest.h>

#include "fuel/FuelReport.h"
#include "tests/fuel/FuelDrives.h"

namespace quarn {
namespace {

TEST(FuelTransfer, RefusesBadTablesNamingTheLine) {
    MafTransfer t;
    std::string error;
    EXPECT_FALSE(ParseTransfer("0.5\t10\n1.0\t20\n0.9\t30\n", AirflowUnit::KgPerHour, t, &error));
    EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
    EXPECT_FALSE(ParseTransfer("0.5,10\n\nvolts,kg/h\n", AirflowUnit::KgPerHour, t, &error));
    EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
    EXPECT_FALSE(ParseTransfer("0.5 10 12\n", AirflowUnit::KgPerHour, t, &error));
    EXPECT_EQ(error.rfind("line 1:", 0), 0u) << error;
    EXPECT_FALSE(ParseTransfer("1.0;20\n", AirflowUnit::KgPerHour, t, &error));
    EXPECT_NE(error.find("at least 2 rows"), std::string::npos) << error;
    EXPECT_FALSE(ParseTransfer(" \n", AirflowUnit::KgPerHour, t, &error));
    EXPECT_FALSE(ParseTransfer("0.5\t10\n0.5\t11\n", AirflowUnit::KgPerHour, t, &error));

    ASSERT_TRUE(ParseTransfer("0.5\t1.0\r\n1.5, 3.0\n2.5;+5\n", AirflowUnit::LbPerMin, t, &error));
    EXPECT_DOUBLE_EQ(t.AirflowAt(1.0), 2.0);
    EXPECT_DOUBLE_EQ(t.AirflowAt(9), 5.0) << "held beyond the last row";
    EXPECT_NEAR(t.KgPerHourAt(1.0), 2 * kKgPerHourPerLbPerMin, 1e-9);
    EXPECT_EQ(t.NearestRow(0.99), 0u);
    EXPECT_EQ(t.NearestRow(1.0), 1u) << "half-way counts upward";
    EXPECT_EQ(TransferText(t.volts, t.airflow), "0.5\t1\n1.5\t3\n2.5\t5\n");
}

TEST(FuelInjector, PulseFollowsSlopeOffsetBreakpointAndFiring) {
    InjectorData inj;  // 36 lb/hr, 1 ms
    EXPECT_NEAR(inj.PulseMs(36.0 / 3.6e6 * 4), 5.0, 1e-12);
    inj.bankFire = true;
    EXPECT_NEAR(inj.PulseMs(36.0 / 3.6e6 * 4), 3.0, 1e-12) << "two squirts of half the fuel";
    inj.bankFire = false;
    inj.breakpointMs = 2;
    inj.lowSlopeLbHr = 18;
    EXPECT_NEAR(inj.PulseMs(18.0 / 3.6e6 * 1), 2.0, 1e-12) << "below the breakpoint";
    EXPECT_NEAR(inj.PulseMs(18.0 / 3.6e6 * 2 + 36.0 / 3.6e6 * 1), 4.0, 1e-12);
}

std::vector<FuelBin> Bins(std::vector<std::pair<double, double>> corrections, int hits = 40) {
    std::vector<FuelBin> bins;
    double v = 1;
    for (const auto& [airflow, c] : corrections) {
        FuelBin b;
        b.volts = v += 0.5;
        b.airflow = airflow;
        b.closedLoop.hits = std::isnan(c) ? 0 : hits;
        b.closedLoop.mean = std::isnan(c) ? 0 : c;
        bins.push_back(b);
    }
    return bins;
}

TEST(FuelSuggestion, ClampsSmoothsAndStaysIncreasing) {
    FuelSetup s;
    const double none = std::nan("");
    auto bins = Bins({{100, 0.25}, {110, -0.03}, {120, none}, {130, -0.3}});
    SuggestAirflow(bins, s);
    EXPECT_DOUBLE_EQ(bins[0].suggested, 110) << "clamped to +10 %";
    EXPECT_FALSE(bins[2].used);
    EXPECT_GT(bins[3].suggested, 120) << "130 - 10 % falls below the unused row before it";
    for (std::size_t i = 1; i < bins.size(); ++i)
        EXPECT_GT(bins[i].suggested, bins[i - 1].suggested) << i;
    EXPECT_GT(bins[1].suggested, 110) << "pushed above its neighbour to stay increasing";

    s.smooth = true;
    s.clampPercent = 50;
    bins = Bins({{100, 0.04}, {200, 0.0}, {300, 0.08}, {400, none}});
    SuggestAirflow(bins, s);
    EXPECT_NEAR(bins[0].correction, (2 * 0.04 + 0.0) / 3, 1e-12);
    EXPECT_NEAR(bins[1].correction, (0.04 + 0.0 + 0.08) / 4, 1e-12);
    EXPECT_NEAR(bins[2].correction, (0.0 + 2 * 0.08) / 3, 1e-12) << "an empty neighbour adds nothing";
    EXPECT_EQ(bins[3].correction, 0);

    bins = Bins({{100, 0.05}, {110, 0.05}}, 12);
    SuggestAirflow(bins, FuelSetup{});
    EXPECT_EQ(bins[0].confidence, Confidence::Fair);
    bins = Bins({{100, 0.05}, {110, 0.05}}, 9);
    SuggestAirflow(bins, FuelSetup{});
    EXPECT_FALSE(bins[0].used) << "fewer than 10 hits are not used";
    EXPECT_DOUBLE_EQ(bins[0].suggested, 100);
}

// A steady hand-made log: warm, closed loop, one bin at 2 V, every pulse
// 3 % above the expected one and the wideband 4 % lean of target.
FuelLog SteadyLog(std::size_t rows, const MafTransfer& t, const FuelSetup& s) {
    FuelLog log;
    const double expected = ExpectedPulseMs(2.0, 2000, t, s.injector, s.Stoich());
    for (std::size_t i = 0; i < rows; ++i) {
        log.seconds.push_back(static_cast<double>(i) * 0.01);
        log.maf.push_back(2.0f);
        log.rpm.push_back(2000);
        log.tps.push_back(1.5f);
        log.ect.push_back(195);
        const double lean = 1.04 * (i % 2 ? 1.01 : 0.99);  // a live sensor's ripple
        log.wideO2.push_back(static_cast<float>(lean * s.target.afr / s.Stoich() * 14.7));
        const bool high = (i / 20) % 2;  // both banks switch every 0.2 s
        log.hegoL.push_back(high ? 0.8f : 0.1f);
        log.hegoR.push_back(high ? 0.1f : 0.8f);
        log.injDuty.push_back(10);
        log.injPw.push_back(static_cast<float>(1.03 * expected));
    }
    return log;
}

const MafTransfer& Table() {
    static const MafTransfer t = [] {
        MafTransfer m;
        std::string e;
        ParseTransfer("1.0 40\n2.0 200\n3.0 420\n", AirflowUnit::KgPerHour, m, &e);
        return m;
    }();
    return t;
}

std::int64_t Removed(const std::vector<FilterCount>& fs, const std::string& prefix) {
    for (const FilterCount& f : fs)
        if (f.name.rfind(prefix, 0) == 0) return f.removed;
    ADD_FAILURE() << "no filter " << prefix;
    return -1;
}

TEST(FuelFilters, EachRemovesItsRecordsAndSaysHowMany) {
    FuelSetup s;
    FuelLog log = SteadyLog(1000, Table(), s);
    log.warmUp = 15;
    FuelResult r = AnalyseFuel({log}, Table(), s);
    // Closed loop needs both banks to have crossed; the first crossing is at 0.2 s.
    EXPECT_NEAR(r.bins[1].closedLoop.mean, 0.03, 1e-6);
    const std::int64_t base = r.bins[1].closedLoop.hits;
    EXPECT_EQ(Removed(r.common, "warming up"), 15);

    log.custom.assign(log.Rows(), 1);
    for (std::size_t i = 500; i < 510; ++i) log.custom[i] = 0;
    log.ect[600] = 170;
    log.injDuty[700] = 0.5f;
    log.maf[800] = 2.1f;  // a jump: unsteady airflow around it
    log.tps[900] = 1.8f;  // a throttle blip: 0.5 s after it removed
    r = AnalyseFuel({log}, Table(), s);
    EXPECT_EQ(Removed(r.common, "custom"), 10);
    EXPECT_EQ(Removed(r.common, "coolant"), 1);
    EXPECT_EQ(Removed(r.common, "fuel cut"), 1);
    EXPECT_EQ(Removed(r.common, "within 0.5 s of a throttle change"), 60) << "to 0.5 s after, from the blip";
    // The rows that see the jump in their rate, back or across their average.
    EXPECT_EQ(Removed(r.common, "airflow not steady"), 4);
    std::int64_t common = 0;
    for (const FilterCount& f : r.common) common += f.removed;
    EXPECT_EQ(r.bins[1].closedLoop.hits + r.bins[0].closedLoop.hits + r.bins[2].closedLoop.hits,
              base + 15 - common);
}

TEST(FuelFilters, OpenLoopReadsTheWidebandAfterTheLagWithinItsRange) {
    FuelSetup s;
    FuelLog log = SteadyLog(1000, Table(), s);
    for (auto& h : log.hegoL) h = 0.85f;  // rich and quiet: open loop
    for (auto& h : log.hegoR) h = 0.85f;

    FuelResult r = AnalyseFuel({log}, Table(), s);
    EXPECT_NEAR(r.bins[1].openLoop.mean, 0.04, 1e-4);
    EXPECT_EQ(r.bins[1].closedLoop.hits, 0);
    EXPECT_EQ(Removed(r.openLoop, "lag reaches past"), 15) << "the last 0.15 s";
    for (std::size_t i = 300; i < 320; ++i) log.wideO2[i] = 9.5f;
    r = AnalyseFuel({log}, Table(), s);
    EXPECT_EQ(Removed(r.openLoop, "wideband outside"), 20);
}

TEST(FuelBadInput, FlatWidebandLeavesTheClosedLoopMethodAndSaysWhy) {
    FuelSetup s;
    FuelLog log = SteadyLog(1000, Table(), s);
    for (auto& w : log.wideO2) w = 20.0f;
    const FuelResult r = AnalyseFuel({log}, Table(), s);
    EXPECT_FALSE(r.openLoopUsed);
    ASSERT_FALSE(r.notes.empty());
    EXPECT_NE(r.notes[0].find("only the closed-loop method"), std::string::npos) << r.notes[0];
    EXPECT_GT(r.bins[1].closedLoop.hits, 0);
}

TEST(FuelBadInput, NoBinWithEnoughHitsSaysSoWithTheFilterCounts) {
    FuelSetup s;
    FuelLog log = SteadyLog(1000, Table(), s);
    for (auto& e : log.ect) e = 150;
    const FuelResult r = AnalyseFuel({log}, Table(), s);
    EXPECT_FALSE(r.AnyUsed());
    EXPECT_NE(FuelTableText(r).find("No bin has 10 hits"), std::string::npos);
    EXPECT_EQ(Removed(r.common, "coolant"), 1000);
}

TEST(FuelLag, TipInsGiveTheWidebandLag) {
    // Hand-made: throttle steps to WOT at known times, the wideband steps
    // 180 ms later.
    FuelLog log;
    for (std::size_t i = 0; i < 3000; ++i) {
        const double t = static_cast<double>(i) * 0.01;
        const double phase = std::fmod(t, 6.0);
        log.seconds.push_back(t);
        log.tps.push_back(phase >= 2 && phase < 4 ? 4.2f : 1.0f);
        log.wideO2.push_back(phase >= 2.18 && phase < 4.18 ? 12.0f : 14.7f);
    }
    LagEstimate e = EstimateWidebandLag({log}, FuelSetup{});
    ASSERT_TRUE(e.ms);
    EXPECT_NEAR(*e.ms, 180, 10.01);
    EXPECT_EQ(e.tipIns, 5);

    // The simulator: its wideband sees the mixture 200 ms late, through a
    // sensor of its own.
    EngineModel::Fuelling f{{}, 12.0, 0.2};
    e = EstimateWidebandLag({test::FuelDrive(1200, f)}, FuelSetup{});
    ASSERT_TRUE(e.ms);
    EXPECT_GE(e.tipIns, 5);
    EXPECT_NEAR(*e.ms, 200, 50);
}

}  // namespace
}  // namespace quarn
