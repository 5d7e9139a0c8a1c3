#include "logging/TravelWriters.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "logging/TravelExport.h"

namespace quarn {
namespace {

// Decimals from what one step of the sensor's word is worth after
// conversion: a 10-bit A/D step of 5 V is 0.005 V, of the 11 AFR wideband
// span 0.011, of the 2000 °F EGT span 2 °F; rpm, speed and the averaged
// figures carry no more than shown.
constexpr std::array<TravelChannel, 18> kChannels{{
    {"RPM", "rpm", "rpm", 0, &ChannelRecord::Rpm},
    {"MPH", "mph", "mph", 1, &ChannelRecord::Mph},
    {"MAF", "V", "V", 3, &ChannelRecord::MafVolts},
    {"TPS", "V", "V", 3, &ChannelRecord::TpsVolts},
    {"ECT", "°F", "F", 1, &ChannelRecord::EctF},
    {"ACT", "°F", "F", 1, &ChannelRecord::ActF},
    {"BAP", "inHg", "inHg", 2, &ChannelRecord::BapPressure},
    {"Boost", "psi", "psi", 2, &ChannelRecord::BoostLevel},
    {"WideO2", "AFR", "AFR", 2, &ChannelRecord::WideO2},
    {"EGTL", "°F", "F", 0, &ChannelRecord::EgtL},
    {"EGTR", "°F", "F", 0, &ChannelRecord::EgtR},
    {"HEGOL", "V", "V", 3, &ChannelRecord::HegoL},
    {"HEGOR", "V", "V", 3, &ChannelRecord::HegoR},
    {"Advance", "°", "deg", 1, &ChannelRecord::AdvanceDeg},
    {"InjDuty", "%", "%", 1, &ChannelRecord::InjDuty},
    {"InjPW", "ms", "ms", 3, &ChannelRecord::InjPw},
    {"RWHP", "hp", "hp", 1, &ChannelRecord::Rwhp},
    {"RWTQ", "lb·ft", "lb-ft", 1, &ChannelRecord::Rwtq},
}};

constexpr double kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// A value rounded to decimals, with '.' or ','; a value that rounds to zero
// is written "0.0", never "-0.0".
void AppendFixed(std::string& out, double v, int decimals, bool comma) {
    if (std::fabs(v) * kPowersOfTen[decimals] < 0.5) v = 0;
    char buf[48];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return;
    if (comma)
        for (char* p = buf; p != end; ++p)
            if (*p == '.') *p = ',';
    out.append(buf, end);
}

// A value that is not there (a formula undefined at a record) is an empty
// field, which spreadsheets show as blank, rather than a number that lies.
void AppendValue(std::string& out, float v, int decimals, bool comma) {
    if (std::isfinite(v)) AppendFixed(out, v, decimals, comma);
}

std::string CaptureDate(const QDateTime& start) {
    return start.isValid() ? start.toUTC().toString(Qt::ISODateWithMs).toStdString()
                           : std::string("unknown");
}

// Time gets a digit more than a millisecond: the sidecar's times are to the
// microsecond, and records come every few milliseconds.
constexpr int kTimeDecimals = 4;

class CsvUnitsWriter final : public TravelWriter {
public:
    explicit CsvUnitsWriter(const ExportOptions& options)
        : m_sep(options.separator), m_comma(options.decimalComma) {}

    void Begin(const Header& header, std::string& out) override {
        m_extra = header.extra;
        out += header.timesEstimated ? "Time (s, estimated)" : "Time (s)";
        for (const TravelChannel& c : kChannels) {
            out += m_sep;
            out.append(c.name).append(" (").append(c.unit).append(")");
        }
        for (const ExportColumn& c : m_extra) {
            out += m_sep;
            out.append(c.name).append(" (").append(c.unit).append(")");
        }
        out += '\n';
    }
    void Row(std::int64_t record, double seconds, const ChannelRecord& rec,
             std::string& out) override {
        AppendFixed(out, seconds, kTimeDecimals, m_comma);
        for (const TravelChannel& c : kChannels) {
            out += m_sep;
            AppendFixed(out, rec.*c.field, c.decimals, m_comma);
        }
        for (const ExportColumn& c : m_extra) {
            out += m_sep;
            AppendValue(out, c.At(record), c.decimals, m_comma);
        }
        out += '\n';
    }
    void Marker(double, int, const std::string&, std::string&) override {}

private:
    char m_sep;
    bool m_comma;
    std::span<const ExportColumn> m_extra;
};

// Quoted lines before the header are the readers' place for where a log
// came from; a line that is not numbers among the rows is a marker.
class MslWriter final : public TravelWriter {
public:
    void Begin(const Header& header, std::string& out) override {
        out.append("\"Quarn Dash log: ").append(header.logName).append("\"\n");
        out.append("\"Capture Date: ").append(CaptureDate(header.start)).append("\"\n");
        if (header.timesEstimated) out.append("\"Times estimated at the link's frame rate\"\n");
        m_extra = header.extra;
        out += "Time";
        for (const TravelChannel& c : kChannels) out.append("\t").append(c.name);
        for (const ExportColumn& c : m_extra) out.append("\t").append(c.name);
        out += "\ns";
        for (const TravelChannel& c : kChannels) out.append("\t").append(c.plainUnit);
        for (const ExportColumn& c : m_extra) out.append("\t").append(c.unit);
        out += '\n';
    }
    void Row(std::int64_t record, double seconds, const ChannelRecord& rec,
             std::string& out) override {
        AppendFixed(out, seconds, kTimeDecimals, false);
        for (const TravelChannel& c : kChannels) {
            out += '\t';
            AppendFixed(out, rec.*c.field, c.decimals, false);
        }
        for (const ExportColumn& c : m_extra) {
            out += '\t';
            AppendValue(out, c.At(record), c.decimals, false);
        }
        out += '\n';
    }
    void Marker(double, int id, const std::string& text, std::string& out) override {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", id);
        out.append("MARK ").append(number).append(" - ").append(text).append("\n");
    }

private:
    std::span<const ExportColumn> m_extra;
};

// MLVLG version 1, big-endian: a 22-byte header, a 55-byte descriptor per
// field, the info text, then blocks. Version 2 (24-byte header, 89-byte
// descriptors with a category) is not written: a public reader on the npm
// registry refuses anything but version 1.
class MlgWriter final : public TravelWriter {
public:
    static constexpr std::size_t kHeaderBytes = 22;
    static constexpr std::size_t kFieldBytes = 55;
    static constexpr std::size_t kNameBytes = 34;
    static constexpr std::size_t kUnitBytes = 10;
    static constexpr std::size_t kMarkerBytes = 50;
    static constexpr std::uint8_t kF32 = 7;
    static constexpr std::uint8_t kFieldBlock = 0;
    static constexpr std::uint8_t kMarkerBlock = 1;

