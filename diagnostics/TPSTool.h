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
    // The frame the allowance was measured on: the gauge (5655 x 4215
    // twips) then stands 15 x 30 twips short of the client area.
    static constexpr QSize kDesignFrame{7, 25};

    explicit TPSTool(QWidget* parent = nullptr);

    DialGauge* gauge() const { return m_gauge; }

    // The gauge's size for a window of this outer size, frame included, and
    // this client size: the outer size less the allowance, never past the
    // client area. While the window system has not drawn a frame (before the
    // window is shown, or with no window manager) the outer size is the
    // client size, and the design's frame stands in for the missing one, so
    // the gauge still fills the window rather than leaving a strip.
    static QSize GaugeSizeFor(QSize outerSize, QSize clientSize);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DialGauge* m_gauge = nullptr;
};

}  // namespace quarn
