#include "widgets/NightScheme.h"

#include <QApplication>
#include <QEvent>

#include <qcustomplot.h>

#include <algorithm>
#include <optional>

namespace quarn {
namespace {

// The dials' night colours: near-black grounds, dark red ink.
const QColor kNightGround(0x0e, 0x0c, 0x0c);
const QColor kNightInk(0xb0, 0x30, 0x18);
const QColor kNightGrid(0x3c, 0x1a, 0x12);

bool g_night = false;
// The application's palette before night first came on.
std::optional<QPalette> g_dayPalette;

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// A light ground turns near-black; a dark one (a scope's) stays.
QBrush Ground(QBrush b) {
    if (b.style() == Qt::NoBrush || b.color().lightness() < 96) return b;
    b.setColor(WithAlpha(kNightGround, b.color().alpha()));
    return b;
}

QColor Ink(QColor c) { return WithAlpha(kNightInk, c.alpha()); }

// Traces and marks keep their hue at a third less light, within a band that
// still reads on the night ground; grey ones take the ink's hue.
QColor Dim(QColor c) {
    if (c.hsvSaturation() < 48) return Ink(c);
    int h = 0, s = 0, v = 0, a = 0;
    c.getHsv(&h, &s, &v, &a);
    return QColor::fromHsv(h, s, std::clamp(v * 3 / 5, 80, 150), a);
}

QPen Recolour(QPen p, QColor (*map)(QColor)) {
    if (p.style() != Qt::NoPen) p.setColor(map(p.color()));
    return p;
}
QPen InkPen(QPen p) { return Recolour(std::move(p), Ink); }
QPen DimPen(QPen p) { return Recolour(std::move(p), Dim); }
QPen GridPen(QPen p) {
    return Recolour(std::move(p), [](QColor c) { return WithAlpha(kNightGrid, c.alpha()); });
}
QBrush DimBrush(QBrush b) {
    if (b.style() != Qt::NoBrush) b.setColor(Dim(b.color()));
    return b;
}

// One colour of one part of a plot, switched between its owner's (day)
// colour and its night colour. The part remembers both, so a colour its
// owner sets while night is on becomes the new day colour rather than being
// overwritten at the next replot.
template <class Value, class Get, class Set, class Map>
void Switch(QObject& part, const char* name, Get get, Set set, Map toNight) {
    const QByteArray dayKey = QByteArrayLiteral("quarnDay_") + name;
    const QByteArray nightKey = QByteArrayLiteral("quarnNight_") + name;
    const Value now = get();
    const QVariant applied = part.property(nightKey.constData());
    if (g_night) {
        Value day = now;
        if (applied.isValid() && applied.value<Value>() == now)
            day = part.property(dayKey.constData()).value<Value>();
        const Value night = toNight(day);
        part.setProperty(dayKey.constData(), QVariant::fromValue(day));
        part.setProperty(nightKey.constData(), QVariant::fromValue(night));
        if (!(night == now)) set(night);
        return;
    }
    if (!applied.isValid()) return;
    if (applied.value<Value>() == now) set(part.property(dayKey.constData()).value<Value>());
    part.setProperty(dayKey.constData(), QVariant());
    part.setProperty(nightKey.constData(), QVariant());
}

// The plot's own ground has no public getter; a pointer to the protected
// member, formed in a derived class, reads it lawfully.
struct PlotGround : QCustomPlot {
    static QBrush Of(const QCustomPlot& plot) { return plot.*(&PlotGround::mBackgroundBrush); }
};

void StyleAxis(QCPAxis* a) {
    Switch<QPen>(*a, "basePen", [&] { return a->basePen(); }, [&](const QPen& p) { a->setBasePen(p); }, InkPen);
    Switch<QPen>(*a, "tickPen", [&] { return a->tickPen(); }, [&](const QPen& p) { a->setTickPen(p); }, InkPen);
    Switch<QPen>(*a, "subTickPen", [&] { return a->subTickPen(); },
                 [&](const QPen& p) { a->setSubTickPen(p); }, InkPen);
    Switch<QColor>(*a, "tickLabelColor", [&] { return a->tickLabelColor(); },
                   [&](const QColor& c) { a->setTickLabelColor(c); }, Ink);
    Switch<QColor>(*a, "labelColor", [&] { return a->labelColor(); },
                   [&](const QColor& c) { a->setLabelColor(c); }, Ink);
    QCPGrid* g = a->grid();
    Switch<QPen>(*g, "pen", [&] { return g->pen(); }, [&](const QPen& p) { g->setPen(p); }, GridPen);
    Switch<QPen>(*g, "subGridPen", [&] { return g->subGridPen(); },
                 [&](const QPen& p) { g->setSubGridPen(p); }, GridPen);
    Switch<QPen>(*g, "zeroLinePen", [&] { return g->zeroLinePen(); },
                 [&](const QPen& p) { g->setZeroLinePen(p); }, GridPen);
}

template <class Item>
void StylePenBrush(Item* item) {
    Switch<QPen>(*item, "pen", [&] { return item->pen(); }, [&](const QPen& p) { item->setPen(p); }, DimPen);
    if constexpr (requires { item->brush(); })
        Switch<QBrush>(*item, "brush", [&] { return item->brush(); },
                       [&](const QBrush& b) { item->setBrush(b); }, DimBrush);
}

void StylePart(QCPLayerable* part) {
    if (auto* axis = qobject_cast<QCPAxis*>(part)) return StyleAxis(axis);
    if (auto* rect = qobject_cast<QCPAxisRect*>(part)) {
        Switch<QBrush>(*rect, "background", [&] { return rect->backgroundBrush(); },
                       [&](const QBrush& b) { rect->setBackground(b); }, Ground);
        return;
    }
    if (auto* legend = qobject_cast<QCPLegend*>(part)) {
        Switch<QBrush>(*legend, "brush", [&] { return legend->brush(); },
                       [&](const QBrush& b) { legend->setBrush(b); }, Ground);
        Switch<QPen>(*legend, "borderPen", [&] { return legend->borderPen(); },
                     [&](const QPen& p) { legend->setBorderPen(p); }, GridPen);
        Switch<QColor>(*legend, "textColor", [&] { return legend->textColor(); },
                       [&](const QColor& c) { legend->setTextColor(c); }, Ink);
        return;
    }
    if (auto* entry = qobject_cast<QCPAbstractLegendItem*>(part)) {
        Switch<QColor>(*entry, "textColor", [&] { return entry->textColor(); },
                       [&](const QColor& c) { entry->setTextColor(c); }, Ink);
        return;
    }
    if (auto* title = qobject_cast<QCPTextElement*>(part)) {
        Switch<QColor>(*title, "textColor", [&] { return title->textColor(); },
                       [&](const QColor& c) { title->setTextColor(c); }, Ink);
        return;
    }
    if (auto* text = qobject_cast<QCPItemText*>(part)) {
        Switch<QColor>(*text, "color", [&] { return text->color(); },
                       [&](const QColor& c) { text->setColor(c); }, Ink);
        Switch<QPen>(*text, "pen", [&] { return text->pen(); }, [&](const QPen& p) { text->setPen(p); }, DimPen);
        Switch<QBrush>(*text, "brush", [&] { return text->brush(); },
                       [&](const QBrush& b) { text->setBrush(b); }, Ground);
        return;
    }
    if (auto* line = qobject_cast<QCPItemStraightLine*>(part)) return StylePenBrush(line);
    if (auto* line = qobject_cast<QCPItemLine*>(part)) return StylePenBrush(line);
    if (auto* rect = qobject_cast<QCPItemRect*>(part)) return StylePenBrush(rect);
    if (auto* tracer = qobject_cast<QCPItemTracer*>(part)) return StylePenBrush(tracer);
    if (auto* ellipse = qobject_cast<QCPItemEllipse*>(part)) return StylePenBrush(ellipse);
    // A colour map's colours are its data.
    if (qobject_cast<QCPColorMap*>(part)) return;
    if (auto* plottable = qobject_cast<QCPAbstractPlottable*>(part)) return StylePenBrush(plottable);
}

void StylePlot(QCustomPlot& plot) {
    // Nothing was ever switched on this plot: day needs no work.
    if (!g_night && !plot.property("quarnNight_ground").isValid()) return;
    Switch<QBrush>(plot, "ground", [&] { return PlotGround::Of(plot); },
                   [&](const QBrush& b) { plot.setBackground(b); }, Ground);
    for (QCPLayerable* part : plot.findChildren<QCPLayerable*>()) StylePart(part);
}

void Hook(QCustomPlot& plot) {
    if (plot.property("quarnNightHooked").toBool()) return;
    plot.setProperty("quarnNightHooked", true);
    QObject::connect(&plot, &QCustomPlot::beforeReplot, &plot, [p = &plot] { StylePlot(*p); });
}

// Plots made after the scheme was first switched follow it from their first
// show on.
class PlotWatcher final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* plot = qobject_cast<QCustomPlot*>(watched)) {
                Hook(*plot);
                StylePlot(*plot);
            }
        }
        return false;
    }
};

}  // namespace

