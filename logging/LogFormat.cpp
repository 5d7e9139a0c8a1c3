#include "logging/LogFormat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarn {
namespace {

constexpr std::uint16_t kDimensionCount = 1;
constexpr std::int32_t kLowerBound = 0;
// Sequential reads fetch this many records at a time.
constexpr std::size_t kChunkRecords = 4096;

void PutLe(std::uint8_t* p, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

RecordBytes EncodeRecord(std::span<const std::uint8_t> rxBuf) {
    RecordBytes rec{};
    const std::size_t n = std::min<std::size_t>(rxBuf.size(), kRecordMaxFrameBytes);
    PutLe(&rec[0], kDimensionCount, 2);
    PutLe(&rec[2], static_cast<std::uint32_t>(n), 4);
    PutLe(&rec[6], static_cast<std::uint32_t>(kLowerBound), 4);
    std::copy_n(rxBuf.begin(), n, rec.begin() + kRecordHeaderBytes);
    return rec;
}

RecordStatus DecodeRecord(std::span<const std::uint8_t, kRecordBytes> record, ByteBuffer& rxBuf) {
    const std::uint32_t dims = GetLe(&record[0], 2);
    const std::uint32_t count = GetLe(&record[2], 4);
    const std::uint32_t lower = GetLe(&record[6], 4);
    if (dims != kDimensionCount || count > static_cast<std::uint32_t>(kRecordMaxFrameBytes) ||
        lower != static_cast<std::uint32_t>(kLowerBound)) {
        rxBuf.clear();
        return RecordStatus::Malformed;
    }
    rxBuf.assign(record.begin() + kRecordHeaderBytes, record.begin() + kRecordHeaderBytes + count);
    return count == static_cast<std::uint32_t>(kRecordMaxFrameBytes) ? RecordStatus::Ok
                                                                     : RecordStatus::Short;
}

bool WriteRecordAt(const std::string& path, std::int64_t n, std::span<const std::uint8_t> rxBuf,
                   std::string* error) {
    if (n < 1) {
        if (error) *error = path + ": record number " + std::to_string(n) + " is not valid";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetError(error, path);
        return false;
    }
    const RecordBytes rec = EncodeRecord(rxBuf);
    const off_t offset = static_cast<off_t>((n - 1) * kRecordBytes);
    ssize_t done = 0;
    while (done < kRecordBytes) {
        const ssize_t w = ::pwrite(fd, rec.data() + done, kRecordBytes - done, offset + done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            SetError(error, path);
            ::close(fd);
            return false;
        }
        done += w;
    }
    // A failed close can mean the data never reached the disk (NFS, full disk).
    if (::close(fd) != 0) {
        SetError(error, path);
        return false;
    }
    return true;
}

LogReader::~LogReader() {
    Close();
}

bool LogReader::Open(const std::string& path, std::string* error) {
    Close();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer that
    // may never come; it is refused below like any other file that is not a
    // regular one. Reads of a regular file ignore the flag.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        SetError(error, path);
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = path + ": not a regular file";
        Close();
        return false;
    }
    m_recordCount = st.st_size / kRecordBytes;
    m_trailingBytes = st.st_size % kRecordBytes;
    m_nextSequential = 1;
    m_chunk.clear();
    m_chunkPos = 0;
    return true;
}

void LogReader::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_recordCount = 0;
    m_trailingBytes = 0;
}

RecordStatus LogReader::Read(std::int64_t n, ByteBuffer& rxBuf) {
    RecordBytes rec{};
    if (m_fd < 0 || n < 1 || n > m_recordCount ||
        ::pread(m_fd, rec.data(), kRecordBytes, static_cast<off_t>((n - 1) * kRecordBytes)) !=
            kRecordBytes) {
        rxBuf.clear();
        return RecordStatus::Malformed;
    }
    return DecodeRecord(rec, rxBuf);
}

bool LogReader::ReadNext(ByteBuffer& rxBuf, RecordStatus& status) {
    if (m_fd < 0 || m_nextSequential > m_recordCount) return false;
    if (m_chunkPos >= m_chunk.size()) {
        const std::int64_t left = m_recordCount - m_nextSequential + 1;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(left, kChunkRecords)) * kRecordBytes;
        m_chunk.resize(want);
        const off_t offset = static_cast<off_t>((m_nextSequential - 1) * kRecordBytes);
        const ssize_t got = ::pread(m_fd, m_chunk.data(), want, offset);
        if (got < kRecordBytes) {
            // The file shrank under us: stop at what could be read.
            m_recordCount = m_nextSequential - 1;
            m_chunk.clear();
            return false;
        }
        m_chunk.resize(static_cast<std::size_t>(got) / kRecordBytes * kRecordBytes);
        m_chunkPos = 0;
    }
    status = DecodeRecord(
        std::span<const std::uint8_t, kRecordBytes>(&m_chunk[m_chunkPos], kRecordBytes), rxBuf);
    m_chunkPos += kRecordBytes;
    ++m_nextSequential;
    return true;
}

void LogReader::SeekNext(std::int64_t n) {
    m_nextSequential = std::max<std::int64_t>(n, 1);
    m_chunk.clear();
    m_chunkPos = 0;
}

double WireFrameRate(double baud) {
    constexpr double kBitsPerFrame = (1 + kFrameBytes) * 10;
    constexpr double kTurnaroundSeconds = 0.0005;
    if (!(baud > 0)) return 0;
    return 1 / (kBitsPerFrame / baud + kTurnaroundSeconds);
}

}  // namespace quarn
