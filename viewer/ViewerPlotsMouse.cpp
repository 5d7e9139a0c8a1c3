// The plots' mouse, wheel, keys and right-button menu.

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "viewer/LogTable.h"
#include "viewer/ViewerPlots.h"

namespace quarn {
namespace {

// One notch of the wheel shows this much of the view.
constexpr double kWheelZoom = 0.8;
// A press that moved less than this is a click, not a drag.
constexpr int kClickPixels = 3;

}  // namespace

void ViewerPlots::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressPos = event->position().toPoint();
    m_pressLo = m_lo;
    m_pressHi = m_hi;
    m_pressKey = KeyAtPixel(m_pressPos.x());
    if (event->modifiers() & Qt::ShiftModifier) {
        m_drag = Drag::Select;
    } else if (event->modifiers() & Qt::ControlModifier) {
        m_drag = Drag::Box;
        m_band->setGeometry(QRect(m_pressPos, QSize()));
        m_band->show();
    } else {
        m_drag = Drag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
    event->accept();
}

void ViewerPlots::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const double key = KeyAtPixel(pos.x());
    switch (m_drag) {
        case Drag::Pan: {
            const double perPixel = (m_pressHi - m_pressLo) / std::max(PlotWidth(), 1);
            const double shift = (pos.x() - m_pressPos.x()) * perPixel;
            SetKeyRange(m_pressLo - shift, m_pressHi - shift);
            break;
        }
        case Drag::Select:
            if (std::abs(pos.x() - m_pressPos.x()) >= kClickPixels) SetSelection(m_pressKey, key);
            break;
        case Drag::Box:
            m_band->setGeometry(QRect(m_pressPos, pos).normalized());
            break;
        case Drag::None: {
            // The names of markers too close together to be written out,
            // else the values of the plot under the pointer.
            QString tip = MarkersNear(pos.x());
            if (tip.isEmpty()) tip = PlotValuesAt(PlotAt(pos), key);
            if (!tip.isEmpty())
                QToolTip::showText(event->globalPosition().toPoint(), tip, this);
            else
                QToolTip::hideText();
            break;
        }
    }
    // The pan moved the keys under the pointer: the cursor stays on the
    // record it showed.
    if (m_drag != Drag::Pan) SetCursorKey(key);
    event->accept();
}

void ViewerPlots::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const bool click = std::abs(pos.x() - m_pressPos.x()) < kClickPixels;
    const Drag drag = std::exchange(m_drag, Drag::None);
    unsetCursor();
    if (drag == Drag::Box) {
        m_band->hide();
        if (!click) SetKeyRange(m_pressKey, KeyAtPixel(pos.x()));
    } else if (drag == Drag::Select && click) {
        ClearSelection();
    } else if (drag == Drag::Pan && click) {
        SetCursorKey(KeyAtPixel(pos.x()));
    }
    event->accept();
}

void ViewerPlots::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FitAll();
    event->accept();
}

void ViewerPlots::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    ZoomBy(std::pow(kWheelZoom, notches), KeyAtPixel(event->position().x()));
    event->accept();
}

void ViewerPlots::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int sign = event->key() == Qt::Key_Left ? -1 : 1;
            // Ctrl pans the view; otherwise the cursor moves a record, or
            // ten with Shift.
            if (event->modifiers() & Qt::ControlModifier)
                PanBy(0.1 * sign);
            else
                StepCursor(sign * (event->modifiers() & Qt::ShiftModifier ? 10 : 1));
            break;
        }
        case Qt::Key_Escape:
            ClearSelection();
            break;
        default:
            QCustomPlot::keyPressEvent(event);
            return;
    }
    event->accept();
}

void ViewerPlots::StepCursor(int rows) {
    const PlottedLog& log = m_logs[0];
    if (!log.keys || log.keys->empty()) return;
    const std::vector<double>& keys = *log.keys;
    const auto last = static_cast<std::ptrdiff_t>(keys.size()) - 1;
    std::ptrdiff_t row = 0;
    if (m_hasCursor) {
        // The row at the cursor: the nearest key, the later one of a tie.
        const double at = m_cursor - log.offset;
        row = std::lower_bound(keys.begin(), keys.end(), at) - keys.begin();
        if (row > last || (row > 0 && at - keys[row - 1] < keys[row] - at)) --row;
    }
    row = std::clamp<std::ptrdiff_t>(row + rows, 0, last);
    const double key = keys[static_cast<std::size_t>(row)] + log.offset;
    // The view follows a cursor that steps out of it.
    if (key < m_lo) SetKeyRange(key, key + (m_hi - m_lo));
    else if (key > m_hi) SetKeyRange(key - (m_hi - m_lo), key);
    SetCursorKey(key);
}

QString ViewerPlots::PlotValuesAt(int plot, double key) const {
    if (plot < 0 || plot >= static_cast<int>(m_channels.size())) return {};
    const auto& channels = ViewerChannels();
    const PlotChannels& shown = m_channels[static_cast<std::size_t>(plot)];
    const bool two = m_logs[1].table != nullptr;
    QStringList lines;
    for (int id : {shown.first, shown.second}) {
        if (id < 0) continue;
        const ViewerChannel& channel = channels[static_cast<std::size_t>(id)];
        for (const PlottedLog& log : m_logs) {
            if (!log.table || !log.keys || log.keys->empty()) continue;
            const std::vector<double>& keys = *log.keys;
            const double at = key - log.offset;
            if (at < keys.front() || at > keys.back()) continue;
            auto row = static_cast<std::size_t>(std::lower_bound(keys.begin(), keys.end(), at) -
                                                keys.begin());
            if (row == keys.size() || (row > 0 && at - keys[row - 1] < keys[row] - at)) --row;
            const float v = log.table->Column(id)[row];
            QString line = channel.name + QStringLiteral(": ") +
                           (std::isnan(v) ? QStringLiteral("damaged record")
                                          : QString::number(v, 'g', 5) + u' ' + channel.unit);
            if (two) line += QStringLiteral("  (%1)").arg(log.name);
            lines << line;
        }
    }
    return lines.join(u'\n');
}

