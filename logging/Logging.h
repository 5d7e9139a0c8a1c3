#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "logging/ExportFormats.h"
#include "logging/LogOperations.h"

class QComboBox;
class QFileDialog;
class QMessageBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace quarn {

class ExportJob;
struct ExportResult;
class LinkStatus;

// The logging control window: the log file name, Record, Play, Pause, Stop,
// the record counter and, while a playback is paused, a slider to move
// through the log. Beyond those: the playback speed and a CSV export.
//
// The window is made once and lives as long as its parent, the dashboard:
// closing it only hides it. A playback runs inside this window's handlers
// and yields to events, so the window must never be freed under it; and a
// recording that goes on after the window closed is shown again, name and
// counter, when it reopens. An export runs on a worker and reports back
// here. No dialog of it runs a nested event loop: each is opened with open()
// and continues in a slot.
class Logging : public QWidget, public LoggingView {
    Q_OBJECT
public:
    Logging(LogOperations& log, LinkStatus& status, LoggingHost& host, QWidget* parent = nullptr);
    ~Logging() override;

    // The datalog directory changed: an untouched default name follows it.
    void SetDirectory(const QString& directory);

    void Record_Click();
    void Play_Click();
    // Plays records first..last of file, as Play does the whole log; refused
    // while a recording or a playback runs.
    void PlayRange(const QString& file, std::int64_t first, std::int64_t last);
    // "View": asks for the log in the name box to be opened in the viewer.
    void View_Click();
    // "Marker": marks the record last written by the recording.
    void Marker_Click();
    void Pause_Click();
    void Halt_Click();
    void Browse_Click();
    void ExportCsv_Click();

    // LoggingView
    QString LogFileName() const override;
    void SetCounter(std::int64_t value) override;
    void SetupSlider(std::int64_t minimum, std::int64_t maximum, std::int64_t tick) override;
    void SetSliderPosition(std::int64_t position) override;
    std::int64_t SliderPosition() const override;
    void HideSlider() override;
    int PlaybackRate() const override;
    void ShowOverwriteDeclined() override;
    void HaltAction() override { Halt_Click(); }
    void AskOverwrite(const QString& file, std::function<void(bool)> answer) override;
    void ShowProblem(const QString& text) override;
    void ShowPlaybackStatus() override;

    // Exports the log into csv, asking first when csv exists. Returns once
    // the export has begun; the window says how it ended.
    void ExportTo(const QString& log, const QString& csv);
    bool exporting() const;
    // For the program's end: an export under way is stopped, its worker
    // waited for and its temporary file removed before this returns.
    void AbandonExport();

    QLineEdit* logFile() const { return m_logFile; }
    QPushButton* recordButton() const { return m_record; }
    QPushButton* playButton() const { return m_play; }
    QPushButton* pauseButton() const { return m_pause; }
    QPushButton* haltButton() const { return m_halt; }
    QPushButton* viewButton() const { return m_view; }
    QPushButton* markerButton() const { return m_marker; }
    QSlider* slider() const { return m_slider; }
    QLabel* counter() const { return m_counter; }
    QComboBox* speed() const { return m_speed; }

    // Lets tests answer the questions and collect the messages instead of
    // the message boxes. Answers given here take effect at once.
    std::function<bool(const QString&)> askOverwrite;
    std::function<void(const QString&)> showProblem;

signals:
    // The user wants to see the log file in the log viewer.
    void viewRequested(const QString& file);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void StartPlayback(std::int64_t first, std::int64_t last);
    void Slider_Moved();
    void ScheduleDisplay();
    void LockFileName(bool locked);
    void RunExport(const QString& log, const QString& csv);
    void ExportFinished(const QString& csv, const ExportResult& result, std::int64_t damaged);

    LogOperations& m_log;
    LinkStatus& m_status;
    LoggingHost& m_host;
    QLineEdit* m_logFile = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_record = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_halt = nullptr;
    QPushButton* m_view = nullptr;
    QPushButton* m_marker = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_counter = nullptr;
    QComboBox* m_speed = nullptr;
    QPushButton* m_export = nullptr;
    QProgressBar* m_progress = nullptr;
    bool m_programMove = false;
    // The name the box was given by default, while it still holds it.
    QString m_defaultName;
    void OfferDefaultName();
    ExportJob* m_exportJob = nullptr;
    // Moves the progress bar while an export runs.
    QTimer m_exportProgress;
    QPointer<QMessageBox> m_stopQuestion;
    QPointer<QFileDialog> m_exportDialog;
    ExportOptions m_exportOptions;  // the format the dialog's filter chose
    // What the counter and the slider stand for; the widgets catch up at the
    // next display tick.
    std::int64_t m_counterValue = 0;
    std::int64_t m_sliderPosition = 1;
};

}  // namespace quarn
