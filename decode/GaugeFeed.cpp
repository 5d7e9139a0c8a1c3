#include "decode/GaugeFeed.h"

#include "decode/Conversion.h"

namespace quarn {

void UpdateDash(ChannelRecord& rec, const VehicleData& vehicle, GaugeSink& gauges) {
    gauges.NeedleValue(Gauge::MAF, rec.MafVolts);
    gauges.NeedleValue(Gauge::TPS, rec.TpsVolts);
    gauges.NeedleValue(Gauge::ECT, rec.EctF);
    gauges.NeedleValue(Gauge::ACT, rec.ActF);
    gauges.NeedleValue(Gauge::BAP, rec.BapPressure);
    gauges.NeedleValue(Gauge::Advance, rec.AdvanceDeg);
    gauges.NeedleValue(Gauge::Boost, rec.BoostLevel);
    gauges.NeedleValue(Gauge::Tach, rec.Rpm);
    gauges.NeedleValue(Gauge::Speedo, rec.Mph);
    gauges.SelectNeedle(Gauge::EGT, 0);
    gauges.NeedleValue(Gauge::EGT, rec.EgtL);
    gauges.SelectNeedle(Gauge::EGT, 1);
    gauges.NeedleValue(Gauge::EGT, rec.EgtR);
    gauges.SelectNeedle(Gauge::HEGO, 0);
    gauges.NeedleValue(Gauge::HEGO, rec.HegoL);
    gauges.SelectNeedle(Gauge::HEGO, 1);
    gauges.NeedleValue(Gauge::HEGO, rec.HegoR);
    gauges.NeedleValue(Gauge::DutyCycle, rec.InjDuty);
    gauges.NeedleValue(Gauge::INJPW, rec.InjPw);
    gauges.NeedleValue(Gauge::WideBand, rec.WideO2);
    if (gauges.TpsToolVisible()) gauges.NeedleValue(Gauge::TPSToolGauge, rec.TpsVolts);
    ApplyInjDutyFloor(rec);
    gauges.NeedleValue(Gauge::MPG, FuelEconomyMpg(rec.InjDuty, rec.Mph, vehicle));
}

}  // namespace quarn
