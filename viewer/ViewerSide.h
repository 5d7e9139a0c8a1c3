#pragma once

#include <QSet>
#include <QWidget>

#include <cstddef>
#include <vector>

class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarn {

class LogTable;

// The viewer's side panel: every channel's value at the cursor (and the
// second log's, when one is compared), the record number and the time; and
// the list of markers with Add, Rename and Delete. It only shows and asks:
// the window does the edits.
class ViewerSide : public QWidget {
    Q_OBJECT
public:
    explicit ViewerSide(QWidget* parent = nullptr);

    // The values of row of table (none when table is null or empty), and of
    // secondRow of second when a second log is shown.
    void ShowValues(const LogTable* table, std::size_t row, const LogTable* second,
                    std::size_t secondRow, bool secondInRange);

    struct MarkerEntry {
        QString at;    // where it is on the axis, as text
        QString name;
        QString kind;
    };
    // Changes only the rows that differ: a followed recording adds a marker
    // to a list of hundreds.
    void SetMarkers(const std::vector<MarkerEntry>& markers);
    void SetMarkerAt(int index, const QString& at);
    // Rows of these kinds are hidden; the indexes stay those of the list.
    void SetHiddenKinds(const QSet<QString>& kinds);
    // The marker chosen in the list, or -1.
    int CurrentMarker() const;
    void SelectMarker(int index);
    // Opens the name of a marker for editing in the list.
    void EditMarker(int index);

    QTableWidget* values() const { return m_values; }
    QTreeWidget* markers() const { return m_markers; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* renameButton() const { return m_rename; }
    QPushButton* deleteButton() const { return m_delete; }

    // Rows of the values table before the channels.
    static constexpr int kRecordRow = 0;
    static constexpr int kTimeRow = 1;
    static constexpr int kClockRow = 2;
    static constexpr int kFirstChannelRow = 3;

signals:
    void markerActivated(int index);
    void markerRenamed(int index, const QString& name);
    void addClicked();
    void deleteClicked(int index);
    // A channel row was double-clicked: show it in a new plot.
    void channelActivated(int id);

private:
    void SetValue(int row, int column, const QString& text);

    QTableWidget* m_values = nullptr;
    QTreeWidget* m_markers = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_delete = nullptr;
    QSet<QString> m_hiddenKinds;
    std::vector<QString> m_kinds;  // of each row
    bool m_filling = false;  // list changes made here are no renames
};

}  // namespace quarn
