#pragma once

#include <vector>

#include "analysis/Expression.h"
#include "viewer/LogTable.h"

namespace quarn {

// A log table's channels, its math channels included, as the formulas, statistics and event search read
// them, with every row's time in seconds (estimated where the sidecar has
// none). Holds spans into the table: keep the table alive and unchanged.
class LogColumns {
public:
    explicit LogColumns(const LogTable& table);
    LogColumns(const LogColumns&) = delete;
    LogColumns& operator=(const LogColumns&) = delete;

    const ColumnSet& Set() const { return m_set; }

private:
    std::vector<double> m_seconds;
    ColumnSet m_set;
};

}  // namespace quarn
