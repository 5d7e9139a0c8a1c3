#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "settings/UserChoices.h"
#include "settings/VehicleFile.h"
#include "widgets/ScreenRoom.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace quarn {

class VehicleData;

// The session properties: the car on the "Vehicle Properties" tab, the
// datalogging choices on the "Datalogging" tab. The curb weight, injector
// flow, cylinder, drag area and rolling resistance boxes drive the VehicleData the conversion and the fuel
// economy read, once an edit is finished (Enter, the focus leaves the box,
// or typing pauses for kApplyPause), so a half-typed number never reaches a
// figure: a text that is not a valid number is refused at its box (red
// frame, a hint beside it and in its tooltip) and the last valid value stays
// in force. The vehicle fields load from the vehicle file named in the File
// Name box and save to a file the user picks. The file whose car is in use
// is remembered for the next start (LastVehicle.h). The datalogging choices
// are remembered as they change and handed to dataloggingChanged.
//
// One window for the whole run: closing it only hides it, so the boxes keep
// showing the values in force.
class SessionProperties : public QWidget {
    Q_OBJECT
public:
    enum class Box { weight, injsize, numcyl, cda, crr };
    static constexpr std::size_t kBoxes = 5;

    // Typing that pauses this long counts as a finished edit.
    static constexpr int kApplyPauseMs = 1000;

    // Room: see FitToRoom; the screen's by default.
    explicit SessionProperties(VehicleData& vehicle, QWidget* parent = nullptr,
                               QSize room = ScreenRoom());
    ~SessionProperties() override;

    // Picking a tab: tab 1 shows the vehicle panel, tab 2 the datalogging
    // panel, any other index neither.
    void TabChanged();

    // Load reads the file named in the File Name box; a failure is told in
    // a message box and changes nothing. True on success.
    bool LoadVehicle_Click();
    // Save opens a save dialog at the named file, which then writes through
    // SaveVehicleTo. False, with a message box and no dialog, while a box
    // holds a refused text.
    bool SaveVehicle_Click();
    // Writes the vehicle fields to path and names it in the File Name box;
    // a failure is told in a message box. True on success.
    bool SaveVehicleTo(const QString& path);
    // Puts every box's pending edit in force now.
    void ApplyPendingEdits();

    QTabWidget* tabStrip() const { return m_tabStrip; }
    QWidget* vehiclePanel() const { return m_vehiclePanel; }
    QWidget* dataloggingPanel() const { return m_dataloggingPanel; }
    QLineEdit* box(Box b) const { return m_boxes.at(static_cast<std::size_t>(b)); }
    QLabel* hint(Box b) const { return m_hints.at(static_cast<std::size_t>(b)); }
    bool refused(Box b) const { return m_refused.at(static_cast<std::size_t>(b)); }
    QLineEdit* fileNameBox() const { return m_fileNameBox; }
    QLineEdit* nameBox() const { return m_nameBox; }
    QPlainTextEdit* descriptionBox() const { return m_descriptionBox; }
    QLabel* fileStatus() const { return m_fileStatus; }

    // The alarm limits travel with the car: Save writes limitsInUse(), and
    // Load hands the file's limits to limitsLoaded (and tells of limit lines
    // it refused). Without them the file keeps the default limits.
    std::function<AlarmLimitSet()> limitsInUse;
    std::function<void(const AlarmLimitSet&)> limitsLoaded;
    // Each change on the Datalogging tab, once remembered.
    std::function<void(const DataloggingChoices&)> dataloggingChanged;
    const DataloggingChoices& dataloggingChoices() const { return m_datalog; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void BuildVehicleTab();
    void BuildDataloggingTab();
    void DataloggingChanged();
    void ApplyBox(Box b);
    void BrowseVehicle_Click();
    QString FilePath() const;
    void Warn(const QString& text);
    bool RefusedBeforeSave();
    // Remembers the file for the next start while the car in use is its car.
    void RememberCarInUse();

    VehicleData& m_vehicle;
    QTabWidget* m_tabStrip = nullptr;
    QWidget* m_vehiclePanel = nullptr;
    QWidget* m_dataloggingPanel = nullptr;
    QLineEdit* m_fileNameBox = nullptr;
    QLineEdit* m_nameBox = nullptr;
    QPlainTextEdit* m_descriptionBox = nullptr;
    std::array<QLineEdit*, kBoxes> m_boxes{};
    std::array<QLabel*, kBoxes> m_hints{};
    std::array<bool, kBoxes> m_refused{};
    std::array<QTimer*, kBoxes> m_pauses{};
    // The file last loaded or saved, and its car.
    QString m_carFile;
    VehicleFile m_carFileCar;
    QLabel* m_fileStatus = nullptr;
    DataloggingChoices m_datalog;
    std::array<QRadioButton*, 3> m_startOptions{};
};

}  // namespace quarn
