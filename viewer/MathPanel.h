#pragma once

#include <QWidget>

#include <vector>

#include "analysis/MathChannel.h"

class QLabel;
class QTableWidget;

namespace quarn {

// The math channels of the viewer as a table to edit: name, unit and
// formula, and beside each formula what is wrong with it. Apply hands the
// whole list to the window, which evaluates it over the logs shown.
class MathPanel : public QWidget {
    Q_OBJECT
public:
    explicit MathPanel(QWidget* parent = nullptr);

    void SetChannels(const std::vector<MathChannel>& channels);
    std::vector<MathChannel> Channels() const;
    // One per channel, in order; an empty message clears that row's.
    void ShowErrors(const std::vector<ExpressionError>& errors);

    QTableWidget* table() const { return m_table; }
    void Apply();

signals:
    void applied(const std::vector<MathChannel>& channels);

private:
    void AddRow(const MathChannel& channel);

    QTableWidget* m_table = nullptr;
    QLabel* m_help = nullptr;
};

}  // namespace quarn
