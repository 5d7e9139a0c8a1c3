#include "decode/Frame.h"

namespace quarn {
namespace {

constexpr int kAnalogWords = 10;
constexpr int kTimerWords = 8;
constexpr int kTimerOffset = 2 * kAnalogWords;                // 20
constexpr int kStatusIndex = kTimerOffset + 2 * kTimerWords;  // 36

// Pointers to the raw fields in frame order, so decoding and encoding walk
// one table instead of two hand-written lists.
constexpr std::int32_t ChannelRecord::*kAnalogFields[kAnalogWords] = {
    &ChannelRecord::MafRaw,   &ChannelRecord::TpsRaw,   &ChannelRecord::EctRaw,
    &ChannelRecord::ActRaw,   &ChannelRecord::BoostRaw, &ChannelRecord::WideO2Raw,
    &ChannelRecord::EgtLRaw,  &ChannelRecord::EgtRRaw,  &ChannelRecord::HegoLRaw,
    &ChannelRecord::HegoRRaw,
};
constexpr std::int32_t ChannelRecord::*kTimerFields[kTimerWords] = {
    &ChannelRecord::RpmPeriod,     &ChannelRecord::SparkDelay,    &ChannelRecord::InjOnTime,
    &ChannelRecord::MapPeriod,     &ChannelRecord::InjOnTime2,    &ChannelRecord::VssPeriod,
    &ChannelRecord::VssPeriodPrev, &ChannelRecord::AccelInterval,
};

}  // namespace

std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame) {
    unsigned sum = 0;
    const std::size_t n = frame.size() < kChecksumIndex ? frame.size() : kChecksumIndex;
    for (std::size_t i = 0; i < n; ++i) sum += frame[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

bool DecodeFrame(std::span<const std::uint8_t> rxBuf, ChannelRecord& rec, FrameFault* fault) {
    auto report = [fault](FrameFault f) {
        if (fault) *fault = f;
        return f != FrameFault::None;
    };
    if (rxBuf.size() < static_cast<std::size_t>(kFrameBytes)) return report(FrameFault::Short);

    bool analogOutOfRange = false;
    for (int w = 0; w < kAnalogWords; ++w) {
        const std::uint8_t hi = rxBuf[2 * w];
        const std::uint8_t lo = rxBuf[2 * w + 1];
        analogOutOfRange |= hi >= 0x80;
        rec.*kAnalogFields[w] = hi * 256 + lo;
    }
    for (int w = 0; w < kTimerWords; ++w) {
        const std::uint8_t lo = rxBuf[kTimerOffset + 2 * w];
        const std::uint8_t hi = rxBuf[kTimerOffset + 2 * w + 1];
        rec.*kTimerFields[w] = lo + hi * 256;
    }
    rec.StatusFlags = rxBuf[kStatusIndex];

    if (FrameChecksum(rxBuf) != rxBuf[kChecksumIndex]) return report(FrameFault::Checksum);
    if (analogOutOfRange) return report(FrameFault::AnalogRange);
    return report(FrameFault::None);
}

FrameBytes EncodeFrame(const RawFrame& raw) {
    FrameBytes f{};
    for (int w = 0; w < kAnalogWords; ++w) {
        f[2 * w] = static_cast<std::uint8_t>(raw.analog[w] >> 8);
        f[2 * w + 1] = static_cast<std::uint8_t>(raw.analog[w] & 0xFF);
    }
    for (int w = 0; w < kTimerWords; ++w) {
        f[kTimerOffset + 2 * w] = static_cast<std::uint8_t>(raw.timer[w] & 0xFF);
        f[kTimerOffset + 2 * w + 1] = static_cast<std::uint8_t>(raw.timer[w] >> 8);
    }
    f[kStatusIndex] = raw.status;
    f[kChecksumIndex] = FrameChecksum(f);
    return f;
}

RawFrame RawFromRecord(const ChannelRecord& rec) {
    RawFrame raw;
    for (int w = 0; w < kAnalogWords; ++w)
        raw.analog[w] = static_cast<std::uint16_t>(rec.*kAnalogFields[w]);
    for (int w = 0; w < kTimerWords; ++w)
        raw.timer[w] = static_cast<std::uint16_t>(rec.*kTimerFields[w]);
    raw.status = rec.StatusFlags;
    return raw;
}

}  // namespace quarn
