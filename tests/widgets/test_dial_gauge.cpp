// Covers the dial gauge: where needles and bands stand on the scale (arcs
// across 12 o'clock, off-scale and NaN values, the mirrored second scale),
// which band shows where two overlap on the drawn face, needle selection, the
// click, and that value writes repaint only on the refresh tick, once.

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <cmath>
#include <limits>

#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/RefreshTick.h"

namespace quarn {
namespace {

GaugeSpec SpecOf(Gauge gauge) {
    return GaugeLayoutOf(gauge).face;
}

// Angles compared modulo 360, so 359.9999 and 0 agree.
void ExpectAngle(double actual, double expected) {
    double diff = std::fmod(std::abs(actual - expected), 360.0);
    diff = std::min(diff, 360.0 - diff);
    EXPECT_LT(diff, 1e-6) << "angle " << actual << ", expected " << expected;
}

struct AngleCase {
    const char* name;
    Gauge gauge;
    double value;
    int needle;
    double angle;
};

class NeedleAngleTest : public ::testing::TestWithParam<AngleCase> {};

TEST_P(NeedleAngleTest, StandsWhereTheScaleSays) {
    const AngleCase& c = GetParam();
    const double angle = NeedleAngle(SpecOf(c.gauge), c.value, c.needle);
    EXPECT_GE(angle, 0);
    EXPECT_LT(angle, 360);
    ExpectAngle(angle, c.angle);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Gauges, NeedleAngleTest,
    ::testing::Values(
        // 332-degree arc, 195 -> 167: ends, and the middle just past 12 o'clock.
        AngleCase{"TachMin", Gauge::Tach, 0, 0, 195},
        AngleCase{"TachMax", Gauge::Tach, 8000, 0, 167},
        AngleCase{"TachMiddle", Gauge::Tach, 4000, 0, 1},
        // 316-degree arc, 202 -> 158: the middle is exactly 12 o'clock.
        AngleCase{"SpeedoMiddle", Gauge::Speedo, 110, 0, 0},
        AngleCase{"SpeedoMax", Gauge::Speedo, 220, 0, 158},
        // A scale that starts at 6 o'clock and crosses 0 degrees on the way.
        AngleCase{"ActBeforeNoon", Gauge::ACT, 135, 0, 345},
        AngleCase{"ActAfterNoon", Gauge::ACT, 162, 0, 12},
        AngleCase{"AdvanceNegative", Gauge::Advance, -20, 0, 200},
        // Off the scale: pinned three degrees past the nearer end.
        AngleCase{"SpeedoOverMax", Gauge::Speedo, 230, 0, 161},
        AngleCase{"SpeedoUnderMin", Gauge::Speedo, -5, 0, 199},
        AngleCase{"SpeedoInfinite", Gauge::Speedo, kInf, 0, 161},
        AngleCase{"SpeedoMinusInfinite", Gauge::Speedo, -kInf, 0, 199},
        AngleCase{"NaNReadsAsMinimum", Gauge::Speedo, kNaN, 0, 202},
        AngleCase{"TpsToolFarAbove", Gauge::TPSToolGauge, 4.5, 0, 170},
        AngleCase{"TpsToolFarBelow", Gauge::TPSToolGauge, 0.5, 0, 192},
        // Dual dials: needle 1 on the mirror image of the left-half scale.
        AngleCase{"HegoLeftMiddle", Gauge::HEGO, 0.5, 0, 270},
        AngleCase{"HegoRightMiddle", Gauge::HEGO, 0.5, 1, 90},
        AngleCase{"HegoRightMin", Gauge::HEGO, 0, 1, 170},
        AngleCase{"HegoRightMax", Gauge::HEGO, 1, 1, 10},
        AngleCase{"HegoLeftPinned", Gauge::HEGO, 2, 0, 353},
        AngleCase{"HegoRightPinned", Gauge::HEGO, 2, 1, 7},
        AngleCase{"EgtRight", Gauge::EGT, 2000, 1, 20},
        // A single-needle dial has no needle 1 to mirror.
        AngleCase{"SingleNeedleIgnoresIndex", Gauge::Boost, 15, 1, 158}),
    [](const ::testing::TestParamInfo<AngleCase>& info) { return std::string(info.param.name); });

TEST(NeedleAngle, ZeroRangeNeverDividesByZero) {
    GaugeSpec face;
    face.minimum = face.maximum = 5;
    face.startAngle = 202;
    face.endAngle = 158;
    ExpectAngle(NeedleAngle(face, 5), 202);
    ExpectAngle(NeedleAngle(face, 6), 161);
    ExpectAngle(NeedleAngle(face, 4), 199);
    EXPECT_TRUE(std::isfinite(NeedleAngle(face, kNaN)));
}

TEST(BandArc, ReversedBandCoversTheSameArc) {
    const GaugeSpec wide = SpecOf(Gauge::WideBand);
    const ArcSpan reversed = BandArc(wide, {13, 11, Qt::green});
    const ArcSpan forward = BandArc(wide, {11, 13, Qt::green});
    EXPECT_DOUBLE_EQ(reversed.start, forward.start);
    EXPECT_DOUBLE_EQ(reversed.sweep, forward.sweep);
    ExpectAngle(forward.start, 205 + 2.0 / 11 * 310);
    EXPECT_NEAR(forward.sweep, 4.0 / 11 * 310 - 2.0 / 11 * 310, 1e-9);
}

TEST(BandArc, IsCutToTheScaleAndMirroredForTheSecondNeedle) {
    const ArcSpan maf = BandArc(SpecOf(Gauge::MAF), {4.5, 7, Qt::red});
    ExpectAngle(maf.start, 210 + 0.9 * 300);
    EXPECT_NEAR(maf.sweep, 0.1 * 300, 1e-9);

    const GaugeSpec hego = SpecOf(Gauge::HEGO);
    const ArcSpan left = BandArc(hego, {0, 0.5, Qt::red}, 0);
    const ArcSpan right = BandArc(hego, {0, 0.5, Qt::red}, 1);
    ExpectAngle(left.start, 190);
    ExpectAngle(right.start, 90);  // runs clockwise from 3 o'clock down to 170
    EXPECT_NEAR(right.sweep, 80, 1e-9);
}

// The colour of the drawn face on the band ring at value. The dial is drawn
// large so the numerals (fixed in pixels) stay clear of the ring's inner part.
QColor BandColourAt(const GaugeSpec& face, double value, int needle = 0) {
    RefreshTick tick;
    DialGauge gauge(face, tick);
    gauge.resize(400, 400);
    // The needles point where no probe looks.
    const double middle = (face.minimum + face.maximum) / 2;
    gauge.SelectNeedle(0);
    gauge.SetNeedleValue(middle);
    gauge.SelectNeedle(1);
    gauge.SetNeedleValue(middle);
    const QImage image = gauge.grab().toImage();
    const DialFrame frame = DialFrameFor(QSizeF(gauge.size()));
    const QPointF at = DialPoint(frame, NeedleAngle(face, value, needle), 0.63);
    return image.pixelColor(at.toPoint());
}

void ExpectColour(QColor actual, QColor expected, double value) {
    EXPECT_NEAR(actual.red(), expected.red(), 8) << "at " << value;
    EXPECT_NEAR(actual.green(), expected.green(), 8) << "at " << value;
    EXPECT_NEAR(actual.blue(), expected.blue(), 8) << "at " << value;
}

TEST(DialFace, LaterBandsCoverEarlierOnes) {
    const GaugeSpec wide = SpecOf(Gauge::WideBand);
    ExpectColour(BandColourAt(wide, 10), Qt::darkGreen, 10);
    ExpectColour(BandColourAt(wide, 12), Qt::green, 12);
    ExpectColour(BandColourAt(wide, 13.5), Qt::yellow, 13.5);
    ExpectColour(BandColourAt(wide, 17), Qt::red, 17);

    const GaugeSpec tps = SpecOf(Gauge::TPSToolGauge);
    ExpectColour(BandColourAt(tps, 0.855), Qt::red, 0.855);
    ExpectColour(BandColourAt(tps, 0.88), Qt::yellow, 0.88);
    ExpectColour(BandColourAt(tps, 0.90), Qt::green, 0.90);
    ExpectColour(BandColourAt(tps, 0.99), Qt::yellow, 0.99);
    ExpectColour(BandColourAt(tps, 1.01), Qt::red, 1.01);
}

// Every dial ticks at the interval its scale gives, never twice as often:
// where the numerals start off the minimum (16 on a scale from 15) the
// ticks keep in step with them.
TEST(DialFace, TicksStandAtTheScalesIntervalUnderTheNumerals) {
    for (Gauge g : {Gauge::BAP, Gauge::TPSToolGauge, Gauge::ACT, Gauge::Tach, Gauge::HEGO}) {
        const GaugeSpec face = SpecOf(g);
        const std::vector<double> ticks = TickValues(face);
        ASSERT_GE(ticks.size(), 2u) << GaugeLayoutOf(g).name;
        for (std::size_t i = 1; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i] - ticks[i - 1], face.tickInterval, face.tickInterval * 1e-6)
                << GaugeLayoutOf(g).name << " at " << ticks[i];
        EXPECT_NEAR(ticks.front(), face.numeralMin.value_or(face.minimum), 1e-9)
            << GaugeLayoutOf(g).name;
    }
    EXPECT_EQ(TickValues(SpecOf(Gauge::BAP)).size(), 9u);           // 16, 18, ... 32
    EXPECT_EQ(TickValues(SpecOf(Gauge::TPSToolGauge)).size(), 10u);  // 0.86 ... 1.04
}

TEST(DialFace, DualDialDrawsBandsOnBothScales) {
    GaugeSpec face = SpecOf(Gauge::HEGO);
    face.bands = {{0.6, 1, Qt::cyan}};
    ExpectColour(BandColourAt(face, 0.8, 0), Qt::cyan, 0.8);
    ExpectColour(BandColourAt(face, 0.8, 1), Qt::cyan, 0.8);
    const QColor empty = BandColourAt(face, 0.3, 1);
    EXPECT_LT(empty.lightness(), 80) << "no band below 0.6 on the mirrored scale";
}

TEST(DialGauge, SelectNeedleRoutesValuesOnDualDialsOnly) {
    RefreshTick tick;
    DialGauge egt(SpecOf(Gauge::EGT), tick);
    egt.SelectNeedle(0);
    egt.SetNeedleValue(1250);
    egt.SelectNeedle(1);
    egt.SetNeedleValue(1120);
    egt.SelectNeedle(2);  // no such needle: the selection stays
    egt.SetNeedleValue(1130);
    EXPECT_EQ(egt.NeedleValue(0), 1250);
    EXPECT_EQ(egt.NeedleValue(1), 1130);

    DialGauge boost(SpecOf(Gauge::Boost), tick);
    boost.SelectNeedle(1);
    boost.SetNeedleValue(6);
    EXPECT_EQ(boost.selectedNeedle(), 0);
    EXPECT_EQ(boost.NeedleValue(0), 6);
}

TEST(DialGauge, KeepsOffScaleValuesAsGiven) {
    RefreshTick tick;
    DialGauge gauge(SpecOf(Gauge::TPSToolGauge), tick);
    gauge.SetNeedleValue(4.5);
    EXPECT_EQ(gauge.NeedleValue(), 4.5);
    EXPECT_EQ(gauge.face().maximum, 1.05);
}

TEST(DialGauge, LeftClickRaisesClicked) {
    RefreshTick tick;
    DialGauge gauge(SpecOf(Gauge::TPS), tick);
    gauge.resize(107, 107);
    QSignalSpy clicks(&gauge, &DialGauge::clicked);
    QTest::mouseClick(&gauge, Qt::LeftButton);
    QTest::mouseClick(&gauge, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 1);
}

// A colour on the drawn dial, at angle and a fraction of the radius.
QColor PixelAt(DialGauge& gauge, double angle, double radiusFraction) {
    const QImage image = gauge.grab().toImage();
    const DialFrame frame = DialFrameFor(QSizeF(gauge.size()));
    return image.pixelColor(DialPoint(frame, angle, radiusFraction).toPoint());
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

TEST(DialGauge, PeakHoldMarksTheExtremesUntilADoubleClickResetsThem) {
    RefreshTick tick(std::chrono::hours(1));
    const GaugeSpec face = SpecOf(Gauge::BAP);  // a dial where the low matters
    DialGauge bap(face, tick);
    bap.resize(200, 200);
    EXPECT_TRUE(bap.peak().Empty());
    for (double v : {29.0, 31.0, 20.0, 26.0, kNaN}) bap.SetNeedleValue(v);
    EXPECT_EQ(bap.peak().high, 31.0);
    EXPECT_EQ(bap.peak().low, 20.0);
    const QColor high = PixelAt(bap, NeedleAngle(face, 31.0), 0.7);
    const QColor low = PixelAt(bap, NeedleAngle(face, 20.0), 0.7);
    EXPECT_TRUE(Near(high, QColor(0xff, 0xe0, 0x40))) << high.name().toStdString();
    EXPECT_TRUE(Near(low, QColor(0x50, 0xc8, 0xff))) << low.name().toStdString();

    QTest::mouseDClick(&bap, Qt::LeftButton);
    EXPECT_TRUE(bap.peak().Empty());
    EXPECT_FALSE(Near(PixelAt(bap, NeedleAngle(face, 31.0), 0.7), high)) << "mark left behind";
    bap.SetNeedleValue(27);
    EXPECT_EQ(bap.peak().high, 27);

    // A two-needle dial holds each needle's own; a dial without a low marks
    // only the high.
    DialGauge egt(SpecOf(Gauge::EGT), tick);
    egt.resize(200, 200);
    egt.SetNeedleValue(1500);
    egt.SelectNeedle(1);
    egt.SetNeedleValue(900);
    egt.SetNeedleValue(1100);
    EXPECT_EQ(egt.peak(0).high, 1500);
    EXPECT_EQ(egt.peak(1).high, 1100);
    EXPECT_FALSE(Near(PixelAt(egt, NeedleAngle(egt.face(), 0, 0), 0.7), QColor(0x50, 0xc8, 0xff)));
}

TEST(DialGauge, AnAlarmFlashesTheRimInTheColourOfItsLevel) {
    RefreshTick tick(std::chrono::hours(1));
    DialGauge ect(SpecOf(Gauge::ECT), tick);
    ect.resize(200, 200);
    const QColor plain = PixelAt(ect, 90, 0.97);
    ect.SetAlarmLevel(AlarmLevel::Danger);
    ASSERT_TRUE(ect.rimLit()) << "lit from the first frame of the alarm";
    EXPECT_TRUE(Near(PixelAt(ect, 90, 0.97), QColor(0xff, 0x10, 0x10)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ect.rimLit(); }, 2000)) << "the rim never flashed";
    EXPECT_TRUE(Near(PixelAt(ect, 90, 0.97), plain));
    ect.SetAlarmLevel(AlarmLevel::Warn);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ect.rimLit(); }, 2000));
    EXPECT_TRUE(Near(PixelAt(ect, 90, 0.97), QColor(0xff, 0xb0, 0x00)));
    ect.SetAlarmLevel(AlarmLevel::None);
    EXPECT_FALSE(ect.rimLit());
    QTest::qWait(2 * DialGauge::kFlashMs);
    EXPECT_FALSE(ect.rimLit()) << "the flashing goes on after the alarm";
}

double MeanLightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) sum += image.pixelColor(x, y).lightness();
    return sum / ((image.width() / 2) * (image.height() / 2));
}

TEST(DialGauge, NightSchemeIsDimAndFacesAreRenderedOnlyForANewSizeOrScheme) {
    RefreshTick tick(std::chrono::hours(1));
    DialGauge ect(SpecOf(Gauge::ECT), tick);
    ect.resize(200, 200);
    ect.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ect));
    const QImage day = ect.grab().toImage();
    const int renders = ect.faceRenders();
    for (int f = 0; f < 200; ++f) ect.SetNeedleValue(100 + f);
    ect.grab();
    EXPECT_EQ(ect.faceRenders(), renders) << "values must not render the face again";

    ect.SetScheme(DialScheme::Night);
    const QImage night = ect.grab().toImage();
    EXPECT_EQ(ect.faceRenders(), renders + 1);
    EXPECT_LT(MeanLightness(night), 0.5 * MeanLightness(day));
    // The red band stays red, only dimmer.
    const QColor band = PixelAt(ect, NeedleAngle(ect.face(), 260), 0.63);
    EXPECT_GT(band.red(), 2 * band.green());
    EXPECT_LT(band.red(), 128);

    ect.SetScheme(DialScheme::Night);
    ect.SetTextScale(1);
    ect.grab();
    EXPECT_EQ(ect.faceRenders(), renders + 1) << "nothing changed";
    ect.resize(150, 150);
    ect.grab();
    EXPECT_EQ(ect.faceRenders(), renders + 2);
}

