#include "viewer/ViewerPlots.h"

#include <QRubberBand>

#include <algorithm>
#include <cmath>
#include <limits>

#include "viewer/LogTable.h"

namespace quarn {
namespace {

// [log][channel]: the first log in blue and green, the second in orange and
// red, so a compared run stands apart whatever the channels.
const QColor kTraceColours[2][2] = {{QColor(25, 90, 190), QColor(20, 140, 70)},
                                    {QColor(235, 120, 0), QColor(200, 30, 60)}};
const QString kCursorLayer = QStringLiteral("cursor");
const QString kSelectionLayer = QStringLiteral("selection");
// The narrowest view: a key range below this says nothing more.
constexpr double kMinSpan = 1e-4;
// A replot of the whole stack holds the window thread, where the monitoring
// loop waits for its next frame: while following a recording, the replots
// take at most this share of the thread's time, however slow the drawing.
constexpr double kFollowShare = 0.01;
// And they come no faster than the follow tick reads the log.
constexpr int kFollowPaceMs = 250;

QString ChannelLabel(const LogTable* table, int id) {
    const auto& channels = table ? table->Channels() : ViewerChannels();
    if (id < 0 || id >= static_cast<int>(channels.size())) return {};
    const ViewerChannel& c = channels[static_cast<std::size_t>(id)];
    return QStringLiteral("%1 (%2)").arg(c.name, c.unit);
}

}  // namespace

ViewerPlots::ViewerPlots(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("ViewerPlots"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setNoAntialiasingOnDrag(true);
    setAntialiasedElements(QCP::aeNone);
    setNotAntialiasedElements(QCP::aeAll);
    // The cursor moves with every mouse event: it has a layer of its own,
    // redrawn alone over the buffered traces.
    addLayer(kSelectionLayer, layer(QStringLiteral("grid")), QCustomPlot::limAbove);
    addLayer(kCursorLayer, layer(QStringLiteral("legend")), QCustomPlot::limAbove);
    layer(kCursorLayer)->setMode(QCPLayer::lmBuffered);
    m_markerLines = new MarkerLayer(this, kSelectionLayer, MarkerLayer::Part::Lines);
    m_markerFlags = new MarkerLayer(this, QStringLiteral("legend"), MarkerLayer::Part::Flags);
    m_markerLines->Use(&m_markers, &m_hiddenKinds);
    m_markerFlags->Use(&m_markers, &m_hiddenKinds);
    plotLayout()->clear();
    plotLayout()->setRowSpacing(0);
    m_margins = new QCPMarginGroup(this);
    m_keyLabel = QStringLiteral("Seconds");
    m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_pace.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &ViewerPlots::PacedReplot);
    Build();
}

ViewerPlots::~ViewerPlots() = default;

void ViewerPlots::SetLogs(const PlottedLog& main, const PlottedLog& second) {
    const bool secondChanged = (m_logs[1].table != nullptr) != (second.table != nullptr);
    m_logs[0] = main;
    m_logs[1] = second;
    if (secondChanged) Build();
}

void ViewerPlots::SetKeyLabel(const QString& label) {
    m_keyLabel = label;
    if (!m_plots.empty()) m_plots.back().rect->axis(QCPAxis::atBottom)->setLabel(label);
}

void ViewerPlots::SetPlots(const std::vector<PlotChannels>& plots) {
    m_channels = plots;
    Build();
    Redraw();
    emit plotsChanged();
}

void ViewerPlots::SetMarkers(std::vector<PlotMarker> markers) {
    m_markers = std::move(markers);
    RequestReplot();
}

void ViewerPlots::SetMarkerKey(std::size_t index, double key) {
    if (index >= m_markers.size() || m_markers[index].key == key) return;
    m_markers[index].key = key;
    RequestReplot();
}

void ViewerPlots::SetHiddenKinds(const QSet<QString>& kinds) {
    m_hiddenKinds = kinds;
    replot(rpQueuedReplot);
}

QString ViewerPlots::MarkersNear(int x) const {
    constexpr double kNear = 4;
    if (m_plots.empty()) return {};
    const QCPAxis* key = m_plots.front().rect->axis(QCPAxis::atBottom);
    QStringList names;
    for (const PlotMarker& m : m_markers)
        if (!m_hiddenKinds.contains(m.kind) && m.key >= m_lo && m.key <= m_hi &&
            std::abs(key->coordToPixel(m.key) - x) <= kNear)
            names << m.label;
    return names.join('\n');
}

QCPGraph* ViewerPlots::AddTrace(Plot& plot, int log, int slot, int id) {
    QCPAxis* value = plot.rect->axis(slot == 0 ? QCPAxis::atLeft : QCPAxis::atRight);
    QCPGraph* graph = addGraph(plot.rect->axis(QCPAxis::atBottom), value);
    QPen pen(kTraceColours[log][slot]);
    pen.setWidthF(1);
    graph->setPen(pen);
    // The envelope holds at most two points per pixel column already.
    graph->setAdaptiveSampling(false);
    graph->setName(ChannelLabel(m_logs[0].table, id));
    graph->removeFromLegend();
    // The second log's traces share the names; the colours tell the logs
    // apart, with their key above the plots.
    if (log == 0) graph->addToLegend(plot.legend);
    return graph;
}

void ViewerPlots::Build() {
    clearItems();
    clearGraphs();
    plotLayout()->clear();
    m_plots.clear();
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    const bool two = m_logs[1].table != nullptr;
    const std::size_t count = std::max<std::size_t>(m_channels.size(), 1);
    m_plots.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        Plot& p = m_plots[i];
        p.rect = new QCPAxisRect(this);
        plotLayout()->addElement(static_cast<int>(i), 0, p.rect);
        p.rect->setMarginGroup(QCP::msLeft | QCP::msRight, m_margins);
        p.rect->setAutoMargins(QCP::msLeft | QCP::msRight |
                               (i + 1 == count ? QCP::msBottom : QCP::msNone));
        p.rect->setMargins(QMargins(0, 6, 0, 2));
        QCPAxis* key = p.rect->axis(QCPAxis::atBottom);
        key->setRange(m_lo, m_hi);
        key->setTickLabels(i + 1 == count);
        if (i + 1 == count) key->setLabel(m_keyLabel);
        key->setTickLabelFont(small);
        for (QCPAxis* axis : {p.rect->axis(QCPAxis::atLeft), p.rect->axis(QCPAxis::atRight)}) {
            axis->setTickLabelFont(small);
            axis->setLabelFont(small);
            axis->setLabelPadding(2);
            axis->ticker()->setTickCount(3);
        }
        p.legend = new QCPLegend;
        p.rect->insetLayout()->addElement(p.legend, Qt::AlignTop | Qt::AlignLeft);
        p.legend->setLayer(QStringLiteral("legend"));
        p.legend->setFont(small);
        p.legend->setBrush(QColor(255, 255, 255, 210));
        p.legend->setBorderPen(QPen(QColor(180, 180, 180)));
        p.legend->setRowSpacing(-3);
        p.legend->setIconSize(14, 6);
        p.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        if (i >= m_channels.size()) continue;
        const PlotChannels& c = m_channels[i];
        for (int slot = 0; slot < 2; ++slot) {
            const int id = slot == 0 ? c.first : c.second;
            QCPAxis* value = p.rect->axis(slot == 0 ? QCPAxis::atLeft : QCPAxis::atRight);
            if (id < 0) continue;
            value->setVisible(true);
            value->setLabel(ChannelLabel(m_logs[0].table, id));
            const QColor colour = kTraceColours[0][slot];
            value->setLabelColor(colour);
            value->setTickLabelColor(colour);
            for (int log = 0; log < (two ? 2 : 1); ++log) p.trace[log][slot] = AddTrace(p, log, slot, id);
            AddLimitLines(p, slot, id);
        }
        p.legend->setVisible(p.legend->itemCount() > 0);
        p.cursor = new QCPItemStraightLine(this);
        p.selection = new QCPItemRect(this);
        p.cursor->setLayer(kCursorLayer);
        p.selection->setLayer(kSelectionLayer);
        p.cursor->setPen(QPen(QColor(90, 90, 90), 1, Qt::SolidLine));
        p.selection->setPen(QPen(QColor(120, 150, 210)));
        p.selection->setBrush(QColor(150, 180, 240, 70));
        for (QCPAbstractItem* item : {static_cast<QCPAbstractItem*>(p.cursor),
                                      static_cast<QCPAbstractItem*>(p.selection)}) {
            item->setClipAxisRect(p.rect);
            item->setSelectable(false);
            for (QCPItemPosition* pos : item->positions()) {
                pos->setAxes(key, p.rect->axis(QCPAxis::atLeft));
                pos->setAxisRect(p.rect);
                pos->setTypeX(QCPItemPosition::ptPlotCoords);
                pos->setTypeY(QCPItemPosition::ptAxisRectRatio);
            }
        }
        p.selection->topLeft->setCoords(0, 0);
        p.selection->bottomRight->setCoords(0, 1);
        AddWarmUpBands(p);
    }
    UpdateCursor();
    UpdateSelection();
    UpdateMarkers();
}

