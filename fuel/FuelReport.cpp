#include "fuel/FuelReport.h"

#include <cstdio>

namespace quarn {
namespace {

std::string Format(const char* fmt, auto... args) {
    char b[512];
    std::snprintf(b, sizeof b, fmt, args...);
    return b;
}

std::string Percent(const MethodBin& m) {
    return m.hits ? Format("%+7.2f %+7.2f", m.mean * 100, m.median * 100) : std::string(15, ' ');
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            out += Format("\\u%04x", c);
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::string JsonMethod(const MethodBin& m) {
    return Format("{\"hits\": %lld, \"mean\": %.6g, \"median\": %.6g}",
                  static_cast<long long>(m.hits), m.mean, m.median);
}

std::string JsonFilters(const std::vector<FilterCount>& fs) {
    std::string s = "[";
    for (std::size_t i = 0; i < fs.size(); ++i)
        s += (i ? ", " : "") + Format("{\"filter\": %s, \"removed\": %lld}",
                                      JsonString(fs[i].name).c_str(),
                                      static_cast<long long>(fs[i].removed));
    return s + "]";
}

}  // namespace

const char* ConfidenceName(Confidence c) {
    switch (c) {
        case Confidence::Good: return "good";
        case Confidence::Fair: return "fair";
        case Confidence::None: break;
    }
    return "-";
}

std::string FuelTableText(const FuelResult& r) {
    const char* unit = AirflowUnitName(r.unit);
    std::string s = Format("%6s %10s | %7s %7s %7s | %7s %7s %7s | %5s %8s %10s\n", "volts", unit,
                           "OL hits", "mean %", "median", "CL hits", "mean %", "median", "conf",
                           "change %", "suggested");
    for (const FuelBin& b : r.bins) {
        s += Format("%6.3f %10.4g | %7lld %s | %7lld %s | %5s %+8.2f %10.4g\n", b.volts, b.airflow,
                    static_cast<long long>(b.openLoop.hits), Percent(b.openLoop).c_str(),
                    static_cast<long long>(b.closedLoop.hits), Percent(b.closedLoop).c_str(),
                    ConfidenceName(b.confidence), b.correction * 100, b.suggested);
    }
    s += Format("\nrecords: %lld, open-loop hits: %lld, closed-loop hits: %lld\n",
                static_cast<long long>(r.records), static_cast<long long>(r.openLoopHits),
                static_cast<long long>(r.closedLoopHits));
    auto filters = [&](const char* title, const std::vector<FilterCount>& fs) {
        s += title;
        for (const FilterCount& f : fs)
            s += Format("  %-50s %lld\n", f.name.c_str(), static_cast<long long>(f.removed));
    };
    filters("removed from both methods:\n", r.common);
    filters("removed from the open-loop (wideband) method:\n", r.openLoop);
    filters("removed from the closed-loop (pulse) method:\n", r.closedLoop);
    for (const std::string& n : r.notes) s += "note: " + n + "\n";
    return s;
}

std::string FuelJson(const FuelResult& r) {
    std::string s = Format("{\"unit\": \"%s\", \"records\": %lld, \"open_loop_used\": %s,\n \"bins\": [\n",
                           AirflowUnitName(r.unit), static_cast<long long>(r.records),
                           r.openLoopUsed ? "true" : "false");
    for (std::size_t i = 0; i < r.bins.size(); ++i) {
        const FuelBin& b = r.bins[i];
        s += Format("  {\"volts\": %.6g, \"airflow\": %.6g, \"open_loop\": %s, \"closed_loop\": %s, "
                    "\"confidence\": \"%s\", \"used\": %s, \"correction\": %.6g, \"suggested\": %.6g}%s\n",
                    b.volts, b.airflow, JsonMethod(b.openLoop).c_str(),
                    JsonMethod(b.closedLoop).c_str(), ConfidenceName(b.confidence),
                    b.used ? "true" : "false", b.correction, b.suggested,
                    i + 1 < r.bins.size() ? "," : "");
    }
    s += " ],\n \"filters\": {\"both\": " + JsonFilters(r.common) +
         ",\n  \"open_loop\": " + JsonFilters(r.openLoop) +
         ",\n  \"closed_loop\": " + JsonFilters(r.closedLoop) + "},\n \"notes\": [";
    for (std::size_t i = 0; i < r.notes.size(); ++i) s += (i ? ", " : "") + JsonString(r.notes[i]);
    return s + "]}\n";
}

std::string FuelCsv(const FuelResult& r) {
    std::string s = Format(
        "volts,airflow_%s,ol_hits,ol_mean_pct,ol_median_pct,cl_hits,cl_mean_pct,cl_median_pct,"
        "confidence,correction_pct,suggested_%s\n",
        AirflowUnitName(r.unit), AirflowUnitName(r.unit));
    for (const FuelBin& b : r.bins)
        s += Format("%.6g,%.6g,%lld,%.4f,%.4f,%lld,%.4f,%.4f,%s,%.4f,%.6g\n", b.volts, b.airflow,
                    static_cast<long long>(b.openLoop.hits), b.openLoop.mean * 100,
                    b.openLoop.median * 100, static_cast<long long>(b.closedLoop.hits),
                    b.closedLoop.mean * 100, b.closedLoop.median * 100,
                    ConfidenceName(b.confidence), b.correction * 100, b.suggested);
    return s;
}

std::string SuggestedTransferText(const FuelResult& r) {
    std::vector<double> v, a;
    for (const FuelBin& b : r.bins) {
        v.push_back(b.volts);
        a.push_back(b.suggested);
    }
    return TransferText(v, a);
}

}  // namespace quarn
