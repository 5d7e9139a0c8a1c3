#pragma once

#include <cstdint>

namespace quarn {

// The values of the most recent frame: the raw words as the box sent them
// (written by DecodeFrame) and the engineering values derived from them
// (written by ComputeChannels). Everything starts at zero.
struct ChannelRecord {
    // Analog readings, 1023 = 5 V full scale; sent high byte first.
    std::int32_t MafRaw = 0;
    std::int32_t TpsRaw = 0;
    std::int32_t EctRaw = 0;
    std::int32_t ActRaw = 0;
    std::int32_t BoostRaw = 0;
    std::int32_t WideO2Raw = 0;
    std::int32_t EgtLRaw = 0;
    std::int32_t EgtRRaw = 0;
    std::int32_t HegoLRaw = 0;
    std::int32_t HegoRRaw = 0;
    // Timer words in ticks of 1.0855 us (RpmPeriod and AccelInterval in
    // units of 8 ticks); sent low byte first.
    std::int32_t RpmPeriod = 0;
    std::int32_t SparkDelay = 0;
    std::int32_t InjOnTime = 0;
    std::int32_t MapPeriod = 0;
    std::int32_t InjOnTime2 = 0;
    std::int32_t VssPeriod = 0;
    std::int32_t VssPeriodPrev = 0;
    std::int32_t AccelInterval = 0;
    std::uint8_t StatusFlags = 0;

    // Engineering values.
    float Mph = 0;
    float Rpm = 0;
    float MafVolts = 0;
    float TpsVolts = 0;
    float EctF = 0;
    float ActF = 0;
    float BapPressure = 0;
    float BoostLevel = 0;
    float WideO2 = 0;
    float EgtL = 0;
    float EgtR = 0;
    float HegoL = 0;
    float HegoR = 0;
    float AdvanceDeg = 0;
    float InjDuty = 0;
    float InjPw = 0;
    float Rwhp = 0;
    float Rwtq = 0;
};

// Bit 4 of StatusFlags: the injector is on (used when the on-time reads 0).
inline constexpr std::uint8_t kInjectorOnFlag = 16;

}  // namespace quarn
