// The log viewer's long operations: opening a log and exporting the selected
// range on a worker, following a recording, playing the selected range.

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <limits>

#include "dyno/DynoPhysics.h"
#include "logging/ExportFormats.h"
#include "logging/LogExport.h"
#include "logging/TravelExport.h"
#include "viewer/FuelTab.h"
#include "viewer/HeatMapTab.h"
#include "viewer/EventsPanel.h"
#include "viewer/HistogramTab.h"
#include "viewer/LogViewer.h"
#include "viewer/MathColumns.h"
#include "viewer/ScatterTab.h"
#include "viewer/StatisticsPanel.h"
#include "viewer/ViewerDyno.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

// How often the progress bar shows how far the worker is.
constexpr int kProgressMs = 100;

// Runs work on the thread pool and hands its result to then on owner's
// thread. Deleting owner deletes the watcher, so then never runs for a
// window that has gone; the worker finishes on its own copies.
template <typename Result, typename Work, typename Then>
void RunOnWorker(QObject* owner, Work work, Then then) {
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, then = std::move(then)]() mutable {
                         watcher->deleteLater();
                         then(watcher->result());
                     });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

struct ReadResult {
    std::shared_ptr<LogTable> table;
    LogLoadReport report;
    QString error;
    bool ok = false;
    std::vector<ExpressionError> mathErrors;
};

}  // namespace

void LogViewer::ChooseFile(bool second) {
    auto* dialog = new QFileDialog(this, second ? QStringLiteral("Open a log to compare")
                                                : QStringLiteral("Open a log"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("Quarn logs (*.qz0)"), QStringLiteral("All files (*)")});
    if (m_table) dialog->setDirectory(QFileInfo(m_table->Path()).dir());
    connect(dialog, &QFileDialog::fileSelected, this, [this, second](const QString& path) {
        if (second) OpenSecond(path);
        else Open(path);
    });
    dialog->open();
}

std::shared_ptr<LogViewer::Job> LogViewer::StartJob() {
    m_job = std::make_shared<Job>();
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->show();
    m_progressTimer.start(kProgressMs);
    return m_job;
}

void LogViewer::EndJob() {
    m_progressTimer.stop();
    m_progress->hide();
    m_job.reset();
}

bool LogViewer::StartReading(const QString& path, bool second, std::function<void()> shown) {
    if (Busy()) {
        ShowMessage(QStringLiteral("Wait until the log being read is open."));
        return false;
    }
    m_loading = true;
    const std::shared_ptr<Job> job = StartJob();
    // The worker gets copies: the dashboard may change its car meanwhile.
    const VehicleData vehicle = m_host.Vehicle();
    const double rate = m_host.FrameRate();
    // A log opened anew takes the default layout's math channels, if the
    // user chose one, evaluated with the reading.
    if (!second && (!m_table || m_table->Path() != path) && m_layouts)
        if (auto layout = m_layouts->Load(m_layouts->DefaultName())) m_mathChannels = layout->math;
    const std::vector<MathChannel> math = m_mathChannels;
    RunOnWorker<ReadResult>(
        this,
        [job, path, vehicle, rate, math] {
            ReadResult r;
            r.table = std::make_shared<LogTable>();
            r.ok = r.table->Load(
                path, vehicle, rate,
                [job](std::int64_t done, std::int64_t total) {
                    job->done = done;
                    job->total = total;
                    return !job->cancel;
                },
                &r.report, &r.error);
            if (!r.ok) r.table.reset();
            else if (!math.empty()) r.mathErrors = ApplyMathChannels(*r.table, math);
            return r;
        },
        [this, path, second, shown = std::move(shown)](ReadResult r) {
            m_loading = false;
            EndJob();
            OperationEnded();
            if (m_closed || r.report.cancelled) return;
            if (!r.ok) {
                ShowMessage(
                    QStringLiteral("The log file \"%1\" could not be opened.\n%2").arg(path, r.error),
                    true);
                return;
            }
            const bool newFile = !second && (!m_table || m_table->Path() != path);
            if (!second) MathEvaluated(r.mathErrors.size() == m_mathChannels.size()
                                           ? r.mathErrors
                                           : std::vector<ExpressionError>(m_mathChannels.size()));
            ShowRead(second, path, std::move(r.table), r.report, r.error);
            if (newFile && m_layouts)
                if (auto layout = m_layouts->Load(m_layouts->DefaultName())) ApplyLayout(*layout);
            if (shown) shown();
            emit logShown(second);
        });
    return true;
}

