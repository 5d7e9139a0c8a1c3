#include "settings/VehicleLimitKeys.h"

#include <cmath>

namespace quarn {
namespace {

constexpr char kPrefix[] = "limit.";

int ChannelOfKey(const QString& name) {
    for (int i = 0; i < kAlarmChannels; ++i)
        if (name == QLatin1String(AlarmChannels()[static_cast<std::size_t>(i)].key)) return i;
    return -1;
}

}  // namespace

QString LimitText(const std::optional<double>& limit) {
    return limit ? VehicleNumberText(*limit) : QStringLiteral("off");
}

bool ParseLimitText(const QString& text, std::optional<double>& limit) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        limit.reset();
        return true;
    }
    bool ok = false;
    // QString::toDouble reads the C locale's form whatever the user's locale.
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    limit = v;
    return true;
}

bool ReadLimitKey(const QString& key, const QString& value, int line, QStringList& seen,
                  VehicleFile& car) {
    if (!key.startsWith(QLatin1String(kPrefix))) return false;
    const auto bad = [&](const QString& why) {
        car.limitProblems += QStringLiteral("Line %1 (%2): %3").arg(line).arg(key, why);
    };
    const int channel = ChannelOfKey(key.mid(static_cast<qsizetype>(sizeof kPrefix) - 1));
    if (channel < 0) {
        bad(QStringLiteral("no dial has this name."));
        return true;
    }
    if (seen.contains(key)) {
        bad(QStringLiteral("the dial's limits are given twice; the first line counts."));
        return true;
    }
    seen += key;
    const QStringList fields = value.split(u',');
    if (fields.size() != 4) {
        bad(QStringLiteral("four limits are needed: warn low, warn high, danger low, danger "
                           "high."));
        return true;
    }
    AlarmLimits limits;
    for (std::size_t i = 0; i < kLimitKinds.size(); ++i) {
        if (!ParseLimitText(fields[static_cast<qsizetype>(i)], LimitOf(limits, kLimitKinds[i]))) {
            bad(QStringLiteral("\"%1\" is neither a number nor \"off\".")
                    .arg(fields[static_cast<qsizetype>(i)].trimmed()));
            return true;
        }
    }
    if (const QString problem = LimitsProblem(limits); !problem.isEmpty()) {
        bad(problem);
        return true;
    }
    car.limits[static_cast<std::size_t>(channel)] = limits;
    return true;
}

QString LimitProblemsText(const QStringList& problems) {
    if (problems.size() <= kListedLimitProblems) return problems.join(u'\n');
    return problems.mid(0, kListedLimitProblems).join(u'\n') +
           QStringLiteral("\n... and %1 more").arg(problems.size() - kListedLimitProblems);
}

QByteArray FormatLimitKeys(const AlarmLimitSet& limits) {
    QByteArray out =
        "# Alarm limits: warn low, warn high, danger low, danger high (off: no limit)\n";
    for (std::size_t i = 0; i < limits.size(); ++i) {
        QStringList fields;
        for (LimitKind kind : kLimitKinds) fields += LimitText(LimitOf(limits[i], kind));
        out += kPrefix + QByteArray(AlarmChannels()[i].key) + '=' + fields.join(u',').toUtf8() +
               '\n';
    }
    return out;
}

}  // namespace quarn
