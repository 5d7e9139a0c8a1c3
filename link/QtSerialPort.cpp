#include "link/QtSerialPort.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#include <sys/ioctl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <termios.h>

#include <algorithm>

namespace quarn {

namespace {

// A single command byte leaves within a few milliseconds even at 9600 baud;
// this only bounds a stuck driver.
constexpr int kWriteTimeoutMs = 200;

QSerialPort::Parity ToQt(Parity parity) {
    switch (parity) {
        case Parity::None:
            return QSerialPort::NoParity;
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Mark:
            return QSerialPort::MarkParity;
        case Parity::Space:
            return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits ToQt(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::One:
            return QSerialPort::OneStop;
        case StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case StopBits::Two:
            return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

// Why a device could not be opened, in the user's words: the system's own
// text for a regular file ("Inappropriate ioctl for device") tells nobody
// that the wrong file was chosen.
QString OpenFailure(const QString& device, QSerialPort::SerialPortError error) {
    const QFileInfo info(device);
    if (!info.exists()) return QStringLiteral("the device does not exist");
    if (info.isDir()) return QStringLiteral("it is a folder, not a serial device");
    if (error == QSerialPort::PermissionError) {
        // QSerialPort reports a device locked by another program this way too.
        return info.isReadable() && info.isWritable()
                   ? QStringLiteral("the device is in use by another program")
                   : QStringLiteral("permission denied");
    }
    // A regular file or a device such as /dev/null opens, but is no terminal.
    const QByteArray path = QFile::encodeName(device);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && !S_ISCHR(st.st_mode))
        return QStringLiteral("it is not a serial device");
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool terminal = ::isatty(fd) == 1;
        ::close(fd);
        if (!terminal) return QStringLiteral("it is not a serial device");
    }
    return QStringLiteral("the device could not be opened");
}

}  // namespace

QtSerialPort::QtSerialPort(PortBindingLookup binding)
    : m_port(std::make_unique<QSerialPort>()),
      m_binding(std::move(binding)),
      m_settingsText(QStringLiteral("115200,N,8,1")) {
    QObject::connect(m_port.get(), &QSerialPort::errorOccurred, m_port.get(),
                     [this](QSerialPort::SerialPortError error) { OnPortError(error); });
}

QtSerialPort::~QtSerialPort() {
    // Closing must not call back into members that are being destroyed.
    m_port->disconnect();
    m_closing = true;
    m_port->close();
}

void QtSerialPort::SetCommPort(int port) {
    m_commPort = port;
    m_device = PortDevice(port, m_binding);
}

void QtSerialPort::SetSettings(const QString& text) {
    const std::optional<LineSettings> parsed = ParseLineSettings(text);
    if (!parsed)
        throw SerialPortError(QStringLiteral("Invalid serial line settings \"%1\"").arg(text));
    m_settingsText = text;
    m_settings = *parsed;
}

void QtSerialPort::Open() {
    if (m_port->isOpen()) Close();
    m_fault.clear();

    const QString device = m_device;
    if (device.isEmpty())
        throw SerialPortError(QStringLiteral("Serial port %1 does not exist: port numbers run "
                                             "from %2 to %3")
                                  .arg(m_commPort)
                                  .arg(kFirstPortNumber)
                                  .arg(kLastPortNumber));

    m_port->setPortName(device);
    m_port->setBaudRate(m_settings.baud);
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits));
    m_port->setParity(ToQt(m_settings.parity));
    m_port->setStopBits(ToQt(m_settings.stopBits));
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(kReceiveBufferBytes);
    if (!m_port->open(QIODevice::ReadWrite))
        throw SerialPortError(QStringLiteral("Cannot open %1: %2 (%3)")
                                  .arg(PortLabel(), OpenFailure(device, m_port->error()),
                                       m_port->errorString()));

    // A pseudo-terminal has no modem lines and refuses both; that is harmless.
    m_port->setDataTerminalReady(m_dtr);
    m_port->setRequestToSend(m_rts);
    // Bytes that arrived while nobody held the port belong to no request.
    m_port->clear();
    m_minimumRead = 0;
    if (!m_fault.isEmpty()) ThrowUnlessUsable("open");
}

void QtSerialPort::Close() {
    if (!m_port->isOpen()) {
        m_fault.clear();
        return;
    }
    if (m_fault.isEmpty()) {
        // Closing restores the old line settings at once: a command byte still
        // on its way would go out at the wrong rate and be lost.
        if (m_port->bytesToWrite() > 0) m_port->waitForBytesWritten(kWriteTimeoutMs);
        ::tcdrain(m_port->handle());
    }
    m_closing = true;
    m_port->close();
    m_closing = false;
    m_fault.clear();
}

