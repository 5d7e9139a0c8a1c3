// Decoding of the 38-byte data frame: byte orders, checksum, long and short
// buffers, out-of-range analog words, and the encoder the simulator uses.

#include <gtest/gtest.h>

#include <random>

#include "decode/Frame.h"

namespace quarn {
namespace {

ByteBuffer Filled(std::uint8_t value, std::uint8_t checksum) {
    ByteBuffer b(kFrameBytes, value);
    b[kChecksumIndex] = checksum;
    return b;
}

TEST(DecodeFrame, AllZeroFrameDecodesToZeroAndPasses) {
    ChannelRecord rec;
    rec.MafRaw = 99;
    EXPECT_FALSE(DecodeFrame(ByteBuffer(kFrameBytes, 0), rec));
    EXPECT_EQ(rec.MafRaw, 0);
    EXPECT_EQ(rec.AccelInterval, 0);
    EXPECT_EQ(rec.StatusFlags, 0);
}

TEST(DecodeFrame, ChecksumIsSumOfFirst37BytesModulo256) {
    // 37 x 127 = 4699 = 0x125B
    ChannelRecord rec;
    FrameFault fault{};
    EXPECT_FALSE(DecodeFrame(Filled(0x7F, 0x5B), rec, &fault));
    EXPECT_EQ(fault, FrameFault::None);
    EXPECT_EQ(rec.MafRaw, 32639);
    EXPECT_EQ(rec.HegoRRaw, 32639);
    EXPECT_EQ(rec.RpmPeriod, 32639);
    EXPECT_EQ(rec.AccelInterval, 32639);
    EXPECT_EQ(rec.StatusFlags, 127);

    // A wrong checksum still leaves every raw word in the record.
    ChannelRecord bad;
    EXPECT_TRUE(DecodeFrame(Filled(0x7F, 0x5C), bad, &fault));
    EXPECT_EQ(fault, FrameFault::Checksum);
    EXPECT_EQ(bad.TpsRaw, 32639);
    EXPECT_EQ(bad.VssPeriodPrev, 32639);
}

TEST(DecodeFrame, AnalogWordsHighByteFirstTimerWordsLowByteFirst) {
    ByteBuffer b(kFrameBytes, 0);
    b[0] = 0x01;
    b[1] = 0xFF;
    b[18] = 0x03;
    b[19] = 0xFF;
    b[20] = 0x34;
    b[21] = 0x12;
    b[34] = 0xFF;
    b[35] = 0xFF;
    b[kChecksumIndex] = FrameChecksum(b);
    ChannelRecord rec;
    EXPECT_FALSE(DecodeFrame(b, rec));
    EXPECT_EQ(rec.MafRaw, 511);
    EXPECT_EQ(rec.HegoRRaw, 1023);
    EXPECT_EQ(rec.RpmPeriod, 0x1234);
    EXPECT_EQ(rec.AccelInterval, 65535);  // timer words are unsigned
}

TEST(DecodeFrame, OnlyTheFirst38BytesOfALongReadCount) {
    ByteBuffer two = Filled(0x7F, 0x5B);
    ByteBuffer second(kFrameBytes, 0x01);  // its own checksum would be wrong
    two.insert(two.end(), second.begin(), second.end());
    ChannelRecord rec;
    EXPECT_FALSE(DecodeFrame(two, rec));
    EXPECT_EQ(rec.MafRaw, 32639);
}

TEST(DecodeFrame, GoodFrameAfterBadOneClearsBadFrame) {
    ChannelRecord rec;
    EXPECT_TRUE(DecodeFrame(Filled(0x7F, 0x00), rec));
    EXPECT_FALSE(DecodeFrame(Filled(0x7F, 0x5B), rec));
}

TEST(DecodeFrame, ShortBufferIsBadAndNeverRead) {
    ChannelRecord rec;
    rec.MafRaw = 7;
    FrameFault fault{};
    for (std::size_t n : {0u, 1u, 37u}) {
        EXPECT_TRUE(DecodeFrame(ByteBuffer(n, 0), rec, &fault)) << n;
        EXPECT_EQ(fault, FrameFault::Short);
        EXPECT_EQ(rec.MafRaw, 7);
    }
}

TEST(DecodeFrame, AnalogWordWithTopBitSetIsKeptButRefused) {
    for (int word = 0; word < 10; ++word) {
        ByteBuffer b(kFrameBytes, 0);
        b[2 * word] = 0x80;
        b[2 * word + 1] = 0x01;
        b[kChecksumIndex] = FrameChecksum(b);
        ChannelRecord rec;
        FrameFault fault{};
        EXPECT_TRUE(DecodeFrame(b, rec, &fault)) << word;
        EXPECT_EQ(fault, FrameFault::AnalogRange);
        const std::int32_t* analog = &rec.MafRaw;
        EXPECT_EQ(analog[word], 32769);
    }
}

TEST(EncodeFrame, RoundTripsRandomFrames) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> analog(0, 32767), timer(0, 65535), byte(0, 255);
    for (int i = 0; i < 1000; ++i) {
        RawFrame raw;
        for (auto& w : raw.analog) w = static_cast<std::uint16_t>(analog(rng));
        for (auto& w : raw.timer) w = static_cast<std::uint16_t>(timer(rng));
        raw.status = static_cast<std::uint8_t>(byte(rng));
        const FrameBytes bytes = EncodeFrame(raw);
        ChannelRecord rec;
        ASSERT_FALSE(DecodeFrame(bytes, rec));
        const RawFrame back = RawFromRecord(rec);
        EXPECT_EQ(back.analog, raw.analog);
        EXPECT_EQ(back.timer, raw.timer);
        EXPECT_EQ(back.status, raw.status);
    }
}

}  // namespace
}  // namespace quarn
