#include "link/Link.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <utility>

namespace quarn {

namespace {

// The numeric value of a rate text: leading blanks skipped, then the leading
// digits; text without digits is 0. A rate the user could not have chosen
// (say "abc") therefore allows no step up rather than failing.
qint64 RateValue(const QString& text) {
    constexpr qint64 kBeyondAnyRate = 1'000'000'000;
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i].isDigit() && value < kBeyondAnyRate; ++i)
        value = value * 10 + text[i].digitValue();
    return value;
}

// Stepping up and the connected rate use a lower-case parity letter, the
// resets upper case; the port takes both the same.
QString StepUpSettings(int rate) {
    return QString::number(rate) + QStringLiteral(",n,8,1");
}
QString ResetSettings(int rate) {
    return QString::number(rate) + QStringLiteral(",N,8,1");
}

}  // namespace

Link::Link(SerialPort& port, Clock& clock, Yielder& yielder, LinkStatus& status, LinkAlerts& alerts,
           QString settingsPath)
    : m_port(port),
      m_clock(clock),
      m_yielder(yielder),
      m_status(status),
      m_alerts(alerts),
      m_settingsPath(std::move(settingsPath)) {}

std::int16_t Link::ReadSettings() {
    bool rewriteFailed = false;
    const std::int16_t port = quarn::ReadSettings(m_settingsPath, &rewriteFailed);
    if (rewriteFailed) TellSettingsNotSaved();
    return port;
}

bool Link::WriteSettings(std::int16_t port) {
    if (quarn::WriteSettings(port, m_settingsPath)) return true;
    TellSettingsNotSaved();
    return false;
}

void Link::TellSettingsNotSaved() {
    // A read-only working directory would otherwise bring this up at every
    // save; the port number in memory keeps working either way.
    if (std::exchange(m_toldSettingsNotSaved, true)) return;
    m_alerts.ShowSettingsNotSaved(
        QStringLiteral("The settings file \"%1\" could not be written. "
                       "The serial port choice will not be remembered.")
            .arg(QDir::toNativeSeparators(QFileInfo(m_settingsPath).absoluteFilePath())));
}

void Link::ConnectLink() {
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } connecting(m_connecting);
    const int outer = m_activeConnection;
    m_activeConnection = ++m_lastConnection;
    m_portFailed = false;
    try {
        RunConnection();
    } catch (const Superseded&) {
        // A connection nested in one of this one's waits (a click on "COM
        // Status") has run to its end: box and port are where it left them,
        // and its outcome stands. Carrying on from this one's own step would
        // verify at a rate the box is no longer at, and settle lower.
    } catch (const SerialPortError& error) {
        const QString reason = QString::fromStdString(error.what());
        if (!NoticeUnplug(reason)) ReportSerialPortError(reason);
    }
    m_activeConnection = outer;
}

void Link::ConnectionYield() {
    Yield();
    ThrowIfSuperseded();
}

void Link::ThrowIfSuperseded() const {
    if (m_connecting > 0 && m_activeConnection != m_lastConnection) throw Superseded{};
}

void Link::RunConnection() {
    m_status.SetPanelText(LinkStatus::kActivityPanel, QStringLiteral("Initializing"));
    if (m_port.IsOpen()) ClosePort();
    ConnectionYield();

    PinDevice();
    m_port.SetDTREnable(true);
    m_port.SetRTSEnable(true);
    if (std::exchange(m_rejoin, false) && RejoinAtLastRate()) return;
    m_port.SetSettings(ResetSettings(kRates.back()));

    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Resetting"));
    m_status.SetComStat(LinkStatus::kLampGrey);
    ConnectionYield();
    ResetBoxRate();

    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Connecting"));
    ConnectionYield();
    const QString found = FindMaxBaud();
    if (found.isEmpty()) {
        // Nobody answered even at the base rate: a rate found now would only
        // be the rate at which the box happened to come back.
        m_curBaud = QString::number(kRates.front());
        m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("COM Retry"));
        m_status.SetComStat(LinkStatus::kLampRed);
        return;
    }
    m_curBaud = found;
    m_status.SetComStat(LinkStatus::kLampGrey);

    ResetBoxRate();
    Reopen(m_curBaud + QStringLiteral(",n,8,1"));
    m_status.SetComStat(LinkStatus::kLampYellow);
    ConnectionYield();

    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Connected"));
    UpshiftTo();
    ConnectionYield();

    if (VerifyBox()) {
        m_keepDevice = false;
        m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Ready @ ") + m_curBaud);
        m_status.SetComStat(LinkStatus::kLampGreen);
        TellIfSlowerThanBefore();
    } else {
        m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("COM Retry"));
        m_status.SetComStat(LinkStatus::kLampRed);
    }
}

