#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/ChannelRecord.h"
#include "fuel/MafTransfer.h"

namespace quarn {

// The wideband channel reads lambda on a gasoline scale: lambda = WideO2 / 14.7.
inline constexpr double kWidebandStoich = 14.7;

enum class FuelKind { Gasoline, E10, E85, Custom };
double StoichOf(FuelKind kind, double customStoich);

// The injector characterisation of the tune, as the engine computer uses it
// to turn fuel mass into a pulse.
struct InjectorData {
    double slopeLbHr = 36;  // flow in lb/hr above the breakpoint
    double offsetMs = 1.0;  // dead time added to every pulse
    // Pulses shorter than breakpointMs (offset excluded) flow at lowSlopeLbHr;
    // 0 turns the low slope off.
    double breakpointMs = 0;
    double lowSlopeLbHr = 0;
    bool bankFire = false;  // two squirts per cycle, each half the fuel
    int cylinders = 8;

    // The pulse (ms) that meters fuelLb per injection cycle of one cylinder.
    double PulseMs(double fuelLbPerCycle) const;
};

// The open-loop target AFR (of the chosen fuel): one value, or a table over
// rpm (rows) and TPS volts (columns), drawn bilinearly and held at its edges.
struct OpenLoopTarget {
    double afr = 12.0;
    std::vector<double> rpm;
    std::vector<double> tps;
    std::vector<double> table;  // rpm.size() x tps.size(), row by row
    bool IsTable() const { return !rpm.empty() && !tps.empty() && table.size() == rpm.size() * tps.size(); }
    double At(double rpmNow, double tpsVolts) const;
};

struct FuelFilters {
    double minEctF = 180;
    double maxMafVoltsPerSecond = 0.7;
    double minInjDutyPercent = 1.0;  // at or below: deceleration fuel cut
    double throttlePercentPerSecond = 10;  // of the 5 V TPS span
    double afterThrottleSeconds = 0.5;
    double minAfr = 10;  // the wideband reading, gasoline scale
    double maxAfr = 19;
    bool skipWarmUp = true;
};

struct FuelSetup {
    InjectorData injector;
    FuelKind fuel = FuelKind::Gasoline;
    double customStoich = 14.64;
    OpenLoopTarget target;
    double lagMs = 150;
    // At or above this TPS the computer is taken to run open loop whatever
    // the HEGOs do (its power enrichment).
    double wotTpsVolts = 3.4;
    FuelFilters filters;
    double clampPercent = 10;
    bool smooth = false;
    int goodHits = 30;
    int fairHits = 10;

    double Stoich() const { return StoichOf(fuel, customStoich); }
};

// The columns of one log the analysis reads, one entry per row, converted
// as the viewer and the export convert them. Rows [first, last) are used;
// the first warmUp rows of the log are still warming up (kWarmUpFrames).
struct FuelLog {
    std::string name;
    std::vector<double> seconds;
    std::vector<float> maf, rpm, tps, ect, wideO2, hegoL, hegoR, injDuty, injPw;
    std::size_t warmUp = 0;
    std::size_t first = 0;
    std::size_t last = static_cast<std::size_t>(-1);  // clamped to the rows
    // The custom condition, evaluated per row by whoever owns the expression
    // language; empty lets every row through.
    std::vector<std::uint8_t> custom;

    std::size_t Rows() const { return seconds.size(); }
    // One row more, from a converted record at that time.
    void Append(double at, const ChannelRecord& rec);
};

enum class Confidence { None, Fair, Good };

struct MethodBin {
    std::int64_t hits = 0;
    double mean = 0;    // correction as a fraction: +0.05 = airflow reads 5 % low
    double median = 0;
};

struct FuelBin {
    double volts = 0;
    double airflow = 0;  // the table's, in its unit
    MethodBin openLoop, closedLoop;
    Confidence confidence = Confidence::None;
    bool used = false;
    double correction = 0;  // applied, after smoothing and the clamp
    double suggested = 0;   // in the table's unit
};

struct FilterCount {
    std::string name;
    std::int64_t removed = 0;
};

struct FuelResult {
    std::vector<FuelBin> bins;
    AirflowUnit unit = AirflowUnit::KgPerHour;
    std::int64_t records = 0;  // rows looked at
    // Filters in the order they are applied; a row counts under the first
    // that removes it.
    std::vector<FilterCount> common, openLoop, closedLoop;
    std::int64_t openLoopHits = 0, closedLoopHits = 0;
    bool openLoopUsed = true;  // false when no log has a wideband
    std::vector<std::string> notes;
    bool AnyUsed() const;
};

// Both corrections over the transfer table's bins, from every log.
FuelResult AnalyseFuel(const std::vector<FuelLog>& logs, const MafTransfer& transfer,
                       const FuelSetup& setup);

// The airflow the computer would fuel for without trim, and its pulse.
double ExpectedPulseMs(double mafVolts, double rpm, const MafTransfer& transfer,
                       const InjectorData& injector, double afr);

// Fills correction, used and suggested from the method columns: the
// hit-weighted mean of the methods with a fair count, smoothed if asked,
// clamped, and the airflow kept strictly increasing with the volts.
void SuggestAirflow(std::vector<FuelBin>& bins, const FuelSetup& setup);

// Whether the wideband channel carries a signal: not flat at one value.
bool HasWideband(const FuelLog& log, std::string* why = nullptr);

struct LagEstimate {
    std::optional<double> ms;  // median over the tip-ins
    int tipIns = 0;
};
// The wideband's lag from the logs' tip-ins of a warm engine: the time from
// a throttle step to the wideband's response. The step is taken where the
// TPS reaches setup.wotTpsVolts if it does (the computer enriches there),
// else half-way up; the response where the wideband has made half its change.
LagEstimate EstimateWidebandLag(const std::vector<FuelLog>& logs, const FuelSetup& setup);

}  // namespace quarn
