// The 48-byte log record: its exact layout, long and short receive buffers,
// malformed headers, writing records into real files and reading them back.

#include <gtest/gtest.h>

#include <numeric>

#include "TestUtil.h"
#include "logging/LogFormat.h"

namespace quarn {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

ByteBuffer Counting(std::size_t n, std::uint8_t first = 1) {
    ByteBuffer b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

TEST(LogRecord, LayoutIsHeaderThenFrameBytes) {
    const ByteBuffer frame = Counting(38);
    const RecordBytes rec = EncodeRecord(frame);
    const std::uint8_t header[10] = {1, 0, 38, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(header, header + 10, rec.begin()));
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), rec.begin() + 10));

    ByteBuffer back;
    EXPECT_EQ(DecodeRecord(rec, back), RecordStatus::Ok);
    EXPECT_EQ(back, frame);
}

TEST(LogRecord, LongBufferKeepsItsFirst38Bytes) {
    const ByteBuffer two = Counting(76);
    const RecordBytes rec = EncodeRecord(two);
    EXPECT_EQ(rec[2], 38);
    ByteBuffer back;
    EXPECT_EQ(DecodeRecord(rec, back), RecordStatus::Ok);
    EXPECT_EQ(back, Counting(38));
}

TEST(LogRecord, ShortBufferIsPaddedAndReadBackAtItsOwnLength) {
    const RecordBytes rec = EncodeRecord(Counting(20));
    EXPECT_EQ(rec[2], 20);
    EXPECT_EQ(rec[30], 0);  // fill
    ByteBuffer back;
    EXPECT_EQ(DecodeRecord(rec, back), RecordStatus::Short);
    EXPECT_EQ(back, Counting(20));

    EXPECT_EQ(DecodeRecord(EncodeRecord({}), back), RecordStatus::Short);
    EXPECT_TRUE(back.empty());
}

TEST(LogRecord, MalformedHeadersAreRefusedWithoutReadingPastTheRecord) {
    struct Case {
        int index;
        std::uint8_t value;
    };
    // Dimension count 2; element counts of 39 and of 2^32-1; lower bound 1.
    for (Case c : {Case{0, 2}, Case{2, 39}, Case{5, 0xFF}, Case{6, 1}}) {
        RecordBytes rec = EncodeRecord(Counting(38));
        rec[c.index] = c.value;
        ByteBuffer back = Counting(5);
        EXPECT_EQ(DecodeRecord(rec, back), RecordStatus::Malformed) << c.index;
        EXPECT_TRUE(back.empty());
    }
}

TEST(LogFile, RecordsAreWrittenInPlaceAndTheFileIsWholeAfterEachWrite) {
    TempDir dir;
    const std::string path = dir.File("run.qz0");
    ASSERT_TRUE(WriteRecordAt(path, 1, Counting(38, 1)));
    EXPECT_EQ(ReadBytes(path).size(), 48u);
    ASSERT_TRUE(WriteRecordAt(path, 2, Counting(38, 2)));
    ASSERT_TRUE(WriteRecordAt(path, 3, Counting(38, 3)));
    ASSERT_TRUE(WriteRecordAt(path, 2, Counting(38, 9)));  // replaces record 2
    EXPECT_EQ(ReadBytes(path).size(), 3u * 48);

    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.RecordCount(), 3);
    ByteBuffer rx;
    EXPECT_EQ(reader.Read(2, rx), RecordStatus::Ok);
    EXPECT_EQ(rx, Counting(38, 9));
    EXPECT_EQ(reader.Read(3, rx), RecordStatus::Ok);
    EXPECT_EQ(rx, Counting(38, 3));
    EXPECT_EQ(reader.Read(0, rx), RecordStatus::Malformed);
    EXPECT_EQ(reader.Read(4, rx), RecordStatus::Malformed);
    EXPECT_TRUE(rx.empty());
}

TEST(LogFile, WritingPastTheEndLeavesAGapThatReadsAsMalformed) {
    TempDir dir;
    const std::string path = dir.File("gap.qz0");
    ASSERT_TRUE(WriteRecordAt(path, 1, Counting(38)));
    ASSERT_TRUE(WriteRecordAt(path, 3, Counting(38)));
    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    ByteBuffer rx;
    EXPECT_EQ(reader.Read(2, rx), RecordStatus::Malformed);
}

TEST(LogFile, FailuresAreReportedNotThrown) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteRecordAt(dir.File("no/such/dir/x.qz0"), 1, Counting(38), &error));
    EXPECT_NE(error.find("no/such/dir"), std::string::npos);
    EXPECT_FALSE(WriteRecordAt(dir.File("x.qz0"), 0, Counting(38), &error));

    LogReader reader;
    EXPECT_FALSE(reader.Open(dir.File("missing.qz0"), &error));
    EXPECT_NE(error.find("missing.qz0"), std::string::npos);
    EXPECT_FALSE(reader.Open(dir.path().string(), &error));  // a directory
}

TEST(LogFile, TrailingBytesAreCountedAndOnlyWholeRecordsRead) {
    TempDir dir;
    const std::string path = dir.File("cut.qz0");
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 2; ++i) {
        const RecordBytes rec = EncodeRecord(Counting(38, static_cast<std::uint8_t>(i)));
        bytes.insert(bytes.end(), rec.begin(), rec.end());
    }
    bytes.resize(bytes.size() + 17, 0xAA);
    WriteBytes(path, bytes);

    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.RecordCount(), 2);
    EXPECT_EQ(reader.TrailingBytes(), 17);
    ByteBuffer rx;
    RecordStatus status{};
    int n = 0;
    while (reader.ReadNext(rx, status)) ++n;
    EXPECT_EQ(n, 2);
}

TEST(LogFile, SequentialReadingCrossesBufferBoundaries) {
    TempDir dir;
    const std::string path = dir.File("long.qz0");
    constexpr int kRecords = 10000;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kRecords * 48);
    for (int i = 0; i < kRecords; ++i) {
        ByteBuffer frame(38, 0);
        frame[0] = static_cast<std::uint8_t>(i >> 8);
        frame[1] = static_cast<std::uint8_t>(i);
        const RecordBytes rec = EncodeRecord(frame);
        bytes.insert(bytes.end(), rec.begin(), rec.end());
    }
    WriteBytes(path, bytes);

    LogReader reader;
    ASSERT_TRUE(reader.Open(path));
    ByteBuffer rx;
    RecordStatus status{};
    int n = 0;
    while (reader.ReadNext(rx, status)) {
        ASSERT_EQ(status, RecordStatus::Ok);
        ASSERT_EQ(rx[0] * 256 + rx[1], n & 0xFFFF) << n;
        ++n;
    }
    EXPECT_EQ(n, kRecords);
}

}  // namespace
}  // namespace quarn
