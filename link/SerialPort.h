#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <stdexcept>

#include "decode/Frame.h"

namespace quarn {

// Any failure of the serial layer: a port that cannot be opened (missing,
// busy, permission denied, invalid number), an operation on a port that is not
// open, malformed line settings, or a device that went away while open.
class SerialPortError : public std::runtime_error {
public:
    explicit SerialPortError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// A parsed line settings text such as "57600,n,8,1".
struct LineSettings {
    int baud = 115200;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses "rate,parity,data,stop". The parity letter (n, e, o, m, s) is
// accepted in either case; blanks around the fields are ignored. Returns
// nothing for any other text.
std::optional<LineSettings> ParseLineSettings(const QString& text);

// Port numbers the program can address; port 1 is the first serial port.
inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 16;

// Where the device of a port number comes from, in the order of lookup.
enum class PortSource { None, Environment, Binding, Rule };

struct PortResolution {
    QString device;  // empty for a number outside 1 to 16
    PortSource source = PortSource::None;
};

// The device the user bound to a port number, empty when none. The user's
// settings live above the link: whoever holds them passes this in; without it
// no port has a binding.
using PortBindingLookup = std::function<QString(int port)>;

// The device behind port number `port`: the environment variable
// QUARN_COM<port> when set and not empty, else the user's binding, else
// /dev/ttyUSB<port-1> when that exists, else /dev/ttyS<port-1>.
PortResolution ResolvePort(int port, const PortBindingLookup& binding = {});
QString PortDevice(int port, const PortBindingLookup& binding = {});

// Where udev puts the stable names of USB serial adapters.
inline constexpr char kSerialByIdFolder[] = "/dev/serial/by-id";

// The stable name of the device at `node`: node itself when it lies in
// folder, else the entry of folder that leads to the same device. Empty when
// there is none (a built-in port, a pseudo-terminal).
QString StableDeviceName(const QString& node,
                         const QString& folder = QString::fromLatin1(kSerialByIdFolder));

// The serial port as the link uses it. One character is written at a time and
// leaves at once; reads return every waiting byte as raw bytes, from a receive
// buffer of kReceiveBufferBytes. Port number and line settings may be set at any
// time and take effect at the next Open(): the link changes rate only by
// close, set, open. SetCommPort resolves the number to a device once
// (ResolvePort); every later Open uses that device, even when the number would
// now lead elsewhere (an adapter unplugged, a built-in port left in its
// place).
//
// Every operation that fails throws SerialPortError. Callers outside
// ConnectLink (the monitoring loop, the self test) must catch it: an exception
// must never travel through Qt's event loop.
class SerialPort {
public:
    static constexpr int kReceiveBufferBytes = 1000;

    virtual ~SerialPort() = default;

    virtual void SetCommPort(int port) = 0;
    virtual int CommPort() const = 0;
    // The device the next Open uses; SetDevice replaces the one SetCommPort
    // resolved. A port without devices (a test double) has none.
    virtual QString Device() const { return {}; }
    virtual void SetDevice(const QString& device) { (void)device; }

    // Throws SerialPortError when the text is not a valid line settings text.
    virtual void SetSettings(const QString& text) = 0;
    virtual QString Settings() const = 0;

    // Opening an open port reopens it with the current number and settings.
    // Throws for a missing, busy or inaccessible device or an invalid number.
    virtual void Open() = 0;
    // Closing a closed port does nothing. Never throws.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Asserted while the port is open. A port without modem lines (a
    // pseudo-terminal) ignores them.
    virtual void SetDTREnable(bool on) = 0;
    virtual void SetRTSEnable(bool on) = 0;

    // Received bytes waiting to be read. Throws when the port is not open.
    virtual int InBufferCount() = 0;
    // Takes all waiting bytes, possibly none. Throws when the port is not open.
    virtual ByteBuffer Input() = 0;
    // Sends one byte at once. Throws when the port is not open.
    virtual void Output(char byte) = 0;

    // A hint for a caller about to wait for `bytes` bytes: the waiting program
    // need not be woken for each few bytes of them as they arrive, only once
    // they are all there. Counting and reading are unchanged: InBufferCount
    // and Input still see every byte that has arrived. The next Output (or
    // Open) ends the hint. Does nothing on a port that is not open.
    virtual void WakeWhenWaiting(int bytes) { (void)bytes; }
};

}  // namespace quarn