void ViewerPlots::AddWarmUpBands(Plot& p) {
    // The first records of a log still carry the running averages' start-up
    // values: the analyses leave them out, and a grey band says so here.
    for (const PlottedLog& log : m_logs) {
        if (!log.table || !log.keys || log.keys->empty()) continue;
        const std::size_t rows = std::min(log.table->WarmUpRows(), log.keys->size());
        if (rows == 0) continue;
        const double from = log.keys->front() + log.offset;
        const double to = (*log.keys)[std::min(rows, log.keys->size() - 1)] + log.offset;
        auto* band = new QCPItemRect(this);
        band->setLayer(kSelectionLayer);
        band->setClipAxisRect(p.rect);
        band->setSelectable(false);
        band->setPen(Qt::NoPen);
        band->setBrush(QColor(120, 120, 120, 60));
        band->setObjectName(QStringLiteral("warmUpBand"));
        for (QCPItemPosition* pos : band->positions()) {
            pos->setAxes(p.rect->axis(QCPAxis::atBottom), p.rect->axis(QCPAxis::atLeft));
            pos->setAxisRect(p.rect);
            pos->setTypeX(QCPItemPosition::ptPlotCoords);
            pos->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        band->topLeft->setCoords(from, 0);
        band->bottomRight->setCoords(to, 1);
    }
}

int ViewerPlots::PlotWidth() const {
    const int w = m_plots.empty() ? 0 : m_plots.front().rect->width();
    return w > 10 ? w : std::max(width() - 120, 10);
}

void ViewerPlots::Fill(QCPGraph* graph, const PlottedLog& log, int channel, int columns,
                       double& lo, double& hi) {
    m_points.clear();
    if (log.table && log.keys && channel >= 0 && channel < log.table->ChannelCount()) {
        MinMaxEnvelope(*log.keys, log.table->Column(channel), m_lo - log.offset,
                       m_hi - log.offset, columns, m_envelope, &log.table->Index(channel));
        m_points.resize(static_cast<qsizetype>(m_envelope.x.size()));
        for (std::size_t i = 0; i < m_envelope.x.size(); ++i) {
            const double y = m_envelope.y[i];
            m_points[static_cast<qsizetype>(i)] = QCPGraphData(m_envelope.x[i] + log.offset, y);
            if (std::isfinite(y)) {
                lo = std::min(lo, y);
                hi = std::max(hi, y);
            }
        }
    }
    graph->data()->set(m_points, true);
}

void ViewerPlots::UpdateTraces() {
    const int columns = PlotWidth();
    for (std::size_t i = 0; i < m_plots.size() && i < m_channels.size(); ++i) {
        Plot& p = m_plots[i];
        p.rect->axis(QCPAxis::atBottom)->setRange(m_lo, m_hi);
        for (int slot = 0; slot < 2; ++slot) {
            const int id = slot == 0 ? m_channels[i].first : m_channels[i].second;
            double lo = std::numeric_limits<double>::infinity();
            double hi = -lo;
            for (int log = 0; log < 2; ++log)
                if (p.trace[log][slot]) Fill(p.trace[log][slot], m_logs[log], id, columns, lo, hi);
            if (id < 0) continue;
            // Each value axis spans what its traces show in the view.
            if (!(hi >= lo)) lo = 0, hi = 1;
            const double pad = hi > lo ? (hi - lo) * 0.06 : std::max(std::abs(hi) * 0.05, 0.5);
            p.rect->axis(slot == 0 ? QCPAxis::atLeft : QCPAxis::atRight)
                ->setRange(lo - pad, hi + pad);
        }
    }
    if (m_plots.size() > m_channels.size())
        m_plots.back().rect->axis(QCPAxis::atBottom)->setRange(m_lo, m_hi);
}

void ViewerPlots::Redraw() {
    m_pace.stop();
    m_replotWanted = false;
    UpdateTraces();
    replot();
}

void ViewerPlots::RequestReplot() {
    m_replotWanted = true;
    // Hidden plots are drawn when shown (showEvent).
    if (!isVisible() || m_pace.isActive()) return;
    const double gapMs = std::max<double>(kFollowPaceMs, m_replotMs / kFollowShare);
    const double sinceMs =
        m_sinceReplot.isValid() ? static_cast<double>(m_sinceReplot.elapsed()) : gapMs;
    m_pace.start(static_cast<int>(std::max(0.0, gapMs - sinceMs)));
}

void ViewerPlots::PacedReplot() {
    if (!m_replotWanted || !isVisible()) return;
    QElapsedTimer cost;
    cost.start();
    Redraw();
    m_replotMs = static_cast<double>(cost.nsecsElapsed()) / 1e6;
    m_sinceReplot.start();
}

int ViewerPlots::TracePoints(std::size_t plot, bool secondChannel, bool secondLog) const {
    if (plot >= m_plots.size()) return 0;
    const QCPGraph* g = m_plots[plot].trace[secondLog ? 1 : 0][secondChannel ? 1 : 0];
    return g ? g->dataCount() : 0;
}

bool ViewerPlots::DataExtent(double& lo, double& hi) const {
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    for (const PlottedLog& log : m_logs) {
        if (!log.table || !log.keys || log.keys->empty()) continue;
        lo = std::min(lo, log.keys->front() + log.offset);
        hi = std::max(hi, log.keys->back() + log.offset);
    }
    return hi >= lo;
}

void ViewerPlots::SetKeyRange(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return;
    if (hi < lo) std::swap(lo, hi);
    if (hi - lo < kMinSpan) {
        const double mid = (lo + hi) / 2;
        lo = mid - kMinSpan / 2;
        hi = mid + kMinSpan / 2;
    }
    MoveView(lo, hi);
    Redraw();
    emit keyRangeChanged(m_lo, m_hi);
}

void ViewerPlots::MoveView(double lo, double hi) {
    m_lo = lo;
    m_hi = hi;
    double dataLo = 0, dataHi = 0;
    m_atEnd = !DataExtent(dataLo, dataHi) || m_hi >= dataHi;
}

void ViewerPlots::FitAll() {
    double lo = 0, hi = 1;
    if (!DataExtent(lo, hi)) lo = 0, hi = 1;
    if (hi <= lo) hi = lo + 1;
    SetKeyRange(lo, hi);
}

void ViewerPlots::ZoomBy(double factor, double around) {
    if (!std::isfinite(around)) around = (m_lo + m_hi) / 2;
    // Zooming out stops at the whole log.
    double lo = 0, hi = 0;
    if (factor > 1 && DataExtent(lo, hi) && (m_hi - m_lo) * factor >= hi - lo) {
        FitAll();
        return;
    }
    SetKeyRange(around - (around - m_lo) * factor, around + (m_hi - around) * factor);
}

void ViewerPlots::ZoomIn() {
    ZoomBy(0.5, m_hasCursor && m_cursor >= m_lo && m_cursor <= m_hi ? m_cursor
                                                                      : (m_lo + m_hi) / 2);
}

void ViewerPlots::ZoomOut() {
    ZoomBy(2, m_hasCursor && m_cursor >= m_lo && m_cursor <= m_hi ? m_cursor : (m_lo + m_hi) / 2);
}

void ViewerPlots::PanBy(double fraction) {
    const double shift = (m_hi - m_lo) * fraction;
    SetKeyRange(m_lo + shift, m_hi + shift);
}

void ViewerPlots::DataGrew() {
    double lo = 0, hi = 0;
    if (!DataExtent(lo, hi)) return;
    // A view that ended before the old end shows none of the new rows: its
    // traces, which run on to the first row past the view, stay as they are.
    if (!m_atEnd) return;
    const double span = m_hi - m_lo;
    // A view of the whole log stays the whole log; a zoomed one keeps its
    // width and slides along with the newest rows.
    if (m_lo <= lo) MoveView(lo, std::max(hi, lo + span));
    else MoveView(hi - span * 0.95, hi + span * 0.05);
    RequestReplot();
    emit keyRangeChanged(m_lo, m_hi);
}

void ViewerPlots::SetCursorKey(double key) {
    m_cursor = key;
    m_hasCursor = true;
    UpdateCursor();
    layer(kCursorLayer)->replot();
    emit cursorMoved(key);
}

void ViewerPlots::UpdateCursor() {
    for (Plot& p : m_plots) {
        if (!p.cursor) continue;
        p.cursor->setVisible(m_hasCursor);
        p.cursor->point1->setCoords(m_cursor, 0);
        p.cursor->point2->setCoords(m_cursor, 1);
    }
}

void ViewerPlots::SetSelection(double a, double b) {
    m_selA = a;
    m_selB = b;
    m_hasSelection = true;
    UpdateSelection();
    replot(rpQueuedReplot);
    emit selectionChanged();
}

void ViewerPlots::ClearSelection() {
    if (!m_hasSelection) return;
    m_hasSelection = false;
    UpdateSelection();
    replot(rpQueuedReplot);
    emit selectionChanged();
}

void ViewerPlots::UpdateSelection() {
    for (Plot& p : m_plots) {
        if (!p.selection) continue;
        p.selection->setVisible(m_hasSelection);
        p.selection->topLeft->setCoords(SelectionLo(), 0);
        p.selection->bottomRight->setCoords(SelectionHi(), 1);
    }
}

void ViewerPlots::UpdateMarkers() {
    std::vector<QCPAxisRect*> rects;
    for (const Plot& p : m_plots) rects.push_back(p.rect);
    m_markerLines->SetRects(rects);
    m_markerFlags->SetRects(std::move(rects));
}

double ViewerPlots::KeyAtPixel(double x) const {
    if (m_plots.empty()) return m_lo;
    return m_plots.front().rect->axis(QCPAxis::atBottom)->pixelToCoord(x);
}

int ViewerPlots::PlotAt(QPoint pos) const {
    for (std::size_t i = 0; i < m_plots.size(); ++i) {
        const QRect r = m_plots[i].rect->outerRect();
        if (pos.y() >= r.top() && pos.y() <= r.bottom()) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace quarn
