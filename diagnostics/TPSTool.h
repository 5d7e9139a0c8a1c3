#pragma once

#include <QSize>
#include <QWidget>

namespace quarn {

class DialGauge;

// The TPS idle setting tool: one large dial of the throttle position voltage
// on a magnified idle scale, which the user watches while setting the
// sensor. A small sizable tool window; closing it destroys it.
class TPSTool : public QWidget {
    Q_OBJECT
public:
    // Client area at creation: 5670 x 4245 twips.
    static constexpr QSize kInitialClientSize{378, 283};
    // What the window's frame takes from the outer size: 120 x 405 twips.
    static constexpr QSize kFrameAllowance{8, 27};

    explicit TPSTool(QWidget* parent = nullptr);

    DialGauge* gauge() const { return m_gauge; }

    // The gauge's size for a window of this outer size, frame included.
    static QSize GaugeSizeFor(QSize outerSize);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DialGauge* m_gauge = nullptr;
};

}  // namespace quarn
