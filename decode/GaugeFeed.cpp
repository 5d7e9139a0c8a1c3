#include "decode/GaugeFeed.h"

#include "decode/Conversion.h"

namespace quarn {

void UpdateDash(ChannelRecord& rec, const VehicleData& vehicle, GaugeSink& gauges) {
    gauges.NeedleValue(Gauge::MAFS, rec.MafVolts);
    gauges.NeedleValue(Gauge::tps, rec.TpsVolts);
    gauges.NeedleValue(Gauge::ECT, rec.EctF);
    gauges.NeedleValue(Gauge::ACT, rec.ActF);
    gauges.NeedleValue(Gauge::bap, rec.BapPressure);
    gauges.NeedleValue(Gauge::Advance, rec.AdvanceDeg);
    gauges.NeedleValue(Gauge::Boost, rec.BoostLevel);
    gauges.NeedleValue(Gauge::Tach, rec.Rpm);
    gauges.NeedleValue(Gauge::Speedo, rec.Mph);
    gauges.SelectNeedle(Gauge::EGT, 0);
    gauges.NeedleValue(Gauge::EGT, rec.EgtL);
    gauges.SelectNeedle(Gauge::EGT, 1);
    gauges.NeedleValue(Gauge::EGT, rec.EgtR);
    gauges.SelectNeedle(Gauge::HEGOS, 0);
    gauges.NeedleValue(Gauge::HEGOS, rec.HegoL);
    gauges.SelectNeedle(Gauge::HEGOS, 1);
    gauges.NeedleValue(Gauge::HEGOS, rec.HegoR);
    gauges.NeedleValue(Gauge::DutyCycle, rec.InjDuty);
    gauges.NeedleValue(Gauge::INJPW, rec.InjPw);
    gauges.NeedleValue(Gauge::WideBand, rec.WideO2);
    if (gauges.TpsToolVisible()) gauges.NeedleValue(Gauge::TPSToolGauge, rec.TpsVolts);
    ApplyInjDutyFloor(rec);
    gauges.NeedleValue(Gauge::mpg, FuelEconomyMpg(rec.InjDuty, rec.Mph, vehicle));
}

}  // namespace quarn
