// Conversion of raw frame words into engineering values: the calibration
// tables, the running averages, speed, engine speed, pressure, spark advance,
// injector rules, the power estimate and the fuel economy. Expected values
// were worked out by hand from the formulas.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "decode/Conversion.h"

namespace quarn {
namespace {

// Engine period (units of 8 ticks) that gives about 3000 rpm.
constexpr std::int32_t kPeriod3000 = 4606;
// About 800 rpm.
constexpr std::int32_t kPeriod800 = 17273;

class ConversionTest : public ::testing::Test {
protected:
    // Runs n frames of the same raw words through the conversion. Like the
    // program's record, the engineering fields carry over between frames.
    ChannelRecord Feed(const ChannelRecord& raw, int n = 1) {
        for (int i = 0; i < n; ++i) {
            std::copy(&raw.MafRaw, &raw.AccelInterval + 1, &current.MafRaw);
            current.StatusFlags = raw.StatusFlags;
            conv.ComputeChannels(current, vehicle);
        }
        return current;
    }

    ChannelRecord current;
    Conversion conv;
    VehicleData vehicle;
};

TEST_F(ConversionTest, TemperatureTable) {
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(0), 254);     // 0 V lands between rows 1 and 2
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(0.24), 254);  // an exact row's x moves past it
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(1.42), 133);
    EXPECT_NEAR(conv.TempFromVolts(2.0), 109.853211, 1e-6);
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(4.52), -40);
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(5.0), -40);
    EXPECT_DOUBLE_EQ(conv.TempFromVolts(1e6), -40);  // above the last row: stays in the table
}

TEST_F(ConversionTest, PressureTable) {
    ChannelRecord raw;
    raw.MapPeriod = 6164;  // about 149.45 Hz, between rows 3 and 4
    EXPECT_NEAR(Feed(raw).BapPressure, 26.7387075, 1e-5);
    raw.MapPeriod = 0;  // the guard makes the frequency huge: row 5's value
    EXPECT_FLOAT_EQ(Feed(raw).BapPressure, 30.97696f);
    raw.MapPeriod = 65535;  // about 14 Hz: below row 2
    EXPECT_FLOAT_EQ(Feed(raw).BapPressure, 15.0796f);
}

TEST(RunningAverage, UnwrittenSlotsCountAsZeroAndTheRingWraps) {
    RunningAverage<double, 4> avg;
    EXPECT_DOUBLE_EQ(avg.Add(8), 2);
    EXPECT_DOUBLE_EQ(avg.Add(8), 4);
    EXPECT_DOUBLE_EQ(avg.Add(8), 6);
    EXPECT_DOUBLE_EQ(avg.Add(8), 8);
    EXPECT_EQ(avg.WritePosition(), 0u);
    EXPECT_DOUBLE_EQ(avg.Add(0), 6);  // replaces the oldest slot
}

TEST_F(ConversionTest, VehicleSpeedIsSmoothedOverSixFrames) {
    ChannelRecord raw;
    raw.VssPeriod = 46080;
    EXPECT_NEAR(Feed(raw).Mph, 1.49940504, 1e-6);
    EXPECT_NEAR(Feed(raw, 5).Mph, 8.99643022, 1e-5);
}

TEST_F(ConversionTest, StandingStillShowsZeroAtOnceWithoutFeedingTheAverage) {
    ChannelRecord raw;
    raw.VssPeriod = 46080;
    Feed(raw, 6);
    raw.VssPeriod = 0;
    EXPECT_EQ(Feed(raw, 3).Mph, 0);
    // The ring still holds six full-speed slots: the next period averages
    // with them rather than with zeros.
    raw.VssPeriod = 46080;
    EXPECT_NEAR(Feed(raw).Mph, 8.99643022, 1e-5);
}

TEST_F(ConversionTest, ZeroEnginePeriodBecomesOneAndShowsZeroWhileInTheRing) {
    ChannelRecord raw;
    raw.RpmPeriod = 0;
    ChannelRecord rec = Feed(raw);
    EXPECT_EQ(rec.RpmPeriod, 1);
    EXPECT_EQ(rec.Rpm, 0);  // about 13.8 million rpm unsmoothed
    raw.RpmPeriod = kPeriod800;
    EXPECT_EQ(Feed(raw, 5).Rpm, 0);          // the huge value is still in the ring
    EXPECT_NEAR(Feed(raw).Rpm, 800.0, 0.1);  // overwritten at the seventh frame
}