// The number is resolved once here, at the start of the connection: looked
// up again at every open, a vanished adapter's number would lead to whatever
// device the rule finds next (a built-in ttyS that opens but is no box).
void Link::PinDevice() {
    m_port.SetCommPort(m_comPort);
    if (m_keepDevice && !m_device.isEmpty()) {
        m_port.SetDevice(m_device);
        return;
    }
    const QString device = m_port.Device();
    if (device != m_device) m_deviceWasOpen = false;
    m_device = device;
    m_stableName = StableDeviceName(m_device);
}

// After an unplug the box itself usually kept its power and its rate: a
// verification at that rate brings the link back in a fraction of the full
// reset and rate search. Anything else goes the full way.
bool Link::RejoinAtLastRate() {
    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Connecting"));
    m_status.SetComStat(LinkStatus::kLampYellow);
    m_port.SetSettings(StepUpSettings(static_cast<int>(RateValue(m_curBaud))));
    OpenPort();
    if (!VerifyBox()) return false;
    m_keepDevice = false;
    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("Ready @ ") + m_curBaud);
    m_status.SetComStat(LinkStatus::kLampGreen);
    TellIfSlowerThanBefore();
    return true;
}

bool Link::NoticeUnplug(const QString& reason) {
    if (m_device.isEmpty()) return false;
    // A device already known to be away fails to open again: that is no
    // start-up failure, whoever asked for the connection.
    // Only a device that worked can be unplugged; one that never opened
    // (a wrong choice in the setup dialog) fails as at the start.
    if (!m_unplugged && (m_unplugWatches == 0 || !m_deviceWasOpen || !DeviceVanished()))
        return false;
    m_port.Close();
    m_closedForRateChange = false;
    m_unplugged = true;
    m_keepDevice = true;
    m_status.SetComStat(LinkStatus::kLampRed);
    // A node that is there but will not open (no permission, another
    // program holds it) is waited for too, and the user is told why: a
    // plain "unplugged" would have them look at a plug that is in.
    m_openFailure = QFileInfo::exists(m_device) && !reason.isEmpty() ? reason : QString();
    if (!m_openFailure.isEmpty()) {
        m_status.SetPanelText(LinkStatus::kLinkPanel, QString::fromLatin1(kOpenFailedPanel));
        m_status.ShowLinkNotice(
            QStringLiteral("Adapter there but not opened: %1 \u2014 waiting").arg(m_openFailure));
        return true;
    }
    m_status.SetPanelText(LinkStatus::kLinkPanel, QString::fromLatin1(kUnpluggedPanel));
    m_status.ShowLinkNotice(QString::fromUtf8(kUnpluggedNotice));
    return true;
}

// The read error of an unplugged adapter may reach the program a moment
// before its node is removed; a port that fails with its node staying put is
// a fault of another kind.
bool Link::DeviceVanished() {
    const Clock::TimePoint until =
        m_clock.Now() + std::chrono::duration_cast<Clock::TimePoint::duration>(
                            std::chrono::duration<double>(kVanishGraceSeconds));
    while (QFileInfo::exists(m_device)) {
        if (m_clock.Now() >= until) return false;
        m_yielder.Idle(std::chrono::milliseconds(20));
    }
    return true;
}

QString Link::ReturnedDevice() const {
    if (QFileInfo::exists(m_device)) return m_device;
    if (!m_stableName.isEmpty() && QFileInfo::exists(m_stableName)) return m_stableName;
    return {};
}

bool Link::WaitForAdapter(const std::function<bool()>& stillWanted) {
    const auto givenUp = [this] {
        m_status.ShowLinkNotice(QString::fromLatin1(kUnpluggedPanel));
        return false;
    };
    while (m_unplugged) {
        const Clock::TimePoint next = m_clock.Now() + kAdapterPoll;
        for (Clock::TimePoint now = m_clock.Now(); now < next; now = m_clock.Now()) {
            if (!stillWanted()) return givenUp();
            // A connection nested in this wait (a click on "COM Status")
            // may have found the adapter already.
            if (!m_unplugged) return true;
            m_yielder.Idle(std::chrono::ceil<std::chrono::milliseconds>(next - now));
        }
        if (!stillWanted()) return givenUp();
        const QString back = ReturnedDevice();
        if (back.isEmpty()) continue;
        m_device = back;
        m_rejoin = true;
        // The reason an open failed stays until an open succeeds.
        if (m_openFailure.isEmpty()) m_status.ShowLinkNotice(QString());
        return true;
    }
    return true;
}

