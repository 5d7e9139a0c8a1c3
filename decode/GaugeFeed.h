#pragma once

#include <cstdint>

#include "decode/ChannelRecord.h"
#include "decode/VehicleData.h"

namespace quarn {

// The dials the gauge feed writes, by the names the dashboard gives them.
enum class Gauge : std::uint8_t {
    MAF,
    TPS,
    ECT,
    ACT,
    BAP,
    Advance,
    Boost,
    Tach,
    Speedo,
    EGT,
    HEGO,
    DutyCycle,
    INJPW,
    WideBand,
    TPSToolGauge,
    MPG,
};

// Where the feed's values go: the dashboard and the TPS tool.
class GaugeSink {
public:
    virtual ~GaugeSink() = default;
    // The next value written to a two-needle gauge goes to this needle.
    virtual void SelectNeedle(Gauge gauge, std::int16_t needle) = 0;
    virtual void NeedleValue(Gauge gauge, double value) = 0;
    virtual bool TpsToolVisible() const = 0;
};

// Shows the current values of rec on the gauges, in dashboard order, then the
// TPS tool's dial when it is open, then the fuel economy. On the way an
// InjDuty of 0 becomes 0.00001 in rec (after the duty gauge has shown 0), so
// the economy never divides by zero and the scopes fed after this see it.
void UpdateDash(ChannelRecord& rec, const VehicleData& vehicle, GaugeSink& gauges);

}  // namespace quarn
