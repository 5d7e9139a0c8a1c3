#include "settings/QuarnFeatures.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>

#include "widgets/Twips.h"

namespace quarn {
namespace {

constexpr int kLeft = 480;

QCheckBox* AddBox(QWidget* parent, const char* name, const char* caption, int top, int width,
                  int height) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(TwipsRect(kLeft, top, width, height));
    return box;
}

}  // namespace

QuarnFeatures::QuarnFeatures(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("QuarnFeatures"));
    setWindowTitle(QStringLiteral("Quarn Feature Connector Options"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Twips(2730), Twips(1935));
    // The captions were laid out for an 8 pt sans serif; "Knock Sensor
    // Enabled" is cut off in the wider default font.
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    m_mapEn = AddBox(this, "MAPEn", "MAP Enabled", 240, 1455, 255);
    m_wideBandEn = AddBox(this, "WideBandEn", "Wideband Enabled", 480, 1815, 375);
    m_egtEn = AddBox(this, "EGTen", "EGT Enabled", 840, 1455, 255);
    m_knockEn = AddBox(this, "KnockEn", "Knock Sensor Enabled", 1080, 2055, 375);
    m_triggerEn = AddBox(this, "TriggerEn", "Trigger Enabled", 1440, 1695, 255);

    // Focus does not follow the boxes down the window.
    setTabOrder(m_wideBandEn, m_egtEn);
    setTabOrder(m_egtEn, m_mapEn);
    setTabOrder(m_mapEn, m_triggerEn);
    setTabOrder(m_triggerEn, m_knockEn);
    m_wideBandEn->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace quarn
