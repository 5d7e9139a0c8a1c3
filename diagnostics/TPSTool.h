#pragma once

#include <QSize>
#include <QWidget>

#include "widgets/DialGauge.h"

class QLabel;

namespace quarn {

// The TPS idle setting tool: one large dial of the throttle position voltage
// on a magnified idle scale, which the user watches while setting the
// sensor, with the voltage to the hundredth in large figures below the hub:
// a needle alone cannot be set to a hundredth. A small sizable tool window;
// closing it destroys it.
class TPSTool : public QWidget {
    Q_OBJECT
public:
    // Client area at creation: 5670 x 4245 twips.
    static constexpr QSize kInitialClientSize{378, 283};
    // The gauge was once sized as the outer size less a frame allowance of
    // 120 x 405 twips, measured on a frame of 105 x 375 twips: the gauge
    // (5655 x 4215) stands 15 x 30 twips (1 x 2 pixels) short of the client
    // area. Here the frame is whatever the window manager draws, or nothing,
    // so the gauge is sized from the client area with that same margin.
    static constexpr QSize kClientMargin{1, 2};

    explicit TPSTool(QWidget* parent = nullptr);

    DialGauge* gauge() const { return m_gauge; }
    QLabel* readout() const { return m_readout; }

    // Moves the needle and the figures.
    void SetVolts(double volts);
    void SetScheme(DialScheme scheme);

    // The gauge's size for a window of this client size: the client area
    // less kClientMargin, at least 0 x 0.
    static QSize GaugeSizeFor(QSize clientSize);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceReadout();

    DialGauge* m_gauge = nullptr;
    QLabel* m_readout = nullptr;
    QString m_pendingText;
};

}  // namespace quarn
