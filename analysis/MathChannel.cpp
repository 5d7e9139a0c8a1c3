#include "analysis/MathChannel.h"

#include <QRegularExpression>

namespace quarn {

MathChannelResult EvaluateMathChannel(const MathChannel& channel, const ColumnSet& set) {
    MathChannelResult result;
    const Expression e = Expression::Compile(channel.formula, set.names);
    if (!e.Ok()) {
        result.error = e.Error();
        return result;
    }
    result.values = e.Evaluate(set);
    return result;
}

QString MathChannelNameProblem(const QString& name, const std::vector<QString>& taken) {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    if (!identifier.match(name).hasMatch())
        return QStringLiteral("a name starts with a letter and holds only letters, digits and _");
    if (Expression::IsReservedWord(name))
        return QStringLiteral("%1 is a word of the formula language").arg(name);
    for (const QString& t : taken)
        if (t.compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("there is already a channel called %1").arg(t);
    return {};
}

}  // namespace quarn
