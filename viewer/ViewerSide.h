#pragma once

#include <QSet>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarn {

class LogTable;
struct ViewerChannel;

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
    // The values at cursors A and B (rows of table) and B−A; the time row
    // of B−A is Δt. The three columns show while either cursor is set.
    void ShowCursorPair(const LogTable* table, const std::optional<std::size_t>& a,
                        const std::optional<std::size_t>& b);

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
    // Columns of the values table.
    static constexpr int kColumnA = 3;
    static constexpr int kColumnB = 4;
    static constexpr int kColumnDelta = 5;
    static constexpr int kColumns = 6;

signals:
    void markerActivated(int index);
    void markerRenamed(int index, const QString& name);
    void addClicked();
    void deleteClicked(int index);
    // A channel row was double-clicked: show it in a new plot.
    void channelActivated(int id);

private:
    void SetValue(int row, int column, const QString& text);
    QTableWidgetItem* Label(int row, const QString& text);
    // One row per channel, math channels included.
    void SetChannels(const std::vector<ViewerChannel>& channels);

    QTableWidget* m_values = nullptr;
    QTreeWidget* m_markers = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_delete = nullptr;
    int m_channelCount = 0;
    QSet<QString> m_hiddenKinds;
    std::vector<QString> m_kinds;  // of each row
    bool m_filling = false;  // list changes made here are no renames
};

}  // namespace quarn
