#include "viewer/LogViewer.h"
#include "viewer/ViewerReport.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "viewer/HeatMapTab.h"
#include "viewer/ViewerDyno.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

QString KeyText(const LogTable& table, double key) {
    if (table.Base() == TimeBase::Records) return QStringLiteral("#%1").arg(std::llround(key));
    return QString::number(key, 'f', 2) + QStringLiteral(" s");
}

}  // namespace

LogViewer::LogViewer(LogViewerHost& host, QWidget* parent, QSize room)
    : QMainWindow(parent, Qt::Window), m_host(host) {
    setObjectName(QStringLiteral("LogViewer"));
    setWindowTitle(QStringLiteral("Log Viewer"));
    setAcceptDrops(true);
    const QSize opening(1200, 800);
    resize(room.isValid() ? opening.boundedTo(room) : opening);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("ViewerTabs"));
    auto* plotsPage = new QWidget(m_tabs);
    auto* plotsLayout = new QVBoxLayout(plotsPage);
    plotsLayout->setContentsMargins(0, 0, 0, 0);
    plotsLayout->setSpacing(2);
    m_compareBar = BuildCompareBar();
    m_compareBar->setParent(plotsPage);
    plotsLayout->addWidget(m_compareBar);
    m_plots = new ViewerPlots(plotsPage);
    plotsLayout->addWidget(m_plots, 1);
    m_tabs->addTab(plotsPage, QStringLiteral("Plots"));
    m_heat = new HeatMapTab(m_tabs);
    m_tabs->addTab(m_heat, QStringLiteral("Heat map"));
    m_dyno = new ViewerDyno(m_tabs);
    m_tabs->addTab(m_dyno, QStringLiteral("Dyno"));

    m_side = new ViewerSide(this);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("ViewerSplit"));
    split->addWidget(m_tabs);
    split->addWidget(m_side);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    split->setSizes({880, 320});
    setCentralWidget(FitToRoom(split, room));

    auto* bar = addToolBar(QStringLiteral("Range"));
    bar->setObjectName(QStringLiteral("ViewerToolBar"));
    bar->setMovable(false);
    m_playRange = new QPushButton(QStringLiteral("Play range"), bar);
    m_playRange->setObjectName(QStringLiteral("PlayRange"));
    m_playRange->setToolTip(QStringLiteral("Play the selected records through the dashboard and "
                                           "the scopes (Shift-drag across the plots to select)"));
    m_exportRange = new QPushButton(QStringLiteral("Export range…"), bar);
    m_exportRange->setObjectName(QStringLiteral("ExportRange"));
    m_exportRange->setToolTip(QStringLiteral("Write the selected records as CSV"));
    m_follow = new QCheckBox(QStringLiteral("Follow"), bar);
    m_follow->setObjectName(QStringLiteral("Follow"));
    m_follow->setToolTip(QStringLiteral("Keep reading the log as it is recorded and show its end"));
    bar->addWidget(m_playRange);
    bar->addWidget(m_exportRange);
    bar->addSeparator();
    bar->addWidget(m_follow);
    connect(m_playRange, &QPushButton::clicked, this, &LogViewer::PlayRange);
    connect(m_exportRange, &QPushButton::clicked, this, &LogViewer::ExportRange);
    connect(m_follow, &QCheckBox::toggled, this, &LogViewer::SetFollow);

    m_status = new QLabel(this);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("LoadProgress"));
    m_progress->setMaximumWidth(260);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);

    m_followTimer.setInterval(250);
    connect(&m_followTimer, &QTimer::timeout, this, &LogViewer::FollowTick);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (!m_job) return;
        const std::int64_t total = m_job->total, done = m_job->done;
        m_progress->setValue(
            total > 0 ? static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)) : 0);
    });

    connect(m_plots, &ViewerPlots::cursorMoved, this, &LogViewer::UpdateCursorValues);
    connect(m_plots, &ViewerPlots::selectionChanged, this, &LogViewer::UpdateSelection);
    connect(m_plots, &ViewerPlots::addMarkerRequested, this, [this](double key) { AddMarkerAt(key); });
    // The list shows the markers in the order of the log; these are their
    // places in the sidecar's order.
    auto marker = [this](int listIndex) {
        return listIndex >= 0 && listIndex < static_cast<int>(m_markerOrder.size())
                   ? m_markerOrder[static_cast<std::size_t>(listIndex)]
                   : -1;
    };
    connect(m_side, &ViewerSide::markerActivated, this,
            [this, marker](int index) { GoToMarker(marker(index)); });
    connect(m_side, &ViewerSide::markerRenamed, this,
            [this, marker](int index, const QString& name) {
                // Queued: the list is rebuilt, and its editor must have closed.
                QTimer::singleShot(0, this, [this, id = marker(index), name] {
                    RenameMarker(id, name);
                });
            });
    connect(m_side, &ViewerSide::addClicked, this, [this] {
        if (AddMarkerAt(m_plots->CursorKey())) m_side->EditMarker(m_side->CurrentMarker());
    });
    connect(m_side, &ViewerSide::deleteClicked, this,
            [this, marker](int index) { DeleteMarker(marker(index)); });
    connect(m_side, &ViewerSide::channelActivated, this, [this](int id) {
        auto plots = m_plots->Plots();
        plots.push_back(PlotChannels{id, -1});
        m_plots->SetPlots(plots);
    });

    BuildMenus();
    BuildTools();
    m_plots->SetPlots({});
    UpdateTitle();
    UpdateSelection();
}

