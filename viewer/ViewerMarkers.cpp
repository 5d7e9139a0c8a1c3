#include "viewer/ViewerMarkers.h"

#include <algorithm>
#include <cmath>

namespace quarn {
namespace {

// A flag: its pole's height and its pennant's width, in pixels.
constexpr int kFlagPole = 9;
constexpr int kFlagWidth = 6;
// The least room between two names.
constexpr int kLabelGap = 6;

}  // namespace

MarkerLayer::MarkerLayer(QCustomPlot* plot, const QString& layer, Part part)
    : QCPLayerable(plot, layer), m_part(part) {
    setAntialiased(false);
}

void MarkerLayer::Use(const std::vector<PlotMarker>* markers, const QSet<QString>* hidden) {
    m_markers = markers;
    m_hidden = hidden;
}

QColor MarkerLayer::Colour(const PlotMarker& marker) {
    if (marker.second) return QColor(211, 108, 0);
    if (marker.kind == QLatin1String("alarm")) return QColor(200, 40, 40);
    if (marker.kind == QLatin1String("user")) return QColor(120, 60, 160);
    return QColor(70, 70, 70);
}

void MarkerLayer::applyDefaultAntialiasingHint(QCPPainter* painter) const {
    applyAntialiasingHint(painter, false, QCP::aeItems);
}

std::vector<std::pair<double, const PlotMarker*>> MarkerLayer::InView() const {
    std::vector<std::pair<double, const PlotMarker*>> out;
    if (!m_markers || m_rects.empty()) return out;
    const QCPAxis* key = m_rects.front()->axis(QCPAxis::atBottom);
    const QCPRange range = key->range();
    for (const PlotMarker& m : *m_markers) {
        if (m.key < range.lower || m.key > range.upper) continue;
        if (m_hidden && m_hidden->contains(m.kind)) continue;
        out.emplace_back(key->coordToPixel(m.key), &m);
    }
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

void MarkerLayer::draw(QCPPainter* painter) {
    m_labels.clear();
    const auto shown = InView();
    if (shown.empty()) return;
    if (m_part == Part::Lines) {
        // Faint and dotted: hundreds of them must not hide the traces.
        for (const auto& [x, m] : shown) {
            QColor c = Colour(*m);
            c.setAlpha(110);
            painter->setPen(QPen(c, 1, Qt::DotLine));
            const int px = static_cast<int>(std::lround(x));
            for (const QCPAxisRect* r : m_rects) painter->drawLine(QLineF(px, r->top(), px, r->bottom()));
        }
        return;
    }
    // Flags stand on the time axis of the bottom plot.
    const QCPAxisRect* bottom = m_rects.back();
    const int base = bottom->bottom();
    painter->setPen(Qt::NoPen);
    for (const auto& [x, m] : shown) {
        const int px = static_cast<int>(std::lround(x));
        const QColor c = Colour(*m);
        painter->fillRect(QRect(px, base - kFlagPole, 1, kFlagPole), c);
        const QPoint pennant[3] = {QPoint(px + 1, base - kFlagPole),
                                   QPoint(px + 1 + kFlagWidth, base - kFlagPole + 2),
                                   QPoint(px + 1, base - kFlagPole + 5)};
        painter->setBrush(c);
        painter->drawPolygon(pennant, 3);
    }
    // The names go along the top of the top plot, left to right, each only
    // where it clears the one before; the others are on hover.
    const QCPAxisRect* top = m_rects.front();
    QFont small = mParentPlot->font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    painter->setFont(small);
    const QFontMetrics metrics(small);
    int clear = top->left();
    for (const auto& [x, m] : shown) {
        const int px = static_cast<int>(std::lround(x));
        const QRect text(px + 2, top->top() + 1, metrics.horizontalAdvance(m->label) + 4,
                         metrics.height());
        if (text.left() < clear || text.right() > top->right()) continue;
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 190));
        painter->drawRect(text);
        painter->setPen(Colour(*m));
        painter->drawText(text.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m->label);
        m_labels.push_back(text);
        clear = text.right() + kLabelGap;
    }
}

}  // namespace quarn