void ViewerPlots::contextMenuEvent(QContextMenuEvent* event) {
    ShowChannelMenu(PlotAt(event->pos()), event->globalPos());
    event->accept();
}

void ViewerPlots::ShowChannelMenu(int plot, QPoint globalPos) {
    // Opened with popup(), never exec(): the menu must not hold the frames
    // of a recording that runs meanwhile.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto& channels = m_logs[0].table ? m_logs[0].table->Channels() : ViewerChannels();
    const double key = KeyAtPixel(mapFromGlobal(globalPos).x());
    auto channelMenu = [&](const QString& title, bool allowNone, auto apply) {
        QMenu* sub = menu->addMenu(title);
        if (allowNone) sub->addAction(QStringLiteral("None"), this, [apply] { apply(-1); });
        for (std::size_t id = 0; id < channels.size(); ++id)
            sub->addAction(channels[id].name, this, [apply, id] { apply(static_cast<int>(id)); });
    };
    const bool onPlot = plot >= 0 && plot < static_cast<int>(m_channels.size());
    if (onPlot) {
        const auto at = static_cast<std::size_t>(plot);
        channelMenu(QStringLiteral("Channel"), false, [this, at](int id) {
            if (at >= m_channels.size()) return;
            auto plots = m_channels;
            plots[at].first = id;
            SetPlots(plots);
        });
        channelMenu(QStringLiteral("Second channel (right axis)"), true, [this, at](int id) {
            if (at >= m_channels.size()) return;
            auto plots = m_channels;
            plots[at].second = id;
            SetPlots(plots);
        });
    }
    channelMenu(QStringLiteral("Add a plot"), false, [this, plot](int id) {
        auto plots = m_channels;
        const auto at = plot >= 0 ? std::min<std::size_t>(static_cast<std::size_t>(plot) + 1,
                                                           plots.size())
                                  : plots.size();
        plots.insert(plots.begin() + static_cast<std::ptrdiff_t>(at), PlotChannels{id, -1});
        SetPlots(plots);
    });
    if (onPlot && m_channels.size() > 1)
        menu->addAction(QStringLiteral("Remove this plot"), this, [this, plot] {
            if (plot >= static_cast<int>(m_channels.size())) return;
            auto plots = m_channels;
            plots.erase(plots.begin() + plot);
            SetPlots(plots);
        });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Add a marker here"), this,
                    [this, key] { emit addMarkerRequested(key); });
    menu->addAction(QStringLiteral("Cursor A here"), this,
                    [this, key] { emit cursorPairRequested(0, key); });
    menu->addAction(QStringLiteral("Cursor B here"), this,
                    [this, key] { emit cursorPairRequested(1, key); });
    menu->addAction(QStringLiteral("Clear cursors A and B"), this, [this] {
        emit cursorPairRequested(0, std::nullopt);
        emit cursorPairRequested(1, std::nullopt);
    });
    if (onPlot && m_channels[static_cast<std::size_t>(plot)].first >= 0) {
        // A constant where the pointer is, on the plot's left channel.
        const int id = m_channels[static_cast<std::size_t>(plot)].first;
        const QCPAxis* value = m_plots[static_cast<std::size_t>(plot)].rect->axis(QCPAxis::atLeft);
        const double v = value->pixelToCoord(mapFromGlobal(globalPos).y());
        const double step = std::pow(10.0, std::floor(std::log10(std::max(value->range().size(), 1e-9))) - 2);
        const double rounded = std::round(v / step) * step;
        if (id < static_cast<int>(channels.size())) {
            const QString name = channels[static_cast<std::size_t>(id)].name;
            menu->addAction(QStringLiteral("Line at %1 %2").arg(rounded).arg(name), this,
                            [this, name, rounded] {
                                auto lines = m_limitLines;
                                lines.push_back(UserLine(name, rounded));
                                SetLimitLines(std::move(lines));
                                emit userLinesChanged();
                            });
            menu->addAction(QStringLiteral("Remove my lines on %1").arg(name), this, [this, name] {
                auto lines = m_limitLines;
                std::erase_if(lines, [&](const LimitLine& l) { return l.User() && l.channel == name; });
                SetLimitLines(std::move(lines));
                emit userLinesChanged();
            });
        }
    }
    menu->addAction(QStringLiteral("Fit all"), this, [this] { FitAll(); });
    menu->popup(globalPos);
}

void ViewerPlots::resizeEvent(QResizeEvent* event) {
    QCustomPlot::resizeEvent(event);
    // A wider plot has more pixel columns for the envelope.
    UpdateTraces();
    replot(rpQueuedReplot);
}

void ViewerPlots::showEvent(QShowEvent* event) {
    QCustomPlot::showEvent(event);
    // What changed while hidden (a followed recording) is drawn now, once.
    if (m_replotWanted) Redraw();
}

}  // namespace quarn
