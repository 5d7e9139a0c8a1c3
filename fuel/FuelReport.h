#pragma once

#include <string>

#include "fuel/FuelAnalysis.h"

namespace quarn {

const char* ConfidenceName(Confidence c);  // "good", "fair", "-"

// The answer as a fixed-width table with the filter counts and the notes.
std::string FuelTableText(const FuelResult& r);
// The same as one JSON object, for scripts.
std::string FuelJson(const FuelResult& r);
// One row per bin with a header, every column of the table.
std::string FuelCsv(const FuelResult& r);
// Volts and suggested airflow, in the unit pasted: for the clipboard.
std::string SuggestedTransferText(const FuelResult& r);

}  // namespace quarn
