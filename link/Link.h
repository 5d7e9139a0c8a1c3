#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "decode/Frame.h"
#include "link/Clock.h"
#include "link/LinkStatus.h"
#include "link/SerialPort.h"
#include "link/Settings.h"

namespace quarn {

// The link to the logger box: the serial settings (ComPort, MaxBaud, CurBaud),
// the receive buffer RxBuf, connection with rate negotiation, and the one-byte
// command exchange. The application owns one Link and hands it the port, the
// clock, the yield and the user-interface hooks.
//
// Everything runs on the user-interface thread. Every wait yields, so window
// event handlers run nested inside these calls and may themselves use the
// link (a second ConnectLink from a click); state is re-read after each yield.
//
// Errors: ConnectLink handles serial port errors itself. Every other operation
// that touches the port (RequestFrame, ReadInput, ReadLampState,
// StartSelfTestCmd, StopSelfTestCmd, InBufferCount) throws SerialPortError,
// and its caller must catch it before control returns to the event loop.
// The exception is the port a connection has closed to change its rate: a
// handler nested in the connection's wait (a Stop, a loop taking its turn)
// finds a line with nothing on it, and what it sends is lost, as a byte sent
// at the wrong rate would be. The connection reopens the port, or meets the
// real fault itself.
class Link {
public:
    // The rate ladder of the box, lowest first. "a" returns the box to the
    // first rate, "c" moves it one step up.
    static constexpr std::array<int, 5> kRates{9600, 19200, 38400, 57600, 115200};

    static constexpr char kRateReset = 'a';
    static constexpr char kVersionRequest = 'b';
    static constexpr char kStepUp = 'c';
    static constexpr char kEnable = 'e';
    static constexpr char kFrameRequest = 'f';
    static constexpr char kLampQuery = 'h';
    static constexpr char kStartSelfTest = 'i';
    static constexpr char kStopSelfTest = 'j';

    // The box acts on a command and answers "b" and "e" within this time.
    static constexpr double kCommandWaitSeconds = 0.1;
    // How long a lamp query waits for its answer. USB serial adapters hold
    // received bytes for up to 16 ms, and the box answers at once: an answer
    // this late is not coming.
    static constexpr double kLampReplySeconds = 0.1;

    static constexpr char kErrorTitle[] = "System Configuration Error";
    static constexpr char kErrorText[] = "Serial Port Error.  Please reconfigure.";
    // The link notice and panel 2 while an unplugged adapter is awaited.
    static constexpr char kUnpluggedNotice[] = "Adapter unplugged \u2014 waiting";
    static constexpr char kUnpluggedPanel[] = "Unplugged";
    // Panel 2 while a device that is back cannot be opened.
    static constexpr char kOpenFailedPanel[] = "Open failed";
    // How often the device node is looked for while the adapter is away.
    static constexpr std::chrono::milliseconds kAdapterPoll{250};
    // A serial port error with the device node still there is taken for an
    // unplug only if the node is gone within this time.
    static constexpr double kVanishGraceSeconds = 0.5;

    Link(SerialPort& port, Clock& clock, Yielder& yielder, LinkStatus& status, LinkAlerts& alerts,
         QString settingsPath = QString::fromLatin1(kSettingsFileName));

    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // 0 means no port configured.
    std::int16_t ComPort() const { return m_comPort; }
    // A different port forgets the best rate reached on the old one.
    void SetComPort(std::int16_t port);
    // Rates as decimal text, compared by numeric value.
    const QString& MaxBaud() const { return m_maxBaud; }
    void SetMaxBaud(const QString& rate) { m_maxBaud = rate; }
    const QString& CurBaud() const { return m_curBaud; }
    void SetCurBaud(const QString& rate) { m_curBaud = rate; }
    // The bytes of the last ReadInput; log playback fills it from the file.
    ByteBuffer& RxBuf() { return m_rxBuf; }
    const ByteBuffer& RxBuf() const { return m_rxBuf; }

    // The settings file, through the free functions of Settings.h. When the
    // file cannot be written the program carries on with the value in memory,
    // and the user is told so the first time only.
    std::int16_t ReadSettings();
    bool WriteSettings(std::int16_t port);

    // Brings the link up from any state. The outcome is panel 2 ("Ready @ "
    // and CurBaud, or "COM Retry") with the lamp green or red. On a serial port
    // error: the critical message, the settings file reset to 0, a yield and
    // the end of the program; returns only when LinkAlerts::EndProgram does.
    // The exception is a device that has vanished while a monitoring loop
    // runs (an UnplugWatch is alive), or one already known to be unplugged:
    // then the link is left AdapterUnplugged() instead.
    //
    // The port number is resolved to a device when the connection starts,
    // and every open of the connection uses that device. After an unplug the
    // device stays the same until a connection is Ready, and the first
    // attempt then tries the rate the box was left at before resetting it.
    void ConnectLink();

    // While one of these lives (the monitoring loop), a device that vanishes
    // is waited for rather than ending the program.
    class UnplugWatch {
    public:
        explicit UnplugWatch(Link& link) : m_link(link) { ++m_link.m_unplugWatches; }
        ~UnplugWatch() { --m_link.m_unplugWatches; }
        UnplugWatch(const UnplugWatch&) = delete;
        UnplugWatch& operator=(const UnplugWatch&) = delete;

