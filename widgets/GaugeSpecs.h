#pragma once

#include <QRect>

#include <array>

#include "widgets/DialGauge.h"
#include "widgets/Twips.h"
#include "decode/GaugeFeed.h"

namespace quarn {

// One dial as its window lays it out: the name the feed addresses it by, its
// rectangle in twips (15 to a pixel) and its face.
struct GaugeLayout {
    const char* name = "";
    QRect twips;
    GaugeSpec face;

    QRect pixels() const { return TwipsRect(twips.x(), twips.y(), twips.width(), twips.height()); }
};

// The fifteen dials of the dashboard, in the order its gauge table lists
// them (the feed writes them in an order of its own).
inline constexpr std::array<Gauge, 15> kDashboardGauges{
    Gauge::Tach,      Gauge::Speedo, Gauge::TPS,      Gauge::Advance, Gauge::MAF,
    Gauge::DutyCycle, Gauge::INJPW,  Gauge::BAP,      Gauge::ACT,     Gauge::ECT,
    Gauge::MPG,       Gauge::HEGO,   Gauge::WideBand, Gauge::Boost,   Gauge::EGT,
};

// The layout of any gauge: a dashboard dial, or the TPS tool's TPSToolGauge
// (whose rectangle is in the tool window).
GaugeLayout GaugeLayoutOf(Gauge gauge);

}  // namespace quarn