void Link::SetComPort(std::int16_t port) {
    // Another port may lead to another box, with limits of its own.
    if (port != m_comPort) m_bestBaud.clear();
    m_comPort = port;
    // The user's choice: resolved afresh at the next connection, even while
    // an unplugged adapter was awaited.
    m_keepDevice = m_rejoin = false;
    m_unplugged = false;
}

// A link that comes back slower than it ran before records and displays a
// fraction of the frames, and nothing else would show it: the panel texts
// only give the rate. The best rate is kept until a connection reaches
// it again, so a retry that lands low again still says so.
void Link::TellIfSlowerThanBefore() {
    const qint64 allowed = RateValue(m_maxBaud);
    const qint64 before = std::min(RateValue(m_bestBaud), allowed);
    if (!m_bestBaud.isEmpty() && RateValue(m_curBaud) < before) {
        m_status.ShowLinkNotice(QStringLiteral("Link at %1 (was %2) - click COM Status to retry")
                                    .arg(m_curBaud)
                                    .arg(before));
        return;
    }
    m_bestBaud = m_curBaud;
    m_status.ShowLinkNotice(QString());
}

void Link::ReportSerialPortError(const QString& reason) {
    // The message says only that something is wrong; the device and
    // the system's reason tell a missing adapter from a wrong file or a port
    // held by another program.
    QString detail = reason;
    if (detail.isEmpty()) {
        // The port asks the user's bindings when it resolves; a port without
        // devices (a test double) leaves the number to the plain rule.
        QString device = m_device.isEmpty() ? m_port.Device() : m_device;
        if (device.isEmpty()) device = PortDevice(m_comPort);
        detail = device.isEmpty() ? QStringLiteral("Serial port %1").arg(m_comPort)
                                  : QStringLiteral("Serial port %1 (%2)").arg(m_comPort).arg(device);
    }
    m_alerts.ShowCritical(QString::fromLatin1(kErrorTitle), QString::fromLatin1(kErrorText),
                          detail);
    // The next start then asks for the port again instead of failing the same way.
    if (!m_keepPortOnError) WriteSettings(0);
    Yield();
    m_portFailed = true;
    m_alerts.EndProgram();
}

void Link::ResetBoxRate() {
    if (m_port.IsOpen()) ClosePort();
    OpenPort();

    // One "a" at the rate the port had, then one at every rate above the base,
    // so whichever rate the box is at, one of them reaches it. The lamp blinks
    // to show progress.
    std::int16_t lamp = LinkStatus::kLampYellow;
    for (std::size_t step = 1; step < kRates.size(); ++step) {
        SendAndWait(kRateReset);
        Reopen(ResetSettings(kRates[step]));
        m_status.SetComStat(lamp);
        ConnectionYield();
        lamp = lamp == LinkStatus::kLampYellow ? LinkStatus::kLampGrey : LinkStatus::kLampYellow;
    }
    SendAndWait(kRateReset);
    Reopen(StepUpSettings(kRates.front()));

    m_status.SetComStat(LinkStatus::kLampYellow);
    ConnectionYield();
    ReadInput();  // whatever the resets provoked is not an answer
    ConnectionYield();
}

QString Link::FindMaxBaud() {
    QString result = QString::number(kRates.front());
    m_curBaud = m_maxBaud;
    // A failed step only shows the box's limit if the box answers at all: a
    // box that has fallen silent fails every step, and if it came back
    // before the final verification the link would settle at the base rate
    // for good. So the box must answer at the base rate before any step.
    if (RateValue(m_curBaud) > kRates.front() && !VerifyBox()) return QString();
    // CurBaud is re-read at every step: a nested connection may change it.
    for (std::size_t step = 1; step < kRates.size() && RateValue(m_curBaud) > kRates[step - 1];
         ++step) {
        SendAndWait(kStepUp);
        Reopen(StepUpSettings(kRates[step]));
        // The port stays open at the rate that failed; the next reset starts there.
        if (!VerifyBox()) return result;
        result = QString::number(kRates[step]);
    }
    ClosePort();
    return result;
}

