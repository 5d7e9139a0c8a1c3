// The dashboard gauge feed: the order in which gauges are written, the dual
// needles, the duty-cycle floor applied after the duty gauge, the TPS tool's
// dial and the fuel economy.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/GaugeFeed.h"

namespace quarn {
namespace {

class RecordingGauges final : public GaugeSink {
public:
    void SelectNeedle(Gauge g, std::int16_t needle) override {
        calls.push_back(Name(g) + "#" + std::to_string(needle));
    }
    void NeedleValue(Gauge g, double value) override {
        calls.push_back(Name(g));
        values.push_back(value);
    }
    bool TpsToolVisible() const override { return tpsTool; }

    static std::string Name(Gauge g) {
        static const char* names[] = {
            "MAF",    "TPS", "ECT",   "ACT",       "BAP",   "Advance",  "Boost",        "Tach",
            "Speedo", "EGT", "HEGO",  "DutyCycle", "INJPW", "WideBand", "TPSToolGauge", "MPG"};
        return names[static_cast<int>(g)];
    }
    double ValueOf(const std::string& name) const {
        double v = -1;
        std::size_t k = 0;
        for (const auto& c : calls) {
            if (c.find('#') != std::string::npos) continue;
            if (c == name) v = values[k];
            ++k;
        }
        return v;
    }

    std::vector<std::string> calls;
    std::vector<double> values;
    bool tpsTool = false;
};

TEST(UpdateDash, WritesTheGaugesInDashboardOrder) {
    ChannelRecord rec;
    rec.InjDuty = 10;
    RecordingGauges gauges;
    UpdateDash(rec, VehicleData(), gauges);
    const std::vector<std::string> expected = {
        "MAF",   "TPS",     "ECT",   "ACT",       "BAP",   "Advance",  "Boost",
        "Tach",  "Speedo",  "EGT#0", "EGT",       "EGT#1", "EGT",      "HEGO#0",
        "HEGO",  "HEGO#1",  "HEGO",  "DutyCycle", "INJPW", "WideBand", "MPG"};
    EXPECT_EQ(gauges.calls, expected);

    gauges.calls.clear();
    gauges.tpsTool = true;
    UpdateDash(rec, VehicleData(), gauges);
    EXPECT_EQ(gauges.calls[20], "TPSToolGauge");
    EXPECT_EQ(gauges.calls[21], "MPG");
}

TEST(UpdateDash, DualGaugesGetLeftThenRightBank) {
    ChannelRecord rec;
    rec.EgtL = 1200;
    rec.EgtR = 1300;
    rec.HegoL = 0.25f;
    rec.HegoR = 0.75f;
    RecordingGauges gauges;
    UpdateDash(rec, VehicleData(), gauges);
    EXPECT_EQ(gauges.values[9], 1200);
    EXPECT_EQ(gauges.values[10], 1300);
    EXPECT_EQ(gauges.values[11], 0.25);
    EXPECT_EQ(gauges.values[12], 0.75);
}

TEST(UpdateDash, ZeroDutyShowsZeroThenBecomesTheFloor) {
    ChannelRecord rec;
    rec.InjDuty = 0;
    rec.Mph = 60;
    RecordingGauges gauges;
    UpdateDash(rec, VehicleData(), gauges);
    EXPECT_EQ(gauges.ValueOf("DutyCycle"), 0);
    EXPECT_FLOAT_EQ(rec.InjDuty, 0.00001f);  // what the scopes see next
    EXPECT_GT(gauges.ValueOf("MPG"), 1e6);   // fuel cut: very large, finite
}

TEST(UpdateDash, FuelEconomyUsesTheVehicleData) {
    ChannelRecord rec;
    rec.InjDuty = 10;
    rec.Mph = 60;
    RecordingGauges gauges;
    UpdateDash(rec, VehicleData(), gauges);
    EXPECT_NEAR(gauges.ValueOf("MPG"), 13.18595, 1e-4);

    VehicleData four;
    ASSERT_TRUE(four.SetNumCyl("4"));
    gauges.calls.clear();
    gauges.values.clear();
    UpdateDash(rec, four, gauges);
    EXPECT_NEAR(gauges.ValueOf("MPG"), 2 * 13.18595, 1e-4);
}

}  // namespace
}  // namespace quarn
