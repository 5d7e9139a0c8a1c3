// Saves pictures of the feature connector options, the session properties,
// the serial setup with two adapters listed, the alarm limits and the
// about box for eyeballing and the README.
// Usage: settings_gallery [output directory]

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <cstdlib>

#include "about/AboutBox.h"
#include "decode/VehicleData.h"
#include "link/Link.h"
#include "link/QtSerialPort.h"
#include "settings/ComSetup.h"
#include "settings/LimitsWindow.h"
#include "settings/QuarnFeatures.h"
#include "settings/SessionProperties.h"

using namespace quarn;

namespace {

// The setup dialog needs a link; nothing connects here.
class NoStatus final : public LinkStatus, public LinkAlerts {
public:
    void SetPanelText(int, const QString&) override {}
    QString PanelText(int) const override { return {}; }
    void SetComStat(std::int16_t) override {}
    void ShowCritical(const QString&, const QString&, const QString&) override {}
    void ShowSettingsNotSaved(const QString&) override {}
    void EndProgram() override {}
};

bool Save(QWidget& window, const QDir& out, const char* name) {
    window.show();
    QCoreApplication::processEvents();
    return window.grab().save(out.filePath(QString::fromLatin1(name)));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    QuarnFeatures features;
    features.WideBandEn()->setChecked(true);
    features.EGTen()->setChecked(true);
    if (!Save(features, out, "features.png")) return EXIT_FAILURE;

    VehicleData vehicle;
    SessionProperties vp(vehicle);
    vp.fileNameBox()->setText(QStringLiteral("~/cars/mustang.vf"));
    vp.nameBox()->setText(QStringLiteral("1989 Mustang GT"));
    vp.descriptionBox()->setPlainText(QStringLiteral("Notchback, 36 lb injectors, 3.73 gears"));
    // A weight typed in, and an injector size refused: the longest texts
    // the boxes must show whole.
    for (const auto& [box, text] : {std::pair{SessionProperties::Box::weight, "3400"},
                                    std::pair{SessionProperties::Box::injsize, "100001"}}) {
        vp.box(box)->setText(QString::fromLatin1(text));
        emit vp.box(box)->editingFinished();
    }
    if (!Save(vp, out, "session_properties.png")) return EXIT_FAILURE;

    QtSerialPort port;
    SystemClock clock;
    QtYielder yielder;
    NoStatus status;
    Link link(port, clock, yielder, status, status);
    ComSetup setup(link, status);
    setup.listDevices = [] {
        return std::vector<SerialDeviceInfo>{
            {QStringLiteral("/dev/ttyACM0"), QStringLiteral("USB Serial"), QStringLiteral("Arduino"),
             QStringLiteral("8573531303735"),
             QStringLiteral("/dev/serial/by-id/usb-Arduino_USB_Serial_8573531303735-if00")},
            {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
             QStringLiteral("FTDI"), QStringLiteral("A1B2C3D4"),
             QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0")}};
    };
    setup.show();
    setup.deviceList()->setCurrentItem(setup.deviceList()->topLevelItem(1));
    if (!Save(setup, out, "com_setup_devices.png")) return EXIT_FAILURE;
    // A limit refused for lying above its danger limit.
    LimitsWindow limits(DefaultAlarmLimits());
    const int ect = AlarmChannelIndex(Gauge::ECT);
    limits.box(ect, LimitKind::WarnHigh)->setText(QStringLiteral("240"));
    limits.ApplyBox(ect, LimitKind::WarnHigh);
    if (!Save(limits, out, "limits.png")) return EXIT_FAILURE;

    AboutBox about;
    if (!Save(about, out, "about.png")) return EXIT_FAILURE;
    return EXIT_SUCCESS;
}
