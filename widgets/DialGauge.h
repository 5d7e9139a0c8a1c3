#pragma once

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QPolygonF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

#include "decode/Alarms.h"


namespace quarn {

class RefreshTick;

// A coloured stretch of the scale. from may lie above to: the band covers
// the same stretch either way.
struct GaugeBand {
    double from = 0;
    double to = 0;
    QColor colour{};
};

// A word on the face, placed in fractions of the dial radius from the
// centre, x to the right and y upwards.
struct GaugeText {
    QString text{};
    double x = 0;
    double y = 0;
};

enum class NumeralSize {
    Small,  // 8.25 pt, for the 107-pixel dials
    Large,  // 12 pt bold, for the large dials
};

// Everything fixed about one dial when its window is made. Angles are
// degrees clockwise from 12 o'clock and the scale runs clockwise from
// startAngle to endAngle (202 -> 158 is a 316-degree arc open at the bottom).
struct GaugeSpec {
    QString caption{};
    double captionRadius = 0.3;  // above the centre
    QString unitText{};
    double unitRadius = 0.95;  // below the centre
    std::vector<GaugeText> extraTexts{};
    double minimum = 0;
    double maximum = 1;
    double startAngle = 202;
    double endAngle = 158;
    double tickInterval = 0.1;  // counted from the minimum
    // The numerals span the scale unless these narrow them.
    std::optional<double> numeralMin{};
    std::optional<double> numeralMax{};
    NumeralSize numeralSize = NumeralSize::Small;
    std::vector<GaugeBand> bands{};  // drawn in order, each over the ones before
    // A dual dial has a second needle on the mirror image of the scale about
    // the vertical axis: same range, same ticks, the other half of the dial.
    bool dual = false;
    // Peak hold marks the lowest value too, where a low matters.
    bool holdLow = false;
};

// The colours the dials are drawn in: the standard day look, or a dim,
// low-glare one for the night.
enum class DialScheme : std::uint8_t { Day, Night };

// The dial's circle inside a widget of some size.
struct DialFrame {
    QPointF centre;
    double radius = 0;
};

// A clockwise arc: it starts at start (0 <= start < 360) and runs sweep
// degrees clockwise.
struct ArcSpan {
    double start = 0;
    double sweep = 0;
};

// A needle past either end of the scale stands this far beyond the arc's
// end, so it reads as "off the scale" rather than as the end value, yet
// never wanders round into the other end of a scale that is nearly a circle.
inline constexpr double kPinDegrees = 3;

// Degrees from the start angle to the end angle, clockwise; equal angles
// make a full circle.
double ScaleSweep(const GaugeSpec& face);

// Where needle (0, or 1 on a dual dial) stands for value, 0 <= angle < 360.
// Inside the range: start + (value - min) / (max - min) x sweep; needle 1 of
// a dual dial takes the mirror image, 360 - that. Outside the range the
// needle is pinned kPinDegrees past the nearer end. NaN reads as the
// minimum; a scale with min == max puts every in-range value at the start.
double NeedleAngle(const GaugeSpec& face, double value, int needle = 0);

// The arc a band covers on the scale of needle 0 or 1, cut to the scale.
ArcSpan BandArc(const GaugeSpec& face, const GaugeBand& band, int needle = 0);

// The values that carry a tick: every tickInterval across the scale, in
// step with the first numeral (the minimum unless numeralMin moves it).
std::vector<double> TickValues(const GaugeSpec& face);

// The dial is the largest circle that fits, centred.
DialFrame DialFrameFor(QSizeF size);

// The point at angle (clockwise from 12 o'clock) and radiusFraction of the
// dial radius from the centre.
QPointF DialPoint(const DialFrame& frame, double angle, double radiusFraction);

// A dial gauge: a cached face of ring, bands, ticks, numerals and words, and
// one or two needles. Values are written from the frame chain at the frame
// rate; a write only marks the dial dirty with a refresh tick, which repaints
// it at the display's pace. A thin mark on the scale holds each needle's
// highest value (and lowest, where the face asks) since the last reset; a
// double-click resets them. An alarm flashes the rim amber or red. The face
// is rendered again only when the size, the scheme or the text scale
// changes.
class DialGauge : public QWidget {
    Q_OBJECT
public:
    // The band ring, in fractions of the radius.
    static constexpr double kBandInner = 0.60;
    static constexpr double kBandOuter = 0.82;

    // Uses the program's shared refresh tick.
    explicit DialGauge(GaugeSpec face, QWidget* parent = nullptr);
    DialGauge(GaugeSpec face, RefreshTick& tick, QWidget* parent = nullptr);
    ~DialGauge() override;

    const GaugeSpec& face() const { return m_spec; }
    void SetSpec(GaugeSpec face);

    // The next value written goes to this needle. Only a dual dial has a
    // needle 1; anything else is ignored.
    void SelectNeedle(int needle);
    int selectedNeedle() const { return m_selected; }

    // Moves the selected needle. Values are kept as given, off-scale and NaN
    // included; only the drawing pins them.
    void SetNeedleValue(double value);
    double NeedleValue(int needle = 0) const;

    // Peak hold of needle 0 or 1.
    const PeakHold& peak(int needle = 0) const;
    void ResetPeaks();

    // The rim flashes while the level is not None, in step with every other
    // dial in alarm.
    void SetAlarmLevel(AlarmLevel level);
    AlarmLevel alarmLevel() const { return m_alarm; }
    // Whether the flashing rim is lit now.
    bool rimLit() const;
    static constexpr int kFlashMs = 500;

    void SetScheme(DialScheme scheme);
    DialScheme scheme() const { return m_scheme; }
    // Scales the face's fonts with the dial (1: the standard size).
    void SetTextScale(double scale);
    // Faces rendered so far, for tests of the cache.
    int faceRenders() const { return m_faceRenders; }

    QSize sizeHint() const override { return {200, 200}; }

signals:
    // A press and release of the left button on the dial.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    static constexpr int kNeedles = 2;

    int NeedleCount() const { return m_spec.dual ? 2 : 1; }
    void PaintFace(QPainter& painter);
    void PaintNeedles(QPainter& painter, const DialFrame& frame);
    QPolygonF NeedleShape(const DialFrame& frame, double angle) const;
    void RepaintNeedles();
    void PaintHub(QPainter& painter, const DialFrame& frame) const;
    void PaintPeaks(QPainter& painter, const DialFrame& frame);
    void PaintRim(QPainter& painter, const DialFrame& frame) const;
    // The angles of the peak marks of a needle (NaN for a mark not shown).
    std::array<double, 2> PeakAngles(int needle) const;

    GaugeSpec m_spec;
    QPointer<RefreshTick> m_tick;
    std::array<double, kNeedles> m_values{};
    // Where the needles stood at the last paint: their ground needs redrawing.
    std::array<double, kNeedles> m_paintedAngles{};
    int m_selected = 0;
    std::array<PeakHold, kNeedles> m_peaks{};
    std::array<std::array<double, 2>, kNeedles> m_paintedPeaks{};
    QPixmap m_face;
    int m_faceRenders = 0;
    bool m_pressed = false;
    DialScheme m_scheme = DialScheme::Day;
    double m_textScale = 1;
    AlarmLevel m_alarm = AlarmLevel::None;
    QMetaObject::Connection m_flash;
};

}  // namespace quarn
