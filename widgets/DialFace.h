#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>

#include <vector>

#include "widgets/DialGauge.h"

namespace quarn {

// The face, in fractions of the radius, where the widget draws over it too.
inline constexpr double kBezelWidth = 0.03;
inline constexpr double kMajorTickOuter = 0.96;

// The colours of a dial in one scheme.
struct DialColours {
    QColor faceCentre;
    QColor faceEdge;  // also the outline round numerals and words
    QColor bezel;
    QColor scale;  // ticks, scale line, numerals and captions
    QColor unit;
    QColor needle;
    QColor hub;
    QColor hubRim;
    QColor peakHigh;  // the peak-hold mark of the highest value
    QColor peakLow;   // and of the lowest
    QColor warnRim;
    QColor dangerRim;
    int bandDarker = 100;  // QColor::darker factor for the coloured bands
};

// Day is the standard look. Night dims every colour for driving in the
// dark: near-black faces, dark red marks and words, bands at a third of
// their brightness, an amber needle.
const DialColours& ColoursOf(DialScheme scheme);

// A text of the face and where it is drawn: its ink with the outline round
// it, in the face's pixels.
struct FaceText {
    QString text;
    QRectF drawn;
    bool numeral = false;
};

// The numerals and words the face of this size writes, where it writes them
// (the caption first, then the unit and the other words, then the
// numerals).
std::vector<FaceText> LayoutFaceTexts(const GaugeSpec& gauge, QSize size, double textScale);

// The static face (ring, bands, ticks, numerals, words) in physical pixels,
// so it blits sharp on a high-density screen. textScale scales the fonts,
// which never go below a legible size.
QPixmap RenderDialFace(const GaugeSpec& gauge, QSize size, qreal dpr, const DialColours& colours,
                       double textScale);

}  // namespace quarn