void Link::UpshiftTo() {
    Reopen(StepUpSettings(kRates.front()));
    for (std::size_t step = 1; step < kRates.size() && RateValue(m_curBaud) > kRates[step - 1];
         ++step) {
        SendAndWait(kStepUp);
        Reopen(StepUpSettings(kRates[step]));
    }
}

bool Link::VerifyBox() {
    SendAndWait(kVersionRequest);
    ReadInput();
    if (!ReplyContains("Quarn")) return false;
    SendAndWait(kEnable);
    ReadInput();
    return ReplyContains("OK");
}

void Link::RequestFrame() {
    if (ClosedForRateChange()) return;
    m_port.Output(kFrameRequest);
}

void Link::ReadInput() {
    if (ClosedForRateChange()) {
        m_rxBuf.clear();
        return;
    }
    m_rxBuf = m_port.Input();
}

bool Link::ReplyContains(std::string_view text) const {
    if (m_rxBuf.size() < 2 || text.empty()) return false;
    const std::string_view reply(reinterpret_cast<const char*>(m_rxBuf.data()) + 1,
                                 m_rxBuf.size() - 1);
    return reply.find(text) != std::string_view::npos;
}

namespace {

// The state in the last whole lamp answer in bytes, if any.
std::optional<Link::Lamp> LastLampAnswer(const ByteBuffer& bytes) {
    for (std::size_t i = bytes.size(); i >= 2; --i) {
        if (bytes[i - 2] != static_cast<std::uint8_t>(Link::kLampQuery)) continue;
        if (bytes[i - 1] == '0') return Link::Lamp::Lit;
        if (bytes[i - 1] == '1') return Link::Lamp::Dark;
    }
    return std::nullopt;
}

}  // namespace

Link::Lamp Link::ReadLampState() {
    using namespace std::chrono;
    if (ClosedForRateChange()) return Lamp::Unknown;
    ReadInput();  // stale: answers to queries that gave up on them
    m_port.Output(kLampQuery);
    const Clock::TimePoint end =
        m_clock.Now() +
        duration_cast<Clock::TimePoint::duration>(duration<double>(kLampReplySeconds));
    ByteBuffer received;
    for (;;) {
        m_port.WakeWhenWaiting(2);
        const Clock::TimePoint before = m_clock.Now();
        // At least a millisecond, so that a clock that moves only when the
        // program yields moves; at most until the answer is overdue.
        m_yielder.Yield(
            std::clamp(duration_cast<milliseconds>(end - before), 1ms, QtYielder::kMaxBlock));
        // A rate change nested in the yield took the port: no answer comes.
        if (ClosedForRateChange()) return Lamp::Unknown;
        // Read before the time is checked: a program that was held up past
        // the end finds the answer that came meanwhile.
        if (m_port.InBufferCount() > 0) {
            const ByteBuffer more = m_port.Input();
            received.insert(received.end(), more.begin(), more.end());
            m_rxBuf = received;
            // An echo just in may begin the answer to this query after a
            // late one to the last: wait for its state.
            const auto lamp = LastLampAnswer(received);
            if (lamp && received.back() != static_cast<std::uint8_t>(kLampQuery)) return *lamp;
        }
        if (m_clock.Now() >= end) return Lamp::Unknown;
    }
}

void Link::StartSelfTestCmd() {
    if (!ClosedForRateChange()) m_port.Output(kStartSelfTest);
}

void Link::StopSelfTestCmd() {
    if (!ClosedForRateChange()) m_port.Output(kStopSelfTest);
}

void Link::WaitSeconds(double seconds) {
    quarn::WaitSeconds(m_clock, m_yielder, seconds);
}

void Link::Yield(std::chrono::milliseconds maxWait) {
    m_yielder.Yield(maxWait);
}

void Link::SendAndWait(char command) {
    m_port.Output(command);
    WaitSeconds(kCommandWaitSeconds);
    ThrowIfSuperseded();
}

void Link::ClosePort() {
    m_port.Close();
    m_closedForRateChange = true;
}

void Link::OpenPort() {
    m_port.Open();
    m_closedForRateChange = false;
    m_unplugged = false;
    m_deviceWasOpen = true;
    if (!m_openFailure.isEmpty()) {
        m_openFailure.clear();
        m_status.ShowLinkNotice(QString());
    }
}

void Link::Reopen(const QString& settings) {
    ClosePort();
    m_port.SetSettings(settings);
    OpenPort();
}

}  // namespace quarn