LogViewer::~LogViewer() {
    // A worker still running finishes on its own copies, sooner for this.
    if (m_job) m_job->cancel = true;
    // The dock and the tabs tell of their hiding as the window's widgets go,
    // after this part of the window is gone: they must not reach it.
    if (m_toolDock) m_toolDock->disconnect(this);
    if (m_toolTabs) m_toolTabs->disconnect(this);
}

void LogViewer::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open log…"), QKeySequence::Open, this,
                    [this] { ChooseFile(false); });
    file->addAction(QStringLiteral("Open a second log to &compare…"), this,
                    [this] { ChooseFile(true); });
    file->addAction(QStringLiteral("Close the second log"), this, &LogViewer::CloseSecond);
    file->addSeparator();
    file->addAction(QStringLiteral("&Play range"), this, &LogViewer::PlayRange);
    file->addAction(QStringLiteral("&Export range…"), this, &LogViewer::ExportRange);
    file->addAction(QStringLiteral("&Drive report…"), this, [this] {
        StartDriveReport(this, m_table, m_host.CarName(), m_host.CarDescription());
    });
    file->addSeparator();
    file->addAction(QStringLiteral("&Close"), QKeySequence::Close, this, &QWidget::close);

    // The zoom keys belong to the plots: in the heat map's boxes, "0" and
    // "-" are typed as they are.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    auto zoom = [&](const QString& text, QList<QKeySequence> keys, auto slot) {
        QAction* a = view->addAction(text, m_plots, slot);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_plots->addAction(a);
    };
    zoom(QStringLiteral("Zoom &in"), {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)},
         &ViewerPlots::ZoomIn);
    zoom(QStringLiteral("Zoom &out"), {QKeySequence(Qt::Key_Minus)}, &ViewerPlots::ZoomOut);
    zoom(QStringLiteral("&Fit all"), {QKeySequence(Qt::Key_0), QKeySequence(Qt::Key_Home)},
         &ViewerPlots::FitAll);
    view->addSeparator();
    // Which kinds of markers are shown: hundreds of alarms can hide a few
    // markers of the user's.
    QMenu* kinds = view->addMenu(QStringLiteral("&Markers"));
    kinds->setObjectName(QStringLiteral("MarkerKinds"));
    connect(kinds, &QMenu::aboutToShow, this, [this, kinds] { FillMarkerKinds(kinds); });
    view->addSeparator();
    QAction* follow = view->addAction(QStringLiteral("Follow the recording"));
    follow->setCheckable(true);
    connect(follow, &QAction::toggled, m_follow, &QCheckBox::setChecked);
    connect(m_follow, &QCheckBox::toggled, follow, &QAction::setChecked);
    view->addSeparator();
    QAction* dashboard =
        view->addAction(QStringLiteral("&Dashboard"), this, [this] { m_host.OpenDashboard(); });
    dashboard->setObjectName(QStringLiteral("ViewerDashboard"));
}

