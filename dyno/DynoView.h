#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>

#include <map>
#include <vector>

#include "dyno/DynoCurve.h"
#include "dyno/DynoInput.h"
#include "dyno/Pulls.h"

class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace quarn {

// The dyno of one log: the wide-open-throttle pulls it holds, with the
// thresholds that find them, and the power and torque of the pulls picked,
// overlaid against rpm, uncorrected or corrected to standard air. "Save dyno
// sheet" writes a picture of the chart with the car, the conditions and the
// peaks; "Export curve" writes the curve of the first pull picked as CSV.
//
// It knows nothing of where the columns came from, so any window can hold
// it (the log viewer shows it as a tab). Nothing it does yields: the file
// dialogs are opened, never run, and their continuations write at once.
class DynoView : public QWidget {
    Q_OBJECT
public:
    explicit DynoView(QWidget* parent = nullptr);

    // The log's columns; logName (its file name) and start (the sidecar's
    // start, invalid when unknown) name its pulls in the legend.
    void SetInput(DynoInput input, const QString& logName, const QDateTime& start = {});
    // The car: its road-load figures, and its name and description for the
    // dyno sheet.
    void SetVehicle(const DynoVehicle& vehicle, const QString& carName,
                    const QString& description = {});

    const PullScan& Scan() const { return m_scan; }
    PullThresholds Thresholds() const;
    void SetThresholds(const PullThresholds& thresholds);
    // Pull numbers (1, 2, ...) picked in the list, in list order.
    std::vector<int> PickedPulls() const;
    void PickPulls(const std::vector<int>& numbers);
    // The curve of a picked pull, or nullptr.
    const DynoCurve* CurveOf(int number) const;
    bool Corrected() const;
    void SetCorrected(bool corrected);

    // Open a save dialog, then write; a failure is told in a message box.
    void SaveSheet_Click();
    void ExportCurve_Click();
    // Write at once. False (and error says why) on failure.
    bool SaveSheetTo(const QString& path, QString& error);
    bool ExportCurveTo(const QString& path, QString& error);
    // The dyno sheet as a picture.
    QImage SheetImage(int width = 1200, int height = 960);

    QTreeWidget* pullList() const { return m_list; }
    QCustomPlot* chart() const { return m_chart; }
    QLabel* status() const { return m_status; }
    QLabel* factorLabel() const { return m_factor; }
    QDoubleSpinBox* humidityBox() const { return m_humidity; }
    QPushButton* saveSheetButton() const { return m_saveSheet; }
    QPushButton* exportButton() const { return m_export; }

private:
    void BuildControls();
    void FindPullsAgain();
    void FillList();
    void ComputeCurves();
    void Redraw();
    // Lays the peak labels out in rows above the curves for a plot area of
    // this size (pixels), and makes room for them.
    void PlaceLabels(QSize plotArea);
    QString PullName(int number) const;
    QStringList SheetLines() const;
    QStringList SheetHeader() const;
    void ShowProblem(const QString& text);

    DynoInput m_input;
    QString m_logName;
    QDateTime m_start;
    DynoVehicle m_vehicle;
    QString m_carName;
    QString m_carDescription;
    // A peak of a drawn curve, for its label.
    struct PeakMark {
        bool torque = false;
        double rpm = 0, value = 0;
        bool atEnd = false;
        QColor colour;
    };
    std::vector<PeakMark> m_marks;
    double m_curveTop[2] = {0, 0};  // highest power and torque drawn
    PullScan m_scan;
    std::map<int, DynoCurve> m_curves;  // of the picked pulls

    std::vector<QDoubleSpinBox*> m_thresholdBoxes;
    QDoubleSpinBox* m_smoothing = nullptr;
    QDoubleSpinBox* m_humidity = nullptr;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QRadioButton* m_uncorrected = nullptr;
    QRadioButton* m_corrected = nullptr;
    QLabel* m_factor = nullptr;
    QCustomPlot* m_chart = nullptr;
    QPushButton* m_saveSheet = nullptr;
    QPushButton* m_export = nullptr;
};

}  // namespace quarn
