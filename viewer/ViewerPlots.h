#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <qcustomplot.h>

#include <optional>
#include <vector>

#include "viewer/Envelope.h"
#include "viewer/LimitLines.h"
#include "viewer/ViewerMarkers.h"

class QRubberBand;

namespace quarn {

class LogTable;

// What one plot of the stack shows: a channel, and optionally a second one
// on its own value axis at the right. Ids index ViewerChannels(); -1 is none.
struct PlotChannels {
    int first = -1;
    int second = -1;
    bool operator==(const PlotChannels&) const = default;
};

// A log as the plots draw it: its table, the key of every row on the
// shared axis, and a shift along that axis (a second log aligned to the
// first). keys must never decrease and hold one key per row.
struct PlottedLog {
    const LogTable* table = nullptr;
    const std::vector<double>* keys = nullptr;
    double offset = 0;
    QString name;
};

// The stacked plots of the log viewer: one QCustomPlot holding a column of
// axis rects on one shared key axis (seconds or record numbers). Each trace
// is fed, for the visible key range, with the min/max envelope of its
// column at one point pair per pixel column, never with the whole log, so a
// redraw costs the same at any zoom and no spike is lost.
//
// Mouse: the wheel zooms around the pointer, dragging pans, Ctrl-drag zooms
// to a box, Shift-drag selects a range, the cursor line follows the pointer
// and a tooltip gives that plot's values there. Keys: Left and Right move
// the cursor a record (ten with Shift), Ctrl-Left and Ctrl-Right pan.
// The right button opens a menu to change the channels.
class ViewerPlots : public QCustomPlot {
    Q_OBJECT
public:
    explicit ViewerPlots(QWidget* parent = nullptr);
    ~ViewerPlots() override;

    // The logs to draw; a second log is drawn in the second colours. Both
    // stay owned by the caller and must outlive their use here.
    void SetLogs(const PlottedLog& main, const PlottedLog& second);
    void SetKeyLabel(const QString& label);
    void SetPlots(const std::vector<PlotChannels>& plots);
    const std::vector<PlotChannels>& Plots() const { return m_channels; }
    // The markers, drawn at the next paced replot (see DataGrew). A
    // followed recording moves the few whose key changed with SetMarkerKey,
    // index as given here.
    void SetMarkers(std::vector<PlotMarker> markers);
    void SetMarkerKey(std::size_t index, double key);
    const std::vector<PlotMarker>& Markers() const { return m_markers; }
    // Markers of these kinds are not drawn.
    void SetHiddenKinds(const QSet<QString>& kinds);
    const QSet<QString>& HiddenKinds() const { return m_hiddenKinds; }
    // The names of the shown markers within a few pixels of x, one a line.
    QString MarkersNear(int x) const;
    // Where the last replot drew the markers' names.
    const std::vector<QRect>& MarkerLabelRects() const { return m_markerFlags->LabelRects(); }

    // Values drawn across the plots of their channel (by name): the car's
    // alarm limits and the user's constants.
    void SetLimitLines(std::vector<LimitLine> lines);
    const std::vector<LimitLine>& LimitLines() const { return m_limitLines; }

    // The key range every plot shows.
    void SetKeyRange(double lo, double hi);
    double KeyLo() const { return m_lo; }
    double KeyHi() const { return m_hi; }
    // The keys the logs span; false when there is no row at all.
    bool DataExtent(double& lo, double& hi) const;
    void FitAll();
    // factor < 1 zooms in, around the key given.
    void ZoomBy(double factor, double around);
    // Around the cursor when it is in view, else around the middle.
    void ZoomIn();
    void ZoomOut();
    void PanBy(double fractionOfView);
    // Rows were added at the end (a followed recording): the view moves on
    // with them when it showed the old end, at once; the plots are drawn
    // again at the follow pace, and only when they are shown and the new
    // rows reach into the view.
    void DataGrew();
    // A replot is waiting for the follow pace or for the plots to be shown.
    bool ReplotPending() const { return m_replotWanted; }