QWidget* LogViewer::BuildCompareBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("CompareBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 2);
    m_compareName = new QLabel(bar);
    m_alignWhat = new QComboBox(bar);
    m_alignWhat->setObjectName(QStringLiteral("AlignWhat"));
    m_alignTo = new QComboBox(bar);
    m_alignTo->setObjectName(QStringLiteral("AlignTo"));
    auto* align = new QPushButton(QStringLiteral("Align"), bar);
    m_offset = new QDoubleSpinBox(bar);
    m_offset->setObjectName(QStringLiteral("SecondOffset"));
    m_offset->setRange(-1e9, 1e9);
    m_offset->setDecimals(3);
    m_offset->setPrefix(QStringLiteral("shift "));
    m_offset->setToolTip(QStringLiteral("How far the second log is moved along the axis"));
    auto* close = new QPushButton(QStringLiteral("Close second log"), bar);
    layout->addWidget(m_compareName);
    layout->addSpacing(12);
    layout->addWidget(new QLabel(QStringLiteral("Align"), bar));
    layout->addWidget(m_alignWhat);
    layout->addWidget(new QLabel(QStringLiteral("with"), bar));
    layout->addWidget(m_alignTo);
    layout->addWidget(align);
    layout->addWidget(m_offset);
    layout->addStretch(1);
    layout->addWidget(close);
    connect(align, &QPushButton::clicked, this, [this] {
        AlignSecond(m_alignWhat->currentIndex() - 1, m_alignTo->currentIndex() - 1);
    });
    connect(m_offset, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (v != m_secondOffset) SetSecondOffset(v);
    });
    connect(close, &QPushButton::clicked, this, &LogViewer::CloseSecond);
    bar->hide();
    return bar;
}

int LogViewer::AddTab(QWidget* page, const QString& title) {
    return m_tabs->addTab(page, title);
}

void LogViewer::ShowMessage(const QString& text, bool warning) {
    if (showMessage) {
        showMessage(text);
        return;
    }
    OpenMessage(this, warning ? QMessageBox::Warning : QMessageBox::Information,
                QStringLiteral("Log Viewer"), text);
}

void LogViewer::UpdateTitle() {
    QString title = QStringLiteral("Log Viewer");
    if (m_table) title += QStringLiteral(" – ") + QFileInfo(m_table->Path()).fileName();
    if (m_second)
        title += QStringLiteral(" and ") + QFileInfo(m_second->Path()).fileName();
    setWindowTitle(title);
}

void LogViewer::UpdatePlotLogs() {
    PlottedLog main, second;
    if (m_table) {
        main.table = m_table.get();
        main.keys = &m_table->Axis();
        main.name = QFileInfo(m_table->Path()).fileName();
    }
    if (m_second) {
        second.table = m_second.get();
        second.keys = &m_secondKeys;
        second.offset = m_secondOffset;
        second.name = QFileInfo(m_second->Path()).fileName();
    }
    m_plots->SetLogs(main, second);
    m_plots->SetKeyLabel(m_table && m_table->Base() == TimeBase::Records
                             ? QStringLiteral("Record")
                             : QStringLiteral("Seconds"));
}

double LogViewer::KeyOfRecord(const LogTable& table, std::int64_t record) const {
    if (table.Rows() == 0) return 0;
    const std::size_t row = table.RowOfRecord(record);
    if (&table == m_second.get())
        return row < m_secondKeys.size() ? m_secondKeys[row] + m_secondOffset : 0;
    return table.Axis()[row];
}

double LogViewer::MarkerKey(const LogTable& table, int index) const {
    const auto& markers = table.Markers();
    if (index < 0 || index >= static_cast<int>(markers.size())) return 0;
    return KeyOfRecord(table, markers[static_cast<std::size_t>(index)].record);
}

