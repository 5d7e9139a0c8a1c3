#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <string>
#include <vector>

#include "dyno/DynoCurve.h"
#include "dyno/Pulls.h"
#include "report/Acceleration.h"
#include "report/DriveInput.h"
#include "report/Gears.h"

namespace quarn {

struct ReportOptions {
    int gears = 0;  // the car's number of gears; 0 finds them
    PullThresholds pulls;
    DynoOptions dyno;
    AccelerationOptions acceleration;
    int overviewPoints = 1500;  // per chart: each the min and max of its stretch
};

// Minimum, maximum and mean of one channel over the running records, and
// the time spent in its dial's warning and danger bands.
struct ChannelSummary {
    int channel = 0;  // DriveChannel
    double min = 0, max = 0, mean = 0;
    double warnSeconds = 0, dangerSeconds = 0;
    bool hasBands = false;
};

// A chart over the whole drive, thinned to pairs of min and max.
struct OverviewSeries {
    std::vector<double> seconds;
    std::vector<double> values;
};

struct PullReport {
    Pull pull;
    DynoCurve curve;
    double startSeconds = 0;
};

struct DriveReport {
    QString carName, carDescription, logFile;
    QDateTime start;
    bool timesEstimated = true;
    double estimatedFrameRate = 0;
    std::size_t records = 0, warmUpRecords = 0, runningRecords = 0;
    double durationSeconds = 0;
    double miles = 0;
    double gallons = 0;  // US
    double Mpg() const { return gallons > 0 ? miles / gallons : 0; }
    double LitresPer100Km() const;

    std::vector<ChannelSummary> channels;
    std::vector<DriveEvent> events;
    AccelerationResult acceleration;
    GearResult gears;
    int gearsAsked = 0;
    std::vector<PullReport> pulls;
    std::string pullProblem;
    DynoVehicle dynoVehicle;

    OverviewSeries rpm, mph, tps;
    // Seconds moving in each 10 mph band, the first from standstill.
    std::vector<double> speedBands;
    static constexpr double kBandMph = 10;
};

// Everything the report says, computed without a window (on a worker).
DriveReport BuildDriveReport(const DriveInput& in, const ReportOptions& options = {});

// Distance (miles) from the raw speed-sensor readings, a launch ramping up
// from 0 and a stop ramping down to its first stopped reading.
double DriveMiles(const DynoInput& in);

}  // namespace quarn
