#include "diagnostics/TPSTool.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"

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
}

}  // namespace quarn
