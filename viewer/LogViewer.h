#pragma once

#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/MathChannel.h"
#include "decode/Alarms.h"
#include "decode/VehicleData.h"
#include "viewer/LogTable.h"
#include "viewer/ViewerLayout.h"
#include "widgets/ScreenRoom.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QDockWidget;
class QTabWidget;

namespace quarn {

class EventsPanel;
class FuelTab;
class HeatMapTab;
class HistogramTab;
class LayoutStore;
class MathPanel;
class ScatterTab;
class StatisticsPanel;
class ViewerDyno;
class ViewerPlots;
class ViewerSide;

// What the log viewer needs of the rest of the program.
class LogViewerHost {
public:
    virtual ~LogViewerHost() = default;
    // The car the dashboard converts with now: a log opens converted with it.
    virtual const VehicleData& Vehicle() const = 0;
    // Frames per second that space records the sidecar gives no time for.
    virtual double FrameRate() const = 0;
    // The name of the car in use, for the dyno sheet; empty when unknown.
    virtual QString CarName() const { return {}; }
    // What the user wrote about that car, for the dyno sheet; may be empty.
    virtual QString CarDescription() const { return {}; }
    // The alarm limits in force, drawn across the plots of their channels.
    virtual AlarmLimitSet AlarmLimits() const { return DefaultAlarmLimits(); }
    // The per-user settings file, where the saved layouts are kept; empty
    // saves none.
    virtual QString UserSettingsFile() const { return {}; }
    // Plays records first..last of the log through the dashboard and the
    // scopes. May run the whole playback before it returns.
    virtual void PlayRecords(const QString& log, std::int64_t first, std::int64_t last) = 0;
    // Shows the dashboard, starting it when the viewer came first.
    virtual void OpenDashboard() {}
};

// The Log Viewer window: a whole log as stacked plots on one time axis, the
// values at the cursor, markers, a second log to compare, a heat map tab,
// and a range to play through the dashboard or to export as CSV.
//
// Opening a log and exporting run on a worker thread, so a recording that
// runs meanwhile on the window thread loses no frame: the worker gets only
// copies (the path, the car, the range) and a cancel flag, and the window
// takes the result when it is done. Closing the window cancels what runs and
// deletes the window once the worker has returned; a window deleted anyway
// leaves the worker its own table, and nothing of the window is touched.
class LogViewer : public QMainWindow {
    Q_OBJECT
public:
    // Room: see FitToRoom; the screen's by default.
    explicit LogViewer(LogViewerHost& host, QWidget* parent = nullptr, QSize room = ScreenRoom());
    ~LogViewer() override;

    // Starts reading the log at path (with a progress bar); once read, it is
    // shown, shown() is called and logShown emitted. What was damaged or
    // wrong about its sidecar is told once, as is a log that could not be
    // opened. Returns false when the reading could not start (busy: told).
    bool Open(const QString& path, std::function<void()> shown = {});
    // Opens a log beside the first, to compare, drawn in the second colours.
    bool OpenSecond(const QString& path, std::function<void()> shown = {});
    void CloseSecond();
    bool Busy() const { return m_loading || m_exporting; }
    // Closed by the user: it goes as soon as nothing runs in it.
    bool Closed() const { return m_closed; }

    // A tab beside "Plots" and "Heat map"; the window takes the widget.
    int AddTab(QWidget* page, const QString& title);

    // The records of the selected range (the rows under it); false when
    // nothing is selected.
    bool SelectedRecords(std::int64_t& first, std::int64_t& last) const;
    void PlayRange();
    // Asks where to, then writes the selected records in the format chosen.
    void ExportRange();
    // Starts writing the selected records to csv; exportEnded tells how it
    // went. False when it could not start (busy, nothing selected, the log).
    // The format is the save dialog's filter's (ExportNameFilters), or without
    // one the name's suffix; every format but plain CSV carries the math
    // channels after the log's.
    bool ExportRangeTo(const QString& csv, const QString& filter = QString());

    // Marker edits, written to the log's sidecar; refused with a message
    // when the sidecar belongs to another log. index counts the markers in
    // the sidecar's order, as LogTable::Markers() holds them.
    bool AddMarkerAt(double key, const QString& name = QString());
    bool RenameMarker(int index, const QString& name);
    bool DeleteMarker(int index);
    // Shows the marker at the cursor, in the middle of the view.
    void GoToMarker(int index);

    // Shifts the second log so that the point of it chosen (its start, or
    // its marker secondMarker) lies at the cursor (target -1) or at the
    // first log's marker target.
    void AlignSecond(int secondMarker, int target);
    void SetSecondOffset(double offset);
    double SecondOffset() const { return m_secondOffset; }

    // Keeps the view on the end of the log while it grows.
    void SetFollow(bool follow);
    void FollowTick();

    // Math channels (LogViewerTools.cpp): every log shown gets them, after
    // its own channels, in every list of channels. Evaluated again now;
    // MathErrors() holds one entry per channel (empty when it worked).
    void SetMathChannels(std::vector<MathChannel> channels);
    const std::vector<MathChannel>& MathChannels() const { return m_mathChannels; }
    const std::vector<ExpressionError>& MathErrors() const { return m_mathErrors; }

    // Cursors A and B, keys on the plots' axis; the side table shows both,
    // B−A and Δt.
    void SetCursorA(std::optional<double> key);
    void SetCursorB(std::optional<double> key);
    std::optional<double> CursorA() const { return m_cursorA; }
    std::optional<double> CursorB() const { return m_cursorB; }

