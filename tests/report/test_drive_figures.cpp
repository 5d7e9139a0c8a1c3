// The drive report's figures against the simulator's true launch: times
// from standstill, quarter mile and trap speed, learned gear ratios,
// distance and fuel, and the logs that hold no standing start.

#include <gtest/gtest.h>

#include <cmath>

#include "LaunchInput.h"
#include "dyno/Pulls.h"
#include "report/DriveReport.h"

namespace quarn {
namespace {

constexpr double kMiles8th = 0.125;
constexpr double kMiles4th = 0.25;

struct LaunchCase {
    double frameRate;
    double launchRpm;
    std::uint64_t seed;
};

class LaunchTimes : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTimes, MatchTheTrueTrajectory) {
    LaunchOptions o;
    o.frameRate = GetParam().frameRate;
    o.launchRpm = GetParam().launchRpm;
    o.seed = GetParam().seed;
    // A launch that does not fall on a frame.
    o.restSeconds = 5 + 0.0037 * static_cast<double>(o.seed);
    const LaunchRun truth(o);
    const DriveInput in = test::LaunchInput(truth);
    const AccelerationResult a = FindAccelerations(in.dyno);
    ASSERT_EQ(a.runs.size(), 1u) << a.noRunReason;
    const StandingRun& run = a.runs.front();
    const double t0 = truth.LaunchSeconds();
    EXPECT_NEAR(run.launchSeconds, t0, 0.05);
    EXPECT_GT(run.Extrapolated(), 0.2) << "the start is inferred, not read";

    for (const AccelTime& t : run.times) {
        SCOPED_TRACE(t.label);
        ASSERT_GE(t.seconds, 0);
        EXPECT_NEAR(t.seconds, truth.SecondsAtMph(t.toMph) - t0, 0.05);
    }
    EXPECT_NEAR(run.eighthSeconds, truth.SecondsAtMiles(kMiles8th) - t0, 0.05);
    EXPECT_NEAR(run.eighthTrapMph, truth.MphAtMiles(kMiles8th), 0.5);
    EXPECT_NEAR(run.quarterSeconds, truth.SecondsAtMiles(kMiles4th) - t0, 0.05);
    EXPECT_NEAR(run.quarterTrapMph, truth.MphAtMiles(kMiles4th), 0.5);

