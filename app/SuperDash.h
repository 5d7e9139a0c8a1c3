#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

#include "monitor/MonitorLoop.h"
#include "monitor/RunState.h"
#include "decode/Alarms.h"
#include "decode/ChannelRecord.h"
#include "decode/Conversion.h"
#include "decode/GaugeFeed.h"
#include "decode/VehicleData.h"
#include "link/Clock.h"
#include "link/Link.h"
#include "app/DashStatus.h"
#include "link/LinkStatus.h"
#include "link/SerialPort.h"
#include "link/Settings.h"
#include "logging/LogOperations.h"
#include "settings/UserChoices.h"

class QAction;
class QLabel;
class QMenu;
class QMessageBox;

namespace quarn {

class AlarmSound;
class LimitsWindow;

class ComSetup;
class Logging;
class LogViewer;
class LogViewerHost;
class DialGauge;
class AboutBox;
class QuarnFeatures;
class ScopeSlots;
class SelfTester;
class Splash;
class TPSTool;
class SessionProperties;

// How a dashboard is put together; tests replace the port, the alerts, the
// clock, the yield and the file names.
struct DashOptions {
    std::unique_ptr<SerialPort> port;  // a QSerialPort when empty
    LinkAlerts* alerts = nullptr;      // message boxes and exit when empty
    Clock* clock = nullptr;            // the system clock when empty
    Yielder* yielder = nullptr;        // the Qt event loop when empty
    QString settingsPath = QString::fromLatin1(kSettingsFileName);
    double splashSeconds = 2;
};

// The main window: fifteen dial gauges, the link lamp with its "COM Status"
// label, a five-panel status bar, the once-a-second frame-rate timer and the
// menus. It owns the serial link and the run state, runs the start-up
// sequence and the monitoring loop, and ends the program when it closes.
class SuperDash : public QMainWindow,
                  public GaugeSink,
                  public FrameConsumers,
                  public LoggingHost {
    Q_OBJECT
public:

    explicit SuperDash(DashOptions options = {});
    ~SuperDash() override;

    // The start-up sequence; while monitoring it does not return.
    void StartUp(Splash* splash);
    // Reviewing logs: the log viewer at once, with file, and no splash and
    // no connection. The dashboard waits until OpenDashboard; a serial port
    // error then leaves the viewer open and the saved port as it was, and
    // the program ends when the last of the two windows closes.
    void StartReview(const QString& file);
    // The viewer's Dashboard entry: shows the dashboard, and in a review
    // session starts it (and its connection) the first time.
    void OpenDashboard();
    bool Reviewing() const { return m_review; }

    // GaugeSink
    void SelectNeedle(Gauge gauge, std::int16_t needle) override;
    void NeedleValue(Gauge gauge, double value) override;
    bool TpsToolVisible() const override;

    // FrameConsumers
    bool DashboardVisible() const override { return isVisible(); }
    void UpdateDash() override;
    void PrepareScopeSlot(int slot) override;
    bool ScopeVisible(int slot) const override;
    void FeedScopes(int slot) override;
    void WriteLogRecord() override { m_log.recorder().Write(); }
    void OfferLiveFrame() override { m_log.recorder().Offer(m_rec.TpsVolts); }

    // LoggingHost
    void ShowDashboard() override { show(); }
    void ReapplyScopeSelections() override;
    // A playback starts with the peaks reset and no alarm on.
    void PlaybackStarting() override;
    // Live monitoring comes back after a playback, when a port is set.
    void PlaybackEnded() override;
    // Ends a running recording (or a trigger waiting to start one).
    void StopRecording();

    // The Datalogging tab's choices put in force: the trigger, the folder,
    // the rate cap and reconnecting.
    void ApplyDataloggingChoices(const DataloggingChoices& choices);
    // The short user guide, with the keyboard shortcuts of the menus.
    void ShowUserGuide();
    QWidget* userGuide() const;
    // The guide's text, the shortcuts read from the menus' entries.
    QString UserGuideText() const;

    void ShowComSetup();
    void ShowQuarnFeatures();
    // The session properties exist once for the whole run; closing the
    // window only hides it.
    void ShowSessionProperties();
    // Modal: the dashboard takes no input until the box is closed, while
    // monitoring goes on underneath.
    void ShowAbout();
    void ShowTpsTool();
    void ShowSelfTester();
    void ShowLogging();
    Logging* logging() const;
    // The log viewer, opening file in it when one is given. A closed viewer
    // is gone: the next call makes a new one.
    void ShowLogViewer(const QString& file = QString());
    LogViewer* logViewer() const;
    LogOperations& log() { return m_log; }
    // The scope windows' slots.
    ScopeSlots& scopes() { return *m_scopes; }
    // A click on the "COM Status" label: reconnect now, and bring monitoring
    // back when no monitoring loop runs (after a playback). Without a port it
    // opens the setup dialog instead.
    void ComStatusClicked();
    // Connects and runs the monitoring loop from here until it stops, when
    // none runs and no playback holds the link.
    void GoLive();

    // Alarms (DashAlarms.cpp): the limits in force and the alarms now on.
    AlarmBoard& alarms() { return m_alarms; }
    void SetAlarmLimits(const AlarmLimitSet& limits);
    AlarmSound& alarmSound() { return *m_sound; }
    QLabel* alarmPanel() const { return m_status.alarmPanel(); }
    void ShowLimits();
    LimitsWindow* limitsWindow() const;
    // Every dial's peak marks back to the current value.
    void ResetPeaks();
    void SetMuted(bool muted);

    // Night, full screen and the gauges' layout (DashLayout.cpp).
    // The night scheme on or off (the menu entry also remembers it).
    void SetNight(bool night);
    bool night() const { return m_night; }
    void ToggleFullScreen();
    // Places the gauges and the lamp in the dashboard's ground of this size:
    // the standard layout scaled evenly to fit, centred.
    void LayoutGauges(QSize ground);
    // The ground's base size (the default).
    static QSize BaseGround();

    DialGauge* gauge(Gauge g) const { return m_gauges.at(static_cast<std::size_t>(g)); }
    ComSetup* comSetup() const;
    QuarnFeatures* quarnFeatures() const;
    SessionProperties* sessionProperties() const;
    AboutBox* about() const;
    TPSTool* tpsTool() const;
    SelfTester* selfTester() const;

    // The status bar and the link lamp.
    DashStatus& status() { return m_status; }
    Link& link() { return m_link; }
    RunState& state() { return m_state; }
    Monitor& monitor() { return m_monitor; }
    ChannelRecord& record() { return m_rec; }
    VehicleData& vehicle() { return m_vehicle; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Stops the work on workers before the program ends, so that none of it
    // is left half done on disk.
    void AbandonWork();
    // The dashboard's work stops so the review goes on: after a failed port,
    // or when the dashboard is closed with the viewer still open.
    bool KeepReviewing();
    bool ViewerOpen() const;
    void BuildGauges(QWidget* ground);
    void BuildMenus();
    void ReportUserSettingsProblem();
    QAction* AddMenuEntry(QMenu* menu, const char* caption, const char* name,
                          std::function<void()> action);
    DialGauge* Target(Gauge g) const;
    void BuildViewEntries();
    void OnAlarm(const AlarmEvent& event, DialGauge* dial);
    void ShowAlarmPanel();

    std::unique_ptr<SerialPort> m_port;
    std::unique_ptr<LinkAlerts> m_ownAlerts;
    LinkAlerts& m_alerts;
    // Before the link, which reports into it from its start.
    DashStatus m_status;
    SystemClock m_systemClock;
    QtYielder m_qtYielder;
    Clock& m_clock;
    Yielder& m_yielder;
    double m_splashSeconds;
    Link m_link;
    RunState m_state;
    ChannelRecord m_rec;
    Conversion m_conversion;
    VehicleData m_vehicle;
    FramePath m_path;
    Monitor m_monitor;
    LogOperations m_log;

    std::array<DialGauge*, 16> m_gauges{};
    AlarmBoard m_alarms;
    std::unique_ptr<AlarmSound> m_sound;
    QLabel* m_comStatus = nullptr;
    QWidget* m_ground = nullptr;
    QPointer<LimitsWindow> m_limitsWindow;
    QAction* m_nightEntry = nullptr;
    QAction* m_muteEntry = nullptr;
    bool m_night = false;
    QMenu* m_mnuFile = nullptr;
    QAction* m_recordKey = nullptr;
    QPointer<QWidget> m_userGuide;
    QMenu* m_mnuView = nullptr;
    QMenu* m_mnuDiagnostic = nullptr;
    QMenu* m_mnuSetup = nullptr;
    QMenu* m_mnuHelp = nullptr;
    QTimer m_frameRateTimer;
    // The start-up sequence has reached its monitoring loop: from then on a
    // stopped loop can be brought back.
    bool m_started = false;
    bool m_loaded = false;  // StartUp has begun
    bool m_review = false;
    QMetaObject::Connection m_viewerGone;
    std::unique_ptr<ScopeSlots> m_scopes;
    QPointer<ComSetup> m_comSetup;
    QPointer<QuarnFeatures> m_quarnFeatures;
    QPointer<SessionProperties> m_sessionProperties;
    QPointer<AboutBox> m_about;
    QPointer<TPSTool> m_tpsTool;
    QPointer<SelfTester> m_selfTester;
    QPointer<Logging> m_logging;
    std::unique_ptr<LogViewerHost> m_viewerHost;
    // Closing while recording asks first; the answer closes again.
    QPointer<QMessageBox> m_quitQuestion;
    bool m_quitConfirmed = false;
    QPointer<LogViewer> m_logViewer;
};

}  // namespace quarn
