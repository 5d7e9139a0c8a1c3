#pragma once

#include <QTimer>
#include <QWidget>

#include <cstddef>

#include "analysis/Statistics.h"

class QComboBox;
class QCustomPlot;
class QCPBars;
class QLabel;
class QSpinBox;

namespace quarn {

class LogTable;

// How long a channel spent at each value, over the selection or the visible
// range: bars of seconds per bin, the number of bins adjustable.
class HistogramTab : public QWidget {
    Q_OBJECT
public:
    explicit HistogramTab(QWidget* parent = nullptr);

    void SetTable(const LogTable* table);
    void ChannelsChanged();
    void SetRows(std::size_t first, std::size_t last);
    void SetChannel(int id);
    void Redraw();

    const TimeHistogram& Result() const { return m_result; }
    QComboBox* channel() const { return m_channel; }
    QSpinBox* bins() const { return m_bins; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Schedule();

    const LogTable* m_table = nullptr;
    std::size_t m_first = 0, m_last = 0;
    QComboBox* m_channel = nullptr;
    QSpinBox* m_bins = nullptr;
    QLabel* m_caption = nullptr;
    QCustomPlot* m_plot = nullptr;
    QCPBars* m_bars = nullptr;
    QTimer m_timer;
    bool m_dirty = true;
    TimeHistogram m_result;
};

}  // namespace quarn
