// The windows the dashboard opens, each made once and shown again while it
// lives.

#include <QFileInfo>

#include "about/frmAbout.h"
#include "app/ShowOnce.h"
#include "app/SuperDash.h"
#include "diagnostics/SelfTester.h"
#include "diagnostics/TPSTool.h"
#include "logging/Logging.h"
#include "settings/ComSetup.h"
#include "settings/LastVehicle.h"
#include "settings/QuarnFeatures.h"
#include "settings/VP.h"
#include "viewer/LogViewer.h"

namespace quarn {
namespace {

// What the log viewer takes from the dashboard: the car in use, the frame
// rate for estimated times, and playback through Logging Control.
class DashViewerHost final : public LogViewerHost {
public:
    explicit DashViewerHost(SuperDash& dash) : m_dash(dash) {}
    const VehicleData& Vehicle() const override { return m_dash.log().Vehicle(); }
    double FrameRate() const override { return m_dash.log().player().PlaybackFrameRate(); }
    // The remembered vehicle file names the car while its numbers are the
    // ones in use.
    // The file's own name for the car, else the file's name.
    QString CarName() const override {
        const auto car = ReadRememberedVehicle();
        if (!car || !SameNumbers(Vehicle(), car->car)) return {};
        const QString name = car->car.name.trimmed();
        return name.isEmpty() ? QFileInfo(car->path).completeBaseName() : name;
    }
    QString CarDescription() const override {
        const auto car = ReadRememberedVehicle();
        return car && SameNumbers(Vehicle(), car->car) ? car->car.description : QString();
    }
    AlarmLimitSet AlarmLimits() const override { return m_dash.alarms().limits(); }
    QString UserSettingsFile() const override { return UserSettingsPath(); }
    void PlayRecords(const QString& log, std::int64_t first, std::int64_t last) override {
        m_dash.ShowLogging();
        m_dash.logging()->PlayRange(log, first, last);
    }
    void OpenDashboard() override { m_dash.OpenDashboard(); }

private:
    SuperDash& m_dash;
};

}  // namespace

void SuperDash::ShowComSetup() {
    ShowOnce(m_comSetup, [this] {
        auto* window = new ComSetup(m_link, m_status, this);
        // Apply asks a running loop to reconnect; with none running (after a
        // playback) it starts one.
        connect(window, &ComSetup::applied, this, &SuperDash::GoLive, Qt::QueuedConnection);
        return window;
    });
}

void SuperDash::ShowTpsTool() {
    ShowOnce(m_tpsTool, [this] {
        auto* window = new TPSTool(this);
        window->SetScheme(m_night ? DialScheme::Night : DialScheme::Day);
        return window;
    });
}

void SuperDash::ShowSelfTester() {
    ShowOnce(m_selfTester, [this] {
        auto* window = new SelfTester(m_link, this);
        window->selfTest().SetHost(
            {[this](const QString& name) {
                 m_log.recorder().AddMarker(QStringLiteral("selftest"), name);
             },
             [this] { m_log.ShowActivity(); }});
        return window;
    });
}

Logging* SuperDash::logging() const { return m_logging; }
ComSetup* SuperDash::comSetup() const { return m_comSetup; }
TPSTool* SuperDash::tpsTool() const { return m_tpsTool; }
SelfTester* SuperDash::selfTester() const { return m_selfTester; }
QuarnFeatures* SuperDash::quarnFeatures() const { return m_quarnFeatures; }
VP* SuperDash::sessionProperties() const { return m_vp; }
frmAbout* SuperDash::about() const { return m_about; }

void SuperDash::ShowQuarnFeatures() {
    ShowOnce(m_quarnFeatures, [this] { return new QuarnFeatures(this); });
}

void SuperDash::ShowSessionProperties() {
    // Never destroyed before the dashboard: its boxes show the vehicle data
    // the conversion uses, so they must not fall back to the defaults.
    ShowOnce(m_vp, [this] {
        auto* window = new VP(m_vehicle, this);
        window->limitsInUse = [this] { return m_alarms.limits(); };
        window->limitsLoaded = [this](const AlarmLimitSet& limits) { SetAlarmLimits(limits); };
        return window;
    });
}

void SuperDash::ShowAbout() {
    // Shown rather than run in a nested event loop: exec() here would hold
    // the monitoring loop, which called this handler, until the box closed.
    ShowOnce(m_about, [this] {
        auto* window = new frmAbout(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowModality(Qt::ApplicationModal);
        return window;
    });
}

void SuperDash::ShowLogging() {
    ShowOnce(m_logging, [this] {
        auto* window = new Logging(m_log, m_status, *this, this);
        connect(window, &Logging::viewRequested, this,
                [this](const QString& file) { ShowLogViewer(file); });
        return window;
    });
}

LogViewer* SuperDash::logViewer() const { return m_logViewer; }

void SuperDash::ShowLogViewer(const QString& file) {
    if (!m_viewerHost) m_viewerHost = std::make_unique<DashViewerHost>(*this);
    // A closed viewer is gone for good, though not yet deleted.
    if (m_logViewer && m_logViewer->Closed()) m_logViewer = nullptr;
    ShowOnce(m_logViewer, [this] { return new LogViewer(*m_viewerHost, this); });
    if (file.isEmpty()) return;
    LogViewer* viewer = m_logViewer;
    viewer->Open(file, [this, viewer, file] {
        // The log being recorded now: the viewer follows it.
        const QString recording = m_log.RecordingFile();
        if (!recording.isEmpty() && QFileInfo(recording) == QFileInfo(file)) viewer->SetFollow(true);
    });
}

}  // namespace quarn
