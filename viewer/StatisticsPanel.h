#pragma once

#include <QWidget>

#include <cstddef>
#include <vector>

#include "analysis/Statistics.h"

class QLabel;
class QTableWidget;

namespace quarn {

class LogTable;

// Per channel, over the selection or the visible range: minimum, maximum,
// mean, time-weighted mean, standard deviation, and the time within a band
// the user types in the last two columns. Copy puts it on the clipboard.
class StatisticsPanel : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsPanel(QWidget* parent = nullptr);

    void SetTable(const LogTable* table);
    // Rows [first, last) and how the caption calls them.
    void SetRows(std::size_t first, std::size_t last, const QString& what);
    void Recompute();
    void Copy();

    const std::vector<ChannelStatistics>& Result() const { return m_stats; }
    QTableWidget* table() const { return m_table; }

private:
    std::vector<Band> Bands() const;

    const LogTable* m_log = nullptr;
    std::size_t m_first = 0, m_last = 0;
    QString m_what;
    QLabel* m_caption = nullptr;
    QTableWidget* m_table = nullptr;
    std::vector<ChannelStatistics> m_stats;
    bool m_filling = false;
};

}  // namespace quarn
