#include "widgets/DialFace.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quarn {

namespace {

// The face, in fractions of the radius. Ticks stand outside the band ring.
// The numerals stand on the band ring, as far out as they can without
// reaching the ticks: inside the ring there is no room for them beside the
// caption and the words at 0.42 of the radius on a 107-pixel dial. Over a
// band they keep a dark outline.
constexpr double kMinorTickOuter = 0.89;
constexpr double kNumeralRadius = 0.71;
constexpr double kNumeralEdge = 0.80;  // outer limit of the numerals' ink
constexpr double kEdgeMarginPx = 1;

// The dial's fonts are fixed in pixels at 96 dpi (12 pt = 16 px, 8.25 pt =
// 11 px), so a face looks the same whatever the platform reports as its
// resolution. "Arial" and "MS Sans Serif" are the Windows faces these sizes
// were chosen for. Liberation Sans is metric-compatible with Arial and serves
// the words too: DejaVu Sans, fontconfig's stand-in for MS Sans Serif, is
// too wide for "Inj. Duty" above the numerals of a small dial.
constexpr int kLargeNumeralPx = 16;
constexpr int kSmallNumeralPx = 11;
constexpr int kTextPx = 11;

// Numerals go on every tick when they fit; when they would touch, on every
// 2nd, 4th, 5th, ... tick instead.
constexpr std::array<int, 10> kNumeralMultipliers{1, 2, 4, 5, 10, 20, 25, 50, 100, 1000};
// A scale of more ticks than this is a wrong setting, not a dial to draw.
constexpr int kMaxTicks = 2000;

// Text never shrinks below this on a dashboard scaled down to a small
// screen: 9 px Liberation Sans still reads at arm's length.
constexpr int kMinTextPx = 9;

int ScaledPx(int base, double scale) {
    return std::max(std::min(base, kMinTextPx), static_cast<int>(std::lround(base * scale)));
}

double Normalise(double angle) {
    double a = std::fmod(angle, 360.0);
    if (a < 0) a += 360.0;
    // A tiny negative remainder plus 360 rounds to 360 itself.
    return a >= 360.0 ? 0.0 : a;
}

// Where on the scale value falls, 0 at the minimum and 1 at the maximum,
// not limited to 0..1.
double ScaleFraction(const GaugeSpec& face, double value) {
    const double span = face.maximum - face.minimum;
    if (span == 0) return 0;
    return (value - face.minimum) / span;
}

double Mirror(const GaugeSpec& face, double angle, int needle) {
    return (face.dual && needle == 1) ? 360.0 - angle : angle;
}

// The angle of a point of the scale; the face uses it for ticks, numerals and
// bands, which all lie on the scale.
double ScaleAngle(const GaugeSpec& face, double value, int needle) {
    const double angle = face.startAngle + ScaleFraction(face, value) * ScaleSweep(face);
    return Normalise(Mirror(face, angle, needle));
}

// Values from `from` to `to` in steps of `step`, counted by index so a step
// like 0.02 does not drift.
std::vector<double> Steps(double from, double to, double step) {
    if (!(step > 0) || !(to >= from)) return {from, to};
    const double count = std::floor((to - from) / step + 1e-6);
    const int n = static_cast<int>(std::min(count, static_cast<double>(kMaxTicks)));
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) values.push_back(from + i * step);
    return values;
}

// The decimals that show every numeral exactly: 0.86 in steps of 0.02 takes
// two, -30 in steps of 50 none.
int Decimals(double first, double step) {
    for (int d = 0; d < 3; ++d) {
        const double scale = std::pow(10.0, d);
        const auto whole = [scale](double x) {
            return std::abs(x * scale - std::round(x * scale)) < 1e-6 * scale;
        };
        if (whole(first) && whole(step)) return d;
    }
    return 3;
}

QString NumeralText(double value, int decimals) {
    const double rounded = std::round(value * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', decimals);
}

QFont NumeralFont(NumeralSize size, double scale) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPixelSize(
        ScaledPx(size == NumeralSize::Large ? kLargeNumeralPx : kSmallNumeralPx, scale));
    font.setBold(size == NumeralSize::Large);
    return font;
}

QFont TextFont(double scale) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("MS Sans Serif")});
    font.setPixelSize(ScaledPx(kTextPx, scale));
    return font;
}

