// The log viewer's tools: math channels, event search, cursors A and B,
// statistics, the scatter and histogram tabs, limit lines and layouts.

#include <QDockWidget>
#include <QInputDialog>
#include <QMenuBar>
#include <QPointer>
#include <QTabWidget>

#include <algorithm>

#include "viewer/EventsPanel.h"
#include "viewer/FuelTab.h"
#include "viewer/HeatMapTab.h"
#include "viewer/HistogramTab.h"
#include "viewer/LimitLines.h"
#include "viewer/LogViewer.h"
#include "viewer/MathColumns.h"
#include "viewer/MathPanel.h"
#include "viewer/ScatterTab.h"
#include "viewer/StatisticsPanel.h"
#include "viewer/ViewerPlots.h"
#include "viewer/ViewerSide.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

// How long the tools wait for the selection or the view to settle: a drag
// across the plots moves them at every mouse event.
constexpr int kToolsSettleMs = 150;
// A followed log's math channels are evaluated again at most this often.
constexpr int kMathRefreshMs = 2000;

}  // namespace

void LogViewer::BuildTools() {
    m_layouts = std::make_unique<LayoutStore>(m_host.UserSettingsFile());
    m_toolDock = new QDockWidget(QStringLiteral("Tools"), this);
    m_toolDock->setObjectName(QStringLiteral("ToolDock"));
    m_toolTabs = new QTabWidget(m_toolDock);
    m_mathPanel = new MathPanel(m_toolTabs);
    m_events = new EventsPanel(m_toolTabs);
    m_statistics = new StatisticsPanel(m_toolTabs);
    m_toolTabs->addTab(m_mathPanel, QStringLiteral("Math channels"));
    m_toolTabs->addTab(m_events, QStringLiteral("Events"));
    m_toolTabs->addTab(m_statistics, QStringLiteral("Statistics"));
    m_toolDock->setWidget(m_toolTabs);
    addDockWidget(Qt::BottomDockWidgetArea, m_toolDock);
    m_toolDock->hide();

    m_scatter = new ScatterTab(m_tabs);
    m_tabs->addTab(m_scatter, QStringLiteral("Scatter"));
    m_histogram = new HistogramTab(m_tabs);
    m_tabs->addTab(m_histogram, QStringLiteral("Histogram"));
    m_fuel = new FuelTab(m_host.Vehicle(), m_host.CarName(), m_host.UserSettingsFile(), m_tabs);
    m_tabs->addTab(m_fuel, QStringLiteral("Fuel"));
    m_fuel->selectedRows = [this](std::size_t& first, std::size_t& last) {
        if (!m_plots->HasSelection()) return false;
        ToolRows(first, last);
        return true;
    };

    connect(m_mathPanel, &MathPanel::applied, this,
            [this](const std::vector<MathChannel>& channels) { SetMathChannels(channels); });
    connect(m_events, &EventsPanel::rowChosen, this, &LogViewer::GoToRow);
    connect(m_events, &EventsPanel::addMarkers, this,
            [this](const QString& what, const std::vector<EventStretch>& events) {
                if (!m_table || !m_table->MarkersEditable()) {
                    ShowMessage(QStringLiteral("Markers cannot be added: the time file beside "
                                               "this log belongs to another log."),
                                true);
                    return;
                }
                QString error;
                for (const EventStretch& e : events)
                    if (!SidecarAddMarker(m_table->Path(), m_table->Records()[e.firstRow],
                                          QStringLiteral("event"), what, &error)) {
                        ShowMessage(QStringLiteral("The markers could not be saved.\n%1").arg(error),
                                    true);
                        break;
                    }
                m_table->ReloadMarkers();
                UpdateMarkers();
            });
    connect(m_scatter, &ScatterTab::rowClicked, this, [this](std::size_t row) {
        GoToRow(row);
        m_tabs->setCurrentIndex(0);
    });
    connect(m_plots, &ViewerPlots::cursorPairRequested, this,
            [this](int which, std::optional<double> key) {
                if (which == 0) SetCursorA(key);
                else SetCursorB(key);
            });
    connect(m_plots, &ViewerPlots::keyRangeChanged, this, [this] { m_toolsTimer.start(); });
    connect(m_toolTabs, &QTabWidget::currentChanged, this, [this] { UpdateTools(); });
    connect(m_toolDock, &QDockWidget::visibilityChanged, this, [this] { UpdateTools(); });
    m_toolsTimer.setSingleShot(true);
    m_toolsTimer.setInterval(kToolsSettleMs);
    connect(&m_toolsTimer, &QTimer::timeout, this, &LogViewer::UpdateTools);
    m_mathRefresh.setSingleShot(true);
    m_mathRefresh.setInterval(kMathRefreshMs);
    connect(&m_mathRefresh, &QTimer::timeout, this, [this] { SetMathChannels(m_mathChannels); });

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->addAction(QStringLiteral("&Math channels…"), QKeySequence(Qt::CTRL | Qt::Key_M), this,
                     [this] { ShowTool(m_mathPanel); });
    tools->addAction(QStringLiteral("&Event search…"), QKeySequence::Find, this,
                     [this] { ShowTool(m_events); });
    tools->addAction(QStringLiteral("&Statistics…"), this, [this] { ShowTool(m_statistics); });
    tools->addSeparator();
    tools->addAction(QStringLiteral("Cursor &A at the cursor"), this,
                     [this] { SetCursorA(m_plots->CursorKey()); });
    tools->addAction(QStringLiteral("Cursor &B at the cursor"), this,
                     [this] { SetCursorB(m_plots->CursorKey()); });
    tools->addAction(QStringLiteral("Clear cursors A and B"), this, [this] {
        SetCursorA(std::nullopt);
        SetCursorB(std::nullopt);
    });

    QMenu* layouts = menuBar()->addMenu(QStringLiteral("&Layouts"));
    layouts->setObjectName(QStringLiteral("LayoutsMenu"));
    connect(layouts, &QMenu::aboutToShow, this, [this, layouts] {
        layouts->clear();
        layouts->addAction(QStringLiteral("&Save layout as…"), this, [this] {
            // Opened, not run: frames of a recording keep flowing meanwhile.
            auto* ask = new QInputDialog(this);
            ask->setAttribute(Qt::WA_DeleteOnClose);
            ask->setWindowTitle(QStringLiteral("Save layout"));
            ask->setLabelText(QStringLiteral("Name of the layout:"));
            connect(ask, &QInputDialog::textValueSelected, this, [this](const QString& text) {
                const QString name = text.simplified();
                if (name.isEmpty()) return;
                m_layouts->Save(CurrentLayout(name));
            });
            ask->open();
        });
        const QStringList names = m_layouts->Names();
        QMenu* apply = layouts->addMenu(QStringLiteral("&Apply"));
        QMenu* byDefault = layouts->addMenu(QStringLiteral("&Default for every log"));
        QMenu* remove = layouts->addMenu(QStringLiteral("D&elete"));
        const QString current = m_layouts->DefaultName();
        QAction* none = byDefault->addAction(QStringLiteral("None"), this,
                                             [this] { m_layouts->SetDefaultName({}); });
        none->setCheckable(true);
        none->setChecked(current.isEmpty());
        for (const QString& name : names) {
            apply->addAction(name, this, [this, name] {
                if (auto layout = m_layouts->Load(name)) ApplyLayout(*layout);
            });
            QAction* d = byDefault->addAction(name, this, [this, name] { m_layouts->SetDefaultName(name); });
            d->setCheckable(true);
            d->setChecked(name == current);
            remove->addAction(name, this, [this, name] { m_layouts->Remove(name); });
        }
        apply->setEnabled(!names.isEmpty());
        remove->setEnabled(!names.isEmpty());
    });
    UpdateLimitLines();
}

