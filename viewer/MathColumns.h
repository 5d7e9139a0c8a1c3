#pragma once

#include <vector>

#include "analysis/MathChannel.h"
#include "viewer/LogTable.h"

namespace quarn {

// The math channels of a log: each evaluated over the log's own channels
// and the math channels before it, in order. One that fails keeps its place
// as a column of gaps, so the ids of those after it do not move.
struct MathColumns {
    std::vector<ViewerChannel> channels;
    std::vector<std::vector<float>> columns;
    std::vector<ExpressionError> errors;  // one per channel; empty message when it worked
    bool AllOk() const;
};

MathColumns EvaluateMathColumns(const LogTable& table, const std::vector<MathChannel>& defs);

// Evaluates defs over table and gives them to it; returns the errors.
std::vector<ExpressionError> ApplyMathChannels(LogTable& table, const std::vector<MathChannel>& defs);

// An error as one line for beside a formula: where, then why.
QString ErrorText(const ExpressionError& error);

// A condition over table's channels (math channels included), one value
// per row: non-zero where it holds. Empty for an empty text or an error,
// which goes to error.
std::vector<float> EvaluateCondition(const LogTable& table, const QString& text,
                                     ExpressionError* error);

}  // namespace quarn
