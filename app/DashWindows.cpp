// The windows the dashboard opens, each made once and shown again while it
// lives.

#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>

#include "about/AboutBox.h"
#include "app/ShowOnce.h"
#include "app/SuperDash.h"
#include "diagnostics/SelfTester.h"
#include "diagnostics/TPSTool.h"
#include "logging/Logging.h"
#include "settings/ComSetup.h"
#include "settings/LastVehicle.h"
#include "settings/QuarnFeatures.h"
#include "settings/SessionProperties.h"
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
SessionProperties* SuperDash::sessionProperties() const { return m_sessionProperties; }
AboutBox* SuperDash::about() const { return m_about; }

void SuperDash::ShowQuarnFeatures() {
    ShowOnce(m_quarnFeatures, [this] { return new QuarnFeatures(this); });
}

void SuperDash::ShowSessionProperties() {
    // Never destroyed before the dashboard: its boxes show the vehicle data
    // the conversion uses, so they must not fall back to the defaults.
    ShowOnce(m_sessionProperties, [this] {
        auto* window = new SessionProperties(m_vehicle, this);
        window->limitsInUse = [this] { return m_alarms.limits(); };
        window->limitsLoaded = [this](const AlarmLimitSet& limits) {
            SetAlarmLimits(limits);
            RememberLimits(limits);
        };
        window->dataloggingChanged = [this](const DataloggingChoices& choices) {
            ApplyDataloggingChoices(choices);
        };
        return window;
    });
}

void SuperDash::ShowAbout() {
    // Shown rather than run in a nested event loop: exec() here would hold
    // the monitoring loop, which called this handler, until the box closed.
    ShowOnce(m_about, [this] {
        auto* window = new AboutBox(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowModality(Qt::ApplicationModal);
        return window;
    });
}

void SuperDash::ShowLogging() {
    ShowOnce(m_logging, [this] {
        auto* window = new Logging(m_log, m_status, *this, this);
        window->SetDirectory(m_log.recorder().Directory());
        connect(window, &Logging::viewRequested, this,
                [this](const QString& file) { ShowLogViewer(file); });
        return window;
    });
}

QString SuperDash::UserGuideText() const {
    // The shortcuts as the menus hold them now, so the list cannot go stale.
    QString keys;
    auto addKeys = [&keys](const QString& where, const QList<QAction*>& actions) {
        for (const QAction* action : actions) {
            if (action->shortcut().isEmpty()) continue;
            keys += QStringLiteral("<tr><td><b>%1</b></td><td>%2%3</td></tr>")
                        .arg(action->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped(),
                             where, action->text().remove(u'&').toHtmlEscaped());
        }
    };
    for (const QAction* menuAction : menuBar()->actions())
        if (const QMenu* menu = menuAction->menu())
            addKeys(menu->title().remove(u'&') + QStringLiteral(" \u2192 "), menu->actions());
    addKeys(QString(), actions());

    return QStringLiteral(
               "<h2>Quarn Dash</h2>"
               "<h3>A first session</h3>"
               "<ol>"
               "<li><b>Choose the port.</b> Connect the Quarn-IV box, then Hardware Setup "
               "\u2192 Serial Port Connection: pick the port (the device each one means is "
               "listed) and Apply.</li>"
               "<li><b>Watch the lamp</b> under \"COM Status\": green while frames arrive, "
               "yellow while a request is repeated, red when the box stopped answering or the "
               "adapter is away (the status bar says why), grey when there is no link (no port "
               "yet, monitoring stopped, or a log playing). A click on \"COM Status\" "
               "reconnects at once.</li>"
               "<li><b>Record.</b> View \u2192 Logging Control: the name box offers a new file in "
               "the datalog directory; Record, then Stop. Session Properties \u2192 Datalogging "
               "can start recordings by themselves: when the throttle passes 4.0 V (with the "
               "5 s before it), or with the record key.</li>"
               "<li><b>View.</b> Play shows a log on the dashboard and the scopes, and live data "
               "comes back when it ends; View opens it in the Log Viewer, with plots, markers "
               "and a heat map.</li>"
               "</ol>"
               "<h3>The self test</h3>"
               "<p>Diagnostic \u2192 Self Test Tool. Turn the ignition off, wait 3 s, turn it on "
               "without starting the engine, and click OK at the prompt. The codes now and the "
               "codes from memory are listed under their own headings; 11 means no fault. A "
               "running recording gets markers where the test starts and ends.</p>"
               "<h3>The dyno</h3>"
               "<p>Enter the car in Hardware Setup \u2192 Session Properties (weight, drag area, "
               "rolling resistance). Record a full-throttle pull in one gear, then open the log "
               "in the Log Viewer: its dyno tab finds the pull and draws power and torque "
               "against engine speed.</p>"
               "<h3>Keyboard shortcuts</h3><table cellspacing=\"6\">%1</table>")
        .arg(keys);
}

void SuperDash::ShowUserGuide() {
    // Read-only and shown beside the dashboard: frames go on while it is open.
    ShowOnce(m_userGuide, [this] {
        auto* window = new QTextBrowser(this);
        window->setWindowFlags(Qt::Window);
        window->setObjectName(QStringLiteral("UserGuide"));
        window->setWindowTitle(QStringLiteral("Quarn Dash User Guide"));
        window->setOpenLinks(false);
        window->setHtml(UserGuideText());
        window->resize(560, 620);
        return window;
    });
}

QWidget* SuperDash::userGuide() const { return m_userGuide; }

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