    // The run pulls through both rolling ranges without a lift.
    ASSERT_EQ(a.rolling.size(), 2u);
    for (const AccelTime& t : a.rolling) {
        SCOPED_TRACE(t.label);
        EXPECT_NEAR(t.seconds, truth.SecondsAtMph(t.toMph) - truth.SecondsAtMph(t.fromMph), 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, LaunchTimes,
                         ::testing::Values(LaunchCase{100, 3000, 1}, LaunchCase{100, 2500, 2},
                                           LaunchCase{250, 3000, 3}, LaunchCase{50, 3500, 4}));

TEST(Gears, LearnedRatiosWithinOnePercentThroughFourGears) {
    const LaunchRun truth;
    const DriveInput in = test::LaunchInput(truth);
    for (int asked : {0, 4}) {
        SCOPED_TRACE(asked);
        GearOptions o;
        o.gears = asked;
        const GearResult g = LearnGears(in.dyno, o);
        ASSERT_EQ(g.gears.size(), 4u) << g.problem;
        EXPECT_TRUE(g.problem.empty());
        for (const Gear& gear : g.gears) {
            SCOPED_TRACE(gear.number);
            const double want = LaunchRun::MphPer1000(gear.number - 1);
            EXPECT_NEAR(gear.mphPer1000 / want, 1, 0.01);
            EXPECT_GT(gear.seconds, 0.5);
        }
        EXPECT_GT(g.betweenSeconds, 0.5) << "the shifts and the slipping launch are in no gear";
    }
}

TEST(Gears, AskingForMoreThanWereDrivenSaysSo) {
    LaunchOptions o;
    o.gears = 2;
    const DriveInput in = test::LaunchInput(LaunchRun(o));
    GearOptions go;
    go.gears = 5;
    const GearResult g = LearnGears(in.dyno, go);
    EXPECT_EQ(g.gears.size(), 2u);
    EXPECT_NE(g.problem.find("Only 2 of the 5"), std::string::npos);
}

TEST(Gears, KnownRatiosKeepEveryPullInOneGear) {
    const LaunchRun truth;
    DriveInput in = test::LaunchInput(truth);
    in.dyno.GearRpmPerMph = LearnGears(in.dyno).RpmPerMph();
    PullThresholds th;
    th.minSeconds = 1;
    const PullScan scan = FindPulls(in.dyno, th);
    ASSERT_GT(scan.UsableCount(), 0u);
    for (const Pull& p : scan.pulls) {
        if (!p.usable) continue;
        const double r0 = in.dyno.Rpm[p.first] / in.dyno.Mph[p.first];
        for (std::size_t k = p.first; k <= p.last; ++k)
            ASSERT_NEAR(in.dyno.Rpm[k] / in.dyno.Mph[k] / r0, 1, 0.02) << "record " << k;
    }
}

TEST(Distance, MatchesTheIntegralOfTheTrueSpeed) {
    const LaunchRun truth;
    const DriveInput in = test::LaunchInput(truth);
    const double want = truth.MilesAt(in.dyno.Seconds.back());
    EXPECT_NEAR(DriveMiles(in.dyno) / want, 1, 0.002) << want << " miles";
}

TEST(Report, FuelAndEconomyAgreeWithTheDial) {
    const DriveInput in = test::LaunchInput(LaunchRun());
    const DriveReport r = BuildDriveReport(in);
    ASSERT_GT(r.gallons, 0);
    EXPECT_NEAR(r.LitresPer100Km(), 235.215 / r.Mpg(), 0.01);
    // One frame at steady duty and speed: mpg = miles / gallons over it.
    const double dutyMpg = FuelEconomyMpg(50, 60, in.vehicle);
    const double gph = in.vehicle.injsize() * in.vehicle.numcyl() * 0.5 / 2.2 / 0.76 * 0.26417;
    EXPECT_NEAR(dutyMpg, 60 / gph, 1e-6);
}

TEST(Report, NoStandingStartSaysWhy) {
    LaunchOptions o;
    o.restSeconds = 0.5;  // moving off before the car was seen standing
    const DriveReport r = BuildDriveReport(test::LaunchInput(LaunchRun(o)));
    EXPECT_TRUE(r.acceleration.runs.empty());
    EXPECT_NE(r.acceleration.noRunReason.find("never stopped"), std::string::npos)
        << r.acceleration.noRunReason;
}

TEST(Report, ChannelsLeaveWarmUpOutAndCountBands) {
    const DriveInput in = test::LaunchInput(LaunchRun());
    const DriveReport r = BuildDriveReport(in);
    EXPECT_EQ(r.warmUpRecords, static_cast<std::size_t>(kWarmUpFrames));
    const auto rpm = std::find_if(r.channels.begin(), r.channels.end(), [](const ChannelSummary& s) {
        return s.channel == static_cast<int>(DriveChannel::Rpm);
    });
    ASSERT_NE(rpm, r.channels.end());
    // The first frames read low while the mean fills; idle is 800.
    EXPECT_GT(rpm->min, 700);
    EXPECT_GT(rpm->max, 5700);
    // Shifts at 5800 rpm: above the 6000 warning never, so no band time.
    EXPECT_TRUE(rpm->hasBands);
    EXPECT_EQ(rpm->dangerSeconds, 0);
}

TEST(Report, AFewRecordsStillMakeAReport) {
    LaunchOptions o;
    const LaunchRun run(o);
    DriveInput in = test::LaunchInput(run);
    DriveInput few;
    for (std::size_t i = 0; i < 5; ++i) {
        ChannelRecord rec;
        few.Append(static_cast<double>(i + 1), 0.01 * static_cast<double>(i), rec);
    }
    const DriveReport r = BuildDriveReport(few);
    EXPECT_EQ(r.records, 5u);
    EXPECT_FALSE(r.acceleration.noRunReason.empty());
    EXPECT_TRUE(r.pulls.empty());
}

}  // namespace
}  // namespace quarn
