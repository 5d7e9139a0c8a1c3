#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "decode/ChannelRecord.h"

namespace quarn {

// One answer of the box to "f": ten analog words (high byte first), eight
// timer words (low byte first), the status byte and a checksum byte.
inline constexpr int kFrameBytes = 38;
inline constexpr int kChecksumIndex = 37;

using FrameBytes = std::array<std::uint8_t, kFrameBytes>;

// A receive buffer: the bytes of one read from the port or one log record.
using ByteBuffer = std::vector<std::uint8_t>;

// Why a frame was refused. Only None lets a live frame through.
enum class FrameFault : std::uint8_t {
    None,
    Checksum,     // byte 37 is not the sum of bytes 0..36 modulo 256
    AnalogRange,  // an analog word has its top bit set: the box never sends that
    Short,        // fewer than 38 bytes: nothing was decoded
};

// Sum of bytes 0..36 modulo 256.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> frame);

// Unpacks the first 38 bytes of rxBuf into the raw fields of rec and returns
// the new value of BadFrame: true when the frame failed validation. Bytes after
// the 38th are ignored. All raw fields are written before validation, so a bad
// frame still leaves its words in the record. A buffer shorter than 38 bytes
// is never read: the record is left as it was and the frame is bad.
// An analog word of 32768 or more is kept at its full unsigned value but makes
// the frame bad, as a checksum failure does.
bool DecodeFrame(std::span<const std::uint8_t> rxBuf, ChannelRecord& rec,
                 FrameFault* fault = nullptr);

// The raw words of a frame, in frame order, for building frames (the box
// simulator and tests). Words are truncated to 16 bits.
struct RawFrame {
    std::array<std::uint16_t, 10> analog{};  // MafRaw .. HegoRRaw
    std::array<std::uint16_t, 8> timer{};    // RpmPeriod .. AccelInterval
    std::uint8_t status = 0;
};

// Packs a frame with a valid checksum.
FrameBytes EncodeFrame(const RawFrame& raw);

// The raw words of a decoded record, so a record can be encoded again.
RawFrame RawFromRecord(const ChannelRecord& rec);

}  // namespace quarn
