#include "app/SuperDash.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>

#include <cstdio>

#include "about/AboutBox.h"
#include "app/AlarmSound.h"
#include "app/DashAlerts.h"
#include "app/DashStatus.h"
#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "app/Splash.h"
#include "widgets/OpenContextMenus.h"
#include "widgets/OpenDialogs.h"
#include "widgets/Twips.h"
#include "diagnostics/SelfTester.h"
#include "diagnostics/TPSTool.h"
#include "link/QtSerialPort.h"
#include "logging/Logging.h"
#include "scope/ScopeSlots.h"
#include "settings/ComBindings.h"
#include "settings/ComSetup.h"
#include "settings/LastVehicle.h"
#include "settings/LimitsWindow.h"
#include "settings/UserChoices.h"
#include "settings/QuarnFeatures.h"
#include "settings/SessionProperties.h"
#include "viewer/LogViewer.h"

namespace quarn {

namespace {

constexpr int kClientWidth = 8595;
constexpr int kStatusBarTop = 8025;
constexpr int kFramePollMs = 100;

// The dashboard's ground: lays the gauges out again at every resize.
class DashGround final : public QWidget {
public:
    DashGround(QWidget* parent, std::function<void(QSize)> onResize)
        : QWidget(parent), m_onResize(std::move(onResize)) {}

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        m_onResize(size());
    }

private:
    std::function<void(QSize)> m_onResize;
};

// A label that runs an action when clicked.
class ClickLabel final : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent), m_onClick(std::move(onClick)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_onClick();
    }

private:
    std::function<void()> m_onClick;
};

std::unique_ptr<SerialPort> PortOrDefault(std::unique_ptr<SerialPort> port) {
    // Port numbers lead to the devices the user bound them to.
    return port ? std::move(port) : std::make_unique<QtSerialPort>(BoundDevice);
}

}  // namespace

