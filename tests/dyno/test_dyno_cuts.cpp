// Covers what the dyno leaves out of a pull: the frames of a log that are
// still warming up, and the coasting of a missed gear, in which the car
// really coasts (clutch in, throttle open) in the simulator's physics.

#include <gtest/gtest.h>

#include <cmath>

#include "dyno/DynoCurve.h"
#include "dyno/PeakLabels.h"
#include "dyno/Pulls.h"
#include "tests/dyno/DynoDrives.h"

namespace quarn {
namespace {

using test::DriveOf;

DynoVehicle SimCar() {
    return {EngineModel::kPullWeightLb, EngineModel::kPullCdA, EngineModel::kPullCrr};
}

// Where the model's first pull begins: the first frame at full throttle.
double FirstPullSeconds() {
    EngineModel model(EngineModel::kDefaultSeed, true);
    for (double t = 0; t < 60; t += 0.01) {
        model.Sample(t);
        if (model.CurrentPhase() == EngineModel::Phase::Pull) return t;
    }
    return 0;
}

// A log whose recording began in the middle of a pull opens with the
// running averages still filling: the pull starts where they have filled,
// not at the start-up reading of a few hundred rpm.
TEST(DynoWarmUp, ALogStartingInAPullStartsItOnceWarmedUp) {
    const double inPull = FirstPullSeconds() + 3;
    EngineModel model(EngineModel::kDefaultSeed, true);
    const DynoInput in = DriveOf(model, 60, 0.01, inPull);
    ASSERT_GT(in.Size(), 100u);
    const PullScan scan = FindPulls(in);
    ASSERT_FALSE(scan.pulls.empty()) << scan.problem;
    const Pull& p = scan.pulls[0];
    EXPECT_GE(p.first, static_cast<std::size_t>(kWarmUpFrames));
    EXPECT_NEAR(p.startRpm, in.Rpm[kWarmUpFrames + 5], 150) << "not a start-up reading";
    EXPECT_GT(p.startRpm, 3000);

    // Columns taken from later in a run have nothing to warm up.
    DynoInput settled = in;
    settled.warmUp = 0;
    EXPECT_LT(FindPulls(settled).pulls.at(0).startRpm, 1500) << "the start-up values are there";
}

struct Dip {
    double atRpm;
    double seconds;
};

class DynoMissedShift : public testing::TestWithParam<Dip> {};

// Clutch in at full throttle: the engine falls towards idle and the car
// coasts, then the clutch goes home. The pull is cut where RPM and speed
// part and starts again only once they hold together, so every point of
// both pieces lies on the engine's known curve.
TEST_P(DynoMissedShift, CurveStaysOnTheKnownCurveAroundTheDip) {
    const Dip dip = GetParam();
    EngineModel model(EngineModel::kDefaultSeed, true);
    model.SetPullClutchDip(dip.atRpm, dip.seconds);
    const DynoInput in = DriveOf(model, 60);
    const PullScan scan = FindPulls(in);
    ASSERT_GE(scan.UsableCount(), 2u) << scan.problem;
    const Pull& before = scan.pulls[0];
    const Pull& after = scan.pulls[1];
    EXPECT_TRUE(before.usable && after.usable);
    EXPECT_NE(before.note.find("RPM and speed parted"), std::string::npos) << before.note;
    EXPECT_NEAR(before.endRpm, dip.atRpm, 100);
    EXPECT_GT(after.startRpm, dip.atRpm - 400) << "the next piece starts back in gear";

    int checked = 0;
    for (int piece = 0; piece < 2; ++piece) {
        const Pull& p = piece == 0 ? before : after;
        const DynoCurve curve = ComputeCurve(in, p, SimCar());
        ASSERT_TRUE(curve.Ok()) << curve.problem;
        for (const CurvePoint& pt : curve.points) {
            if (pt.rpm < 2500) continue;
            const double known = EngineModel::PullWheelHp(pt.rpm);
            // Within 1 % near the dip, where the coasting would show, but
            // for the outermost bins of a piece, whose one-sided fit any
            // pull's ends share.
            const bool nearDip = std::abs(pt.rpm - dip.atRpm) < 600;
            const bool pieceEdge = pt.rpm < p.startRpm + 150 || pt.rpm > p.endRpm - 150;
            const double tolerance = nearDip && !pieceEdge ? 0.01 : 0.03;
            EXPECT_NEAR(pt.hp, known, tolerance * known) << "at " << pt.rpm << " rpm";
            ++checked;
        }
        if (piece == 0) {
            EXPECT_TRUE(curve.peakHp.atEnd) << "power still rose where the pull was cut";
        } else {
            EXPECT_FALSE(curve.peakHp.atEnd);
            EXPECT_NEAR(curve.peakHp.value, 350, 0.01 * 350);
        }
    }
    EXPECT_GT(checked, 40);
}

INSTANTIATE_TEST_SUITE_P(Dips, DynoMissedShift,
                         testing::Values(Dip{4000, 0.3}, Dip{4200, 0.6}, Dip{4600, 0.15}),
                         [](const testing::TestParamInfo<Dip>& info) {
                             return "at" + std::to_string(static_cast<int>(info.param.atRpm)) +
                                    "for" +
                                    std::to_string(static_cast<int>(info.param.seconds * 100)) +
                                    "cs";
                         });

TEST(DynoPhysics, HumidityLowersTheDryAirPressure) {
    // Buck's saturation pressure: 3.17 kPa at 25 °C, 0.611 kPa at 0 °C.
    EXPECT_NEAR(SaturationVapourKpa(77), 3.169, 0.005);
    EXPECT_NEAR(SaturationVapourKpa(32), 0.6112, 0.001);
    // At standard pressure and 25 °C, 50 % humidity leaves 99 - 1.584 kPa of
    // dry air.
    const double bap = 99000 / kPascalPerInHg;
    const double pd = 99 - 0.5 * SaturationVapourKpa(77);
    EXPECT_NEAR(SaeCorrectionFactor(bap, 77, 50), 1.18 * 99 / pd - 0.18, 1e-6);
    EXPECT_NEAR(SaeCorrectionFactor(bap, 77, 50) / SaeCorrectionFactor(bap, 77, 0), 1.019, 0.001);
    EXPECT_DOUBLE_EQ(SaeCorrectionFactor(bap, 77, 0), SaeCorrectionFactor(bap, 77));
    // Moist air is lighter than dry air at the same pressure.
    EXPECT_LT(AirDensity(29.92, 86, 80), AirDensity(29.92, 86, 0));
}

TEST(DynoLabels, StackedSoThatNoneMeet) {
    struct Case {
        const char* name;
        std::vector<LabelSpan> labels;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {"apart", {{100, 40}, {300, 40}}, {0, 0}},
        {"overlapping", {{100, 40}, {150, 40}}, {0, 1}},
        {"within the gap", {{100, 40}, {185, 40}}, {0, 1}},
        {"third fits back in row 0", {{100, 40}, {150, 40}, {260, 40}}, {0, 1, 0}},
        {"given right to left", {{300, 40}, {100, 40}, {130, 40}}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StackLabels(c.labels, 8), c.rows);
    }
}

}  // namespace
}  // namespace quarn
