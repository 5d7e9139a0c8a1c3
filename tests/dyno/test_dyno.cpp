// Covers the dyno: the curve of a simulated pull against the engine model's
// known power curve, pull detection on a hand-made drive, the SAE J1349
// factor, and the bad inputs (no pull, gaps, dropouts, glitches, falling
// rpm, a refused vehicle), none of which may give a spike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "decode/VehicleData.h"
#include "dyno/DynoCsv.h"
#include "dyno/DynoCurve.h"
#include "dyno/Pulls.h"
#include "tests/dyno/DynoDrives.h"

namespace quarn {
namespace {

using test::HandDrive;
using test::SimulatedDrive;

DynoVehicle SimCar() {
    return {EngineModel::kPullWeightLb, EngineModel::kPullCdA, EngineModel::kPullCrr};
}

// The first pull of the model's drive: idle, a gentle start, the pull.
const DynoInput& PullDrive() {
    static const DynoInput drive = SimulatedDrive(60, true);
    return drive;
}

double KnownPeakRpm(bool torque) {
    double best = 0, bestRpm = 0;
    for (double rpm = 1500; rpm <= EngineModel::kPullEndRpm; rpm += 1) {
        const double v = EngineModel::PullWheelHp(rpm) / (torque ? rpm : 1);
        if (v > best) best = v, bestRpm = rpm;
    }
    return bestRpm;
}

// No point of a curve may stand far above the engine's real power, or off
// its rpm range.
void ExpectNoSpike(const DynoCurve& curve) {
    for (const CurvePoint& p : curve.points) {
        EXPECT_LT(p.hp, 1.2 * 350) << "at " << p.rpm;
        EXPECT_TRUE(p.rpm > 1500 && p.rpm < 6500) << p.rpm;
    }
}

// The curve of the only pull in drive lies within 3 % of the engine's known
// curve from 2500 rpm to the top, and its peaks within 100 rpm.
void ExpectTheKnownCurve(const DynoInput& drive) {
    const PullScan scan = FindPulls(drive);
    ASSERT_EQ(scan.pulls.size(), 1u) << scan.problem;
    const Pull& pull = scan.pulls[0];
    ASSERT_TRUE(pull.usable) << pull.note;
    EXPECT_LT(pull.startRpm, 2300);
    EXPECT_GT(pull.endRpm, 5900);
    EXPECT_GT(pull.maxMph, 85);

    const DynoCurve curve = ComputeCurve(drive, pull, SimCar());
    ASSERT_TRUE(curve.Ok()) << curve.problem;
    int checked = 0;
    for (const CurvePoint& p : curve.points) {
        if (p.rpm < 2500) continue;
        const double known = EngineModel::PullWheelHp(p.rpm);
        EXPECT_NEAR(p.hp, known, 0.03 * known) << "at " << p.rpm << " rpm";
        EXPECT_NEAR(p.torque, known * 5252.113 / p.rpm, 0.03 * known * 5252.113 / p.rpm);
        ++checked;
    }
    EXPECT_GT(checked, 50);
    EXPECT_GT(curve.points.back().rpm, 5850) << "the curve reaches the top of the pull";
    EXPECT_NEAR(curve.peakHp.rpm, KnownPeakRpm(false), 100);
    EXPECT_NEAR(curve.peakHp.value, 350, 0.03 * 350);
    EXPECT_NEAR(curve.peakTorque.rpm, KnownPeakRpm(true), 100);
}

TEST(Dyno, SimulatedPullMeetsTheKnownCurve) {
    {
        SCOPED_TRACE("100 frames a second");
        ExpectTheKnownCurve(PullDrive());
    }
    // Other frame rates and another day see the same car.
    for (const double interval : {0.004, 0.02}) {
        SCOPED_TRACE(testing::Message() << "a frame every " << interval << " s");
        ExpectTheKnownCurve(SimulatedDrive(60, true, interval, 5));
    }
}

TEST(Dyno, TheDemoDriveStartsWithAPullAndHasOthersAmongItsRuns) {
    const DynoInput drive = SimulatedDrive(400, false, 0.02);
    const PullScan scan = FindPulls(drive);
    ASSERT_GE(scan.UsableCount(), 2u) << scan.problem;
    const Pull& first = scan.pulls[0];
    EXPECT_TRUE(first.usable);
    EXPECT_LT(first.startRpm, 2300);
    EXPECT_GT(first.endRpm, 5900);
}

TEST(Dyno, CsvHoldsBothFiguresPerRpm) {
    DynoCurve curve;
    curve.correctionFactor = 1.05;
    curve.points = {{3000, 200, 200 * 5252.113 / 3000}, {3050, 210.25, 210.25 * 5252.113 / 3050}};
    EXPECT_EQ(CurveCsv(curve),
              "RPM,Power (hp),Torque (lb-ft),SAE corrected power (hp),SAE corrected torque "
              "(lb-ft)\n3000,200.0,350.1,210.0,367.6\n3050,210.2,362.1,220.8,380.2\n");
}

TEST(Dyno, FindsTwoPullsButNotPartThrottleOrALiftOff) {
    HandDrive d;
    auto flat = [](double rpm) { return [rpm](double) { return rpm; }; };
    auto rising = [](double from, double perSecond) {
        return [=](double s) { return from + perSecond * s; };
    };
    d.Stretch(3, 1.0, 0, flat(800));                  // idle
    d.Stretch(5, 4.5, 15.5, rising(2000, 800));       // pull: 2000 to 6000
    d.Stretch(3, 1.0, 15.5, rising(6000, -1000));     // lift and slow
    d.Stretch(5, 3.0, 15.5, rising(3000, 500));       // part throttle run
    d.Stretch(1.2, 4.5, 15.5, rising(5500, 500));     // wide open, then a lift-off
    d.Stretch(2, 1.0, 15.5, rising(6100, -1000));
    d.Stretch(4, 4.6, 21.0, rising(2500, 800));       // pull: 2500 to 5700
    d.Stretch(2, 1.0, 21.0, rising(5700, -500));

    const PullScan scan = FindPulls(d.in);
    ASSERT_EQ(scan.pulls.size(), 2u);
    EXPECT_TRUE(scan.problem.empty());
    const Pull& a = scan.pulls[0];
    const Pull& b = scan.pulls[1];
    EXPECT_TRUE(a.usable && b.usable);
    EXPECT_TRUE(a.note.empty() && b.note.empty()) << a.note << b.note;
    EXPECT_EQ(a.number, 1);
    EXPECT_EQ(b.number, 2);
    EXPECT_NEAR(a.startRpm, 2000, 1);
    EXPECT_NEAR(a.endRpm, 5992, 10);
    EXPECT_NEAR(a.seconds, 4.99, 0.02);
    EXPECT_NEAR(a.minMph, 31, 0.1);
    EXPECT_NEAR(a.maxMph, 92.9, 0.2);
    EXPECT_NEAR(b.startRpm, 2500, 1);
    EXPECT_NEAR(b.seconds, 3.99, 0.02);

    // Thresholds are the user's: with a lower throttle the part-throttle run
    // counts; with 5 s needed only the first pull does.
    PullThresholds low;
    low.minTpsVolts = 2.5;
    EXPECT_EQ(FindPulls(d.in, low).UsableCount(), 3u);
    PullThresholds longer;
    longer.minSeconds = 4.5;
    EXPECT_EQ(FindPulls(d.in, longer).UsableCount(), 1u);
}

TEST(Dyno, CorrectionFactorToStandardAir) {
    // 99 kPa and 25 °C are the standard.
    EXPECT_NEAR(SaeCorrectionFactor(99000 / kPascalPerInHg, 77), 1.000, 0.0005);
    // A hot day at altitude: 24.0 inHg (81.27 kPa), 100 °F (37.78 °C).
    const double expected =
        1.18 * (99 / 81.2733) * std::sqrt((37.7778 + 273) / 298) - 0.18;  // 1.2879
    EXPECT_NEAR(SaeCorrectionFactor(24.0, 100), expected, 0.0005);
    // Dense air (cold, high pressure) corrects downwards.
    EXPECT_LT(SaeCorrectionFactor(30.5, 40), 0.97);
    // Standard sea-level air weighs 1.225 kg/m³ at 15 °C.
    EXPECT_NEAR(AirDensity(29.921, 59), 1.225, 0.002);
}

TEST(DynoBadInput, ALogWithoutAPullSaysSo) {
    HandDrive d;
    d.Stretch(10, 3.2, 15.5, [](double s) { return 2000 + 300 * s; });
    const PullScan scan = FindPulls(d.in);
    EXPECT_TRUE(scan.pulls.empty());
    EXPECT_NE(scan.problem.find("No wide-open-throttle pull"), std::string::npos) << scan.problem;
    EXPECT_NE(FindPulls(DynoInput{}).problem, "");
}

// A pull damaged between two records is split there, with the reason; the
// pieces long enough stay usable and no piece spikes.
struct Damage {
    const char* name;
    std::function<void(DynoInput&, std::size_t at)> apply;
    const char* reason;
};

TEST(DynoBadInput, DamagedPullsAreSplitOrRefusedWithoutASpike) {
    const PullScan clean = FindPulls(PullDrive());
    ASSERT_EQ(clean.UsableCount(), 1u);
    const Pull whole = clean.pulls[0];
    const std::size_t middle = (whole.first + whole.last) / 2;
    const std::size_t early = whole.first + 100;  // 1 s in: the first piece is too short

    const Damage damages[] = {
        {"records missing",
         [](DynoInput& in, std::size_t at) {
             for (std::size_t k = at; k < in.Size(); ++k) in.Record[k] += 40;
         },
         "records missing"},
        {"time gap",
         [](DynoInput& in, std::size_t at) {
             for (std::size_t k = at; k < in.Size(); ++k) in.Seconds[k] += 1.5;
         },
         "a gap of"},
        {"dropout",
         [](DynoInput& in, std::size_t at) {
             for (std::size_t k = at; k < at + 4; ++k) in.VssPeriod[k] = 0;
         },
         "speed sensor dropout"},
        {"glitch",
         [](DynoInput& in, std::size_t at) { in.VssPeriod[at] /= 2; },
         "bad speed sample"},
        {"prev glitch",
         [](DynoInput& in, std::size_t at) { in.VssPeriodPrev[at] *= 3; },
         "bad speed sample"},
        {"rpm falls",
         [](DynoInput& in, std::size_t at) {
             for (std::size_t k = at; k < at + 30; ++k) in.Rpm[k] -= 900;
         },
         "RPM fell"},
    };
    for (const Damage& damage : damages) {
        for (const std::size_t at : {middle, early}) {
            SCOPED_TRACE(std::string(damage.name) + (at == early ? " early" : " in the middle"));
            DynoInput in = PullDrive();
            damage.apply(in, at);
            const PullScan scan = FindPulls(in);
            ASSERT_GE(scan.pulls.size(), 2u);
            bool told = false;
            for (const Pull& p : scan.pulls) {
                told |= p.note.find(damage.reason) != std::string::npos;
                EXPECT_TRUE(p.last < at || p.first >= at) << "no pull spans the damage";
                if (at == early && p.last < at) {
                    EXPECT_FALSE(p.usable) << "a 1 s piece is no pull";
                    EXPECT_NE(p.note.find("refused"), std::string::npos) << p.note;
                }
                const DynoCurve curve = ComputeCurve(in, p, SimCar());
                EXPECT_EQ(curve.Ok(), p.usable) << curve.problem;
                ExpectNoSpike(curve);
            }
            EXPECT_TRUE(told) << "the reason is given";
            EXPECT_GE(scan.UsableCount(), 1u);
        }
    }
}

TEST(DynoBadInput, RpmReadingsFarOffScaleNeitherCrashNorSpike) {
    for (const float bad : {1e30f, -1e30f, std::nanf("")}) {
        DynoInput in = PullDrive();
        const Pull whole = FindPulls(in).pulls.at(0);
        in.Rpm[whole.first] = bad;
        in.Rpm[(whole.first + whole.last) / 2] = bad;
        for (const Pull& p : FindPulls(in).pulls) ExpectNoSpike(ComputeCurve(in, p, SimCar()));
    }
}

TEST(DynoBadInput, ARunBrokenIntoCrumbsIsRefusedWithItsReason) {
    DynoInput in = PullDrive();
    const Pull whole = FindPulls(in).pulls.at(0);
    for (std::size_t k = whole.first + 20; k <= whole.last; k += 20) in.VssPeriod[k] = 0;
    const PullScan scan = FindPulls(in);
    ASSERT_EQ(scan.pulls.size(), 1u);
    EXPECT_FALSE(scan.pulls[0].usable);
    EXPECT_NE(scan.pulls[0].note.find("speed sensor dropout"), std::string::npos);
    EXPECT_NE(scan.problem.find("No usable pull"), std::string::npos);
}

TEST(DynoBadInput, AVehicleWithoutWeightOrDragAreaIsRefused) {
    const PullScan scan = FindPulls(PullDrive());
    for (const DynoVehicle car : {DynoVehicle{0, 0.7, 0.015}, DynoVehicle{-3500, 0.7, 0.015},
                                  DynoVehicle{3500, 0, 0.015}, DynoVehicle{3500, -0.7, 0.015},
                                  DynoVehicle{3500, 0.7, -0.01}}) {
        const DynoCurve curve = ComputeCurve(PullDrive(), scan.pulls.at(0), car);
        EXPECT_FALSE(curve.Ok());
        EXPECT_TRUE(curve.points.empty());
        EXPECT_NE(curve.problem.find("Session Properties"), std::string::npos);
    }
    VehicleData v;
    for (const char* text : {"0", "-0.7", "0.0", "-3"}) {
        EXPECT_FALSE(v.SetCdA(text)) << text;
        EXPECT_FALSE(v.SetCrr(text)) << text;
        EXPECT_FALSE(v.SetWeight(text)) << text;
    }
    EXPECT_EQ(v.cda(), VehicleData::kDefaultCdA);
    EXPECT_EQ(v.crr(), VehicleData::kDefaultCrr);
    EXPECT_TRUE(v.SetCdA("0.62"));
    EXPECT_TRUE(v.SetCrr("0.012"));
    EXPECT_EQ(v.cda(), 0.62);
    EXPECT_EQ(v.crr(), 0.012);
}

}  // namespace
}  // namespace quarn