void LogViewer::ShowRead(bool second, const QString& path, std::shared_ptr<LogTable> table,
                         const LogLoadReport& report, const QString&) {
    if (!second) {
        const bool newFile = !m_table || m_table->Path() != path;
        m_plots->ClearSelection();
        m_table = std::move(table);
        Loaded(false);
        if (newFile && m_follow->isChecked()) m_follow->setChecked(false);
    } else {
        m_second = std::move(table);
        m_secondOffset = 0;
        Loaded(true);
    }
    // What was skipped or ignored is told once, in one message.
    const LogTable& t = second ? *m_second : *m_table;
    QStringList lines;
    const QString name = QFileInfo(path).fileName();
    if (t.Rows() == 0) lines << QStringLiteral("\"%1\" holds no records to show.").arg(name);
    if (const QString summary = report.Summary(); !summary.isEmpty())
        lines << QStringLiteral("\"%1\" was opened, but:").arg(name) << summary;
    if (!lines.isEmpty()) ShowMessage(lines.join('\n'), t.Rows() > 0);
}

bool LogViewer::Open(const QString& path, std::function<void()> shown) {
    return StartReading(path, false, std::move(shown));
}

bool LogViewer::OpenSecond(const QString& path, std::function<void()> shown) {
    if (!m_table) return Open(path, std::move(shown));
    return StartReading(path, true, std::move(shown));
}

void LogViewer::CloseSecond() {
    if (!m_second || Busy()) return;
    m_second.reset();
    m_secondKeys.clear();
    m_secondOffset = 0;
    Loaded(true);
}

void LogViewer::Loaded(bool second) {
    // The second log is drawn on the first one's axis: by the times of its
    // sidecar, or by its record numbers when the first log has no times.
    m_secondKeys.clear();
    if (m_second) {
        const LogTable& s = *m_second;
        if (!m_table || s.Base() == m_table->Base()) {
            m_secondKeys = s.Axis();
        } else {
            m_secondKeys.resize(s.Rows());
            for (std::size_t i = 0; i < s.Rows(); ++i)
                m_secondKeys[i] = m_table->Base() == TimeBase::Recorded
                                      ? s.SecondsAt(i)
                                      : static_cast<double>(s.Records()[i]);
            for (std::size_t i = 1; i < m_secondKeys.size(); ++i)
                m_secondKeys[i] = std::max(m_secondKeys[i], m_secondKeys[i - 1]);
        }
    }
    {
        const QSignalBlocker block(m_offset);
        m_offset->setValue(m_secondOffset);
    }
    UpdatePlotLogs();
    if (!second) {
        if (m_plots->Plots().empty()) {
            std::vector<PlotChannels> plots;
            for (int id : DefaultViewerChannels()) plots.push_back(PlotChannels{id, -1});
            m_plots->SetPlots(plots);
        } else {
            m_plots->SetPlots(m_plots->Plots());
        }
        m_heat->SetTable(m_table.get());
        m_events->SetTable(m_table.get());
        m_statistics->SetTable(m_table.get());
        m_scatter->SetTable(m_table.get());
        m_histogram->SetTable(m_table.get());
        m_fuel->SetTable(m_table.get());
        ChannelsChanged();
        const VehicleData& car = m_table->Vehicle();
        m_dyno->SetTable(m_table.get(), DynoVehicle{car.weight(), car.cda(), car.crr()},
                         m_host.CarName(), m_host.CarDescription());
    } else {
        m_plots->SetPlots(m_plots->Plots());
    }
    UpdateMarkers();
    m_plots->FitAll();
    double lo = 0, hi = 0;
    if (m_plots->DataExtent(lo, hi)) m_plots->SetCursorKey(lo);
    UpdateTitle();
    UpdateSelection();
}

void LogViewer::SetFollow(bool follow) {
    if (follow && m_table) m_followTimer.start();
    else m_followTimer.stop();
    if (m_follow->isChecked() != (follow && m_table)) m_follow->setChecked(follow && m_table);
}

void LogViewer::FollowTick() {
    // Reads only what the recording added, and redraws only what that
    // changed: the markers are made again only when the sidecar's markers
    // changed, else the few at the end whose rows were timed again move.
    if (!m_table) return;
    const std::uint64_t revision = m_table->MarkerRevision();
    const std::int64_t added = m_table->Refresh();
    if (added > 0) {
        m_plots->DataGrew();
        m_heat->DataGrew();
        m_dyno->DataGrew();
        if (!m_mathChannels.empty() && !m_mathRefresh.isActive()) m_mathRefresh.start();
        m_toolsTimer.start();
        UpdateCursorValues(m_plots->CursorKey());
        UpdateSelection();
    }
    if (m_table->MarkerRevision() != revision) UpdateMarkers();
    else if (added > 0) RetimeMarkers();
}

