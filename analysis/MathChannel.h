#pragma once

#include <QString>

#include <vector>

#include "analysis/Expression.h"

namespace quarn {

// A channel the user defines by a formula over the log's channels.
struct MathChannel {
    QString name;
    QString unit;
    QString formula;
    bool operator==(const MathChannel&) const = default;
};

struct MathChannelResult {
    std::vector<float> values;  // one per row; empty when the formula fails
    ExpressionError error;
    bool Ok() const { return !error.Failed(); }
};

MathChannelResult EvaluateMathChannel(const MathChannel& channel, const ColumnSet& set);

// Why name cannot name a math channel beside the channels in taken, or an
// empty text when it can: a formula must be able to use it.
QString MathChannelNameProblem(const QString& name, const std::vector<QString>& taken);

}  // namespace quarn