QPalette NightPalette() {
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, QColor c) { p.setColor(role, c); };
    set(QPalette::Window, QColor(0x10, 0x0c, 0x0c));
    set(QPalette::WindowText, kNightInk);
    set(QPalette::Base, QColor(0x08, 0x06, 0x06));
    set(QPalette::AlternateBase, QColor(0x16, 0x0e, 0x0c));
    set(QPalette::Text, kNightInk);
    set(QPalette::Button, QColor(0x1c, 0x12, 0x10));
    set(QPalette::ButtonText, kNightInk);
    set(QPalette::BrightText, QColor(0xe0, 0x40, 0x20));
    set(QPalette::Light, QColor(0x3a, 0x20, 0x18));
    set(QPalette::Midlight, QColor(0x2a, 0x16, 0x12));
    set(QPalette::Mid, QColor(0x20, 0x12, 0x10));
    set(QPalette::Dark, QColor(0x0c, 0x08, 0x08));
    set(QPalette::Shadow, Qt::black);
    set(QPalette::Highlight, QColor(0x4a, 0x18, 0x10));
    set(QPalette::HighlightedText, QColor(0xe0, 0x60, 0x30));
    set(QPalette::ToolTipBase, QColor(0x1c, 0x12, 0x10));
    set(QPalette::ToolTipText, kNightInk);
    set(QPalette::PlaceholderText, QColor(0x60, 0x20, 0x14));
    set(QPalette::Link, QColor(0xc0, 0x50, 0x20));
    set(QPalette::LinkVisited, QColor(0x90, 0x30, 0x18));
    const QColor off(0x5a, 0x20, 0x10);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, off);
    return p;
}

bool NightSchemeOn() { return g_night; }

void ApplyNightScheme(bool night) {
    // Day before any night: the palette and the plots are already as made.
    if (night == g_night) return;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return;
    g_night = night;
    if (night) {
        if (!g_dayPalette) {
            g_dayPalette = QApplication::palette();
            app->installEventFilter(new PlotWatcher(app));
        }
        QApplication::setPalette(NightPalette());
    } else {
        QApplication::setPalette(*g_dayPalette);
    }
    for (QWidget* w : QApplication::allWidgets()) {
        auto* plot = qobject_cast<QCustomPlot*>(w);
        if (!plot) continue;
        Hook(*plot);
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void FollowNightScheme(QCustomPlot& plot) {
    Hook(plot);
    StylePlot(plot);
}

}  // namespace quarn