void LogViewer::UpdateMarkers() {
    std::vector<PlotMarker> lines;
    std::vector<ViewerSide::MarkerEntry> entries;
    m_markerOrder.clear();
    if (m_table) {
        const auto& markers = m_table->Markers();
        for (int i = 0; i < static_cast<int>(markers.size()); ++i) m_markerOrder.push_back(i);
        std::stable_sort(m_markerOrder.begin(), m_markerOrder.end(), [&](int a, int b) {
            return markers[static_cast<std::size_t>(a)].record <
                   markers[static_cast<std::size_t>(b)].record;
        });
        for (int i : m_markerOrder) {
            const SidecarMarker& m = markers[static_cast<std::size_t>(i)];
            const double key = MarkerKey(*m_table, i);
            lines.push_back({key, m.name, m.kind, false});
            entries.push_back({KeyText(*m_table, key), m.name, m.kind});
        }
    }
    if (m_second)
        for (int i = 0; i < static_cast<int>(m_second->Markers().size()); ++i) {
            const SidecarMarker& m = m_second->Markers()[static_cast<std::size_t>(i)];
            lines.push_back({MarkerKey(*m_second, i), m.name, m.kind, true});
        }
    if (m_cursorA) lines.push_back({*m_cursorA, QStringLiteral("A"), QStringLiteral("cursor"), false});
    if (m_cursorB) lines.push_back({*m_cursorB, QStringLiteral("B"), QStringLiteral("cursor"), false});
    m_plots->SetMarkers(std::move(lines));
    m_side->SetMarkers(entries);
    UpdateCompareChoices();
}

void LogViewer::RetimeMarkers() {
    // Only markers on or after the first row whose key changed can have
    // moved; they are at the end of the list, in the log's order.
    const std::size_t from = m_table->RetimedFrom();
    if (from >= m_table->Rows()) return;
    const auto& markers = m_table->Markers();
    for (std::size_t i = m_markerOrder.size(); i-- > 0;) {
        const int index = m_markerOrder[i];
        if (m_table->RowOfRecord(markers[static_cast<std::size_t>(index)].record) < from) break;
        const double key = MarkerKey(*m_table, index);
        m_plots->SetMarkerKey(i, key);
        m_side->SetMarkerAt(static_cast<int>(i), KeyText(*m_table, key));
    }
}

void LogViewer::FillMarkerKinds(QMenu* menu) {
    menu->clear();
    QStringList kinds = {QStringLiteral("user"), QStringLiteral("alarm")};
    for (const LogTable* t : {m_table.get(), m_second.get()})
        if (t)
            for (const SidecarMarker& m : t->Markers())
                if (!kinds.contains(m.kind)) kinds << m.kind;
    for (const QString& kind : m_plots->HiddenKinds())
        if (!kinds.contains(kind)) kinds << kind;
    for (const QString& kind : kinds) {
        QAction* show = menu->addAction(QStringLiteral("%1 markers").arg(kind));
        show->setCheckable(true);
        show->setChecked(!m_plots->HiddenKinds().contains(kind));
        connect(show, &QAction::toggled, this, [this, kind](bool on) {
            QSet<QString> hidden = m_plots->HiddenKinds();
            if (on) hidden.remove(kind);
            else hidden.insert(kind);
            m_plots->SetHiddenKinds(hidden);
            m_side->SetHiddenKinds(hidden);
        });
    }
}

void LogViewer::UpdateCompareChoices() {
    m_compareBar->setVisible(m_second != nullptr);
    if (!m_second) return;
    m_compareName->setText(
        QStringLiteral("<span style='color:#195abe'>■</span> %1 &nbsp; "
                       "<span style='color:#eb7800'>■</span> %2")
            .arg(m_table ? QFileInfo(m_table->Path()).fileName().toHtmlEscaped() : QString(),
                 QFileInfo(m_second->Path()).fileName().toHtmlEscaped()));
    const int what = m_alignWhat->currentIndex(), to = m_alignTo->currentIndex();
    m_alignWhat->clear();
    m_alignWhat->addItem(QStringLiteral("its start"));
    for (const SidecarMarker& m : m_second->Markers())
        m_alignWhat->addItem(QStringLiteral("its marker “%1”").arg(m.name));
    m_alignTo->clear();
    m_alignTo->addItem(QStringLiteral("the cursor"));
    if (m_table)
        for (const SidecarMarker& m : m_table->Markers())
            m_alignTo->addItem(QStringLiteral("marker “%1”").arg(m.name));
    m_alignWhat->setCurrentIndex(std::clamp(what, 0, m_alignWhat->count() - 1));
    m_alignTo->setCurrentIndex(std::clamp(to, 0, m_alignTo->count() - 1));
}

