#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

#include "widgets/Twips.h"

class QComboBox;

namespace quarn {

class StripChart;

// A scope window: the channel list Selection at the top and the strip chart
// Scope below it, plotting the chosen channel against elapsed seconds. The
// values come from the scope feed; the window itself lays out the chart and
// scales it for the channel picked.
class SuperScope : public QWidget {
    Q_OBJECT
public:
    // Client area at creation: 6765 x 5865 twips.
    static constexpr QSize kInitialClientSize{Twips(6765), Twips(5865)};
    // The outer size, frame included, never goes below 5000 x 5000 twips.
    static constexpr int kMinOuterSide = Twips(5000);
    // The chart is the outer size less 120 x 650 twips, from 360 twips down.
    static constexpr QSize kChartAllowance{Twips(120), Twips(650)};
    static constexpr int kChartTop = Twips(360);

    explicit SuperScope(QWidget* parent = nullptr);

    // The channel query: the text the list shows.
    QString SelectionText() const;
    // Its place in the channel table (-1 for none), kept up to date with the
    // list so the feed need not compare names at every frame.
    int ChannelIndex() const { return m_channel; }

    // The selection procedure on the list's current entry, as when the user
    // picks it.
    void Selection_Click();
    // The selection procedure for a channel name: the chart's range, span and
    // divisions from the channel's scale, then a restart. "ECT" and "ACT"
    // leave the divisions as the previous channel set them. A name that is
    // not a channel changes nothing.
    void ApplySelection(const QString& name);

    // Where the chart goes for a window of this outer size (frame included)
    // and client size: the outer size less the allowance, never past the
    // client area.
    static QRect ChartRectFor(QSize outerSize, QSize clientSize);

    // True once the user closed the window: the slot then counts as free and
    // its next use starts a fresh window.
    bool wasClosed() const { return m_closed; }

    QComboBox* selection() const { return m_selection; }
    StripChart* chart() const { return m_scope; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QComboBox* m_selection = nullptr;
    StripChart* m_scope = nullptr;
    int m_channel = 0;
    bool m_closed = false;
};

}  // namespace quarn
