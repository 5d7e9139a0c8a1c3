#include "widgets/GaugeSpecs.h"

namespace quarn {

namespace {

const QColor kRed(Qt::red);
const QColor kYellow(Qt::yellow);
const QColor kGreen(Qt::green);
const QColor kCyan(Qt::cyan);
const QColor kDarkGreen(Qt::darkGreen);

// The small dials share a 1605-twip square on a 1680-twip pitch.
constexpr int kSmall = 1605;
constexpr int kLarge = 3000;

GaugeSpec TemperatureSpec(const char* caption) {
    return {
        .caption = caption,
        .unitText = "'F",
        .minimum = -30,
        .maximum = 300,
        .startAngle = 180,
        .endAngle = 150,
        .tickInterval = 50,
        .bands = {{160, 200, kGreen}, {-30, 160, kCyan}, {230, 300, kRed}, {200, 230, kYellow}},
    };
}

}  // namespace

GaugeLayout GaugeLayoutOf(Gauge gauge) {
    switch (gauge) {
        case Gauge::Tach:
            return {"Tach",
                    QRect(1200, 0, kLarge, kLarge),
                    {.caption = "RPM",
                     .minimum = 0,
                     .maximum = 8000,
                     .startAngle = 195,
                     .endAngle = 167,
                     .tickInterval = 500,
                     .numeralSize = NumeralSize::Large,
                     .bands = {{7000, 8000, kRed}, {6000, 7000, kYellow}, {0, 6000, kGreen}}}};
        case Gauge::Speedo:
            return {"Speedo",
                    QRect(4320, 0, kLarge, kLarge),
                    {.caption = "MPH",
                     .minimum = 0,
                     .maximum = 220,
                     .startAngle = 202,
                     .endAngle = 158,
                     .tickInterval = 10,
                     .numeralSize = NumeralSize::Large}};
        case Gauge::TPS:
            return {
                "tps",
                QRect(120, 3000, 1635, kSmall),
                {.caption = "TPS", .unitText = "V", .minimum = 0, .maximum = 5, .tickInterval = 1}};
        case Gauge::Advance:
            return {"Advance",
                    QRect(1800, 3000, kSmall, kSmall),
                    {.caption = "Advance",
                     .extraTexts = {{"ATC", -0.42, 0}, {"BTC", 0.42, 0}, {"TDC", 0, 0.52}},
                     .minimum = -20,
                     .maximum = 50,
                     .startAngle = 200,
                     .endAngle = 160,
                     .tickInterval = 10}};
        case Gauge::MAF:
            return {"MAFS",
                    QRect(3480, 3000, kSmall, kSmall),
                    {.caption = "MAF",
                     .unitText = "Volts",
                     .minimum = 0,
                     .maximum = 5,
                     .startAngle = 210,
                     .endAngle = 150,
                     .tickInterval = 0.5,
                     .bands = {{4.78, 5, kRed}}}};
        case Gauge::DutyCycle:
            return {"DutyCycle",
                    QRect(5160, 3000, kSmall, kSmall),
                    {.caption = "Inj. Duty",
                     .unitText = "%",
                     .minimum = 0,
                     .maximum = 100,
                     .tickInterval = 10,
                     .bands = {{90, 100, kRed}, {80, 90, kYellow}, {0, 80, kGreen}}}};
        case Gauge::INJPW:
            return {"INJPW",
                    QRect(6840, 3000, kSmall, kSmall),
                    {.caption = "Inj. PW",
                     .unitText = "ms",
                     .minimum = 0,
                     .maximum = 160,
                     .tickInterval = 20}};
        case Gauge::BAP:
            return {"bap",
                    QRect(120, 4560, kSmall, 1845),
                    {.caption = "BAP",
                     .unitText = "\"Hg",
                     .minimum = 15,
                     .maximum = 32,
                     .startAngle = 210,
                     .endAngle = 150,
                     .tickInterval = 2,
                     .numeralMin = 16,
                     .numeralMax = 32,
                     .holdLow = true}};
        case Gauge::ACT:
            return {"ACT", QRect(1800, 4680, kSmall, kSmall), TemperatureSpec("ACT")};
        case Gauge::ECT:
            return {"ECT", QRect(3480, 4680, kSmall, kSmall), TemperatureSpec("ECT")};
        case Gauge::MPG:
            return {"mpg",
                    QRect(5160, 4680, kSmall, kSmall),
                    {.caption = "MPG", .minimum = 0, .maximum = 50, .tickInterval = 5}};
        case Gauge::HEGO:
            return {"HEGOS",
                    QRect(6840, 4680, kSmall, kSmall),
                    {.caption = "HEGO",
                     .extraTexts = {{"L", -0.42, 0}, {"R", 0.42, 0}},
                     .minimum = 0,
                     .maximum = 1,
                     .startAngle = 190,
                     .endAngle = 350,
                     .tickInterval = 0.2,
                     .dual = true}};
        case Gauge::WideBand:
            // The green band is stored high to low; it covers 11 to 13 all the same.
            return {
                "WideBand",
                QRect(1800, 6360, kSmall, kSmall),
                {.caption = "Wide02",
                 .unitText = "AFR",
                 .minimum = 9,
                 .maximum = 20,
                 .startAngle = 205,
                 .endAngle = 155,
                 .tickInterval = 1,
                 .bands = {
                     {9, 11, kDarkGreen}, {13, 11, kGreen}, {13, 18.5, kYellow}, {16, 20, kRed}},
                 .holdLow = true}};
        case Gauge::Boost:
            return {"Boost",
                    QRect(3480, 6360, kSmall, kSmall),
                    {.caption = "Boost",
                     .unitText = "PSI",
                     .minimum = 0,
                     .maximum = 15,
                     .tickInterval = 1}};
        case Gauge::EGT:
            return {"EGT",
                    QRect(5160, 6360, kSmall, kSmall),
                    {.caption = "EGT",
                     .unitText = "'F",
                     .minimum = 0,
                     .maximum = 2000,
                     .startAngle = 190,
                     .endAngle = 340,
                     .tickInterval = 500,
                     .dual = true}};
        case Gauge::TPSToolGauge:
            // A magnified idle scale; the later bands cover the earlier ones, so it
            // reads red below 0.86, yellow to 0.898, green to 0.98, yellow to 1.0
            // and red above.
            return {"TPSToolGauge",
                    QRect(0, 0, 5655, 4215),
                    {.caption = "TPS",
                     .captionRadius = 0.34,
                     .minimum = 0.85,
                     .maximum = 1.05,
                     .startAngle = 195,
                     .endAngle = 167,
                     .tickInterval = 0.02,
                     .numeralMin = 0.86,
                     .numeralMax = 1.04,
                     .numeralSize = NumeralSize::Large,
                     .bands = {{0.85, 0.86, kRed},
                               {0.86, 0.917, kYellow},
                               {0.898, 0.98, kGreen},
                               {0.98, 1.032, kYellow},
                               {1.0, 1.05, kRed}}}};
    }
    return {};
}

}  // namespace quarn