void LogViewer::UpdateCursorValues(double key) {
    std::size_t row = 0, secondRow = 0;
    bool secondIn = false;
    if (m_table) row = m_table->RowAtAxis(key);
    if (m_second && !m_secondKeys.empty()) {
        const double k = key - m_secondOffset;
        auto it = std::lower_bound(m_secondKeys.begin(), m_secondKeys.end(), k);
        if (it == m_secondKeys.end()) --it;
        if (it != m_secondKeys.begin() && k - *(it - 1) < *it - k) --it;
        secondRow = static_cast<std::size_t>(it - m_secondKeys.begin());
        secondIn = k >= m_secondKeys.front() && k <= m_secondKeys.back();
    }
    m_side->ShowValues(m_table.get(), row, m_second.get(), secondRow, secondIn);
}

bool LogViewer::SelectedRecords(std::int64_t& first, std::int64_t& last) const {
    if (!m_table || !m_plots->HasSelection()) return false;
    const auto& axis = m_table->Axis();
    const auto lo = std::lower_bound(axis.begin(), axis.end(), m_plots->SelectionLo());
    const auto hi = std::upper_bound(axis.begin(), axis.end(), m_plots->SelectionHi());
    if (lo >= hi) return false;
    first = m_table->Records()[static_cast<std::size_t>(lo - axis.begin())];
    last = m_table->Records()[static_cast<std::size_t>(hi - axis.begin()) - 1];
    return true;
}

void LogViewer::UpdateSelection() {
    std::int64_t first = 0, last = 0;
    const bool has = SelectedRecords(first, last);
    m_playRange->setEnabled(has);
    m_exportRange->setEnabled(has);
    QString text;
    if (m_table) {
        text = QStringLiteral("%1: %2 records").arg(QFileInfo(m_table->Path()).fileName())
                   .arg(m_table->Rows());
        if (m_table->Base() == TimeBase::Records)
            text += QStringLiteral(", numbered (no record times)");
        if (const std::size_t damaged = m_table->DamagedRows().size())
            text += QStringLiteral(", %1 damaged records shown as gaps").arg(damaged);
        if (has) {
            // Without record times the axis counts records: the span in
            // seconds is the side table's estimate, and says so.
            bool loEstimated = false, hiEstimated = false;
            const double seconds =
                m_table->SecondsAt(m_table->RowOfRecord(last), &hiEstimated) -
                m_table->SecondsAt(m_table->RowOfRecord(first), &loEstimated);
            const QString span =
                m_table->Base() == TimeBase::Records
                    ? QStringLiteral("%1 records, %2 s estimated")
                          .arg(last - first + 1)
                          .arg(seconds, 0, 'f', 2)
                    : QStringLiteral("%1 s%2")
                          .arg(m_plots->SelectionHi() - m_plots->SelectionLo(), 0, 'f', 2)
                          .arg(loEstimated || hiEstimated ? QStringLiteral(" estimated")
                                                          : QString());
            text += QStringLiteral("   Selected: records %1 to %2 (%3)")
                        .arg(first)
                        .arg(last)
                        .arg(span);
        }
    } else {
        text = QStringLiteral("Open a log with File → Open, or drop a log file here.");
    }
    m_status->setText(text);
    if (m_table && has) {
        const auto& axis = m_table->Axis();
        const auto lo = std::lower_bound(axis.begin(), axis.end(), m_plots->SelectionLo());
        const auto hi = std::upper_bound(axis.begin(), axis.end(), m_plots->SelectionHi());
        m_heat->SetSelection(true, static_cast<std::size_t>(lo - axis.begin()),
                             static_cast<std::size_t>(hi - axis.begin()));
    } else {
        m_heat->SetSelection(false, 0, 0);
    }
    m_toolsTimer.start();
}

bool LogViewer::AddMarkerAt(double key, const QString& name) {
    if (!m_table || m_table->Rows() == 0) return false;
    if (!m_table->MarkersEditable()) {
        ShowMessage(QStringLiteral("Markers cannot be added: the time file beside this log "
                                   "belongs to another log."),
                    true);
        return false;
    }
    const std::int64_t record = m_table->Records()[m_table->RowAtAxis(key)];
    const QString text =
        name.isEmpty() ? QStringLiteral("Marker %1").arg(m_table->Markers().size() + 1) : name;
    QString error;
    if (!SidecarAddMarker(m_table->Path(), record, QStringLiteral("user"), text, &error)) {
        ShowMessage(QStringLiteral("The marker could not be saved.\n%1").arg(error), true);
        return false;
    }
    m_table->ReloadMarkers();
    UpdateMarkers();
    const int added = static_cast<int>(m_table->Markers().size()) - 1;
    const auto at = std::find(m_markerOrder.begin(), m_markerOrder.end(), added);
    m_side->SelectMarker(static_cast<int>(at - m_markerOrder.begin()));
    return true;
}