    // Layouts: what is shown now, under a name, and the reverse. Channels
    // the log lacks are told in one message, and what can be is applied.
    ViewerLayout CurrentLayout(const QString& name) const;
    void ApplyLayout(const ViewerLayout& layout);
    // Where layouts are kept; the per-user settings file unless a test
    // gives another.
    void SetLayoutStore(std::unique_ptr<LayoutStore> store);
    LayoutStore& layouts() const { return *m_layouts; }

    // Rows [first, last) the window's tools work on: the selection, else
    // the visible range, warming-up rows left out.
    void ToolRows(std::size_t& first, std::size_t& last) const;
    // Puts the cursor on a row and brings it into view.
    void GoToRow(std::size_t row);

    MathPanel* mathPanel() const { return m_mathPanel; }
    EventsPanel* eventsPanel() const { return m_events; }
    StatisticsPanel* statisticsPanel() const { return m_statistics; }
    ScatterTab* scatter() const { return m_scatter; }
    HistogramTab* histogram() const { return m_histogram; }
    FuelTab* fuel() const { return m_fuel; }
    QDockWidget* toolDock() const { return m_toolDock; }
    // Shows the tool dock on the page of that tool.
    void ShowTool(QWidget* page);

    const LogTable* table() const { return m_table.get(); }
    const LogTable* secondTable() const { return m_second.get(); }
    ViewerPlots* plots() const { return m_plots; }
    ViewerSide* side() const { return m_side; }
    HeatMapTab* heatMap() const { return m_heat; }
    ViewerDyno* dyno() const { return m_dyno; }
    QTabWidget* tabs() const { return m_tabs; }
    QProgressBar* progress() const { return m_progress; }
    QCheckBox* follow() const { return m_follow; }
    QPushButton* playRangeButton() const { return m_playRange; }
    QPushButton* exportRangeButton() const { return m_exportRange; }

    // Lets tests collect the messages instead of the message boxes.
    std::function<void(const QString&)> showMessage;

signals:
    void logShown(bool second);
    void exportEnded(bool written);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void BuildTools();
    void ChannelsChanged();
    void UpdateLimitLines();
    void UpdateCursorPair();
    void UpdateTools();
    void MathEvaluated(const std::vector<ExpressionError>& errors);
    QWidget* BuildCompareBar();
    // What a worker shares with the window.
    struct Job {
        std::atomic<bool> cancel{false};
        std::atomic<std::int64_t> done{0};
        std::atomic<std::int64_t> total{0};
    };
    bool StartReading(const QString& path, bool second, std::function<void()> shown);
    void ShowRead(bool second, const QString& path, std::shared_ptr<LogTable> table,
                  const LogLoadReport& report, const QString& error);
    std::shared_ptr<Job> StartJob();
    void EndJob();
    void Loaded(bool second);
    void UpdatePlotLogs();
    void UpdateMarkers();
    void RetimeMarkers();
    void FillMarkerKinds(QMenu* menu);
    void UpdateCursorValues(double key);
    void UpdateSelection();
    void UpdateTitle();
    void UpdateCompareChoices();
    double KeyOfRecord(const LogTable& table, std::int64_t record) const;
    double MarkerKey(const LogTable& table, int index) const;
    void ShowMessage(const QString& text, bool warning = false);
    void OperationEnded();
    void ChooseFile(bool second);

    LogViewerHost& m_host;
    std::shared_ptr<LogTable> m_table;
    std::shared_ptr<LogTable> m_second;
    // The second log's keys on the first one's axis, before the offset.
    std::vector<double> m_secondKeys;
    double m_secondOffset = 0;
    // The first log's markers as the side list shows them, by record: their
    // indexes in Markers().
    std::vector<int> m_markerOrder;

    QTabWidget* m_tabs = nullptr;
    ViewerPlots* m_plots = nullptr;
    ViewerSide* m_side = nullptr;
    HeatMapTab* m_heat = nullptr;
    ViewerDyno* m_dyno = nullptr;
    MathPanel* m_mathPanel = nullptr;
    EventsPanel* m_events = nullptr;
    StatisticsPanel* m_statistics = nullptr;
    ScatterTab* m_scatter = nullptr;
    HistogramTab* m_histogram = nullptr;
    FuelTab* m_fuel = nullptr;
    QDockWidget* m_toolDock = nullptr;
    QTabWidget* m_toolTabs = nullptr;
    std::vector<MathChannel> m_mathChannels;
    std::vector<ExpressionError> m_mathErrors;
    std::optional<double> m_cursorA, m_cursorB;
    std::unique_ptr<LayoutStore> m_layouts;
    QTimer m_mathRefresh;  // a followed log's math columns, evaluated again
    QTimer m_toolsTimer;   // the tools follow the selection and the view
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QCheckBox* m_follow = nullptr;
    QPushButton* m_playRange = nullptr;
    QPushButton* m_exportRange = nullptr;
    QWidget* m_compareBar = nullptr;
    QLabel* m_compareName = nullptr;
    QComboBox* m_alignWhat = nullptr;
    QComboBox* m_alignTo = nullptr;
    QDoubleSpinBox* m_offset = nullptr;
    QTimer m_followTimer;
    QTimer m_progressTimer;  // shows the worker's progress

    bool m_loading = false;
    bool m_exporting = false;
    std::shared_ptr<Job> m_job;  // shared with the running worker
    bool m_closed = false;  // delete the window once no operation runs
};

}  // namespace quarn