void LogViewer::PlayRange() {
    std::int64_t first = 0, last = 0;
    if (!SelectedRecords(first, last)) {
        ShowMessage(QStringLiteral("Select a range first: Shift-drag across the plots."));
        return;
    }
    // The playback may run to its end inside this call, and the window may
    // be closed meanwhile: nothing of it is touched after the call.
    LogViewerHost& host = m_host;
    const QString path = m_table->Path();
    host.PlayRecords(path, first, last);
}

void LogViewer::ExportRange() {
    std::int64_t first = 0, last = 0;
    if (!SelectedRecords(first, last)) {
        ShowMessage(QStringLiteral("Select a range first: Shift-drag across the plots."));
        return;
    }
    const QFileInfo info(m_table->Path());
    const QString suggested = info.dir().filePath(
        QStringLiteral("%1-%2-%3.csv").arg(info.completeBaseName()).arg(first).arg(last));
    QPointer<LogViewer> self(this);
    OpenSaveDialog(this, QStringLiteral("Export range"), suggested,
                   ExportNameFilters().join(QStringLiteral(";;")),
                   [self](const QString& csv, const QString& filter) {
                       if (self) self->ExportRangeTo(csv, filter);
                   });
}

namespace {

// The math channels as the export's extra columns, one value per record of
// first..last: copied here, on the window's thread, so the worker never
// reads the table a formula may be changing.
std::vector<ExportColumn> MathExportColumns(const LogTable& table, std::int64_t first,
                                            std::int64_t last) {
    std::vector<ExportColumn> columns;
    const std::size_t own = ViewerChannels().size();
    const std::vector<std::int64_t>& records = table.Records();
    const std::size_t row0 = static_cast<std::size_t>(
        std::lower_bound(records.begin(), records.end(), first) - records.begin());
    for (std::size_t id = own; id < table.Channels().size(); ++id) {
        ExportColumn column;
        column.name = table.Channels()[id].name.toStdString();
        column.unit = table.Channels()[id].unit.toStdString();
        column.firstRecord = first;
        column.values.assign(static_cast<std::size_t>(last - first + 1),
                             std::numeric_limits<float>::quiet_NaN());
        const std::vector<float>& values = table.Column(static_cast<int>(id));
        for (std::size_t r = row0; r < records.size() && records[r] <= last; ++r)
            column.values[static_cast<std::size_t>(records[r] - first)] = values[r];
        columns.push_back(std::move(column));
    }
    return columns;
}

}  // namespace

bool LogViewer::ExportRangeTo(const QString& csv, const QString& filter) {
    std::int64_t first = 0, last = 0;
    if (Busy() || !SelectedRecords(first, last)) return false;
    const std::string logPath = QFile::encodeName(m_table->Path()).toStdString();
    const std::string csvPath = QFile::encodeName(csv).toStdString();
    if (SameFile(logPath, csvPath)) {
        ShowMessage(QStringLiteral("\"%1\" is the log itself; choose another name.").arg(csv), true);
        return false;
    }
    m_exporting = true;
    const std::shared_ptr<Job> job = StartJob();
    job->total = last;
    // The same car as the plots show, so the CSV holds the values seen.
    const VehicleData vehicle = m_table->Vehicle();
    ExportOptions options = ExportOptionsForFilter(filter, csv);
    options.estimatedFrameRate = m_table->EstimatedFrameRate();
    std::vector<ExportColumn> math;
    if (options.format != ExportFormat::Csv) math = MathExportColumns(*m_table, first, last);
    RunOnWorker<ExportResult>(
        this,
        [job, logPath, csvPath, options, vehicle, first, last, math = std::move(math)] {
            // Written beside its place and renamed onto it once whole: a
            // cancelled export leaves nothing behind.
            return ExportLogFile(
                logPath, csvPath, options, vehicle, nullptr,
                [job](std::int64_t done) {
                    job->done = done;
                    return !job->cancel;
                },
                first, last, math);
        },
        [this, csv](const ExportResult& result) {
            m_exporting = false;
            EndJob();
            OperationEnded();
            const bool written = result.outcome == ExportOutcome::Written;
            if (!m_closed) {
                if (result.outcome == ExportOutcome::SameAsInput)
                    ShowMessage(
                        QStringLiteral("\"%1\" is the log itself; choose another name.").arg(csv),
                        true);
                else if (result.outcome == ExportOutcome::Failed)
                    ShowMessage(QStringLiteral("Exporting to \"%1\" failed; nothing was changed.\n%2")
                                    .arg(csv, QString::fromStdString(result.error)),
                                true);
            }
            emit exportEnded(written);
        });
    return true;
}

}  // namespace quarn