bool LogViewer::RenameMarker(int index, const QString& name) {
    if (!m_table || index < 0 || index >= static_cast<int>(m_table->Markers().size()))
        return false;
    const SidecarMarker& m = m_table->Markers()[static_cast<std::size_t>(index)];
    const QString trimmed = name.simplified();
    bool ok = false;
    if (trimmed == m.name) {
        ok = true;
    } else if (!m_table->MarkersEditable()) {
        ShowMessage(QStringLiteral("Markers cannot be renamed: the time file beside this log "
                                   "belongs to another log."),
                    true);
    } else if (trimmed.isEmpty()) {
        ShowMessage(QStringLiteral("A marker needs a name."), true);
    } else {
        QString error;
        ok = SidecarRenameMarker(m_table->Path(), m.id, trimmed, &error);
        if (!ok) ShowMessage(QStringLiteral("The marker could not be renamed.\n%1").arg(error), true);
        m_table->ReloadMarkers();
    }
    // A refused name goes back to the one on file.
    UpdateMarkers();
    return ok;
}

bool LogViewer::DeleteMarker(int index) {
    if (!m_table || index < 0 || index >= static_cast<int>(m_table->Markers().size()))
        return false;
    if (!m_table->MarkersEditable()) {
        ShowMessage(QStringLiteral("Markers cannot be deleted: the time file beside this log "
                                   "belongs to another log."),
                    true);
        return false;
    }
    QString error;
    const int id = m_table->Markers()[static_cast<std::size_t>(index)].id;
    if (!SidecarDeleteMarker(m_table->Path(), id, &error)) {
        ShowMessage(QStringLiteral("The marker could not be deleted.\n%1").arg(error), true);
        return false;
    }
    m_table->ReloadMarkers();
    UpdateMarkers();
    return true;
}

void LogViewer::GoToMarker(int index) {
    if (!m_table || index < 0 || index >= static_cast<int>(m_table->Markers().size())) return;
    const double key = MarkerKey(*m_table, index);
    const double half = (m_plots->KeyHi() - m_plots->KeyLo()) / 2;
    m_plots->SetKeyRange(key - half, key + half);
    m_plots->SetCursorKey(key);
}

void LogViewer::AlignSecond(int secondMarker, int target) {
    if (!m_second || m_secondKeys.empty()) return;
    double point = m_secondKeys.front();
    if (secondMarker >= 0) point = MarkerKey(*m_second, secondMarker) - m_secondOffset;
    double to = m_plots->CursorKey();
    if (target >= 0 && m_table) {
        to = MarkerKey(*m_table, target);
    } else if (!m_plots->HasCursor()) {
        ShowMessage(QStringLiteral("Put the cursor on the plots where the second log is to "
                                   "line up, then align."));
        return;
    }
    SetSecondOffset(to - point);
}

void LogViewer::SetSecondOffset(double offset) {
    m_secondOffset = offset;
    {
        const QSignalBlocker block(m_offset);
        m_offset->setValue(offset);
    }
    UpdatePlotLogs();
    UpdateMarkers();
    m_plots->Redraw();
    UpdateCursorValues(m_plots->CursorKey());
}

void LogViewer::closeEvent(QCloseEvent* event) {
    // Whatever runs gives up; the window goes once it has returned.
    if (m_job) m_job->cancel = true;
    m_closed = true;
    m_followTimer.stop();
    event->accept();
    OperationEnded();
}

void LogViewer::OperationEnded() {
    if (m_closed && !Busy()) deleteLater();
}

void LogViewer::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void LogViewer::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    const QString path = urls.front().toLocalFile();
    // With Shift held, the file is opened beside the first to compare.
    const bool second = m_table && (event->modifiers() & Qt::ShiftModifier);
    event->acceptProposedAction();
    if (second) OpenSecond(path);
    else Open(path);
}

}  // namespace quarn
