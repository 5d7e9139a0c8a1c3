#pragma once

#include <QWidget>

#include <vector>

#include "analysis/Events.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quarn {

class LogTable;

// Event search: "Where EXPR, for at least T s" over the log, with each
// stretch's start, duration, and the peak and minimum of a chosen channel.
// A click goes to the stretch; Next and Previous step through them; "Add
// all as markers" asks the window to write them to the sidecar.
class EventsPanel : public QWidget {
    Q_OBJECT
public:
    explicit EventsPanel(QWidget* parent = nullptr);

    // The log to search (null: none); it must outlive its use here.
    void SetTable(const LogTable* table);
    // The table's math channels changed.
    void ChannelsChanged();
    void Search();
    // Goes to the next (step 1) or previous (-1) stretch.
    void Step(int step);

    const std::vector<EventStretch>& Events() const { return m_events; }
    QLineEdit* where() const { return m_where; }
    QDoubleSpinBox* minSeconds() const { return m_minSeconds; }
    QComboBox* channel() const { return m_channel; }
    QTreeWidget* list() const { return m_list; }
    QLabel* problem() const { return m_problem; }

signals:
    // The row to show: the first of a stretch.
    void rowChosen(std::size_t row);
    void addMarkers(const QString& name, const std::vector<EventStretch>& events);

private:
    void Choose(int index);

    const LogTable* m_table = nullptr;
    QLineEdit* m_where = nullptr;
    QDoubleSpinBox* m_minSeconds = nullptr;
    QComboBox* m_channel = nullptr;
    QLabel* m_problem = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    std::vector<EventStretch> m_events;
};

}  // namespace quarn
