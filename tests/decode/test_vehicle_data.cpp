// Vehicle data typed by the user: which texts are accepted, and that a
// refused text leaves the last valid value in force.

#include <gtest/gtest.h>

#include "decode/VehicleData.h"

namespace quarn {
namespace {

TEST(VehicleData, DefaultsAreA3500PoundEightCylinderCarWith36PoundInjectors) {
    const VehicleData v;
    EXPECT_EQ(v.weight(), 3500);
    EXPECT_EQ(v.injsize(), 36);
    EXPECT_EQ(v.numcyl(), 8);
}

struct ParseCase {
    const char* text;
    bool accepted;
    double value;
};

class ParseWeight : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseWeight, AcceptsOnlySensiblePositiveDecimals) {
    const ParseCase c = GetParam();
    VehicleData v;
    EXPECT_EQ(v.SetWeight(c.text), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(v.weight(), c.accepted ? c.value : VehicleData::kDefaultWeight);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseWeight,
                         ::testing::Values(ParseCase{"2800", true, 2800},
                                           ParseCase{" 3125.5 ", true, 3125.5},
                                           ParseCase{"1e5", true, 100000}, ParseCase{"", false, 0},
                                           ParseCase{"   ", false, 0}, ParseCase{"abc", false, 0},
                                           ParseCase{"3500lbs", false, 0}, ParseCase{"0", false, 0},
                                           ParseCase{"-5", false, 0}, ParseCase{"100001", false, 0},
                                           ParseCase{"1e400", false, 0}, ParseCase{"inf", false, 0},
                                           ParseCase{"nan", false, 0}, ParseCase{"0x10", false, 0},
                                           ParseCase{"3,500", false, 0}));

TEST(VehicleData, CylindersMustBeAWholeNumber) {
    VehicleData v;
    EXPECT_FALSE(v.SetNumCyl("8.5"));
    EXPECT_FALSE(v.SetNumCyl("0"));
    EXPECT_TRUE(v.SetNumCyl("6"));
    EXPECT_EQ(v.numcyl(), 6);
    EXPECT_TRUE(v.SetInjSize("19.5"));
    EXPECT_EQ(v.injsize(), 19.5);
    EXPECT_FALSE(v.SetInjSize("x"));
    EXPECT_EQ(v.injsize(), 19.5);
}

}  // namespace
}  // namespace quarn
