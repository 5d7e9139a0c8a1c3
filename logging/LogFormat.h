#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decode/Frame.h"

namespace quarn {

// A log file is a headerless sequence of 48-byte records, one per frame.
// Record layout (little-endian): dimension count u16 = 1, element count u32
// (frame bytes that follow, at most 38), lower bound i32 = 0, the frame
// bytes, then fill up to 48 bytes.
inline constexpr int kRecordBytes = 48;
inline constexpr int kRecordHeaderBytes = 10;
inline constexpr int kRecordMaxFrameBytes = kRecordBytes - kRecordHeaderBytes;  // 38

using RecordBytes = std::array<std::uint8_t, kRecordBytes>;

enum class RecordStatus : std::uint8_t {
    Ok,         // a whole frame of 38 bytes
    Short,      // a well-formed record of fewer than 38 frame bytes
    Malformed,  // the header is not (1, 0..38, 0): nothing was read
};

// Builds the record for a receive buffer. Only the first 38 bytes are kept,
// so a long buffer never spills into the next record; fill bytes are 0.
RecordBytes EncodeRecord(std::span<const std::uint8_t> rxBuf);

// Reads a record back. For Ok and Short, rxBuf becomes the stored frame
// bytes (element-count long); for Malformed it is emptied. Never reads past
// the 48 bytes of the record.
RecordStatus DecodeRecord(std::span<const std::uint8_t, kRecordBytes> record, ByteBuffer& rxBuf);

// Writes rxBuf as record n (from 1) of the file at path: opens the file for
// reading and writing, creating it when missing, writes 48 bytes at
// (n - 1) * 48 and closes it again, so the file is whole on disk after every
// record. Returns false and fills error when any step fails.
bool WriteRecordAt(const std::string& path, std::int64_t n, std::span<const std::uint8_t> rxBuf,
                   std::string* error = nullptr);

// Random and sequential access to the records of a log file.
class LogReader {
public:
    LogReader() = default;
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // Opens an existing file for reading. Returns false, with a message in
    // error, when it cannot be opened.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Whole records in the file, and the bytes after the last whole record.
    std::int64_t RecordCount() const { return m_recordCount; }
    std::int64_t TrailingBytes() const { return m_trailingBytes; }

    // Reads record n (1 .. RecordCount) into rxBuf. Returns Malformed, with
    // rxBuf empty, for a number out of range or a failed read.
    RecordStatus Read(std::int64_t n, ByteBuffer& rxBuf);

    // Sequential reading from record 1, buffered. Returns false at the end.
    bool ReadNext(ByteBuffer& rxBuf, RecordStatus& status);
    // The record the next ReadNext reads (from 1).
    void SeekNext(std::int64_t n);

private:
    int m_fd = -1;
    std::int64_t m_recordCount = 0;
    std::int64_t m_trailingBytes = 0;
    std::int64_t m_nextSequential = 1;
    std::vector<std::uint8_t> m_chunk;
    std::size_t m_chunkPos = 0;
};

// Frames a second the link carries at baud: a one-byte request and the
// answer at 10 bits a byte, and the box's turnaround. The times of a log
// without a sidecar are estimated from it.
double WireFrameRate(double baud);

}  // namespace quarn
