#pragma once

#include <QRect>
#include <QSet>
#include <QString>

#include <qcustomplot.h>

#include <vector>

namespace quarn {

// A marker of a log on the plots' key axis.
struct PlotMarker {
    double key = 0;
    QString label;
    QString kind;         // "user", "alarm", ...: the colour, and what a filter hides
    bool second = false;  // of the second log: drawn in its colour
};

// The markers of the stacked plots, drawn in one pass per replot, whatever
// their number: a faint line across every plot (Lines), or a small flag on
// the time axis with the names above the top plot where they fit (Flags).
// It holds no item per marker, so changing markers costs nothing until the
// next replot, and the replot reads only the markers in view.
class MarkerLayer : public QCPLayerable {
public:
    enum class Part { Lines, Flags };
    MarkerLayer(QCustomPlot* plot, const QString& layer, Part part);

    // The markers, shared with the plots; hidden holds the kinds not drawn.
    void Use(const std::vector<PlotMarker>* markers, const QSet<QString>* hidden);
    // The axis rects of the plots, top to bottom.
    void SetRects(std::vector<QCPAxisRect*> rects) { m_rects = std::move(rects); }
    // Where the names were drawn at the last replot (Flags only).
    const std::vector<QRect>& LabelRects() const { return m_labels; }

    static QColor Colour(const PlotMarker& marker);

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override;
    void draw(QCPPainter* painter) override;

private:
    // Shown markers inside the key axis' range, by pixel x, left to right.
    std::vector<std::pair<double, const PlotMarker*>> InView() const;

    Part m_part;
    const std::vector<PlotMarker>* m_markers = nullptr;
    const QSet<QString>* m_hidden = nullptr;
    std::vector<QCPAxisRect*> m_rects;
    std::vector<QRect> m_labels;
};

}  // namespace quarn