// A word of the face: where its baseline starts and where its ink lies,
// which is what must not touch a numeral.
struct FaceWord {
    QString text;
    QPointF baseline;
    QRectF ink;
    QColor colour;
    // The caption may move towards the hub, this far at most, to clear the
    // numerals above it.
    double give = 0;
};

// Every text is drawn with a pixel of outline all round (DrawOutlined).
constexpr double kOutlinePx = 1;
// How far, in fractions of the radius, a caption may move down from its
// place to make room for the numerals over it on a small dial.
constexpr double kCaptionGive = 0.12;

// The gap, outlines apart, that keeps two texts apart to the eye: above or
// below each other a couple of pixels, side by side on one line half an em,
// or they read as one ("1500 EGT 1500").
QSizeF Clearance(double textPx) {
    return {2 * kOutlinePx + std::max(2.0, 0.5 * textPx),
            2 * kOutlinePx + std::max(2.0, 0.15 * textPx)};
}

// Whether ink, outline included, lies inside the bezel's inner edge.
bool InsideBezel(const QRectF& ink, const DialFrame& frame) {
    const double inside = frame.radius * (1 - kBezelWidth) - kOutlinePx;
    const QRectF drawn = ink.adjusted(-kOutlinePx, -kOutlinePx, kOutlinePx, kOutlinePx);
    for (QPointF corner : {drawn.topLeft(), drawn.topRight(), drawn.bottomLeft(), drawn.bottomRight()}) {
        const QPointF d = corner - frame.centre;
        if (d.x() * d.x() + d.y() * d.y() > inside * inside) return false;
    }
    return true;
}

// Moves ink towards the centre, half a pixel at a time, until it lies
// inside the bezel: a unit text at 0.95 of the radius would otherwise lie on
// the bezel, its corners cut by the ring.
void IntoTheBezel(QRectF& ink, const DialFrame& frame) {
    const QPointF towards = frame.centre - ink.center();
    const double length = std::hypot(towards.x(), towards.y());
    if (length < 0.5) return;
    const QPointF step = towards * (0.5 / length);
    for (double moved = 0; moved < length && !InsideBezel(ink, frame); moved += 0.5)
        ink.translate(step);
}

// The word centred (by its ink) on centre and moved into the bezel.
FaceWord PlaceWord(const QString& text, QPointF centre, const QFontMetricsF& fm,
                   const DialFrame& frame, QColor colour) {
    const QRectF tight = fm.tightBoundingRect(text);
    QRectF ink = tight;
    ink.moveCenter(centre);
    IntoTheBezel(ink, frame);
    // The tight rectangle is relative to the baseline origin.
    return {text, ink.topLeft() - tight.topLeft(), ink, colour};
}

// A word that comes too near one placed before it moves up or down, away
// from it, until clear: "TDC" above "Advance" on a small dial.
void SeparateWords(std::vector<FaceWord>& words, QSizeF clear) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        FaceWord& w = words[i];
        for (std::size_t j = 0; j < i; ++j) {
            const QRectF other =
                words[j].ink.adjusted(-clear.width(), -clear.height(), clear.width(), clear.height());
            if (!other.intersects(w.ink)) continue;
            const double shift = w.ink.center().y() < words[j].ink.center().y()
                                     ? other.top() - w.ink.bottom()
                                     : other.bottom() - w.ink.top();
            w.ink.translate(0, shift);
            w.baseline += QPointF(0, shift);
        }
    }
}

std::vector<FaceWord> LayoutWords(const GaugeSpec& face, const DialFrame& frame,
                                  const DialColours& colours, double scale) {
    const QFont font = TextFont(scale);
    const QFontMetricsF fm(font);
    std::vector<FaceWord> words;
    const auto at = [&frame](double x, double y) {
        return frame.centre + QPointF(x * frame.radius, -y * frame.radius);
    };
    if (!face.caption.isEmpty()) {
        words.push_back(
            PlaceWord(face.caption, at(0, face.captionRadius), fm, frame, colours.scale));
        if (face.captionRadius > 0) words.back().give = kCaptionGive * frame.radius;
    }
    if (!face.unitText.isEmpty())
        words.push_back(PlaceWord(face.unitText, at(0, -face.unitRadius), fm, frame, colours.unit));
    for (const GaugeText& t : face.extraTexts) {
        if (!t.text.isEmpty())
            words.push_back(PlaceWord(t.text, at(t.x, t.y), fm, frame, colours.unit));
    }
    // Two words stacked (TDC over Advance) want a line's leading between them.
    SeparateWords(words, Clearance(font.pixelSize()) + QSizeF(0, 1));
    return words;
}