bool QtSerialPort::IsOpen() const {
    return m_port->isOpen() && m_fault.isEmpty();
}

void QtSerialPort::SetDTREnable(bool on) {
    m_dtr = on;
    if (IsOpen()) m_port->setDataTerminalReady(on);
}

void QtSerialPort::SetRTSEnable(bool on) {
    m_rts = on;
    if (IsOpen()) m_port->setRequestToSend(on);
}

int QtSerialPort::InBufferCount() {
    ThrowUnlessUsable("count waiting bytes");
    // Bytes the line holds count as well: they have arrived, whether or not
    // the event loop has run since (a program held up by a slow disk would
    // take a whole answer for a time-out).
    const qint64 waiting = m_port->bytesAvailable() + BytesNotYetTaken();
    return static_cast<int>(std::min<qint64>(waiting, kReceiveBufferBytes));
}

ByteBuffer QtSerialPort::Input() {
    ThrowUnlessUsable("read");
    // Bytes still with the line (short of a hinted count, or in since the
    // event loop last ran) are taken in too, so that "all waiting bytes"
    // means all of them.
    SetMinimumRead(0);
    if (BytesNotYetTaken() > 0) m_port->waitForReadyRead(0);
    const QByteArray data = m_port->readAll();
    return ByteBuffer(data.begin(), data.end());
}

// A terminal line in raw mode reports itself readable once VMIN bytes are
// waiting; until then the event loop sleeps on, instead of waking for each
// group of bytes the adapter hands over (five or more for one frame).
void QtSerialPort::WakeWhenWaiting(int bytes) {
    if (!IsOpen()) return;
    const qint64 more = bytes - m_port->bytesAvailable();
    SetMinimumRead(more > 1 ? static_cast<int>(std::min<qint64>(more, 255)) : 0);
}

void QtSerialPort::SetMinimumRead(int bytes) {
    if (bytes == m_minimumRead) return;
    termios t{};
    const int fd = m_port->handle();
    if (::tcgetattr(fd, &t) != 0) return;
    t.c_cc[VMIN] = static_cast<cc_t>(bytes);
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return;
    m_minimumRead = bytes;
}

// Bytes the line holds that QSerialPort has not read yet.
int QtSerialPort::BytesNotYetTaken() const {
    int pending = 0;
    if (::ioctl(m_port->handle(), FIONREAD, &pending) != 0) return 0;
    return std::max(pending, 0);
}

void QtSerialPort::Output(char byte) {
    ThrowUnlessUsable("write");
    SetMinimumRead(0);  // the answer may be any length
    if (m_port->write(&byte, 1) != 1)
        throw SerialPortError(
            QStringLiteral("Cannot write to %1: %2").arg(PortLabel(), m_port->errorString()));
    // QSerialPort queues writes for the event loop; a command must leave now.
    m_port->flush();
    ThrowUnlessUsable("write");
}

void QtSerialPort::OnPortError(int error) {
    switch (error) {
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::ResourceError:
            break;
        default:
            // Open failures are reported by open()'s result; UnsupportedOperation
            // comes from the modem lines of a pseudo-terminal; time-outs are ours.
            return;
    }
    if (m_closing || !m_port->isOpen() || !m_fault.isEmpty()) return;
    m_fault = m_port->errorString();
    // Not closed here: this runs inside QSerialPort's own notifier, which
    // closing would delete under its feet. The port closes on the next pass of
    // the event loop, which ends the flood of read errors.
    QTimer::singleShot(0, m_port.get(), [this] { CloseAfterFault(); });
}

void QtSerialPort::CloseAfterFault() {
    if (m_fault.isEmpty() || !m_port->isOpen()) return;
    m_closing = true;
    m_port->close();
    m_closing = false;
}

void QtSerialPort::ThrowUnlessUsable(const char* operation) {
    if (!m_fault.isEmpty()) {
        CloseAfterFault();
        throw SerialPortError(QStringLiteral("%1 failed: %2").arg(PortLabel(), m_fault));
    }
    if (!m_port->isOpen())
        throw SerialPortError(
            QStringLiteral("Cannot %1: %2 is not open").arg(QLatin1String(operation), PortLabel()));
}

QString QtSerialPort::PortLabel() const {
    const QString& device = m_device;
    return device.isEmpty() ? QStringLiteral("serial port %1").arg(m_commPort)
                            : QStringLiteral("serial port %1 (%2)").arg(m_commPort).arg(device);
}

}  // namespace quarn
