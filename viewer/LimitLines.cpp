#include "viewer/LimitLines.h"

#include <QStringList>

namespace quarn {
namespace {

// The dashboard calls two channels by one dial.
QStringList ViewerNamesOf(const AlarmChannel& channel) {
    QString name = QString::fromUtf8(channel.label).remove(QLatin1Char(' '));
    if (name == QLatin1String("HEGO") || name == QLatin1String("EGT"))
        return {name + QLatin1Char('L'), name + QLatin1Char('R')};
    return {name};
}

}  // namespace

std::vector<LimitLine> AlarmLimitLines(const AlarmLimitSet& limits) {
    std::vector<LimitLine> lines;
    const auto& channels = AlarmChannels();
    for (std::size_t c = 0; c < channels.size(); ++c)
        for (LimitKind kind : kLimitKinds) {
            const std::optional<double>& v = LimitOf(limits[c], kind);
            if (!v) continue;
            const bool danger = kind == LimitKind::DangerLow || kind == LimitKind::DangerHigh;
            const QString label = danger ? QStringLiteral("danger %1").arg(*v)
                                         : QStringLiteral("warn %1").arg(*v);
            for (const QString& name : ViewerNamesOf(channels[c]))
                lines.push_back({name, *v, label, danger ? LimitLine::Kind::Danger : LimitLine::Kind::Warn});
        }
    return lines;
}

LimitLine UserLine(const QString& channel, double value) {
    return {channel, value, QString::number(value), LimitLine::Kind::User};
}

}  // namespace quarn
