// The log viewer's long operations: opening a log with its progress bar,
// following a recording, exporting and playing the selected range.

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "dyno/DynoPhysics.h"
#include "logging/LogExport.h"
#include "logging/TravelExport.h"
#include "viewer/HeatMapTab.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerDyno.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

// Events are served at most this often while a long operation runs: often
// enough for the window to stay alive, seldom enough to cost nothing.
constexpr qint64 kPumpMs = 50;

// Calls pump at most every kPumpMs, the first time at once.
class Pacer {
public:
    bool Due() {
        if (m_timer.isValid() && m_timer.elapsed() < kPumpMs) return false;
        m_timer.start();
        return true;
    }

private:
    QElapsedTimer m_timer;
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
        // Once the dialog has gone: the opening yields to events.
        QTimer::singleShot(0, this, [this, second, path] {
            if (second) OpenSecond(path);
            else Open(path);
        });
    });
    dialog->open();
}

std::shared_ptr<LogTable> LogViewer::Load(const QString& path, LogLoadReport& report,
                                          QString& error) {
    // The table belongs to this call until it has been read whole: a window
    // deleted meanwhile takes nothing from under the reading.
    auto table = std::make_shared<LogTable>();
    const VehicleData vehicle = m_host.Vehicle();
    const double rate = m_host.FrameRate();
    QPointer<LogViewer> self(this);
    m_loading = true;
    m_cancel = false;
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->show();
    Pacer pacer;
    const bool ok = table->Load(
        path, vehicle, rate,
        [self, &pacer](std::int64_t done, std::int64_t total) {
            if (!self || self->m_cancel) return false;
            if (!pacer.Due()) return true;
            self->m_progress->setValue(
                total > 0 ? static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)) : 0);
            QCoreApplication::processEvents();
            return self && !self->m_cancel;
        },
        &report, &error);
    if (!self) return nullptr;
    m_loading = false;
    m_progress->hide();
    if (!ok) table.reset();
    return table;
}

bool LogViewer::ReadForShowing(const QString& path, LogLoadReport& report,
                               std::shared_ptr<LogTable>& table) {
    if (Busy()) {
        ShowMessage(QStringLiteral("Wait until the log being read is open."));
        return false;
    }
    QPointer<LogViewer> self(this);
    QString error;
    table = Load(path, report, error);
    if (!self) return false;  // deleted meanwhile: nothing of it may be touched
    OperationEnded();
    if (m_closed || report.cancelled) return false;
    if (!table) {
        ShowMessage(QStringLiteral("The log file \"%1\" could not be opened.\n%2").arg(path, error),
                    true);
        return false;
    }
    return true;
}

bool LogViewer::Open(const QString& path) {
    LogLoadReport report;
    std::shared_ptr<LogTable> table;
    if (!ReadForShowing(path, report, table)) return false;
    const bool newFile = !m_table || m_table->Path() != path;
    m_plots->ClearSelection();
    m_table = std::move(table);
    Loaded(false);
    if (newFile && m_follow->isChecked()) m_follow->setChecked(false);

    // What was skipped or ignored is told once, in one message.
    QStringList lines;
    const QString name = QFileInfo(path).fileName();
    if (m_table->Rows() == 0) lines << QStringLiteral("\"%1\" holds no records to show.").arg(name);
    if (const QString summary = report.Summary(); !summary.isEmpty())
        lines << QStringLiteral("\"%1\" was opened, but:").arg(name) << summary;
    if (!lines.isEmpty()) ShowMessage(lines.join('\n'), m_table->Rows() > 0);
    return true;
}

bool LogViewer::OpenSecond(const QString& path) {
    if (!m_table) return Open(path);
    LogLoadReport report;
    std::shared_ptr<LogTable> table;
    if (!ReadForShowing(path, report, table)) return false;
    m_second = std::move(table);
    m_secondOffset = 0;
    Loaded(true);
    QStringList lines;
    const QString name = QFileInfo(path).fileName();
    if (m_second->Rows() == 0)
        lines << QStringLiteral("\"%1\" holds no records to show.").arg(name);
    if (const QString summary = report.Summary(); !summary.isEmpty())
        lines << QStringLiteral("\"%1\" was opened, but:").arg(name) << summary;
    if (!lines.isEmpty()) ShowMessage(lines.join('\n'), m_second->Rows() > 0);
    return true;
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
    if (!m_table || Busy()) return;
    const std::size_t markers = m_table->Markers().size();
    const std::int64_t added = m_table->Refresh();
    if (added > 0) {
        m_plots->DataGrew();
        m_heat->DataGrew();
        m_dyno->DataGrew();
        UpdateCursorValues(m_plots->CursorKey());
        UpdateSelection();
    }
    if (added > 0 || m_table->Markers().size() != markers) UpdateMarkers();
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
                   QStringLiteral("CSV files (*.csv);;MSL text logs (*.msl);;MLG binary logs (*.mlg);;"
                                  "All files (*)"),
                   [self](const QString& csv) {
                       // Once the dialog has gone: the export yields to events.
                       if (self)
                           QTimer::singleShot(0, self, [self, csv] {
                               if (self) self->ExportRangeTo(csv);
                           });
                   });
}

bool LogViewer::ExportRangeTo(const QString& csv) {
    std::int64_t first = 0, last = 0;
    if (Busy() || !SelectedRecords(first, last)) return false;
    const std::string logPath = QFile::encodeName(m_table->Path()).toStdString();
    const std::string csvPath = QFile::encodeName(csv).toStdString();
    if (SameFile(logPath, csvPath)) {
        ShowMessage(QStringLiteral("\"%1\" is the log itself; choose another name.").arg(csv), true);
        return false;
    }
    QPointer<LogViewer> self(this);
    m_exporting = true;
    m_cancel = false;
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->show();
    Pacer pacer;
    // The same car as the plots show, so the CSV holds the values seen.
    const VehicleData vehicle = m_table->Vehicle();
    // The format follows the file's suffix: .msl, .mlg, else our CSV.
    ExportOptions options;
    options.format = ExportFormatForPath(csvPath);
    options.estimatedFrameRate = m_table->EstimatedFrameRate();
    const ExportResult result = ExportLogFile(
        logPath, csvPath, options, vehicle, nullptr,
        [self, &pacer, last](std::int64_t done) {
            if (!self || self->m_cancel) return false;
            if (!pacer.Due()) return true;
            self->m_progress->setValue(static_cast<int>(std::min<std::int64_t>(done * 1000 / last, 1000)));
            QCoreApplication::processEvents();
            return self && !self->m_cancel;
        },
        first, last);
    if (!self) return false;
    m_exporting = false;
    m_progress->hide();
    OperationEnded();
    switch (result.outcome) {
        case ExportOutcome::Written:
            return true;
        case ExportOutcome::SameAsInput:
            ShowMessage(QStringLiteral("\"%1\" is the log itself; choose another name.").arg(csv),
                        true);
            break;
        case ExportOutcome::Failed:
            ShowMessage(QStringLiteral("Exporting to \"%1\" failed; nothing was changed.\n%2")
                            .arg(csv, QString::fromStdString(result.error)),
                        true);
            break;
        case ExportOutcome::Cancelled:
            break;
    }
    return false;
}

}  // namespace quarn