    void Begin(const Header& header, std::string& out) override {
        m_extra = header.extra;
        const std::size_t fields = kChannels.size() + 1 + m_extra.size();  // Time first
        std::string info = "Quarn Dash log: " + header.logName + "\nCapture Date: " +
                           CaptureDate(header.start);
        if (header.timesEstimated) info += "\nTimes estimated at the link's frame rate";
        const std::size_t infoStart = kHeaderBytes + fields * kFieldBytes;
        // The info text ends in a NUL, which readers stop before.
        const std::size_t dataBegin = infoStart + info.size() + 1;

        out.append("MLVLG", 6);  // with its NUL
        PutU16(out, 1);
        PutU32(out, header.start.isValid()
                        ? static_cast<std::uint32_t>(header.start.toSecsSinceEpoch())
                        : 0);
        PutU16(out, static_cast<std::uint16_t>(infoStart));
        PutU32(out, static_cast<std::uint32_t>(dataBegin));
        PutU16(out, static_cast<std::uint16_t>(fields * 4));
        PutU16(out, static_cast<std::uint16_t>(fields));
        Field(out, "Time", "s", kTimeDecimals);
        for (const TravelChannel& c : kChannels) Field(out, c.name, c.plainUnit, c.decimals);
        for (const ExportColumn& c : m_extra)
            Field(out, c.name.c_str(), c.unit.c_str(), c.decimals);
        out.append(info).push_back('\0');
    }
    void Row(std::int64_t record, double seconds, const ChannelRecord& rec,
             std::string& out) override {
        BlockHead(out, kFieldBlock, seconds);
        const std::size_t dataStart = out.size();
        PutF32(out, static_cast<float>(seconds));
        for (const TravelChannel& c : kChannels) PutF32(out, rec.*c.field);
        for (const ExportColumn& c : m_extra) PutF32(out, c.At(record));
        // The check byte is the low byte of the sum of the field bytes.
        std::uint8_t sum = 0;
        for (std::size_t i = dataStart; i < out.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(out[i]));
        out.push_back(static_cast<char>(sum));
    }
    void Marker(double seconds, int, const std::string& text, std::string& out) override {
        BlockHead(out, kMarkerBlock, seconds);
        Fixed(out, text, kMarkerBytes);
    }

private:
    static void PutU16(std::string& out, std::uint16_t v) {
        out.push_back(static_cast<char>(v >> 8));
        out.push_back(static_cast<char>(v));
    }
    static void PutU32(std::string& out, std::uint32_t v) {
        PutU16(out, static_cast<std::uint16_t>(v >> 16));
        PutU16(out, static_cast<std::uint16_t>(v));
    }
    static void PutF32(std::string& out, float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        PutU32(out, bits);
    }
    // A text cut to leave at least one NUL, padded with NULs.
    static void Fixed(std::string& out, const std::string& text, std::size_t bytes) {
        const std::size_t n = std::min(text.size(), bytes - 1);
        out.append(text, 0, n).append(bytes - n, '\0');
    }
    static void Field(std::string& out, const char* name, const char* unit, int digits) {
        out.push_back(static_cast<char>(kF32));
        Fixed(out, name, kNameBytes);
        Fixed(out, unit, kUnitBytes);
        out.push_back('\0');  // display style: a number
        // Scale 1 and transform 0: readers disagree on how the two combine,
        // and with these every reading is the value itself.
        PutF32(out, 1.0f);
        PutF32(out, 0.0f);
        out.push_back(static_cast<char>(digits));
    }
    // Block type, a counter rolling over every block, and the time in units
    // of 10 µs, rolling over every 0.65536 s (the Time field carries the
    // time itself).
    void BlockHead(std::string& out, std::uint8_t type, double seconds) {
        out.push_back(static_cast<char>(type));
        out.push_back(static_cast<char>(m_counter++));
        const auto ticks = static_cast<std::uint64_t>(std::llround(seconds * 1e5));
        PutU16(out, static_cast<std::uint16_t>(ticks & 0xFFFF));
    }

    std::uint8_t m_counter = 0;
    std::span<const ExportColumn> m_extra;
};

}  // namespace

std::span<const TravelChannel> TravelChannels() {
    return kChannels;
}

std::unique_ptr<TravelWriter> MakeTravelWriter(const ExportOptions& options) {
    switch (options.format) {
        case ExportFormat::CsvUnits: return std::make_unique<CsvUnitsWriter>(options);
        case ExportFormat::Msl: return std::make_unique<MslWriter>();
        case ExportFormat::Mlg: return std::make_unique<MlgWriter>();
        case ExportFormat::Csv: break;
    }
    return nullptr;
}

}  // namespace quarn
