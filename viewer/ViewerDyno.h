#pragma once

#include <QWidget>

#include <cstddef>

namespace quarn {

class DynoView;
class LogTable;
struct DynoVehicle;

// The viewer's "Dyno" tab: the dyno of the log open in the viewer. The
// columns are handed over only while the tab is shown, so a log that grows
// under Follow costs nothing while the tab is hidden.
class ViewerDyno : public QWidget {
public:
    explicit ViewerDyno(QWidget* parent = nullptr);

    // The log (nullptr for none) and the car in use with its name.
    void SetTable(const LogTable* table, const DynoVehicle& vehicle, const QString& carName,
                  const QString& carDescription = {});
    // The table got more rows.
    void DataGrew();
    DynoView* view() const { return m_view; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();

    DynoView* m_view = nullptr;
    const LogTable* m_table = nullptr;
    std::size_t m_filledRows = 0;
    bool m_stale = true;
};

}  // namespace quarn
