#include "app/Splash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

namespace quarn {
namespace {

constexpr int kLogoWidth = 460;
constexpr int kLogoHeight = 120;

// The logo is drawn rather than shipped as an image file.
QPixmap Logo() {
    QPixmap logo(kLogoWidth, kLogoHeight);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient ground(0, 0, 0, kLogoHeight);
    ground.setColorAt(0, QColor(20, 30, 60));
    ground.setColorAt(1, QColor(0, 0, 0));
    p.fillRect(logo.rect(), ground);
    p.setPen(QPen(QColor(255, 60, 40), 6));
    p.drawArc(QRect(20, 15, 90, 90), 200 * 16, -220 * 16);
    p.drawLine(65, 60, 95, 30);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(64);
    f.setBold(true);
    f.setItalic(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(125, 0, kLogoWidth - 135, kLogoHeight), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("QUARN"));
    return logo;
}

QLabel* Line(QWidget* parent, const char* name, const QString& text, int pixelSize, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    label->setFont(f);
    return label;
}

}  // namespace

Splash::Splash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("picLogo"));
    logo->setPixmap(Logo());
    logo->setFixedSize(kLogoWidth, kLogoHeight);
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addWidget(Line(this, "lblProductName", QStringLiteral("Quarn-IV"), 32, true));
    layout->addWidget(
        Line(this, "lblPlatform", QStringLiteral("Windows 95/98/2K/NT/XP"), 14, false));
    layout->addWidget(Line(this, "lblWarning",
                           QStringLiteral("Data Monitoring and Logging Application"), 16, false));
    layout->addWidget(Line(this, "lblCompany", QStringLiteral("Vorlan Systems"), 14, true));
    adjustSize();
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace quarn
