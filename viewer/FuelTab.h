#pragma once

#include <QWidget>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "decode/VehicleData.h"
#include "fuel/FuelAnalysis.h"
#include "viewer/TableFuel.h"

class QCheckBox;
class QComboBox;
class QCPItemText;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quarn {

class LogTable;

// The viewer's "Fuel" tab: what to change in the tune's MAF transfer, from
// the log open in the viewer. The user pastes or loads the transfer table
// and gives the injector data and the fuel; Apply runs the analysis on a
// worker, with copies of the columns, and shows the corrections per row of
// the table, the suggested table and what each filter removed. The inputs
// are kept per user and per car, so the next log of the same car starts
// from them.
class FuelTab : public QWidget {
    Q_OBJECT
public:
    // car gives the defaults (injector size, cylinders); carName and
    // settingsFile where the inputs are kept (an empty file keeps none).
    FuelTab(const VehicleData& car, QString carName, QString settingsFile,
            QWidget* parent = nullptr);
    ~FuelTab() override;

    void SetTable(const LogTable* table);
    // The rows under the viewer's selection; false when nothing is selected.
    std::function<bool(std::size_t& first, std::size_t& last)> selectedRows;

    FuelInputs Inputs() const;
    void SetInputs(const FuelInputs& inputs);

    // Reads the inputs, keeps them, and starts the analysis; analysed tells
    // when its answer shows. False when it could not start (told beside the
    // input at fault).
    bool Apply();
    // Starts the wideband lag's estimate from the log's tip-ins.
    bool EstimateLag();
    bool Running() const { return m_running > 0; }
    bool HasResult() const { return m_hasResult; }
    const FuelResult& Result() const { return m_result; }

    // Volts and suggested airflow, in the unit pasted: what Copy puts on the
    // clipboard.
    QString SuggestedText() const;
    void Copy();
    // Asks where to, then writes the answer as CSV.
    void Save();
    bool SaveTo(const QString& path, QString* error = nullptr) const;

    QPlainTextEdit* transferBox() const { return m_transfer; }
    QLabel* transferProblem() const { return m_transferProblem; }
    QLineEdit* customCondition() const { return m_custom; }
    QLabel* customProblem() const { return m_customProblem; }
    QDoubleSpinBox* lagBox() const { return m_lag; }
    QTableWidget* resultTable() const { return m_answer; }
    QLabel* notes() const { return m_notes; }
    QCustomPlot* plot() const { return m_plot; }

signals:
    void analysed();
    void lagEstimated();

private:
    QWidget* BuildInputs();
    QWidget* BuildFilters();
    void LoadTransferFile();
    bool ReadTransfer(MafTransfer& out);
    void FuelChanged();
    void ShowLambdaChanged();
    void ShowResult(const FuelResult& r);
    void ShowRemoved(const FuelResult& r);
    void DrawPlot(const FuelResult& r);
    void Replot();
    // Hides the counts that would run into a busier row's count at the
    // chart's present size.
    void ThinHitLabels();
    std::optional<FuelJobInput> JobInput();
    double TargetAfr() const;

    const LogTable* m_log = nullptr;
    FuelInputStore m_store;
    QString m_carName;
    FuelInputs m_defaults;
    FuelResult m_result;
    bool m_hasResult = false;
    int m_running = 0;
    // Set when a newer run or the tab's end makes a running one moot.
    std::shared_ptr<std::atomic<bool>> m_cancel;

    QPlainTextEdit* m_transfer = nullptr;
    QComboBox* m_unit = nullptr;
    QLabel* m_transferProblem = nullptr;
    QDoubleSpinBox* m_slope = nullptr;
    QDoubleSpinBox* m_offset = nullptr;
    QDoubleSpinBox* m_breakpoint = nullptr;
    QDoubleSpinBox* m_lowSlope = nullptr;
    QComboBox* m_firing = nullptr;
    QSpinBox* m_cylinders = nullptr;
    QComboBox* m_fuel = nullptr;
    QDoubleSpinBox* m_stoich = nullptr;
    QComboBox* m_mixture = nullptr;  // AFR or lambda
    QDoubleSpinBox* m_target = nullptr;
    QDoubleSpinBox* m_lag = nullptr;
    QLabel* m_lagNote = nullptr;
    QDoubleSpinBox* m_clamp = nullptr;
    QCheckBox* m_smooth = nullptr;
    QDoubleSpinBox* m_minEct = nullptr;
    QDoubleSpinBox* m_maxMafRate = nullptr;
    QDoubleSpinBox* m_minDuty = nullptr;
    QDoubleSpinBox* m_throttleRate = nullptr;
    QDoubleSpinBox* m_afterThrottle = nullptr;
    QDoubleSpinBox* m_minAfr = nullptr;
    QDoubleSpinBox* m_maxAfr = nullptr;
    // Beside each filter: how many records it removed in the last run.
    QLabel* m_removedEct = nullptr;
    QLabel* m_removedMafRate = nullptr;
    QLabel* m_removedDuty = nullptr;
    QLabel* m_removedThrottle = nullptr;
    QLabel* m_removedAfr = nullptr;
    QLabel* m_removedCustom = nullptr;
    QLabel* m_removedWarmUp = nullptr;
    QLineEdit* m_custom = nullptr;
    QLabel* m_customProblem = nullptr;
    QComboBox* m_records = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_save = nullptr;
    QLabel* m_status = nullptr;
    QTableWidget* m_answer = nullptr;
    QLabel* m_notes = nullptr;
    QCustomPlot* m_plot = nullptr;
    // The count beside each bar, with its hits.
    std::vector<std::pair<QCPItemText*, int>> m_hitLabels;
};

}  // namespace quarn
