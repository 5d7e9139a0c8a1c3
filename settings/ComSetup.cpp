#include "settings/ComSetup.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "widgets/Twips.h"
#include "link/Link.h"
#include "link/LinkStatus.h"
#include "link/SerialPort.h"

namespace quarn {
namespace {

constexpr int kButtonLeft = 120;
constexpr int kFirstButtonTop = 240;
constexpr int kButtonPitch = 240;
constexpr int kButtonWidth = 900;
constexpr int kButtonHeight = 240;

QString DeviceText(int port) {
    const QString device = PortDevice(port);
    return device.isEmpty() ? QStringLiteral("no device") : device;
}

}  // namespace

ComSetup::ComSetup(Link& link, LinkStatus& status, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_link(link),
      m_status(status) {
    setWindowTitle(QStringLiteral("Communications Setup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Twips(2520), Twips(2250));
    // The layout was made for an 8 pt sans serif; a wider default font would
    // cut "115200" off.
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    m_apply = new QPushButton(QStringLiteral("Apply"), this);
    m_apply->setObjectName(QStringLiteral("ApplyCom"));
    m_apply->setGeometry(TwipsRect(1560, 1800, 855, 375));
    connect(m_apply, &QPushButton::clicked, this, &ComSetup::ApplyCom_Click);

    auto* frame1 = new QGroupBox(QStringLiteral("Com Port"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setGeometry(TwipsRect(120, 120, 1095, 1575));
    for (int i = 0; i < kPorts; ++i) {
        auto* b = new QRadioButton(QStringLiteral("Com%1").arg(i + 1), frame1);
        b->setObjectName(QStringLiteral("com%1").arg(i + 1));
        b->setGeometry(TwipsRect(kButtonLeft, kFirstButtonTop + i * kButtonPitch, kButtonWidth,
                                 kButtonHeight));
        // On Linux "Com1" means nothing by itself: say which device it is.
        b->setToolTip(DeviceText(i + 1));
        connect(b, &QRadioButton::toggled, this, &ComSetup::ShowDevice);
        m_ports[i] = b;
    }

    auto* frame2 = new QGroupBox(QStringLiteral("Max Rate"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    frame2->setGeometry(TwipsRect(1320, 120, 1095, 1575));
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        auto* b = new QRadioButton(QString::number(kRates[i]), frame2);
        // The last button keeps the name it always had, typo included.
        b->setObjectName(i + 1 == kRates.size() ? QStringLiteral("r115000")
                                                : QStringLiteral("r%1").arg(kRates[i]));
        b->setGeometry(TwipsRect(kButtonLeft, kFirstButtonTop + static_cast<int>(i) * kButtonPitch,
                                 kButtonWidth, kButtonHeight));
        m_rates[i] = b;
    }

    m_device = new QLabel(this);
    m_device->setObjectName(QStringLiteral("lblDevice"));
    m_device->setGeometry(TwipsRect(120, 1800, 1380, 375));
    QFont small = m_device->font();
    small.setPixelSize(10);
    m_device->setFont(small);
    m_device->setStyleSheet(QStringLiteral("color: #555;"));

    m_ports[0]->setChecked(true);
    m_rates.back()->setChecked(true);

    setTabOrder(m_apply, m_ports[0]);
    for (int i = 1; i < kPorts; ++i) setTabOrder(m_ports[i - 1], m_ports[i]);
    setTabOrder(m_ports.back(), m_rates[0]);
    for (std::size_t i = 1; i < kRates.size(); ++i) setTabOrder(m_rates[i - 1], m_rates[i]);
    ShowDevice();

    // Centred on the screen, where a first start shows it alone.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - rect().center());
}

void ComSetup::ShowDevice() {
    for (int i = 0; i < kPorts; ++i)
        if (m_ports[i]->isChecked()) m_device->setText(DeviceText(i + 1));
}

void ComSetup::ApplyCom_Click() {
    for (int i = 0; i < kPorts; ++i)
        if (m_ports[i]->isChecked()) m_link.SetComPort(static_cast<std::int16_t>(i + 1));
    for (std::size_t i = 0; i < kRates.size(); ++i)
        if (m_rates[i]->isChecked()) m_link.SetMaxBaud(QString::number(kRates[i]));
    hide();
    m_status.SetPanelText(LinkStatus::kActivityPanel, QStringLiteral("COM Reset"));
    m_link.WriteSettings(m_link.ComPort());
    emit applied();
}

}  // namespace quarn
