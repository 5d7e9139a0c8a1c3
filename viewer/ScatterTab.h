#pragma once

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstddef>

#include "viewer/ScatterGrid.h"

class QComboBox;
class QCustomPlot;
class QCPColorMap;
class QCPColorScale;
class QLabel;
class QLineEdit;

namespace quarn {

class LogTable;

// X against Y over the selection or the visible range, each pixel coloured
// by how many records fell on it, or by the mean of Z over them, and only
// where the filter formula holds. A click on a point sends the cursor to a
// record under it.
class ScatterTab : public QWidget {
    Q_OBJECT
public:
    explicit ScatterTab(QWidget* parent = nullptr);

    void SetTable(const LogTable* table);
    void ChannelsChanged();
    void SetRows(std::size_t first, std::size_t last);
    // z -1: the density of the points.
    void SetChannels(int x, int y, int z);
    void SetWhere(const QString& formula);
    // Bins and draws now (it is otherwise done once the tab shows).
    void Redraw();

    const ScatterGrid& Grid() const { return m_grid; }
    QComboBox* xChannel() const { return m_axis[0]; }
    QComboBox* yChannel() const { return m_axis[1]; }
    QComboBox* zChannel() const { return m_axis[2]; }
    QLineEdit* where() const { return m_where; }
    QCustomPlot* plot() const { return m_plot; }
    // The row under a point of the plot's widget, or -1.
    long long RowAt(QPoint pos) const;

signals:
    void rowClicked(std::size_t row);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Schedule();
    void WhereChanged();

    const LogTable* m_table = nullptr;
    std::size_t m_first = 0, m_last = 0;
    std::array<QComboBox*, 3> m_axis{};
    QLineEdit* m_where = nullptr;
    QLabel* m_caption = nullptr;
    QCustomPlot* m_plot = nullptr;
    QCPColorMap* m_map = nullptr;
    QCPColorScale* m_scale = nullptr;
    QTimer m_timer;
    bool m_dirty = true;
    bool m_whereDirty = true;
    std::vector<float> m_condition;
    QString m_whereError;
    ScatterGrid m_grid;
};

}  // namespace quarn
