#pragma once

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstddef>
#include <vector>

#include "viewer/HeatMap.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPColorMap;
class QCPColorScale;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace quarn {

class LogTable;

// The heat map tab: X, Y and Z channels with their cell steps, an "Only
// where" formula over the log's channels (math channels included) with a
// few ready-made ones to start from, and the mean of Z per X-by-Y cell as
// a table coloured by value (the count of each cell in its tooltip, or in
// the table when "Count" is chosen) and as a colour map. Copy puts the
// table on the clipboard as tab-separated text.
class HeatMapTab : public QWidget {
    Q_OBJECT
public:
    explicit HeatMapTab(QWidget* parent = nullptr);

    // The log to map (null: none). It must outlive its use here.
    void SetTable(const LogTable* table);
    // The table's math channels changed: the pickers list them after the
    // log's own channels.
    void ChannelsChanged();
    // Rows [row0, row1) for "Only the selected range".
    void SetSelection(bool has, std::size_t row0, std::size_t row1);
    // Rows were added to the table: the cells grow to hold them.
    void DataGrew();
    void SetChannels(int x, int y, int z);
    // The "Only where" formula; empty maps every record.
    void SetWhere(const QString& formula);
    // Computes the map now (it is otherwise computed once the tab shows).
    void Recompute();
    void Copy();
    const HeatMapResult& Result() const { return m_result; }

    QTableWidget* table() const { return m_table; }
    QComboBox* xChannel() const { return m_axis[0]; }
    QComboBox* yChannel() const { return m_axis[1]; }
    QComboBox* zChannel() const { return m_axis[2]; }
    QDoubleSpinBox* xStep() const { return m_step[0]; }
    QDoubleSpinBox* yStep() const { return m_step[1]; }
    QCheckBox* selectionOnly() const { return m_selectionOnly; }
    QLineEdit* where() const { return m_where; }
    QComboBox* wherePresets() const { return m_presets; }
    QLabel* whereError() const { return m_whereError; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ScheduleRecompute();
    void ChannelChanged(int axis);
    void MeasureSpan(int axis);
    // Takes the step typed, or refuses one that makes more cells than fit,
    // saying why and putting back the step in use.
    void StepTyped(int axis);
    std::vector<double> Edges(int axis) const;
    void ShowResult();
    void WhereChanged();
    void PresetChosen(int index);

    const LogTable* m_logTable = nullptr;
    bool m_hasSelection = false;
    std::size_t m_row0 = 0, m_row1 = 0;
    std::array<QComboBox*, 3> m_axis{};
    std::array<QDoubleSpinBox*, 2> m_step{};
    std::array<double, 2> m_lo{}, m_hi{};  // the X and Y columns' spans
    std::array<double, 2> m_accepted{1, 1};  // the steps in use
    QString m_stepProblem;  // why the last step typed was refused
    QLineEdit* m_where = nullptr;
    QComboBox* m_presets = nullptr;
    QLabel* m_whereError = nullptr;
    // The formula's value per row, made again only when the formula, the
    // channels or the rows change: a recompute for a new step reuses it.
    std::vector<float> m_condition;
    bool m_whereDirty = true;
    bool m_whereFailed = false;
    QCheckBox* m_selectionOnly = nullptr;
    QRadioButton* m_showCount = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_caption = nullptr;
    QTableWidget* m_table = nullptr;
    QCustomPlot* m_plot = nullptr;
    QCPColorMap* m_map = nullptr;
    QCPColorScale* m_scale = nullptr;
    QTimer m_recompute;
    bool m_dirty = true;
    bool m_grewHidden = false;  // rows came while hidden: spans to measure
    HeatMapResult m_result;
};

}  // namespace quarn