void LogViewer::SetLayoutStore(std::unique_ptr<LayoutStore> store) {
    m_layouts = std::move(store);
}

void LogViewer::ShowTool(QWidget* page) {
    m_toolDock->show();
    m_toolDock->raise();
    m_toolTabs->setCurrentWidget(page);
}

void LogViewer::SetMathChannels(std::vector<MathChannel> channels) {
    m_mathChannels = std::move(channels);
    // On the window thread: one formula over a million records takes tens
    // of milliseconds, the time of a click. Opening a log evaluates them on
    // the worker that reads it.
    std::vector<ExpressionError> errors;
    if (m_table) errors = ApplyMathChannels(*m_table, m_mathChannels);
    if (m_second) ApplyMathChannels(*m_second, m_mathChannels);
    if (!m_table) errors.assign(m_mathChannels.size(), {});
    MathEvaluated(errors);
    ChannelsChanged();
}

void LogViewer::MathEvaluated(const std::vector<ExpressionError>& errors) {
    m_mathErrors = errors;
    if (m_mathPanel->Channels().size() != m_mathChannels.size() ||
        m_mathPanel->Channels() != m_mathChannels)
        m_mathPanel->SetChannels(m_mathChannels);
    m_mathPanel->ShowErrors(errors);
}

void LogViewer::ChannelsChanged() {
    // A plot of a math channel that went away falls back to no channel.
    const int count = m_table ? m_table->ChannelCount() : static_cast<int>(ViewerChannels().size());
    auto plots = m_plots->Plots();
    for (PlotChannels& p : plots) {
        if (p.first >= count) p.first = 0;
        if (p.second >= count) p.second = -1;
    }
    m_plots->SetPlots(plots);
    m_heat->ChannelsChanged();
    m_events->ChannelsChanged();
    m_scatter->ChannelsChanged();
    m_histogram->ChannelsChanged();
    UpdateCursorValues(m_plots->CursorKey());
    UpdateTools();
}

