#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

namespace quarn {

// The forms a log can leave the program in. Csv is the export as it always
// was (raw words and converted values, shortest round-trip digits); the
// others carry engineering values only, with the time of every record, for
// spreadsheets and the common tuning log viewers.
enum class ExportFormat {
    Csv,       // our CSV, byte for byte as documented
    CsvUnits,  // "Time (s)" first, "Name (unit)" headers, rounded values
    Msl,       // tab-separated text log: header line, units line, rows
    Mlg,       // binary MLVLG log, version 1
};

struct ExportOptions {
    ExportFormat format = ExportFormat::Csv;
    // csv-units only: European spreadsheets read ';' with decimal commas.
    char separator = ',';
    bool decimalComma = false;
    // Records per second for records the sidecar does not time (or for a
    // log without one); 0 takes the link's top rate.
    double estimatedFrameRate = 0;
};

// "csv", "csv-units", "msl", "mlg"; false for any other name.
bool ParseExportFormat(std::string_view name, ExportFormat& format);
const char* ExportFormatName(ExportFormat format);
// The format a file name asks for by its suffix: .msl, .mlg, else Csv.
ExportFormat ExportFormatForPath(const std::string& path);

// The name filters a save dialog offers, one per way of exporting, and the
// options the chosen filter (or, for "All files", the name's suffix) means.
QStringList ExportNameFilters();
ExportOptions ExportOptionsForFilter(const QString& filter, const QString& path);
// The suffix a dialog adds for a filter ("csv", "msl", "mlg").
QString ExportSuffixForFilter(const QString& filter);

}  // namespace quarn