struct Numeral {
    QString text;
    QRectF ink;
    QRectF tight;  // relative to the baseline origin
};

struct NumeralLayout {
    std::vector<double> majorValues;  // the values whose ticks are long
    std::vector<Numeral> numerals;
};

// The numeral's ink box centred on kNumeralRadius, or further in where its
// outer edge, in the direction of angle, would pass kNumeralEdge.
QRectF NumeralInk(const DialFrame& frame, double angle, QSizeF size) {
    const double rad = angle * M_PI / 180.0;
    const double reach =
        std::abs(std::sin(rad)) * size.width() / 2 + std::abs(std::cos(rad)) * size.height() / 2;
    const double distance =
        std::max(0.0, std::min(kNumeralRadius * frame.radius, kNumeralEdge * frame.radius - reach));
    QRectF ink(QPointF(), size);
    ink.moveCenter(DialPoint(frame, angle, frame.radius > 0 ? distance / frame.radius : 0));
    return ink;
}

bool AnyOverlap(const std::vector<Numeral>& numerals, double pad) {
    for (std::size_t i = 0; i < numerals.size(); ++i) {
        const QRectF a = numerals[i].ink.adjusted(-pad, -pad, pad, pad);
        for (std::size_t j = i + 1; j < numerals.size(); ++j) {
            if (a.intersects(numerals[j].ink)) return true;
        }
    }
    return false;
}

// Puts numerals on the fewest-skipping tick step at which no two touch. On a
// dual dial the two scales meet at their ends; where the same numeral of both
// scales would collide it is drawn once, on the vertical axis between them.
// A numeral that would cover a word of the face is left out; its tick stays.
NumeralLayout LayoutNumerals(const GaugeSpec& face, const DialFrame& frame,
                             std::vector<FaceWord>& words, double scale) {
    const QFontMetricsF fm(NumeralFont(face.numeralSize, scale));
    const double first = face.numeralMin.value_or(face.minimum);
    const double last = face.numeralMax.value_or(face.maximum);
    const double low = std::min(face.minimum, face.maximum);
    const double high = std::max(face.minimum, face.maximum);
    const double eps = (high - low) * 1e-9;
    const double pad = std::max(2.0, fm.height() * 0.25);

    NumeralLayout layout;
    for (int multiplier : kNumeralMultipliers) {
        const double step = face.tickInterval * multiplier;
        layout.majorValues = Steps(first, last, step);
        layout.numerals.clear();
        const int decimals = Decimals(first, step);
        for (double value : layout.majorValues) {
            if (value < low - eps || value > high + eps) continue;
            const QString text = NumeralText(value, decimals);
            const QRectF tight = fm.tightBoundingRect(text);
            const QRectF left = NumeralInk(frame, ScaleAngle(face, value, 0), tight.size());
            if (!face.dual) {
                layout.numerals.push_back({text, left, tight});
                continue;
            }
            const QRectF right = NumeralInk(frame, ScaleAngle(face, value, 1), tight.size());
            if (left.adjusted(-pad, -pad, pad, pad).intersects(right)) {
                QRectF shared = left;
                shared.moveCenter(
                    QPointF(frame.centre.x(), (left.center().y() + right.center().y()) / 2));
                layout.numerals.push_back({text, shared, tight});
            } else {
                layout.numerals.push_back({text, left, tight});
                layout.numerals.push_back({text, right, tight});
            }
        }
        if (!AnyOverlap(layout.numerals, pad)) break;
    }
    const QSizeF clear = Clearance(std::max(NumeralFont(face.numeralSize, scale).pixelSize(),
                                            TextFont(scale).pixelSize()));
    const auto hits = [&clear](const QRectF& word, const QRectF& other) {
        return word.adjusted(-clear.width(), -clear.height(), clear.width(), clear.height())
            .intersects(other);
    };
    const auto hitsAny = [&](const FaceWord& w) {
        return std::any_of(layout.numerals.begin(), layout.numerals.end(),
                           [&](const Numeral& n) { return hits(w.ink, n.ink); });
    };
    for (FaceWord& w : words) {
        if (w.give <= 0 || !hitsAny(w)) continue;
        FaceWord moved = w;
        for (double down = 0.5; down <= w.give; down += 0.5) {
            moved.ink = w.ink.translated(0, down);
            const bool clearOfWords = std::none_of(words.begin(), words.end(), [&](const FaceWord& o) {
                return &o != &w && hits(o.ink, moved.ink);
            });
            if (!clearOfWords) break;
            if (!hitsAny(moved)) {
                moved.baseline = w.baseline + QPointF(0, down);
                w = moved;
                break;
            }
        }
    }
    std::erase_if(layout.numerals, [&](const Numeral& n) {
        return std::any_of(words.begin(), words.end(),
                           [&](const FaceWord& w) { return hits(w.ink, n.ink); });
    });
    return layout;
}

