#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace quarn {

// The columns a formula works on: one span of values per channel, in the
// order of the names it was compiled against, and the time of every row.
struct ColumnSet {
    std::vector<QString> names;
    std::vector<std::span<const float>> columns;  // each seconds.size() long
    std::span<const double> seconds;              // from the first row, never decreasing
    std::vector<QString> units;                   // optional, for the statistics' text
    std::size_t Rows() const { return seconds.size(); }
};

// Where and why a formula cannot be read. position counts characters of the
// formula as the user typed it, from 0; -1 when no place can be named.
struct ExpressionError {
    QString message;
    int position = -1;
    bool Failed() const { return !message.isEmpty(); }
};

// A formula over a log's channels, compiled once and evaluated over whole
// columns: the functions over time (smooth, ddt, lag, shift) first, as
// columns of their own, then the rest record by record. Channel names are
// matched without regard to case. A record where the formula is undefined
// (a division by zero, the log of a negative, a missing input) gives NaN,
// which the plots draw as a gap.
class Expression {
public:
    // Compiles text against the channel names a later Evaluate will hold.
    // On failure the expression is empty and Error() says where.
    static Expression Compile(const QString& text, const std::vector<QString>& channelNames);

    bool Ok() const { return m_root != nullptr; }
    const ExpressionError& Error() const { return m_error; }
    const QString& Text() const { return m_text; }
    // The indexes of the channels the formula reads, ascending.
    std::vector<int> Channels() const;

    // True for the words of the language: functions, constants, and/or/not.
    static bool IsReservedWord(const QString& name);

    // One value per row of columns, whose names must be those compiled
    // against. Safe to call from several threads at once.
    std::vector<float> Evaluate(const ColumnSet& columns) const;

    struct Node;

private:
    QString m_text;
    ExpressionError m_error;
    std::shared_ptr<const Node> m_root;  // immutable, so copies share it
};

}  // namespace quarn