// A dial that counts its paints.
class CountingGauge : public DialGauge {
public:
    using DialGauge::DialGauge;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        DialGauge::paintEvent(event);
    }
};

class RepaintTest : public ::testing::Test {
protected:
    // A tick that only runs when the test flushes it.
    RefreshTick m_tick{std::chrono::hours(1)};
    CountingGauge m_gauge{SpecOf(Gauge::Tach), m_tick};

    void SetUp() override {
        m_gauge.resize(200, 200);
        m_gauge.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_gauge));
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_gauge.paints > 0; }));
        QTest::qWait(20);
        m_before = m_gauge.paints;
    }

    int m_before = 0;
};

TEST_F(RepaintTest, WritesPaintNothingUntilTheTickThenOnce) {
    for (int rpm = 1000; rpm < 1300; ++rpm) m_gauge.SetNeedleValue(rpm);
    EXPECT_EQ(m_gauge.paints, m_before);
    QTest::qWait(50);
    EXPECT_EQ(m_gauge.paints, m_before) << "a write must not ask for a repaint itself";
    EXPECT_EQ(m_tick.pendingCount(), 1);
    EXPECT_TRUE(m_tick.isRunning());

    m_tick.Flush();
    EXPECT_FALSE(m_tick.isRunning()) << "nothing dirty: the tick stops";
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_gauge.paints > m_before; }));
    QTest::qWait(50);
    EXPECT_EQ(m_gauge.paints, m_before + 1);
}