SuperDash::SuperDash(DashOptions options)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_port(PortOrDefault(std::move(options.port))),
      m_ownAlerts(options.alerts ? nullptr
                                 : std::make_unique<DashAlerts>(this, [this] {
                                       // The process ends without unwinding: nothing
                                       // else would remove an export's temporary.
                                       AbandonWork();
                                       m_port->Close();
                                   })),
      m_alerts(options.alerts ? *options.alerts : *m_ownAlerts),
      m_clock(options.clock ? *options.clock : m_systemClock),
      m_yielder(options.yielder ? *options.yielder : m_qtYielder),
      m_splashSeconds(options.splashSeconds),
      m_link(*m_port, m_clock, m_yielder, m_status, m_alerts, options.settingsPath),
      m_path(m_state, m_rec, m_conversion, m_vehicle, *this),
      m_monitor(m_link, m_status, m_state, m_path),
      m_log(m_link, m_status, m_state, m_monitor, m_path, *this),
      m_sound(std::make_unique<AlarmSound>()) {
    if (auto* dashAlerts = dynamic_cast<DashAlerts*>(&m_alerts))
        dashAlerts->SetStayOpen([this] { return KeepReviewing(); });
    setObjectName(QStringLiteral("SuperDash"));
    setWindowTitle(QStringLiteral("Quarn_Dash"));
    // Every window of the program lives beside the monitoring loop.
    InstallOpenContextMenus(QCoreApplication::instance());
    // The car in use when the program last ended, with its alarm limits, or
    // the default car.
    if (const std::optional<LoadedVehicle> car = RestoreRememberedVehicle(m_vehicle))
        m_alarms.SetLimits(car->car.limits);
    // The limits last in force, edited or loaded, outlast the run.
    if (const std::optional<AlarmLimitSet> limits = RememberedLimits()) m_alarms.SetLimits(*limits);
    // A lost link that is not retried ends the recording that waits on it:
    // a later one would leave a hole in the log.
    m_monitor.SetOnLinkLost([this] {
        if (m_state.Recording) StopRecording();
    });

    auto* ground = new DashGround(this, [this](QSize size) { LayoutGauges(size); });
    m_ground = ground;
    ground->setAutoFillBackground(true);
    QPalette pal = ground->palette();
    pal.setColor(QPalette::Window, Qt::black);
    ground->setPalette(pal);
    // The standard size at first; the window may then be resized freely.
    ground->setMinimumSize(BaseGround());
    setCentralWidget(ground);

    BuildGauges(ground);

    auto* comStatus =
        new ClickLabel(QStringLiteral("COM Status"), ground, [this] { ComStatusClicked(); });
    m_comStatus = comStatus;
    comStatus->setObjectName(QStringLiteral("Label1"));
    comStatus->setAlignment(Qt::AlignCenter);
    // The label's bold text is wider than the 65 px box in any font here.
    comStatus->setWordWrap(true);
    comStatus->setAutoFillBackground(true);
    QFont labelFont(QStringLiteral("Liberation Sans"));
    labelFont.setPixelSize(13);  // 9.75 pt
    labelFont.setBold(true);
    comStatus->setFont(labelFont);
    comStatus->setStyleSheet(QStringLiteral("background: #c0c0c0; color: black;"));
    comStatus->setCursor(Qt::PointingHandCursor);
    comStatus->setToolTip(QStringLiteral("Click to reconnect to the logger box"));

    m_status.Build(statusBar(), ground);
    m_scopes = std::make_unique<ScopeSlots>(m_rec, m_state, m_clock, this);
    // During a playback the scopes plot against the log's own time.
    m_scopes->SetRecordTime([this]() -> std::optional<ScopeSlots::RecordTime> {
        const auto t = m_log.player().PlaybackTime();
        if (!t) return std::nullopt;
        return ScopeSlots::RecordTime{t->seconds, t->estimated};
    });
    BuildMenus();
    ApplyDataloggingChoices(RememberedDataloggingChoices());

    // The frame rate of the last second, once a second.
    m_frameRateTimer.setInterval(1000);
    connect(&m_frameRateTimer, &QTimer::timeout, this, [this] {
        // The count of a second with monitoring on is the link's frame rate,
        // which a later playback takes for the time between records.
        const int frames = m_state.FrameCount;
        m_monitor.FrameRateTick();
        if (m_state.Monitoring && m_monitor.Running()) m_log.player().SetMeasuredFrameRate(frames);
    });
    m_frameRateTimer.start();

    adjustSize();
    ground->setMinimumSize(BaseGround() / 4);
    SetNight(RememberedChoice(kNightChoice));
    SetMuted(RememberedChoice(kMuteChoice));
    LayoutGauges(ground->size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QSize SuperDash::BaseGround() {
    return {Twips(kClientWidth), Twips(kStatusBarTop)};
}

SuperDash::~SuperDash() {
    // The logging window detaches itself from m_log, which would be gone
    // before the child windows are deleted; the viewer uses m_viewerHost.
    disconnect(m_viewerGone);
    delete m_logging.data();
    delete m_logViewer.data();
}

void SuperDash::BuildGauges(QWidget* ground) {
    for (Gauge g : kDashboardGauges) {
        const GaugeLayout layout = GaugeLayoutOf(g);
        auto* dial = new DialGauge(layout.face, ground);
        dial->setObjectName(QString::fromLatin1(layout.name));
        m_gauges[static_cast<std::size_t>(g)] = dial;
    }
    // Only the throttle dial reacts to a click: it opens the TPS tool.
    connect(gauge(Gauge::TPS), &DialGauge::clicked, this, &SuperDash::ShowTpsTool);
}

void SuperDash::BuildMenus() {
    // The menus stand in this order; a menu without entries stays hidden, so
    // no menu is ever empty.
    m_mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));
    m_mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    m_mnuView->setObjectName(QStringLiteral("mnuView"));
    m_mnuDiagnostic = menuBar()->addMenu(QStringLiteral("&Diagnostic"));
    m_mnuDiagnostic->setObjectName(QStringLiteral("mnuDiagnostic"));
    m_mnuSetup = menuBar()->addMenu(QStringLiteral("&Hardware Setup"));
    m_mnuSetup->setObjectName(QStringLiteral("mnuSetup"));
    m_mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    m_mnuHelp->setObjectName(QStringLiteral("mnuHelp"));

    // File
    m_recordKey = AddMenuEntry(m_mnuFile, "&Record / Stop", "mnuFileRecordKey",
                               [this] { m_log.recorder().ToggleByKey(); });
    m_recordKey->setShortcut(QKeySequence(Qt::Key_F8));
    m_recordKey->setShortcutContext(Qt::ApplicationShortcut);
    m_recordKey->setToolTip(QStringLiteral("With \"Keyboard Triggered\" chosen in Session "
                                           "Properties: starts a recording into a new file in "
                                           "the datalog directory, and stops it"));
    m_mnuFile->addSeparator();
    QAction* quit = AddMenuEntry(m_mnuFile, "&Quit", "mnuFileQuit", [this] { close(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);

    // View
    AddMenuEntry(m_mnuView, "Quarn Scope", "mnuViewquarnscope1", [this] { m_scopes->Open(); });
    AddMenuEntry(m_mnuView, "&Logging Control", "mnuLogging_Control", [this] { ShowLogging(); });
    AddMenuEntry(m_mnuView, "Log &Viewer", "mnuViewLogViewer", [this] { ShowLogViewer(); });
    // F9 marks the record just recorded, from any window of the program.
    auto* mark = new QAction(QStringLiteral("Marker"), this);
    mark->setObjectName(QStringLiteral("actRecordMarker"));
    mark->setShortcut(QKeySequence(Qt::Key_F9));
    mark->setShortcutContext(Qt::ApplicationShortcut);
    connect(mark, &QAction::triggered, this, [this] { m_log.recorder().AddUserMarker(); });
    addAction(mark);
    BuildViewEntries();

    // Diagnostic
    AddMenuEntry(m_mnuDiagnostic, "&Self Test Tool", "mnuSelfTestTool",
                 [this] { ShowSelfTester(); });
    AddMenuEntry(m_mnuDiagnostic, "&TPS Setting Tool", "mnuTPSSettingTool",
                 [this] { ShowTpsTool(); });

    // Hardware Setup
    AddMenuEntry(m_mnuSetup, "&Serial Port Connection", "mnuSerialCommunication",
                 [this] { ShowComSetup(); });
    AddMenuEntry(m_mnuSetup, "Quarn &Feature Connector", "mnuQuarnFeatureConnector",
                 [this] { ShowQuarnFeatures(); });
    // Without this entry nobody could enter a car, and every car would be
    // computed with the default weight, injectors and cylinders.
    AddMenuEntry(m_mnuSetup, "Session &Properties", "mnuSessionProperties",
                 [this] { ShowSessionProperties(); });
    AddMenuEntry(m_mnuSetup, "&Limits\u2026", "mnuLimits", [this] { ShowLimits(); });

    // Help
    QAction* guide =
        AddMenuEntry(m_mnuHelp, "&User Guide", "mnuHelpGuide", [this] { ShowUserGuide(); });
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    AddMenuEntry(m_mnuHelp, "&About QUARN...", "mnuHelpAbout", [this] { ShowAbout(); });

    for (QMenu* menu : {m_mnuFile, m_mnuView, m_mnuDiagnostic, m_mnuSetup, m_mnuHelp})
        menu->menuAction()->setVisible(!menu->actions().isEmpty());
}

QAction* SuperDash::AddMenuEntry(QMenu* menu, const char* caption, const char* name,
                                 std::function<void()> action) {
    QAction* entry = menu->addAction(QString::fromUtf8(caption));
    entry->setObjectName(QString::fromLatin1(name));
    connect(entry, &QAction::triggered, this, std::move(action));
    return entry;
}

void SuperDash::StartUp(Splash* splash) {
    m_loaded = true;
    m_state.Monitoring = false;
    m_link.SetComPort(m_link.ReadSettings());
    m_link.SetCurBaud(QStringLiteral("115200"));
    m_conversion.InitTempTable();
    m_conversion.InitPressureTable();
    m_link.WaitSeconds(m_splashSeconds);
    if (splash) splash->hide();
    show();
    ReportUserSettingsProblem();
    m_link.SetMaxBaud(QString::number(RememberedMaxRate().value_or(Link::kRates.back())));
    if (m_link.ComPort() == 0) {
        // First start: nothing connects until the user has chosen a port.
        ShowComSetup();
        while (m_link.ComPort() == 0) m_link.Yield(std::chrono::milliseconds(kFramePollMs));
    }
    m_link.ConnectLink();
    m_started = true;
    if (m_link.PortFailed()) return;
    m_state.Monitoring = !m_state.Monitoring;
    if (!m_state.Monitoring) return;
    show();
    m_state.StartSeconds = RoundSecondsHalfEven(m_clock.TimeOfDay());
    m_monitor.MonitorLoop();
}

// A damaged per-user settings file is said once, then its serial values are
// ignored; the program goes on with the defaults.
void SuperDash::ReportUserSettingsProblem() {
    const QString problem = UserSerialSettingsProblem();
    if (problem.isEmpty()) return;
    std::fprintf(stderr, "%s\n", qPrintable(problem));
    OpenMessage(this, QMessageBox::Warning, QCoreApplication::applicationName(), problem);
}

void SuperDash::GoLive() {
    if (!m_started || m_monitor.Running() || m_log.Playing() || m_link.ComPort() == 0) return;
    m_link.ConnectLink();
    // The connection yields: a nested handler may have started a loop or a
    // playback meanwhile.
    if (m_link.PortFailed() || m_monitor.Running() || m_log.Playing()) return;
    m_state.Monitoring = true;
    m_state.StartSeconds = RoundSecondsHalfEven(m_clock.TimeOfDay());
    m_monitor.MonitorLoop();
}

DialGauge* SuperDash::Target(Gauge g) const {
    if (g == Gauge::TPSToolGauge) return m_tpsTool ? m_tpsTool->gauge() : nullptr;
    return gauge(g);
}

void SuperDash::SelectNeedle(Gauge g, std::int16_t needle) {
    if (DialGauge* dial = Target(g)) dial->SelectNeedle(needle);
}

void SuperDash::NeedleValue(Gauge g, double value) {
    if (g == Gauge::TPSToolGauge) {
        if (m_tpsTool) m_tpsTool->SetVolts(value);
        return;
    }
    DialGauge* dial = gauge(g);
    if (!dial) return;
    dial->SetNeedleValue(value);
    if (const std::optional<AlarmEvent> event = m_alarms.Check(g, dial->selectedNeedle(), value))
        OnAlarm(*event, dial);
}

bool SuperDash::TpsToolVisible() const {
    return m_tpsTool && m_tpsTool->isVisible();
}

void SuperDash::UpdateDash() {
    quarn::UpdateDash(m_rec, m_vehicle, *this);
}

void SuperDash::PrepareScopeSlot(int slot) {
    m_scopes->Prepare(slot);
}

bool SuperDash::ScopeVisible(int slot) const {
    return m_scopes->Visible(slot);
}

void SuperDash::FeedScopes(int slot) {
    m_scopes->Feed(slot);
}

void SuperDash::ReapplyScopeSelections() {
    m_scopes->ReapplySelections();
}

void SuperDash::ComStatusClicked() {
    if (m_review && !m_loaded) {
        StartUp(nullptr);
        return;
    }
    if (m_link.ComPort() == 0) {
        // No port chosen yet: there is nothing to connect to.
        ShowComSetup();
        return;
    }
    if (m_started && !m_monitor.Running() && !m_log.Playing()) {
        GoLive();
        return;
    }
    m_link.ConnectLink();
    // The connection left "Initializing" in panel 1; the loop below goes on.
    m_log.ShowActivity();
}

void SuperDash::ApplyDataloggingChoices(const DataloggingChoices& choices) {
    Recorder& recorder = m_log.recorder();
    recorder.SetDirectory(choices.directory);
    recorder.SetMaxRate(choices.maxRate);
    recorder.SetTpsTrigger(choices.start == DataloggingChoices::Start::TpsOver4V);
    m_recordKey->setEnabled(choices.start == DataloggingChoices::Start::Keyboard);
    m_monitor.SetReconnect(choices.reconnect);
    if (m_logging) m_logging->SetDirectory(choices.directory);
}

void SuperDash::PlaybackEnded() {
    if (!m_started || m_link.ComPort() == 0) return;
    if (m_monitor.Running()) {
        // The loop under the playback goes on, through a fresh connection:
        // the box was left with a request nobody read.
        m_state.ComResetPending = true;
        m_state.Monitoring = true;
        return;
    }
    // From the event loop, not from inside the playback that is ending: the
    // loop runs until monitoring stops.
    QTimer::singleShot(0, this, [this] { GoLive(); });
}

void SuperDash::AbandonWork() {
    if (m_logging) m_logging->AbandonExport();
}

void SuperDash::closeEvent(QCloseEvent* event) {
    if (m_state.Recording && !m_quitConfirmed) {
        // Asked without a nested loop: the recording goes on while the
        // question is open.
        event->ignore();
        if (m_quitQuestion) {
            m_quitQuestion->raise();
            return;
        }
        m_quitQuestion = OpenChoice(
            this, QMessageBox::Question, QStringLiteral("Quarn Dash"),
            QStringLiteral("Recording into \"%1\" is running. Stop the recording and quit?")
                .arg(m_log.RecordingFile()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
            [this](QMessageBox::StandardButton button) {
                if (button != QMessageBox::Yes) return;
                StopRecording();
                m_quitConfirmed = true;
                close();
            });
        return;
    }
    // The viewer stays while a review goes on; a recording or a playback
    // ends with the program, as always.
    if (m_review && !m_state.Recording && !m_log.Playing() && KeepReviewing()) {
        event->accept();
        return;
    }
    event->accept();
    AbandonWork();
    m_alerts.EndProgram();
}

void SuperDash::StopRecording() {
    // Through the window's Stop when it exists, so its buttons agree.
    if (m_logging)
        m_logging->Halt_Click();
    else
        m_log.recorder().Stop();
}

}  // namespace quarn