void LogViewer::UpdateLimitLines() {
    std::vector<LimitLine> lines = AlarmLimitLines(m_host.AlarmLimits());
    for (const LimitLine& l : m_plots->LimitLines())
        if (l.User()) lines.push_back(l);
    m_plots->SetLimitLines(std::move(lines));
}

void LogViewer::SetCursorA(std::optional<double> key) {
    m_cursorA = key;
    UpdateCursorPair();
}

void LogViewer::SetCursorB(std::optional<double> key) {
    m_cursorB = key;
    UpdateCursorPair();
}

void LogViewer::UpdateCursorPair() {
    // Drawn as markers of their own kind, so the plots need no second
    // mechanism for lines across them.
    UpdateMarkers();
    std::optional<std::size_t> a, b;
    if (m_table && m_table->Rows()) {
        if (m_cursorA) a = m_table->RowAtAxis(*m_cursorA);
        if (m_cursorB) b = m_table->RowAtAxis(*m_cursorB);
    }
    m_side->ShowCursorPair(m_table.get(), a, b);
}

void LogViewer::ToolRows(std::size_t& first, std::size_t& last) const {
    first = last = 0;
    if (!m_table || m_table->Rows() == 0) return;
    const auto& axis = m_table->Axis();
    const double lo = m_plots->HasSelection() ? m_plots->SelectionLo() : m_plots->KeyLo();
    const double hi = m_plots->HasSelection() ? m_plots->SelectionHi() : m_plots->KeyHi();
    first = static_cast<std::size_t>(std::lower_bound(axis.begin(), axis.end(), lo) - axis.begin());
    last = static_cast<std::size_t>(std::upper_bound(axis.begin(), axis.end(), hi) - axis.begin());
    first = std::max(first, m_table->WarmUpRows());
    last = std::max(first, last);
}

void LogViewer::UpdateTools() {
    std::size_t first = 0, last = 0;
    ToolRows(first, last);
    const QString what = m_plots->HasSelection() ? QStringLiteral("the selection")
                                                 : QStringLiteral("the visible range");
    if (m_toolDock->isVisible() && m_toolTabs->currentWidget() == m_statistics)
        m_statistics->SetRows(first, last, what);
    m_scatter->SetRows(first, last);
    m_histogram->SetRows(first, last);
}