// The ring between the band radii over a clockwise arc.
QPainterPath RingSegment(const DialFrame& frame, ArcSpan arc) {
    const auto square = [&frame](double fraction) {
        const double r = frame.radius * fraction;
        return QRectF(frame.centre.x() - r, frame.centre.y() - r, 2 * r, 2 * r);
    };
    // QPainterPath angles run anticlockwise from 3 o'clock.
    const double qtStart = 90.0 - arc.start;
    QPainterPath path;
    path.arcMoveTo(square(DialGauge::kBandOuter), qtStart);
    path.arcTo(square(DialGauge::kBandOuter), qtStart, -arc.sweep);
    path.arcTo(square(DialGauge::kBandInner), qtStart - arc.sweep, arc.sweep);
    path.closeSubpath();
    return path;
}

void PaintDial(QPainter& p, const DialFrame& frame, const DialColours& colours) {
    QRadialGradient shade(frame.centre, frame.radius);
    shade.setColorAt(0, colours.faceCentre);
    shade.setColorAt(1, colours.faceEdge);
    p.setPen(QPen(colours.bezel, std::max(1.0, frame.radius * kBezelWidth)));
    p.setBrush(shade);
    const double r = frame.radius * (1 - kBezelWidth / 2);
    p.drawEllipse(frame.centre, r, r);
}

void PaintBands(QPainter& p, const GaugeSpec& face, const DialFrame& frame, int scales,
                const DialColours& colours) {
    p.setPen(Qt::NoPen);
    for (int scale = 0; scale < scales; ++scale) {
        for (const GaugeBand& band : face.bands) {
            const ArcSpan arc = BandArc(face, band, scale);
            if (arc.sweep <= 0) continue;
            p.setBrush(band.colour.darker(colours.bandDarker));
            p.drawPath(RingSegment(frame, arc));
        }
    }
}

