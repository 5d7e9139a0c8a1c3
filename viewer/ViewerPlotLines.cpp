// Lines across the plots: the car's alarm limits and the user's constants.

#include "viewer/LogTable.h"
#include "viewer/ViewerPlots.h"

namespace quarn {

void ViewerPlots::SetLimitLines(std::vector<LimitLine> lines) {
    m_limitLines = std::move(lines);
    Build();
    Redraw();
}

void ViewerPlots::AddLimitLines(Plot& p, int slot, int id) {
    const LogTable* table = m_logs[0].table;
    const auto& channels = table ? table->Channels() : ViewerChannels();
    if (id < 0 || id >= static_cast<int>(channels.size())) return;
    const QString& name = channels[static_cast<std::size_t>(id)].name;
    QCPAxis* key = p.rect->axis(QCPAxis::atBottom);
    QCPAxis* value = p.rect->axis(slot == 0 ? QCPAxis::atLeft : QCPAxis::atRight);
    for (const LimitLine& l : m_limitLines) {
        if (l.channel.compare(name, Qt::CaseInsensitive) != 0) continue;
        auto* line = new QCPItemStraightLine(this);
        line->setObjectName(l.User() ? QStringLiteral("userLine") : QStringLiteral("limitLine"));
        line->setLayer(QStringLiteral("grid"));
        line->setClipAxisRect(p.rect);
        line->setSelectable(false);
        // Dashed, so a trace running along a limit stays visible.
        const QColor colour = l.kind == LimitLine::Kind::Danger ? QColor(210, 40, 40)
                              : l.kind == LimitLine::Kind::Warn ? QColor(220, 150, 0)
                                                                : QColor(40, 130, 160);
        line->setPen(QPen(colour, 1, l.User() ? Qt::DashDotLine : Qt::DashLine));
        for (QCPItemPosition* pos : line->positions()) {
            pos->setAxes(key, value);
            pos->setAxisRect(p.rect);
            pos->setType(QCPItemPosition::ptPlotCoords);
        }
        line->point1->setCoords(0, l.value);
        line->point2->setCoords(1, l.value);
    }
}

}  // namespace quarn
