// Covers the simulator's engine model: an hour of driving gives frames that
// decode with valid checksums and convert to believable values, visits every
// part of the drive (idle, boosted runs, cruise, fuel cut, warm-up), and is
// reproducible from its seed whatever the request rate.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "sim/EngineModel.h"

namespace quarn {
namespace {

struct Range {
    const char* name;
    float ChannelRecord::*field;
    double lo;
    double hi;
};

// What a dashboard watcher would accept from a warm or warming petrol engine.
const Range kRanges[] = {
    {"Rpm", &ChannelRecord::Rpm, 600, 6500},
    {"Mph", &ChannelRecord::Mph, 0, 100},
    {"MafVolts", &ChannelRecord::MafVolts, 0.3, 5},
    {"TpsVolts", &ChannelRecord::TpsVolts, 0.8, 4.7},
    {"EctF", &ChannelRecord::EctF, 30, 215},
    {"ActF", &ChannelRecord::ActF, 30, 160},
    {"BapPressure", &ChannelRecord::BapPressure, 28.5, 30.5},
    {"BoostLevel", &ChannelRecord::BoostLevel, 0, 14},
    {"WideO2", &ChannelRecord::WideO2, 9, 20},
    {"EgtL", &ChannelRecord::EgtL, 250, 1900},
    {"EgtR", &ChannelRecord::EgtR, 250, 1900},
    {"HegoL", &ChannelRecord::HegoL, 0, 1},
    {"HegoR", &ChannelRecord::HegoR, 0, 1},
    {"AdvanceDeg", &ChannelRecord::AdvanceDeg, 0, 50},
    {"InjDuty", &ChannelRecord::InjDuty, 0, 100},
    {"InjPw", &ChannelRecord::InjPw, 0, 25},
    {"Rwhp", &ChannelRecord::Rwhp, 0, 600},
};

TEST(BoxSimEngine, AnHourOfDrivingDecodesToBelievableValues) {
    constexpr double kInterval = 0.05;
    constexpr double kHour = 3600;
    constexpr double kSettle = 1;  // the running averages start from zero
    EngineModel model(EngineModel::kDefaultSeed);
    Conversion conv;
    VehicleData vehicle;
    ChannelRecord rec;

    double ectAtStart = 0, ectAfter15Min = 1000;
    double maxRpmBoost = 0, maxRwhp = 0;
    int idleFrames = 0, cruiseFrames = 0, fuelCutFrames = 0;
    int hegoRises = 0;
    bool hegoHigh = false;
    double hegoMin = 1, hegoMax = 0;

    for (int i = 0; i * kInterval < kHour; ++i) {
        const double t = i * kInterval;
        const FrameBytes bytes = EncodeFrame(model.Sample(t));
        FrameFault fault = FrameFault::Short;
        ASSERT_FALSE(DecodeFrame(bytes, rec, &fault)) << "t=" << t;
        ASSERT_EQ(fault, FrameFault::None);
        const bool injecting = rec.InjOnTime != 0;
        ASSERT_EQ(injecting, (rec.StatusFlags & kInjectorOnFlag) != 0) << "t=" << t;
        conv.ComputeChannels(rec, vehicle);
        if (t < kSettle) continue;

        for (const Range& r : kRanges) {
            const double v = rec.*(r.field);
            ASSERT_TRUE(v >= r.lo && v <= r.hi) << r.name << " = " << v << " at t=" << t;
        }

        if (t < 2) ectAtStart = rec.EctF;
        if (t > 900) ectAfter15Min = std::min<double>(ectAfter15Min, rec.EctF);
        if (rec.Mph == 0 && rec.Rpm < 900) ++idleFrames;
        if (rec.Mph > 54 && rec.Mph < 67 && rec.Rpm > 1900 && rec.Rpm < 2600) ++cruiseFrames;
        if (!injecting) {
            ++fuelCutFrames;
            EXPECT_GE(rec.Rpm, 1100) << "fuel is cut only well above idle, t=" << t;
            EXPECT_EQ(rec.InjDuty, 0) << "the duty rule shows a cut as 0 %, t=" << t;
        }
        if (rec.BoostLevel > 6) maxRpmBoost = std::max<double>(maxRpmBoost, rec.Rpm);
        maxRwhp = std::max<double>(maxRwhp, rec.Rwhp);

        if (t > 600) {
            const double hego = rec.HegoLRaw / 1023.0;
            hegoMin = std::min(hegoMin, hego);
            hegoMax = std::max(hegoMax, hego);
            if (!hegoHigh && hego > 0.6) ++hegoRises;
            if (hego > 0.6) hegoHigh = true;
            if (hego < 0.4) hegoHigh = false;
        }
    }

    EXPECT_LT(ectAtStart, 100) << "starts cold";
    EXPECT_GT(ectAfter15Min, 180) << "warm after a quarter of an hour";
    EXPECT_GT(idleFrames, 2000);
    EXPECT_GT(cruiseFrames, 10000);
    EXPECT_GT(fuelCutFrames, 1000);
    EXPECT_GT(maxRpmBoost, 5000) << "boosted runs towards the redline";
    EXPECT_GT(maxRwhp, 80) << "accelerations give a believable power figure";
    EXPECT_LT(hegoMin, 0.2);
    EXPECT_GT(hegoMax, 0.8);
    const double hegoHz = hegoRises / 3000.0;
    EXPECT_GT(hegoHz, 0.5);
    EXPECT_LT(hegoHz, 5);
}

TEST(BoxSimEngine, SameSeedSameDriveWhateverTheRequestRate) {
    EngineModel a(7), b(7), other(8);
    bool differs = false;
    for (int i = 0; i < 4000; ++i) {
        const double t = i * 0.05;
        const FrameBytes fa = EncodeFrame(a.Sample(t));
        if (i % 3 == 0) {
            ASSERT_EQ(fa, EncodeFrame(b.Sample(t))) << "t=" << t;
        } else {
            b.Sample(t + 0.017);  // b is asked at other moments in between
        }
        differs |= fa != EncodeFrame(other.Sample(t));
    }
    EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace quarn