    void SetCursorKey(double key);
    // Moves the cursor by rows of the first log (back when negative), the
    // view following it.
    void StepCursor(int rows);
    // The values of a plot's channels at a key, one a line, for the tooltip
    // while the pointer is over that plot; empty off the plots.
    QString PlotValuesAt(int plot, double key) const;
    double CursorKey() const { return m_cursor; }
    bool HasCursor() const { return m_hasCursor; }

    void SetSelection(double a, double b);
    void ClearSelection();
    bool HasSelection() const { return m_hasSelection; }
    double SelectionLo() const { return std::min(m_selA, m_selB); }
    double SelectionHi() const { return std::max(m_selA, m_selB); }

    // Recomputes every trace for the view and draws the plots: one redraw.
    void Redraw();
    // The points the trace of a plot holds now (first or second channel, of
    // the first or the second log), for tests and measurements.
    int TracePoints(std::size_t plot, bool secondChannel, bool secondLog) const;

signals:
    void cursorMoved(double key);
    void selectionChanged();
    void keyRangeChanged(double lo, double hi);
    void plotsChanged();
    void addMarkerRequested(double key);
    // which: 0 for A, 1 for B; no key clears it.
    void cursorPairRequested(int which, std::optional<double> key);
    // The user added or removed a line of their own.
    void userLinesChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Plot {
        QCPAxisRect* rect = nullptr;
        QCPGraph* trace[2][2] = {};  // [log][channel]
        QCPItemStraightLine* cursor = nullptr;
        QCPItemRect* selection = nullptr;
        QCPLegend* legend = nullptr;
    };
    enum class Drag { None, Pan, Select, Box };

    void AddWarmUpBands(Plot& plot);
    void AddLimitLines(Plot& plot, int slot, int id);
    void Build();
    void UpdateTraces();
    void UpdateCursor();
    void UpdateSelection();
    void UpdateMarkers();
    // Moves the view without drawing it.
    void MoveView(double lo, double hi);
    void RequestReplot();
    void PacedReplot();
    void Fill(QCPGraph* graph, const PlottedLog& log, int channel, int columns, double& lo,
              double& hi);
    QCPGraph* AddTrace(Plot& plot, int log, int slot, int id);
    double KeyAtPixel(double x) const;
    int PlotWidth() const;
    int PlotAt(QPoint pos) const;
    void ShowChannelMenu(int plot, QPoint globalPos);

    PlottedLog m_logs[2];
    std::vector<PlotChannels> m_channels;
    std::vector<Plot> m_plots;
    std::vector<PlotMarker> m_markers;
    std::vector<LimitLine> m_limitLines;
    QSet<QString> m_hiddenKinds;
    MarkerLayer* m_markerLines = nullptr;
    MarkerLayer* m_markerFlags = nullptr;
    QCPMarginGroup* m_margins = nullptr;
    QString m_keyLabel;
    double m_lo = 0, m_hi = 1;
    double m_cursor = 0;
    bool m_hasCursor = false;
    double m_selA = 0, m_selB = 0;
    bool m_hasSelection = false;
    // The view showed the last row: following a recording keeps it there.
    bool m_atEnd = true;

    Drag m_drag = Drag::None;
    QPoint m_pressPos;
    double m_pressLo = 0, m_pressHi = 0, m_pressKey = 0;
    QRubberBand* m_band = nullptr;

    // Following a recording redraws the plots at a pace their own cost
    // sets (see PacedReplot); a redraw for the user clears what waits.
    QTimer m_pace;
    QElapsedTimer m_sinceReplot;
    double m_replotMs = 0;  // what the last paced replot cost
    bool m_replotWanted = false;

    EnvelopePoints m_envelope;
    QVector<QCPGraphData> m_points;
};

}  // namespace quarn
