#include "scope/StripChart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "widgets/RefreshTick.h"

namespace quarn {

// Ticks of the value axis for chart setting 2: round steps, about as many as
// the divisions asked for, or only the two ends of the range for 0.
class StripChart::DivisionTicker final : public QCPAxisTicker {
public:
    void SetDivisions(int divisions) {
        m_divisions = divisions;
        if (divisions > 0) setTickCount(divisions);
    }

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override {
        if (m_divisions == 0) return {range.lower, range.upper};
        return QCPAxisTicker::createTickVector(tickStep, range);
    }

private:
    int m_divisions = 5;
};

// The graph's point store with its room for the whole history taken at once:
// appends never reallocate and dropping the oldest points never frees, so a
// chart's memory is the same after a minute as after a day.
class StripChart::History final : public QCPGraphDataContainer {
public:
    History() { setAutoSqueeze(false); }

    // Takes the room and touches it, so the memory is counted from the
    // start rather than creeping up as the trace fills.
    void Reserve(int points) {
        mData.resize(points);
        mData.clear();  // keeps the capacity
    }
    int Capacity() const { return static_cast<int>(mData.capacity()); }

    // Drops every point before the newest `keep`, moving those to the front
    // of the store.
    void KeepNewest(int keep) {
        if (size() <= keep) return;
        mPreallocSize += size() - keep;
        squeeze(true, false);
    }
};

namespace {

const QColor kGround(0, 0, 0);
const QColor kTrace(0, 255, 0);
const QColor kAxis(192, 192, 192);
const QColor kGrid(0, 96, 0);

void StyleAxis(QCPAxis* axis, const QFont& font) {
    axis->setBasePen(QPen(kAxis, 1));
    axis->setTickPen(QPen(kAxis, 1));
    axis->setSubTickPen(QPen(kAxis, 1));
    axis->setTickLabelColor(kAxis);
    axis->setTickLabelFont(font);
    axis->setSubTicks(false);
    axis->grid()->setPen(QPen(kGrid, 1, Qt::DotLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
}

}  // namespace

StripChart::StripChart(QWidget* parent)
    : QCustomPlot(parent), m_ticker(QSharedPointer<DivisionTicker>::create()) {
    setObjectName(QStringLiteral("Scope"));
    // The trace is drawn straight; smoothing thousands of segments 30 times
    // a second for ten charts would cost more than the rest of the program.
    setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
    setNotAntialiasedElements(QCP::aeAll);
    // Everything on one paint buffer: QCustomPlot gives its overlay layer a
    // buffer of its own, which costs a clear and a blend of the whole chart
    // at every redraw though nothing is ever drawn on it. The ground is
    // filled once, under the buffer, not again inside it.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    setBackground(kGround);

    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(10);
    StyleAxis(xAxis, font);
    StyleAxis(yAxis, font);
    yAxis->setTicker(m_ticker);

    m_graph = addGraph();
    m_graph->setPen(QPen(kTrace, 1));
    m_graph->setAdaptiveSampling(true);
    m_history = QSharedPointer<History>::create();
    m_graph->setData(m_history.staticCast<QCPGraphDataContainer>());

    SetRange(m_low, m_high);
    SetSpanSeconds(m_spanSeconds);
    SetDivisions(m_divisions);
}

void StripChart::SetRange(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high)) return;
    m_low = low;
    m_high = high;
    yAxis->setRange(low, high);
    ScheduleRefresh();
}

void StripChart::SetSpanSeconds(int seconds) {
    m_spanSeconds = std::max(1, seconds);
    ScheduleRefresh();
}

void StripChart::SetDivisions(int divisions) {
    m_divisions = std::clamp(divisions, 0, kMaxDivisions);
    m_ticker->SetDivisions(m_divisions);
    yAxis->grid()->setVisible(m_divisions > 0);
    ScheduleRefresh();
}

void StripChart::Restart() {
    m_history->clear();
    ScheduleRefresh();
}

void StripChart::AddPoint(double x, double value) {
    if (!std::isfinite(x)) return;  // no place on the time axis
    // QCustomPlot breaks the line at a NaN; an infinity would draw a line off
    // to the edge of the coordinate system.
    if (!std::isfinite(value)) value = std::numeric_limits<double>::quiet_NaN();
    // Only charts that are fed take the room: the hidden windows kept in
    // empty slots cost nothing.
    if (m_history->Capacity() == 0) m_history->Reserve(kHistoryPoints + kTrimBatch);
    if (m_history->isEmpty()) {
        m_originX = x;
    } else if (x < (m_history->constEnd() - 1)->key) {
        m_history->clear();
        m_originX = x;
    }
    m_history->add(QCPGraphData(x, value));

    // The oldest points go in a batch, the rest moving down in one copy; by
    // count, so a clock that stood still while points came changes nothing.
    if (m_history->size() >= kHistoryPoints + kTrimBatch) m_history->KeepNewest(kHistoryPoints);
    ScheduleRefresh();
}

int StripChart::storeCapacity() const { return m_history->Capacity(); }
int StripChart::pointCount() const { return m_history->size(); }
const QCPGraphDataContainer& StripChart::points() const { return *m_history; }

void StripChart::Refresh() {
    m_refreshPending = false;
    const double span = m_spanSeconds;
    double right = span;
    if (!m_history->isEmpty()) right = std::max((m_history->constEnd() - 1)->key, m_originX + span);
    xAxis->setRange(right - span, right);
    // A hidden chart keeps its data up to date; it draws when shown. The
    // window is painted at once, within the time the caller allows for
    // drawing, not later at whatever moment the event loop next wakes.
    if (isVisible()) replot(rpImmediateRefresh);
}

void StripChart::showEvent(QShowEvent* event) {
    QCustomPlot::showEvent(event);
    ScheduleRefresh();
}

void StripChart::SetRefreshRequest(std::function<void()> request) {
    m_refreshRequest = std::move(request);
}

void StripChart::ScheduleRefresh() {
    m_refreshPending = true;
    if (m_refreshRequest) {
        m_refreshRequest();
    } else {
        SharedRefreshTick().Schedule(this, [this] { Refresh(); });
    }
}

}  // namespace quarn