void LogViewer::GoToRow(std::size_t row) {
    if (!m_table || row >= m_table->Rows()) return;
    const double key = m_table->Axis()[row];
    const double half = (m_plots->KeyHi() - m_plots->KeyLo()) / 2;
    if (key < m_plots->KeyLo() || key > m_plots->KeyHi()) m_plots->SetKeyRange(key - half, key + half);
    m_plots->SetCursorKey(key);
}

ViewerLayout LogViewer::CurrentLayout(const QString& name) const {
    ViewerLayout layout;
    layout.name = name;
    const auto& channels = m_table ? m_table->Channels() : ViewerChannels();
    auto nameOf = [&](int id) {
        return id >= 0 && id < static_cast<int>(channels.size())
                   ? channels[static_cast<std::size_t>(id)].name
                   : QString();
    };
    for (const PlotChannels& p : m_plots->Plots()) layout.plots.push_back({nameOf(p.first), nameOf(p.second)});
    layout.math = m_mathChannels;
    layout.heatX = m_heat->xChannel()->currentText();
    layout.heatY = m_heat->yChannel()->currentText();
    layout.heatZ = m_heat->zChannel()->currentText();
    layout.heatWhere = m_heat->where()->text();
    layout.scatterX = m_scatter->xChannel()->currentText();
    layout.scatterY = m_scatter->yChannel()->currentText();
    layout.scatterZ = m_scatter->zChannel()->currentText();
    layout.scatterWhere = m_scatter->where()->text();
    for (const LimitLine& l : m_plots->LimitLines())
        if (l.User()) layout.lines.push_back({l.channel, l.value});
    return layout;
}

void LogViewer::ApplyLayout(const ViewerLayout& layout) {
    SetMathChannels(layout.math);
    QStringList missing;
    auto idOf = [&](const QString& name) {
        if (name.isEmpty()) return -1;
        const int id = m_table ? m_table->ChannelId(name) : ViewerChannelId(name);
        if (id < 0 && !missing.contains(name)) missing << name;
        return id;
    };
    std::vector<PlotChannels> plots;
    for (const ViewerLayout::Plot& p : layout.plots) {
        const int first = idOf(p.first);
        if (first >= 0) plots.push_back({first, idOf(p.second)});
    }
    if (!plots.empty()) m_plots->SetPlots(plots);
    m_heat->SetChannels(idOf(layout.heatX), idOf(layout.heatY), idOf(layout.heatZ));
    m_heat->SetWhere(layout.heatWhere);
    const int scatterZ = layout.scatterZ.startsWith(QLatin1Char('(')) ? -1 : idOf(layout.scatterZ);
    m_scatter->SetChannels(idOf(layout.scatterX), idOf(layout.scatterY), scatterZ);
    m_scatter->SetWhere(layout.scatterWhere);
    std::vector<LimitLine> lines;
    for (const LimitLine& l : m_plots->LimitLines())
        if (!l.User()) lines.push_back(l);
    for (const ViewerLayout::Line& l : layout.lines) lines.push_back(UserLine(l.channel, l.value));
    m_plots->SetLimitLines(std::move(lines));

    // Told, not refused: the rest of the layout is useful without them.
    QStringList problems;
    if (!missing.isEmpty())
        problems << QStringLiteral("This log has no channel called %1.").arg(missing.join(QStringLiteral(", ")));
    for (std::size_t i = 0; i < m_mathErrors.size() && i < m_mathChannels.size(); ++i)
        if (m_mathErrors[i].Failed())
            problems << QStringLiteral("Math channel %1: %2")
                            .arg(m_mathChannels[i].name, ErrorText(m_mathErrors[i]));
    if (!problems.isEmpty())
        ShowMessage(QStringLiteral("The layout \"%1\" was applied, but:\n").arg(layout.name) +
                        problems.join('\n'),
                    true);
}

}  // namespace quarn
