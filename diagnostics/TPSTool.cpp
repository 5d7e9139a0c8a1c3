#include "diagnostics/TPSTool.h"

#include <QGuiApplication>
#include <QLabel>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>

#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/RefreshTick.h"

namespace quarn {

TPSTool::TPSTool(QWidget* parent) : QWidget(parent) {
    // A tool window keeps out of the task bar; the custom hints drop the
    // minimise and maximise buttons and keep the title and the close button.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("TPSTool"));
    setWindowTitle(QStringLiteral("TPS Idle Setting Tool"));
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, Qt::black);
    setPalette(ground);

    const GaugeLayout layout = GaugeLayoutOf(Gauge::TPSToolGauge);
    m_gauge = new DialGauge(layout.face, this);
    m_gauge->setObjectName(QString::fromLatin1(layout.name));
    m_gauge->setGeometry(QRect(QPoint(0, 0), GaugeSizeFor(kInitialClientSize)));
    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("lblVolts"));
    m_readout->setAlignment(Qt::AlignCenter);
    m_readout->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetScheme(DialScheme::Day);
    SetVolts(m_gauge->NeedleValue());
    m_readout->setText(m_pendingText);
    PlaceReadout();

    resize(kInitialClientSize);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - rect().center());
}

QSize TPSTool::GaugeSizeFor(QSize clientSize) {
    return {std::max(0, clientSize.width() - kClientMargin.width()),
            std::max(0, clientSize.height() - kClientMargin.height())};
}

void TPSTool::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_gauge->setGeometry(QRect(QPoint(0, 0), GaugeSizeFor(size())));
    PlaceReadout();
}

void TPSTool::SetVolts(double volts) {
    m_gauge->SetNeedleValue(volts);
    const QString text =
        std::isnan(volts) ? QStringLiteral("-.-- V") : QStringLiteral("%1 V").arg(volts, 0, 'f', 2);
    // Only a change of the figures costs a repaint, at the display's pace
    // like the needle's, not at every frame.
    if (text == m_pendingText) return;
    m_pendingText = text;
    SharedRefreshTick().Schedule(m_readout, [this] { m_readout->setText(m_pendingText); });
}

void TPSTool::SetScheme(DialScheme scheme) {
    m_gauge->SetScheme(scheme);
    m_readout->setStyleSheet(scheme == DialScheme::Night ? QStringLiteral("color: #d07800;")
                                                         : QStringLiteral("color: white;"));
}

// Inside the band ring below the hub, where no tick or numeral stands: the
// figures are a fifth of the dial's radius high.
void TPSTool::PlaceReadout() {
    const DialFrame frame = DialFrameFor(QSizeF(m_gauge->size()));
    QFont f(QStringLiteral("Liberation Sans"));
    f.setBold(true);
    f.setPixelSize(std::max(14, static_cast<int>(frame.radius * 0.2)));
    m_readout->setFont(f);
    const QSizeF box(frame.radius * 0.9, f.pixelSize() * 1.3);
    const QPointF centre = frame.centre + QPointF(0, frame.radius * 0.38);
    m_readout->setGeometry(QRectF(centre - QPointF(box.width() / 2, box.height() / 2), box)
                               .toAlignedRect()
                               .translated(m_gauge->pos()));
}

}  // namespace quarn
