#pragma once

#include <qcustomplot.h>

#include <QSharedPointer>

#include <functional>

namespace quarn {

// The strip chart of a scope window: one trace of a value against elapsed
// seconds on QCustomPlot, the newest point at the right edge.
//
// Its settings:
// - the range: low and high of the value axis, which is also what is plotted
//   (a value outside it leaves the chart at the top or bottom edge);
// - chart setting 1, the span: the seconds of history shown across the
//   chart. A fresh trace fills the chart from the left; once it is full, it
//   scrolls;
// - chart setting 2, the divisions of the value axis: about that many grid
//   steps, each a round number (1, 2, 2.5 or 5 times a power of ten) so the
//   labels read cleanly; 0 labels only the two ends of the range, with no
//   grid lines between.
//
// Restart clears the trace: the points plotted before belong to another
// channel or another scale, and redrawing them under the new one would mix
// two channels on one line.
//
// AddPoint is cheap and never draws: the point goes into the graph's data,
// and a redraw is asked of the program's shared refresh tick (directly or
// through the scope slots), which runs it at most once per tick however many
// points arrived in between. The history is the last kHistoryPoints points
// (over two minutes at the fastest link rate), older ones dropped in
// batches. Its whole room is taken when the first point arrives, so memory
// stays flat however long the chart runs.
class StripChart : public QCustomPlot {
    Q_OBJECT
public:
    // 2^15 points: 127 s at the wire limit of 115200 baud (257 frames/s);
    // 512 KB of points per chart.
    static constexpr int kHistoryPoints = 1 << 15;
    // The oldest points are dropped in batches of this many, so the cost of
    // dropping them (moving the rest down) is spread thinly over the appends.
    static constexpr int kTrimBatch = 1024;
    static constexpr int kMaxDivisions = 50;

    explicit StripChart(QWidget* parent = nullptr);

    // Applies to the value axis at once. A pair that is not low < high (or
    // not finite) is ignored.
    void SetRange(double low, double high);
    // Chart setting 1; at least 1 second.
    void SetSpanSeconds(int seconds);
    // Chart setting 2; 0 to kMaxDivisions.
    void SetDivisions(int divisions);
    // Clears the trace.
    void Restart();

    // Appends the point (x in seconds). A value that is not finite leaves a
    // gap in the line. An x earlier than the last point's means the time base
    // started again (new monitoring or a new playback): the trace restarts
    // with it rather than drawing back across the chart.
    void AddPoint(double x, double value);

    // Brings the time axis up to the newest point and redraws. The shared
    // tick calls it; tests may call it directly.
    void Refresh();
    // Something changed since the last Refresh.
    bool refreshPending() const { return m_refreshPending; }
    // Who is told when the chart wants a Refresh. By default the chart asks
    // the shared tick itself; the scope slots take the request over to share
    // each tick's drawing time among their charts.
    void SetRefreshRequest(std::function<void()> request);

    double rangeLow() const { return m_low; }
    double rangeHigh() const { return m_high; }
    int spanSeconds() const { return m_spanSeconds; }
    int divisions() const { return m_divisions; }
    int pointCount() const;
    // The points kept, oldest first; for tests and the look of the trace.
    const QCPGraphDataContainer& points() const;
    // Points the store has room for: 0 until the first point, then fixed.
    int storeCapacity() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class DivisionTicker;
    class History;

    void ScheduleRefresh();

    QCPGraph* m_graph = nullptr;
    QSharedPointer<History> m_history;  // the graph's data
    QSharedPointer<DivisionTicker> m_ticker;
    double m_low = 0;
    double m_high = 1;
    int m_spanSeconds = 10;
    int m_divisions = 5;
    double m_originX = 0;  // x of the first point since the last restart
    bool m_refreshPending = false;
    std::function<void()> m_refreshRequest;
};

}  // namespace quarn