    private:
        Link& m_link;
    };
    // After a serial port error caught outside ConnectLink: true when it
    // was the device vanishing under an UnplugWatch. The port is then closed,
    // the lamp red and the link notice kUnpluggedNotice, or, when the device
    // is back but failed to open, the reason it gave.
    bool NoticeUnplug(const QString& reason = QString());
    bool AdapterUnplugged() const { return m_unplugged; }
    // Waits, yielding, until the unplugged adapter is back (the same device
    // node, or the same stable name) and returns true; returns false as soon as
    // stillWanted() is false, the notice then saying only "Unplugged". Looks
    // for the device every kAdapterPoll and blocks in between, so the wait
    // costs no CPU.
    bool WaitForAdapter(const std::function<bool()>& stillWanted);
    // The device of the last connection, as resolved when it started.
    const QString& Device() const { return m_device; }
    // The end of the program after a serial port error: the critical message,
    // the settings file reset to 0, a yield, then LinkAlerts::EndProgram.
    // Callers that caught SerialPortError outside ConnectLink use it too, and
    // pass its text as the reason; without one the message names the port.
    void ReportSerialPortError(const QString& reason = QString());
    // The last connection or monitoring loop ended in a serial port error
    // whose report returned (a session reviewing logs goes on without the
    // box); cleared when the next connection starts.
    bool PortFailed() const { return m_portFailed; }
    // Keeps the saved port after a serial port error: a user reviewing logs
    // away from the car has not chosen a wrong port.
    void SetKeepPortOnError(bool keep) { m_keepPortOnError = keep; }
    // Leaves the box at 9600 and the port open at 9600 with its input emptied.
    void ResetBoxRate();
    // Sets CurBaud to MaxBaud and returns the highest rate, up to it, at which
    // the box verified. Expects box and port at 9600. Returns an empty text
    // when the box does not answer at 9600 (checked only when MaxBaud allows
    // a step up); the port then stays open at 9600.
    QString FindMaxBaud();
    // Steps box and port from 9600 up to CurBaud, without verification.
    void UpshiftTo();
    // True when the box answered "b" with "Quarn" and "e" with "OK".
    bool VerifyBox();

    void RequestFrame();
    // Replaces RxBuf with every byte waiting in the port.
    void ReadInput();
    // Whether text occurs in RxBuf from index 1 on (the first byte received
    // takes no part), case-sensitive, each byte one character. False for a
    // buffer of fewer than two bytes and for an empty text.
    bool ReplyContains(std::string_view text) const;
    // The check-engine lamp as one query found it.
    enum class Lamp { Dark, Lit, Unknown };
    // Sends "h" and waits up to kLampReplySeconds for its answer, the echoed
    // "h" and then "0" (lit) or "1" (dark). Unknown when none came in time.
    // Whatever was waiting before the query (the late answer to an earlier
    // one) is thrown away, and when two answers arrive together the later
    // one counts, so an answer is never read for the wrong query.
    Lamp ReadLampState();
    void StartSelfTestCmd();
    void StopSelfTestCmd();

    void WaitSeconds(double seconds);
    void Yield(std::chrono::milliseconds maxWait = Yielder::kNoWait);
    int InBufferCount() { return ClosedForRateChange() ? 0 : m_port.InBufferCount(); }
    // See SerialPort::WakeWhenWaiting.
    void WakeWhenWaiting(int bytes) { m_port.WakeWhenWaiting(bytes); }

    SerialPort& Port() { return m_port; }
    // The monitoring loop times its frame requests on the same clock.
    Clock& SystemTime() { return m_clock; }

private:
    // Thrown inside a connection that another one, nested in its wait, has
    // replaced; caught by ConnectLink.
    struct Superseded {};
    void RunConnection();
    // Yields, then ends the connection if a nested one ran meanwhile.
    void ConnectionYield();
    void ThrowIfSuperseded() const;
    // A port that failed by itself (a device gone) is not one of these.
    bool ClosedForRateChange() const {
        return m_connecting > 0 && m_closedForRateChange && !m_port.IsOpen();
    }
    void ClosePort();
    void OpenPort();
    void PinDevice();
    bool RejoinAtLastRate();
    bool DeviceVanished();
    QString ReturnedDevice() const;
    void TellIfSlowerThanBefore();
    void TellSettingsNotSaved();
    void SendAndWait(char command);
    // Close, set the line settings, open: the port never changes rate while
    // open.
    void Reopen(const QString& settings);

    SerialPort& m_port;
    Clock& m_clock;
    Yielder& m_yielder;
    LinkStatus& m_status;
    LinkAlerts& m_alerts;
    QString m_settingsPath;
    bool m_toldSettingsNotSaved = false;
    // ConnectLink calls on the stack (a click may nest one in another).
    int m_connecting = 0;
    // Connections are numbered as they start; the one whose steps run now.
    int m_lastConnection = 0;
    int m_activeConnection = 0;
    // The link itself closed the port and has not opened it since.
    bool m_closedForRateChange = false;

    int m_unplugWatches = 0;
    // The device of the current connection and its stable name, if any.
    QString m_device;
    QString m_stableName;
    // The device vanished and has not been opened since.
    bool m_unplugged = false;
    // Why the device, back after an unplug, failed to open (empty when it
    // did not fail).
    QString m_openFailure;
    // m_device has been opened at least once.
    bool m_deviceWasOpen = false;
    // Connections keep m_device until one is Ready, and the next one tries
    // the old rate first.
    bool m_keepDevice = false;
    bool m_rejoin = false;
    bool m_portFailed = false;
    bool m_keepPortOnError = false;

    std::int16_t m_comPort = 0;
    QString m_maxBaud = QStringLiteral("115200");
    QString m_curBaud = QStringLiteral("115200");
    // The fastest rate a connection on this port reached; empty before the
    // first one.
    QString m_bestBaud;
    ByteBuffer m_rxBuf;
};

}  // namespace quarn