TEST_F(ConversionTest, AnalogChannelsScaleFromFullScale) {
    ChannelRecord raw;
    raw.MafRaw = raw.TpsRaw = raw.BoostRaw = raw.EgtLRaw = raw.EgtRRaw = 1023;
    raw.WideO2Raw = 0;
    raw.HegoLRaw = 1023;
    raw.EctRaw = 0;
    raw.ActRaw = 1023;
    const ChannelRecord rec = Feed(raw);
    EXPECT_FLOAT_EQ(rec.MafVolts, 5);
    EXPECT_FLOAT_EQ(rec.TpsVolts, 5);
    EXPECT_FLOAT_EQ(rec.BoostLevel, 15);
    EXPECT_FLOAT_EQ(rec.WideO2, 9);
    EXPECT_FLOAT_EQ(rec.EgtL, 2000);
    EXPECT_FLOAT_EQ(rec.HegoL, 0.25f);  // one of four slots
    EXPECT_FLOAT_EQ(rec.EctF, 254);
    EXPECT_FLOAT_EQ(rec.ActF, -40);
}

TEST_F(ConversionTest, SparkAdvanceWithEngineStopped) {
    ChannelRecord raw;
    raw.RpmPeriod = 0;  // shows 0 rpm
    raw.SparkDelay = 0;
    EXPECT_NEAR(Feed(raw).AdvanceDeg, 10.0 / 11, 1e-5);
    EXPECT_NEAR(Feed(raw, 10).AdvanceDeg, 10.0, 1e-4);
}

TEST_F(ConversionTest, SparkAdvanceWrapsWhenTheDelayIsShortOfHalfTheQuarterTurn) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.SparkDelay = 2000;  // 2000 / 1000 = 2 < 5 ms / 2: wraps
    // Six frames fill the speed ring, eleven more the advance ring.
    EXPECT_NEAR(Feed(raw, 17).AdvanceDeg, -29.0795, 1e-3);
    raw.SparkDelay = 3000;  // 3 > 2.5: no wrap
    EXPECT_NEAR(Feed(raw, 11).AdvanceDeg, 41.3808, 1e-3);
}

TEST_F(ConversionTest, InjectorDutyAndPulseWidth) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.InjOnTime = 1000;
    const ChannelRecord rec = Feed(raw);
    EXPECT_NEAR(rec.InjDuty, 2.71385, 1e-4);
    EXPECT_NEAR(rec.InjPw, 1.142857, 1e-6);
}

TEST_F(ConversionTest, ZeroOnTimeBelow1200RpmRepeatsTheLastDuty) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod800;
    raw.InjOnTime = 1000;
    Feed(raw, 6);
    raw.InjOnTime = 0;
    raw.StatusFlags = kInjectorOnFlag;  // ignored below 1200 rpm
    const ChannelRecord rec = Feed(raw, 2);
    EXPECT_NEAR(rec.InjDuty, 0.7236728, 1e-6);
    EXPECT_NEAR(rec.InjPw, 1.142857, 1e-6);
}

TEST_F(ConversionTest, ZeroOnTimeAbove1200RpmFollowsTheInjectorStatusBit) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.InjOnTime = 1000;
    Feed(raw, 6);
    raw.InjOnTime = 0;
    raw.StatusFlags = kInjectorOnFlag;
    ChannelRecord rec = Feed(raw);
    EXPECT_EQ(rec.InjDuty, 100);
    EXPECT_NEAR(rec.InjPw, 1.142857, 1e-6);  // pulse width of the last frame
    raw.StatusFlags = 0;
    rec = Feed(raw);
    EXPECT_EQ(rec.InjDuty, 0);  // fuel cut
    EXPECT_EQ(conv.LastInjDuty(), 0);
}

TEST_F(ConversionTest, PowerFromKineticEnergyGain) {
    // 50 to 60 mph in half a second with a 3500 lb car.
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.VssPeriodPrev = 8291;
    raw.VssPeriod = 6909;
    raw.AccelInterval = 57582;
    const ChannelRecord rec = Feed(raw, 6);
    EXPECT_NEAR(rec.Rwhp, 469.0404, 1e-3);
    EXPECT_NEAR(rec.Rwtq, 469.0404 * 5252 / 3000.1122, 0.01);
}

TEST_F(ConversionTest, PowerIgnoresSmallGainsAndKeepsItsValueWithoutTwoSamples) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.VssPeriodPrev = 8291;
    raw.VssPeriod = 6909;
    raw.AccelInterval = 57582;
    const float hp = Feed(raw).Rwhp;
    ASSERT_GT(hp, 0);

    raw.VssPeriodPrev = 0;  // no earlier sample: last figures stay
    EXPECT_EQ(Feed(raw).Rwhp, hp);

    raw.VssPeriodPrev = 6909;  // no gain
    EXPECT_EQ(Feed(raw).Rwhp, 0);
    raw.VssPeriodPrev = 6000;  // slowing down
    EXPECT_EQ(Feed(raw).Rwhp, 0);
    raw.VssPeriodPrev = 8291;
    raw.AccelInterval = 0;  // no interval: no power rather than a division by zero
    EXPECT_EQ(Feed(raw).Rwhp, 0);
}

