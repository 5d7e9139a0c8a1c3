// Saves a picture of a scope window with a live trace, for the documentation:
// the simulator's engine model driven at the fastest link rate, its frames
// decoded and converted as the monitoring loop does, one scope plotting the
// channel asked for. Usage: scope_picture [output file] [channel] [seconds]

#include <QApplication>
#include <QComboBox>
#include <QPixmap>

#include <chrono>
#include <cstdlib>

#include "widgets/RefreshTick.h"
#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "decode/GaugeFeed.h"
#include "scope/ScopeSlots.h"
#include "scope/SuperScope.h"
#include "sim/EngineModel.h"

using namespace quarn;

namespace {

class DriveClock final : public Clock {
public:
    // Runs with the time of day, which only goes forward here.
    TimePoint Now() const override {
        return TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(
                                 std::chrono::duration<double>(timeOfDay));
    }
    double TimeOfDay() const override { return timeOfDay; }
    double timeOfDay = 0;
};

class NoGauges final : public GaugeSink {
public:
    void SelectNeedle(Gauge, std::int16_t) override {}
    void NeedleValue(Gauge, double) override {}
    bool TpsToolVisible() const override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("scope.png");
    const QString channel = argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("RPM");
    const double seconds = argc > 3 ? std::atof(argv[3]) : 40;

    ChannelRecord rec;
    RunState state;
    DriveClock clock;
    const double startOfDay = 10 * 3600 + 0.4;  // monitoring began at 10:00:00.4
    state.StartSeconds = RoundSecondsHalfEven(startOfDay);
    ScopeSlots scopes(rec, state, clock, nullptr, [](const QString&) {});
    const int slot = scopes.Open();
    SuperScope* window = scopes.Window(slot);
    window->selection()->setCurrentText(channel);
    window->Selection_Click();

    EngineModel engine;
    Conversion conversion;
    VehicleData vehicle;
    NoGauges gauges;
    const double frameSeconds = 1 / 257.4;
    for (double t = 0; t < seconds; t += frameSeconds) {
        const FrameBytes frame = EncodeFrame(engine.Sample(t));
        if (DecodeFrame(frame, rec)) continue;
        conversion.ComputeChannels(rec, vehicle);
        UpdateDash(rec, vehicle, gauges);
        clock.timeOfDay = startOfDay + t;
        scopes.Feed(slot);
    }
    // The frames are over: the tick after next draws the chart.
    SharedRefreshTick().Flush();
    SharedRefreshTick().Flush();
    return window->grab().save(file) ? EXIT_SUCCESS : EXIT_FAILURE;
}
