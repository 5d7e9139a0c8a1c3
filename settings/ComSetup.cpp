#include "settings/ComSetup.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>

#include "widgets/Twips.h"
#include "link/Link.h"
#include "link/LinkStatus.h"
#include "link/SerialPort.h"
#include "settings/ComBindings.h"

namespace quarn {
namespace {

constexpr int kButtonLeft = 120;
constexpr int kFirstButtonTop = 240;
constexpr int kButtonPitch = 240;
constexpr int kButtonWidth = 900;
constexpr int kButtonHeight = 240;

// The device list, to the right of the port and rate choices.
constexpr int kListLeft = 176;
constexpr int kListWidth = 480;
constexpr int kDialogHeight = 236;
enum Column { kNode, kDescription, kMaker, kSerial, kStable, kColumns };

QString DeviceText(int port) {
    const QString device = PortDevice(port, BoundDevice);
    return device.isEmpty() ? QStringLiteral("no device") : device;
}

QString SourceText(int port) {
    const PortResolution r = ResolvePort(port, BoundDevice);
    QString why;
    switch (r.source) {
        case PortSource::Environment:
            why = QStringLiteral("set by QUARN_COM%1, which overrides any binding").arg(port);
            break;
        case PortSource::Binding:
            why = QStringLiteral("bound in the setup");
            break;
        case PortSource::Rule:
            why = QStringLiteral("no binding: the first of ttyUSB%1 and ttyS%1 that exists")
                      .arg(port - 1);
            break;
        case PortSource::None:
            return QStringLiteral("Com%1 leads to no device").arg(port);
    }
    return QStringLiteral("Com%1 uses %2 (%3)").arg(port).arg(r.device, why);
}

}  // namespace

ComSetup::ComSetup(Link& link, LinkStatus& status, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_link(link),
      m_status(status) {
    setWindowTitle(QStringLiteral("Communications Setup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kListLeft + kListWidth + 8, kDialogHeight);
    // The layout was made for an 8 pt sans serif; a wider default font would
    // cut "115200" off.
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    m_apply = new QPushButton(QStringLiteral("Apply"), this);
    m_apply->setObjectName(QStringLiteral("ApplyCom"));
    m_apply->setGeometry(TwipsRect(1560, 1800, 855, 375));
    connect(m_apply, &QPushButton::clicked, this, &ComSetup::ApplyCom_Click);

    auto* portGroup = new QGroupBox(QStringLiteral("Com Port"), this);
    portGroup->setObjectName(QStringLiteral("Frame1"));
    portGroup->setGeometry(TwipsRect(120, 120, 1095, 1575));
    for (int i = 0; i < kPorts; ++i) {
        auto* b = new QRadioButton(QStringLiteral("Com%1").arg(i + 1), portGroup);
        b->setObjectName(QStringLiteral("com%1").arg(i + 1));
        b->setGeometry(TwipsRect(kButtonLeft, kFirstButtonTop + i * kButtonPitch, kButtonWidth,
                                 kButtonHeight));
        // On Linux "Com1" means nothing by itself: say which device it is.
        b->setToolTip(DeviceText(i + 1));
        connect(b, &QRadioButton::toggled, this, &ComSetup::ShowDevice);
        m_ports[i] = b;
    }

    auto* rateGroup = new QGroupBox(QStringLiteral("Max Rate"), this);
    rateGroup->setObjectName(QStringLiteral("Frame2"));
    rateGroup->setGeometry(TwipsRect(1320, 120, 1095, 1575));
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        auto* b = new QRadioButton(QString::number(kRates[i]), rateGroup);
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

    auto* present = new QGroupBox(QStringLiteral("Serial devices present"), this);
    present->setObjectName(QStringLiteral("FrameDevices"));
    present->setGeometry(kListLeft, 8, kListWidth, kDialogHeight - 16);
    m_devices = new QTreeWidget(present);
    m_devices->setObjectName(QStringLiteral("lstDevices"));
    m_devices->setGeometry(8, 18, kListWidth - 16, 120);
    m_devices->setRootIsDecorated(false);
    m_devices->setColumnCount(kColumns);
    m_devices->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description"),
                                QStringLiteral("Maker"), QStringLiteral("Serial no."),
                                QStringLiteral("Stable name")});
    m_devices->header()->setStretchLastSection(true);
    connect(m_devices, &QTreeWidget::itemSelectionChanged, this, &ComSetup::ShowDevice);
    connect(m_devices, &QTreeWidget::itemDoubleClicked, this, &ComSetup::Bind_Click);

    m_bind = new QPushButton(present);
    m_bind->setObjectName(QStringLiteral("BindDevice"));
    m_bind->setGeometry(8, 144, 110, 24);
    connect(m_bind, &QPushButton::clicked, this, &ComSetup::Bind_Click);
    m_unbind = new QPushButton(QStringLiteral("Clear binding"), present);
    m_unbind->setObjectName(QStringLiteral("UnbindDevice"));
    m_unbind->setGeometry(124, 144, 110, 24);
    connect(m_unbind, &QPushButton::clicked, this, &ComSetup::Unbind_Click);
    auto* refresh = new QPushButton(QStringLiteral("Refresh"), present);
    refresh->setObjectName(QStringLiteral("RefreshDevices"));
    refresh->setGeometry(kListWidth - 8 - 80, 144, 80, 24);
    connect(refresh, &QPushButton::clicked, this, &ComSetup::RefreshDevices);

    m_source = new QLabel(present);
    m_source->setObjectName(QStringLiteral("lblSource"));
    m_source->setGeometry(8, 172, kListWidth - 16, 40);
    m_source->setWordWrap(true);
    m_source->setTextInteractionFlags(Qt::TextSelectableByMouse);

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

// Adapters come and go while the dialog is hidden: listed afresh each time.
void ComSetup::showEvent(QShowEvent* event) {
    RefreshDevices();
    QWidget::showEvent(event);
}

int ComSetup::ChosenPort() const {
    for (int i = 0; i < kPorts; ++i)
        if (m_ports[i]->isChecked()) return i + 1;
    return 1;
}

void ComSetup::ShowDevice() {
    const int port = ChosenPort();
    m_device->setText(DeviceText(port));
    m_source->setText(SourceText(port));
    m_bind->setText(QStringLiteral("Bind to Com%1").arg(port));
    m_bind->setEnabled(m_devices->currentItem() && m_devices->currentItem()->isSelected());
    m_unbind->setEnabled(!BoundDevice(port).isEmpty());
    for (int i = 0; i < kPorts; ++i) m_ports[i]->setToolTip(DeviceText(i + 1));
}

void ComSetup::RefreshDevices() {
    m_devices->clear();
    const QString bound = BoundDevice(ChosenPort());
    for (const SerialDeviceInfo& d : listDevices()) {
        auto* item = new QTreeWidgetItem(m_devices, {d.node, d.description, d.manufacturer,
                                                     d.serialNumber, d.stableName});
        item->setToolTip(kStable, d.stableName);
        item->setData(kNode, Qt::UserRole, d.stableName.isEmpty() ? d.node : d.stableName);
        if (!bound.isEmpty() && (bound == d.node || bound == d.stableName))
            m_devices->setCurrentItem(item);
    }
    for (int c = 0; c < kStable; ++c) m_devices->resizeColumnToContents(c);
    ShowDevice();
}

void ComSetup::Bind_Click() {
    const QTreeWidgetItem* item = m_devices->currentItem();
    if (!item) return;
    // The stable name still leads to the adapter when it comes back as
    // another ttyUSB number, or when a second adapter is plugged in first.
    BindDevice(ChosenPort(), item->data(kNode, Qt::UserRole).toString());
    ShowDevice();
}

void ComSetup::Unbind_Click() {
    BindDevice(ChosenPort(), QString());
    ShowDevice();
}

void ComSetup::ApplyCom_Click() {
    for (int i = 0; i < kPorts; ++i)
        if (m_ports[i]->isChecked()) m_link.SetComPort(static_cast<std::int16_t>(i + 1));
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        if (!m_rates[i]->isChecked()) continue;
        m_link.SetMaxBaud(QString::number(kRates[i]));
        RememberMaxRate(kRates[i]);
    }
    hide();
    m_status.SetPanelText(LinkStatus::kActivityPanel, QStringLiteral("COM Reset"));
    m_link.WriteSettings(m_link.ComPort());
    emit applied();
}

}  // namespace quarn