void PaintTicks(QPainter& p, const GaugeSpec& face, const DialFrame& frame, int scales,
                const std::vector<double>& majorValues, const DialColours& colours) {
    const std::vector<double> minor = TickValues(face);

    const double low = std::min(face.minimum, face.maximum);
    const double high = std::max(face.minimum, face.maximum);
    const double eps = (high - low) * 1e-6;
    const auto near = [eps](const std::vector<double>& list, double v) {
        return std::any_of(list.begin(), list.end(),
                           [&](double x) { return std::abs(x - v) <= eps; });
    };
    const double majorWidth = std::max(1.5, frame.radius * 0.022);
    const double minorWidth = std::max(1.0, frame.radius * 0.011);

    for (int scale = 0; scale < scales; ++scale) {
        // The scale line along the foot of the ticks.
        const ArcSpan arc = BandArc(face, {face.minimum, face.maximum, {}}, scale);
        p.setPen(QPen(colours.scale, minorWidth));
        p.setBrush(Qt::NoBrush);
        const double r = frame.radius * DialGauge::kBandOuter;
        const QRectF square(frame.centre.x() - r, frame.centre.y() - r, 2 * r, 2 * r);
        // drawArc counts sixteenths of a degree anticlockwise from 3 o'clock.
        p.drawArc(square, static_cast<int>(std::lround((90.0 - arc.start) * 16)),
                  static_cast<int>(std::lround(-arc.sweep * 16)));

        const auto tick = [&](double value, double outer, double width) {
            if (value < low - eps || value > high + eps) return;
            const double angle = ScaleAngle(face, value, scale);
            p.setPen(QPen(colours.scale, width, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(DialPoint(frame, angle, DialGauge::kBandOuter),
                       DialPoint(frame, angle, outer));
        };
        for (double v : minor) {
            if (!near(majorValues, v)) tick(v, kMinorTickOuter, minorWidth);
        }
        for (double v : majorValues) tick(v, kMajorTickOuter, majorWidth);
    }
}

// Text with a dark outline, the text in the face colour a pixel off all
// round: white figures stay readable over a yellow or green band, and a unit
// text over the first tick of a scale that starts at the bottom.
void DrawOutlined(QPainter& p, QPointF baseline, const QString& text, QColor colour,
                  QColor outline) {
    static constexpr std::array<QPointF, 8> kOutline{
        QPointF(-1, -1), QPointF(0, -1), QPointF(1, -1), QPointF(-1, 0),
        QPointF(1, 0),   QPointF(-1, 1), QPointF(0, 1),  QPointF(1, 1)};
    p.setPen(outline);
    for (QPointF offset : kOutline) p.drawText(baseline + offset, text);
    p.setPen(colour);
    p.drawText(baseline, text);
}

void PaintNumerals(QPainter& p, const GaugeSpec& face, const std::vector<Numeral>& numerals,
                   const DialColours& colours, double scale) {
    p.setFont(NumeralFont(face.numeralSize, scale));
    for (const Numeral& n : numerals)
        DrawOutlined(p, n.ink.topLeft() - n.tight.topLeft(), n.text, colours.scale,
                     colours.faceEdge);
}

void PaintWords(QPainter& p, const std::vector<FaceWord>& words, const DialColours& colours,
                double scale) {
    p.setFont(TextFont(scale));
    for (const FaceWord& w : words) DrawOutlined(p, w.baseline, w.text, w.colour, colours.faceEdge);
}

}  // namespace

const DialColours& ColoursOf(DialScheme scheme) {
    static const DialColours kDay{
        .faceCentre = QColor(0x30, 0x30, 0x30),
        .faceEdge = QColor(0x0c, 0x0c, 0x0c),
        .bezel = QColor(0x68, 0x68, 0x68),
        .scale = QColor(Qt::white),
        .unit = QColor(0xd0, 0xd0, 0xd0),
        .needle = QColor(0xff, 0x55, 0x10),
        .hub = QColor(0x28, 0x28, 0x28),
        .hubRim = QColor(0x90, 0x90, 0x90),
        .peakHigh = QColor(0xff, 0xe0, 0x40),
        .peakLow = QColor(0x50, 0xc8, 0xff),
        .warnRim = QColor(0xff, 0xb0, 0x00),
        .dangerRim = QColor(0xff, 0x10, 0x10),
        .bandDarker = 100,
    };
    static const DialColours kNight{
        .faceCentre = QColor(0x0e, 0x0e, 0x0e),
        .faceEdge = QColor(0x00, 0x00, 0x00),
        .bezel = QColor(0x30, 0x14, 0x10),
        .scale = QColor(0xb0, 0x30, 0x18),
        .unit = QColor(0x90, 0x28, 0x14),
        .needle = QColor(0xd0, 0x78, 0x00),
        .hub = QColor(0x10, 0x10, 0x10),
        .hubRim = QColor(0x40, 0x20, 0x18),
        .peakHigh = QColor(0xa0, 0x70, 0x00),
        .peakLow = QColor(0x60, 0x40, 0x90),
        .warnRim = QColor(0xd0, 0x90, 0x00),
        .dangerRim = QColor(0xe0, 0x10, 0x10),
        .bandDarker = 300,
    };
    return scheme == DialScheme::Night ? kNight : kDay;
}

double ScaleSweep(const GaugeSpec& face) {
    const double sweep = Normalise(face.endAngle - face.startAngle);
    return sweep > 0 ? sweep : 360.0;
}

double NeedleAngle(const GaugeSpec& face, double value, int needle) {
    if (std::isnan(value)) value = face.minimum;
    const double low = std::min(face.minimum, face.maximum);
    const double high = std::max(face.minimum, face.maximum);
    double offset = 0;
    if (value < low || value > high) {
        // Which end is "past" depends on the direction of the scale, which a
        // reversed minimum and maximum turn round.
        const bool pastEnd = (value > high) == (face.maximum >= face.minimum);
        offset = pastEnd ? ScaleSweep(face) + kPinDegrees : -kPinDegrees;
    } else {
        offset = ScaleFraction(face, value) * ScaleSweep(face);
    }
    return Normalise(Mirror(face, face.startAngle + offset, needle));
}

ArcSpan BandArc(const GaugeSpec& face, const GaugeBand& band, int needle) {
    const double low = std::min(face.minimum, face.maximum);
    const double high = std::max(face.minimum, face.maximum);
    const double from = std::clamp(std::min(band.from, band.to), low, high);
    const double to = std::clamp(std::max(band.from, band.to), low, high);
    double a = ScaleFraction(face, from);
    double b = ScaleFraction(face, to);
    if (a > b) std::swap(a, b);
    const double sweep = (b - a) * ScaleSweep(face);
    const double start = face.startAngle + a * ScaleSweep(face);
    // The mirror image runs the other way round, so its clockwise start is
    // the mirror of the band's far end.
    if (face.dual && needle == 1) return {Normalise(360.0 - (start + sweep)), sweep};
    return {Normalise(start), sweep};
}

std::vector<double> TickValues(const GaugeSpec& face) {
    const double step = face.tickInterval;
    if (!(step > 0) || !(face.maximum > face.minimum))
        return Steps(face.minimum, face.maximum, step);
    // Counted in steps of the interval from where the numerals start, back
    // to the first step inside the scale: the numerals stand on ticks, and a
    // scale whose numerals start off its minimum (16 on a scale from 15)
    // keeps its interval rather than gaining a tick between every two.
    const double anchor = face.numeralMin.value_or(face.minimum);
    const double back = std::floor((anchor - face.minimum) / step + 1e-6);
    return Steps(anchor - back * step, face.maximum, step);
}

DialFrame DialFrameFor(QSizeF size) {
    const double radius = std::max(0.0, std::min(size.width(), size.height()) / 2 - kEdgeMarginPx);
    return {QPointF(size.width() / 2, size.height() / 2), radius};
}

QPointF DialPoint(const DialFrame& frame, double angle, double radiusFraction) {
    const double rad = angle * M_PI / 180.0;
    const double r = frame.radius * radiusFraction;
    return frame.centre + QPointF(std::sin(rad) * r, -std::cos(rad) * r);
}

std::vector<FaceText> LayoutFaceTexts(const GaugeSpec& gauge, QSize size, double textScale) {
    const DialFrame frame = DialFrameFor(QSizeF(size));
    if (frame.radius <= 0) return {};
    std::vector<FaceWord> words = LayoutWords(gauge, frame, ColoursOf(DialScheme::Day), textScale);
    const NumeralLayout numerals = LayoutNumerals(gauge, frame, words, textScale);
    const auto drawn = [](QRectF ink) {
        return ink.adjusted(-kOutlinePx, -kOutlinePx, kOutlinePx, kOutlinePx);
    };
    std::vector<FaceText> texts;
    for (const FaceWord& w : words) texts.push_back({w.text, drawn(w.ink), false});
    for (const Numeral& n : numerals.numerals) texts.push_back({n.text, drawn(n.ink), true});
    return texts;
}

// The static face in physical pixels, so it blits sharp on a high-density
// screen.
QPixmap RenderDialFace(const GaugeSpec& gauge, QSize size, qreal dpr, const DialColours& colours,
                       double textScale) {
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    // Every dial sits on black; an opaque face spares repainting the window
    // behind each gauge at every needle move.
    pixmap.fill(Qt::black);
    const DialFrame frame = DialFrameFor(QSizeF(size));
    if (frame.radius <= 0) return pixmap;

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int scales = gauge.dual ? 2 : 1;
    std::vector<FaceWord> words = LayoutWords(gauge, frame, colours, textScale);
    const NumeralLayout numerals = LayoutNumerals(gauge, frame, words, textScale);
    PaintDial(p, frame, colours);
    PaintBands(p, gauge, frame, scales, colours);
    PaintTicks(p, gauge, frame, scales, numerals.majorValues, colours);
    PaintNumerals(p, gauge, numerals.numerals, colours, textScale);
    PaintWords(p, words, colours, textScale);
    return pixmap;
}

}  // namespace quarn
