#include "settings/VehicleFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>
#include <charconv>
#include <optional>

#include "settings/VehicleLimitKeys.h"

namespace quarn {
namespace {

struct NumberField {
    const char* key;
    const char* what;  // as a user names it in a message
    double maxValue;
    bool integral;
    double VehicleFile::*member;
};

constexpr std::array<NumberField, 3> kNumbers{{
    {"weight", "curb weight", VehicleData::kMaxWeight, false, &VehicleFile::weight},
    {"injsize", "injector flow rate", VehicleData::kMaxInjSize, false, &VehicleFile::injsize},
    {"numcyl", "number of cylinders", VehicleData::kMaxNumCyl, true, &VehicleFile::numcyl},
}};

// The dyno's road-load figures: optional, so vehicle files written before
// them still load (with the defaults).
constexpr std::array<NumberField, 2> kDynoNumbers{{
    {"cda", "drag area CdA", VehicleData::kMaxCdA, false, &VehicleFile::cda},
    {"crr", "rolling resistance Crr", VehicleData::kMaxCrr, false, &VehicleFile::crr},
}};

QByteArray Number(double v) {
    // Shortest text that reads back as the same double, in any locale, in
    // plain digits: 100000, not 1e+05.
    std::array<char, 32> buf{};
    const auto [end, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
    if (ec != std::errc()) return QByteArray::number(v, 'g', 17);
    return QByteArray(buf.data(), end - buf.data());
}

QByteArray Escape(const QString& text) {
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString Unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        if (next == u'n') {
            out += u'\n';
        } else if (next == u'r') {
            out += u'\r';
        } else if (next == u'\\') {
            out += u'\\';
        } else {
            // Not one of ours: keep both characters as written.
            out += c;
            out += next;
        }
    }
    return out;
}

const NumberField* FindNumber(const QString& key) {
    for (const NumberField& f : kNumbers)
        if (key == QLatin1String(f.key)) return &f;
    for (const NumberField& f : kDynoNumbers)
        if (key == QLatin1String(f.key)) return &f;
    return nullptr;
}

}  // namespace

QString VehicleNumberText(double v) {
    return QString::fromLatin1(Number(v));
}

QByteArray FormatVehicleFile(const VehicleFile& car) {
    QByteArray out = "# Quarn Dash vehicle file\n";
    out += "name=" + Escape(car.name) + '\n';
    out += "description=" + Escape(car.description) + '\n';
    for (const NumberField& f : kNumbers) out += f.key + ('=' + Number(car.*f.member)) + '\n';
    for (const NumberField& f : kDynoNumbers) out += f.key + ('=' + Number(car.*f.member)) + '\n';
    out += FormatLimitKeys(car.limits);
    return out;
}

bool ParseVehicleFile(const QByteArray& text, VehicleFile& car, QString& error) {
    if (text.size() > kMaxVehicleFileBytes) {
        error = QStringLiteral("The file is larger than a vehicle file can be.");
        return false;
    }
    if (text.contains('\0')) {
        error = QStringLiteral("The file is not a text file.");
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(text);
    if (utf8.hasError()) {
        error = QStringLiteral("The file is not UTF-8 text.");
        return false;
    }

    VehicleFile read;
    QStringList seen;
    QStringList seenLimits;
    const QStringList lines = decoded.split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            error = QStringLiteral("Line %1 is not of the form key=value.").arg(n + 1);
            return false;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (ReadLimitKey(key, value, static_cast<int>(n + 1), seenLimits, read)) continue;
        if (seen.contains(key)) {
            error = QStringLiteral("\"%1\" is given twice.").arg(key);
            return false;
        }
        seen += key;
        if (key == QLatin1String("name")) {
            read.name = Unescape(value);
        } else if (key == QLatin1String("description")) {
            read.description = Unescape(value);
        } else if (const NumberField* f = FindNumber(key)) {
            const std::optional<double> v =
                VehicleData::ParsePositive(value.toStdString(), f->maxValue, f->integral);
            if (!v) {
                error = QStringLiteral("The %1 \"%2\" is not %3 above 0 and at most %4.")
                            .arg(QLatin1String(f->what), value,
                                 f->integral ? QStringLiteral("a whole number")
                                             : QStringLiteral("a number"),
                                 QString::fromLatin1(Number(f->maxValue)));
                return false;
            }
            read.*f->member = *v;
        }
    }
    for (const NumberField& f : kNumbers) {
        if (!seen.contains(QLatin1String(f.key))) {
            error = QStringLiteral("The %1 (\"%2=\") is missing.")
                        .arg(QLatin1String(f.what), QLatin1String(f.key));
            return false;
        }
    }
    car = read;
    return true;
}

bool ReadVehicleFile(const QString& path, VehicleFile& car, QString& error) {
    // A directory, a device or a pipe is no vehicle file, and reading a pipe
    // could wait for ever.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("It is not a regular file.");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    // One byte more than allowed is enough to tell a file that is too large.
    const QByteArray text = file.read(kMaxVehicleFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    return ParseVehicleFile(text, car, error);
}

bool WriteVehicleFile(const QString& path, const VehicleFile& car, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray text = FormatVehicleFile(car);
    if (file.write(text) != text.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace quarn
