#include "viewer/MathColumns.h"

#include <limits>

#include "viewer/LogColumns.h"

namespace quarn {

bool MathColumns::AllOk() const {
    for (const ExpressionError& e : errors)
        if (e.Failed()) return false;
    return true;
}

MathColumns EvaluateMathColumns(const LogTable& table, const std::vector<MathChannel>& defs) {
    MathColumns out;
    std::vector<double> seconds(table.Rows());
    for (std::size_t r = 0; r < seconds.size(); ++r) seconds[r] = table.SecondsAt(r);
    ColumnSet set;
    set.seconds = seconds;
    // Only the log's own channels: math columns the table holds now are the
    // ones being replaced.
    const auto& own = ViewerChannels();
    for (std::size_t id = 0; id < own.size(); ++id) {
        set.names.push_back(own[id].name);
        set.units.push_back(own[id].unit);
        set.columns.push_back(table.Rows() ? std::span<const float>(table.Column(static_cast<int>(id)))
                                           : std::span<const float>());
    }
    out.columns.reserve(defs.size());
    for (const MathChannel& def : defs) {
        MathChannelResult result;
        if (const QString problem = MathChannelNameProblem(def.name, set.names); !problem.isEmpty())
            result.error.message = problem.left(1).toUpper() + problem.mid(1) + QLatin1Char('.');
        else
            result = EvaluateMathChannel(def, set);
        if (!result.Ok()) result.values.assign(table.Rows(), std::numeric_limits<float>::quiet_NaN());
        out.channels.push_back(ViewerChannel{def.name, def.unit, false, true});
        out.errors.push_back(result.error);
        out.columns.push_back(std::move(result.values));
        // Reserved up front, so the spans of earlier results stay valid.
        set.names.push_back(def.name);
        set.units.push_back(def.unit);
        set.columns.push_back(out.columns.back());
    }
    return out;
}

std::vector<ExpressionError> ApplyMathChannels(LogTable& table, const std::vector<MathChannel>& defs) {
    MathColumns m = EvaluateMathColumns(table, defs);
    table.SetMathColumns(std::move(m.channels), std::move(m.columns));
    return std::move(m.errors);
}

QString ErrorText(const ExpressionError& error) {
    if (!error.Failed()) return {};
    if (error.position < 0) return error.message;
    return QStringLiteral("At character %1: %2").arg(error.position + 1).arg(error.message);
}

std::vector<float> EvaluateCondition(const LogTable& table, const QString& text,
                                     ExpressionError* error) {
    if (error) *error = {};
    if (text.trimmed().isEmpty()) return {};
    const LogColumns columns(table);
    const Expression e = Expression::Compile(text, columns.Set().names);
    if (!e.Ok()) {
        if (error) *error = e.Error();
        return {};
    }
    return e.Evaluate(columns.Set());
}

}  // namespace quarn
