#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Airflow as the tune's table gives it.
enum class AirflowUnit { KgPerHour, LbPerMin };

inline constexpr double kKgPerHourPerLbPerMin = 27.2155422;

const char* AirflowUnitName(AirflowUnit unit);

// The MAF transfer of the user's tune: MAF volts against airflow, volts
// strictly increasing. The engine computer draws straight lines between the
// rows and holds the end rows beyond them, so the analysis does the same.
struct MafTransfer {
    std::vector<double> volts;
    std::vector<double> airflow;  // in unit
    AirflowUnit unit = AirflowUnit::KgPerHour;

    std::size_t Rows() const { return volts.size(); }
    double AirflowAt(double v) const;
    double KgPerHourAt(double v) const;
    // The row nearest to v: the bin a record at v counts in.
    std::size_t NearestRow(double v) const;
};

// Reads two columns pasted from a spreadsheet or tuning editor, or a CSV or
// TSV file: volts then airflow on every line, separated by tabs, commas,
// semicolons or blanks. Blank lines are skipped. A line with anything else,
// volts that do not increase, or fewer than 2 rows are refused, and error
// names the line.
bool ParseTransfer(std::string_view text, AirflowUnit unit, MafTransfer& out, std::string* error);

// Two columns, volts and airflow, tab-separated, one row a line: what a
// spreadsheet or tuning editor takes back from the clipboard.
std::string TransferText(const std::vector<double>& volts, const std::vector<double>& airflow);

}  // namespace quarn