TEST_F(ConversionTest, RefusedWeightKeepsTheLastValidValue) {
    ChannelRecord raw;
    raw.RpmPeriod = kPeriod3000;
    raw.VssPeriodPrev = 8291;
    raw.VssPeriod = 6909;
    raw.AccelInterval = 57582;
    EXPECT_FALSE(vehicle.SetWeight("abc"));
    EXPECT_FALSE(vehicle.SetWeight("0"));
    EXPECT_NEAR(Feed(raw).Rwhp, 469.0404, 1e-3);
    EXPECT_TRUE(vehicle.SetWeight("1750"));
    EXPECT_NEAR(Feed(raw).Rwhp, 469.0404 / 2, 1e-3);
}

TEST_F(ConversionTest, NoFrameEverProducesNanOrInfinity) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> word(0, 65535), byte(0, 255), pick(0, 3);
    auto raw16 = [&] {
        // Favour the edges, where the divisions are.
        switch (pick(rng)) {
            case 0:
                return 0;
            case 1:
                return 65535;
            default:
                return word(rng);
        }
    };
    ChannelRecord raw;
    for (int i = 0; i < 20000; ++i) {
        for (std::int32_t* f = &raw.MafRaw; f <= &raw.AccelInterval; ++f) *f = raw16();
        raw.StatusFlags = static_cast<std::uint8_t>(byte(rng));
        ChannelRecord rec = Feed(raw);
        for (const float* f = &rec.Mph; f <= &rec.Rwtq; ++f) ASSERT_TRUE(std::isfinite(*f)) << i;
        ASSERT_LE(rec.Rpm, 10000);
        ApplyInjDutyFloor(rec);
        ASSERT_TRUE(std::isfinite(FuelEconomyMpg(rec.InjDuty, rec.Mph, vehicle)));
    }
}

TEST(FuelEconomy, MilesPerGallonFromDutySpeedAndVehicle) {
    const VehicleData car;  // 36 lb/hr, 8 cylinders
    EXPECT_NEAR(FuelEconomyMpg(10, 60, car), 13.18595, 1e-4);
    EXPECT_EQ(FuelEconomyMpg(10, 0, car), 0);  // standing still
    EXPECT_EQ(FuelEconomyMpg(0, 60, car), 0);  // no fuel flow: no division
}

TEST(FuelEconomy, ZeroDutyIsRaisedToTheFloorOnly) {
    ChannelRecord rec;
    rec.InjDuty = 0;
    ApplyInjDutyFloor(rec);
    EXPECT_FLOAT_EQ(rec.InjDuty, 0.00001f);
    rec.InjDuty = 5;
    ApplyInjDutyFloor(rec);
    EXPECT_EQ(rec.InjDuty, 5);
    // During fuel cut the economy is very large but finite.
    EXPECT_GT(FuelEconomyMpg(0.00001f, 60, VehicleData()), 1e6);
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

// The warm-up rule is exact: with steady raw words, every value of frame
// kWarmUpFrames + 1 on is the steady one, and frame kWarmUpFrames still
// differs in some channel, so the rule leaves out no more than it must.
TEST(WarmUp, EndsWithTheLastFrameCarryingStartUpValues) {
    struct Steady {
        const char* name;
        std::int32_t rpmPeriod, sparkDelay, vssPeriod;
    };
    const Steady cases[] = {
        {"idle", kPeriod800, 2500, 0},
        {"cruise", kPeriod3000, 800, 20000},
        {"high rpm", 2000, 300, 9000},
    };
    VehicleData vehicle;
    for (const Steady& c : cases) {
        SCOPED_TRACE(c.name);
        Conversion conv;
        std::vector<ChannelRecord> out;
        for (int n = 0; n < kWarmUpFrames + 10; ++n) {
            ChannelRecord rec;
            rec.RpmPeriod = c.rpmPeriod;
            rec.SparkDelay = c.sparkDelay;
            rec.VssPeriod = c.vssPeriod;
            rec.HegoLRaw = rec.HegoRRaw = 400;
            conv.ComputeChannels(rec, vehicle);
            EXPECT_EQ(conv.FramesOfRun(), n + 1);
            EXPECT_EQ(conv.WarmingUp(), WarmingUp(n + 1));
            out.push_back(rec);
        }
        const ChannelRecord& settled = out.back();
        auto same = [&](const ChannelRecord& r) {
            return r.Rpm == settled.Rpm && r.AdvanceDeg == settled.AdvanceDeg &&
                   r.Mph == settled.Mph && r.HegoL == settled.HegoL && r.Rwtq == settled.Rwtq;
        };
        for (std::size_t i = kWarmUpFrames; i < out.size(); ++i)
            EXPECT_TRUE(same(out[i])) << "frame " << i + 1;
        EXPECT_FALSE(same(out[kWarmUpFrames - 1])) << "frame " << kWarmUpFrames;
    }
    EXPECT_TRUE(WarmingUp(1));
    EXPECT_TRUE(WarmingUp(15));
    EXPECT_FALSE(WarmingUp(16));
}

}  // namespace
}  // namespace quarn