TEST_F(RepaintTest, SameValueAgainMarksNothing) {
    m_gauge.SetNeedleValue(3000);
    m_tick.Flush();
    m_gauge.SetNeedleValue(3000);
    EXPECT_EQ(m_tick.pendingCount(), 0);
    // Another off-scale value leaves the pinned needle where it is.
    m_gauge.SetNeedleValue(9000);
    m_tick.Flush();
    m_gauge.SetNeedleValue(12000);
    EXPECT_EQ(m_tick.pendingCount(), 0);
    EXPECT_FALSE(m_tick.isRunning());
}

TEST(RefreshTick, RunsOnItsOwnAndStopsWhenIdle) {
    RefreshTick tick;
    CountingGauge gauge(SpecOf(Gauge::Speedo), tick);
    gauge.resize(200, 200);
    gauge.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
    QTest::qWait(30);
    const int before = gauge.paints;
    for (int mph = 0; mph < 100; ++mph) gauge.SetNeedleValue(mph);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gauge.paints > before; }, 1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tick.isRunning(); }, 1000));
    EXPECT_EQ(gauge.paints, before + 1);
}

TEST(RefreshTick, SkipsOwnersGoneBeforeTheTick) {
    RefreshTick tick(std::chrono::hours(1));
    int runs = 0;
    auto* gone = new QObject;
    QObject kept;
    tick.Schedule(gone, [&runs] { runs += 10; });
    tick.Schedule(&kept, [&runs] { runs += 1; });
    tick.Schedule(&kept, [&runs] { runs += 100; });  // already pending: dropped
    delete gone;
    tick.Flush();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(tick.pendingCount(), 0);
}

}  // namespace
}  // namespace quarn
