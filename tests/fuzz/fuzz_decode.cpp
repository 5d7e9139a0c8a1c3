// Fuzzes frame decoding and conversion: any bytes, fed as a stream of frames
// through one conversion state, must never crash and never put NaN or
// infinity on a gauge.

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "decode/GaugeFeed.h"

namespace {

class CheckingGauges final : public quarn::GaugeSink {
public:
    void SelectNeedle(quarn::Gauge, std::int16_t) override {}
    void NeedleValue(quarn::Gauge, double value) override {
        if (!std::isfinite(value)) std::abort();
    }
    bool TpsToolVisible() const override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quarn::Conversion conversion;
    quarn::VehicleData vehicle;
    quarn::ChannelRecord rec;
    CheckingGauges gauges;
    // The first byte picks vehicle data at the edges of what is accepted.
    if (size > 0) {
        if (data[0] & 1) vehicle.SetWeight("100000");
        if (data[0] & 2) vehicle.SetInjSize("0.001");
        if (data[0] & 4) vehicle.SetNumCyl("64");
        ++data;
        --size;
    }
    for (std::size_t at = 0; at < size; at += quarn::kFrameBytes) {
        const std::span<const std::uint8_t> frame(data + at, size - at);
        quarn::DecodeFrame(frame, rec);
        if (frame.size() < quarn::kFrameBytes) break;
        conversion.ComputeChannels(rec, vehicle);
        if (rec.Rpm > 10000 || rec.RpmPeriod == 0) std::abort();
        quarn::UpdateDash(rec, vehicle, gauges);
    }
    return 0;
}
