#include "fuel/MafTransfer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quarn {
namespace {

bool ParseDouble(std::string_view s, double& v) {
    const char* begin = s.data();
    const char* end = s.data() + s.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    return ec == std::errc{} && ptr == end && std::isfinite(v);
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    auto separator = [](char c) {
        return c == '\t' || c == ',' || c == ';' || c == ' ' || c == '\r';
    };
    while (i < line.size()) {
        while (i < line.size() && separator(line[i])) ++i;
        std::size_t j = i;
        while (j < line.size() && !separator(line[j])) ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

}  // namespace

const char* AirflowUnitName(AirflowUnit unit) {
    return unit == AirflowUnit::KgPerHour ? "kg/h" : "lb/min";
}

double MafTransfer::AirflowAt(double v) const {
    if (volts.empty()) return 0;
    if (v <= volts.front()) return airflow.front();
    if (v >= volts.back()) return airflow.back();
    const auto hi = static_cast<std::size_t>(
        std::upper_bound(volts.begin(), volts.end(), v) - volts.begin());
    const std::size_t lo = hi - 1;
    const double f = (v - volts[lo]) / (volts[hi] - volts[lo]);
    return airflow[lo] + f * (airflow[hi] - airflow[lo]);
}

double MafTransfer::KgPerHourAt(double v) const {
    const double a = AirflowAt(v);
    return unit == AirflowUnit::KgPerHour ? a : a * kKgPerHourPerLbPerMin;
}

std::size_t MafTransfer::NearestRow(double v) const {
    const auto hi = static_cast<std::size_t>(
        std::lower_bound(volts.begin(), volts.end(), v) - volts.begin());
    if (hi == 0) return 0;
    if (hi == volts.size()) return volts.size() - 1;
    // A record exactly half-way counts in the upper bin.
    return v - volts[hi - 1] < volts[hi] - v ? hi - 1 : hi;
}

bool ParseTransfer(std::string_view text, AirflowUnit unit, MafTransfer& out,
                   std::string* error) {
    MafTransfer t;
    t.unit = unit;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++lineNo;
        const auto fields = Fields(line);
        if (fields.empty()) continue;
        if (fields.size() != 2)
            return fail("expected two numbers, volts and airflow, found \"" + std::string(line) +
                        "\"");
        double v = 0, a = 0;
        if (!ParseDouble(fields[0], v) || !ParseDouble(fields[1], a))
            return fail("not a number: \"" + std::string(line) + "\"");
        if (!t.volts.empty() && v <= t.volts.back()) {
            char prev[32];
            std::snprintf(prev, sizeof prev, "%g", t.volts.back());
            return fail("the volts must increase from row to row, but " + std::string(fields[0]) +
                        " follows " + prev);
        }
        t.volts.push_back(v);
        t.airflow.push_back(a);
    }
    if (t.volts.size() < 2) {
        if (error)
            *error = t.volts.empty() ? "the transfer table is empty"
                                     : "the transfer table needs at least 2 rows, it has 1";
        return false;
    }
    out = std::move(t);
    return true;
}

std::string TransferText(const std::vector<double>& volts, const std::vector<double>& airflow) {
    std::string s;
    char line[64];
    for (std::size_t i = 0; i < volts.size() && i < airflow.size(); ++i) {
        std::snprintf(line, sizeof line, "%.4g\t%.6g\n", volts[i], airflow[i]);
        s += line;
    }
    return s;
}

}  // namespace quarn
