#include "logging/ExportFormats.h"

#include <array>

namespace quarn {
namespace {

struct FormatName {
    ExportFormat format;
    const char* name;
};
constexpr std::array<FormatName, 4> kNames{{
    {ExportFormat::Csv, "csv"},
    {ExportFormat::CsvUnits, "csv-units"},
    {ExportFormat::Msl, "msl"},
    {ExportFormat::Mlg, "mlg"},
}};

struct DialogFilter {
    const char* text;
    ExportFormat format;
    bool european;
};
// The plain CSV stays first: it is what the button always wrote.
constexpr std::array<DialogFilter, 5> kFilters{{
    {"CSV files (*.csv)", ExportFormat::Csv, false},
    {"CSV with time and units (*.csv)", ExportFormat::CsvUnits, false},
    {"CSV with time and units, semicolons and decimal commas (*.csv)", ExportFormat::CsvUnits,
     true},
    {"MSL text logs (*.msl)", ExportFormat::Msl, false},
    {"MLG binary logs (*.mlg)", ExportFormat::Mlg, false},
}};

bool EndsWith(const std::string& s, std::string_view end) {
    if (s.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        char c = s[s.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i]) return false;
    }
    return true;
}

}  // namespace

bool ParseExportFormat(std::string_view name, ExportFormat& format) {
    for (const FormatName& f : kNames)
        if (name == f.name) {
            format = f.format;
            return true;
        }
    return false;
}

const char* ExportFormatName(ExportFormat format) {
    for (const FormatName& f : kNames)
        if (f.format == format) return f.name;
    return "csv";
}

ExportFormat ExportFormatForPath(const std::string& path) {
    if (EndsWith(path, ".msl")) return ExportFormat::Msl;
    if (EndsWith(path, ".mlg")) return ExportFormat::Mlg;
    return ExportFormat::Csv;
}

QStringList ExportNameFilters() {
    QStringList filters;
    for (const DialogFilter& f : kFilters) filters << QString::fromLatin1(f.text);
    filters << QStringLiteral("All files (*)");
    return filters;
}

ExportOptions ExportOptionsForFilter(const QString& filter, const QString& path) {
    ExportOptions options;
    for (const DialogFilter& f : kFilters)
        if (filter == QLatin1String(f.text)) {
            options.format = f.format;
            if (f.european) {
                options.separator = ';';
                options.decimalComma = true;
            }
            return options;
        }
    options.format = ExportFormatForPath(path.toStdString());
    return options;
}

QString ExportSuffixForFilter(const QString& filter) {
    for (const DialogFilter& f : kFilters)
        if (filter == QLatin1String(f.text))
            return QString::fromLatin1(f.format == ExportFormat::Msl   ? "msl"
                                       : f.format == ExportFormat::Mlg ? "mlg"
                                                                       : "csv");
    return QStringLiteral("csv");
}

}  // namespace quarn
