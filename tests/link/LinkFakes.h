#pragma once

// Test doubles for the link: a clock that only moves when the program yields,
// a yield that advances it, a scripted serial port, a model of the logger box
// behind it, and recorders for the status bar and the alerts.

#include <QString>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Clock.h"
#include "link/Link.h"
#include "link/LinkStatus.h"
#include "link/SerialPort.h"

namespace quarn::test {

using namespace std::chrono_literals;

class FakeClock final : public Clock {
public:
    TimePoint Now() const override { return m_now; }
    double TimeOfDay() const override {
        return 12 * 3600.0 + std::chrono::duration<double>(Elapsed()).count();
    }

    void Advance(std::chrono::nanoseconds step) { m_now += step; }
    std::chrono::nanoseconds Elapsed() const { return m_now - kStart; }

private:
    static constexpr TimePoint kStart = TimePoint{} + 1h;
    TimePoint m_now = kStart;
};

// Each yield moves the clock on by the time the real yield could block (at
// most its 10 ms), and runs onYield as a window event handled in the yield.
class FakeYielder final : public Yielder {
public:
    explicit FakeYielder(FakeClock& clock) : m_clock(clock) {}

    void Yield(std::chrono::milliseconds maxWait) override {
        ++yields;
        m_clock.Advance(std::clamp(maxWait, kNoWait, QtYielder::kMaxBlock));
        if (onYield) onYield();
    }

    int yields = 0;
    std::function<void()> onYield;

private:
    FakeClock& m_clock;
};

class RecordingStatus final : public LinkStatus {
public:
    void SetPanelText(int panel, const QString& text) override {
        m_panels.at(panel) = text;
        log.push_back(QStringLiteral("panel%1=%2").arg(panel).arg(text).toStdString());
    }
    QString PanelText(int panel) const override { return m_panels.at(panel); }
    void SetComStat(std::int16_t code) override {
        lamp = code;
        log.push_back("lamp=" + std::to_string(code));
    }
    void ShowLinkNotice(const QString& text) override { notice = text.toStdString(); }

    std::vector<std::string> log;
    int lamp = -1;
    std::string notice;

private:
    std::vector<QString> m_panels = std::vector<QString>(6);
};

class RecordingAlerts final : public LinkAlerts {
public:
    void ShowCritical(const QString& title, const QString& text, const QString& detail) override {
        log.push_back("critical:" + title.toStdString() + "|" + text.toStdString());
        details.push_back(detail.toStdString());
        if (onCritical) onCritical();
    }
    void ShowSettingsNotSaved(const QString& text) override {
        log.push_back("notSaved:" + text.toStdString());
    }
    void EndProgram() override {
        log.push_back("end");
        if (onEnd) onEnd();
    }

    std::vector<std::string> log;
    std::vector<std::string> details;  // of each critical message
    std::function<void()> onCritical;
    std::function<void()> onEnd;
};

// A serial port without a device, recording what the program did to it.
// Opening fails like a real port for invalid numbers, and for any port when
// openFails is set; after failWritesAfter writes every write fails, as on a
// device that went away.
class FakeSerialPort final : public SerialPort {
public:
    void SetCommPort(int port) override { m_commPort = port; }
    int CommPort() const override { return m_commPort; }
    void SetSettings(const QString& text) override {
        const auto parsed = ParseLineSettings(text);
        if (!parsed) throw SerialPortError(QStringLiteral("bad settings ") + text);
        m_settings = text;
        m_baud = parsed->baud;
    }
    QString Settings() const override { return m_settings; }
    void Open() override {
        if (PortDevice(m_commPort).isEmpty() || openFails)
            throw SerialPortError(QStringLiteral("cannot open"));
        m_open = true;
        m_input.clear();
        opens.push_back(m_settings.toStdString());
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    // A device node for the unplug tests to remove and bring back; none by
    // default.
    QString Device() const override { return device; }
    QString device;
    void SetDTREnable(bool on) override { dtr = on; }
    void SetRTSEnable(bool on) override { rts = on; }
    int InBufferCount() override {
        RequireOpen();
        Deliver();
        return static_cast<int>(std::min<std::size_t>(m_input.size(), kReceiveBufferBytes));
    }
    ByteBuffer Input() override {
        RequireOpen();
        Deliver();
        const auto count =
            static_cast<std::ptrdiff_t>(std::min<std::size_t>(m_input.size(), kReceiveBufferBytes));
        ByteBuffer out(m_input.begin(), m_input.begin() + count);
        m_input.erase(m_input.begin(), m_input.begin() + count);
        return out;
    }
    void Output(char byte) override {
        RequireOpen();
        if (failWritesAfter >= 0 && static_cast<int>(writes.size()) >= failWritesAfter)
            throw SerialPortError(QStringLiteral("write failed"));
        writes.push_back(std::string(1, byte) + "@" + std::to_string(m_baud));
        if (onWrite) onWrite(byte, m_baud);
    }

    // Bytes from the far end; lost while the port is closed, as on a real line.
    void Feed(std::string_view bytes) {
        if (m_open) m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    }
    // Bytes that reach the program at `due` on clock, as from a USB adapter
    // that holds what it received; lost if the port is closed by then.
    void FeedAt(const FakeClock& clock, Clock::TimePoint due, std::string_view bytes) {
        m_clock = &clock;
        m_pending.push_back({due, std::string(bytes)});
    }

    std::vector<std::string> writes;  // "a@115200": byte and port rate
    std::vector<std::string> opens;   // line settings at each open
    std::function<void(char, int)> onWrite;
    bool openFails = false;
    int failWritesAfter = -1;
    bool dtr = false;
    bool rts = false;

private:
    void RequireOpen() const {
        if (!m_open) throw SerialPortError(QStringLiteral("port not open"));
    }

    void Deliver() {
        if (!m_clock) return;
        // In the order sent: a later answer never overtakes an earlier one.
        while (!m_pending.empty() && m_pending.front().due <= m_clock->Now()) {
            Feed(m_pending.front().bytes);
            m_pending.pop_front();
        }
    }

    struct Pending {
        Clock::TimePoint due;
        std::string bytes;
    };

    int m_commPort = 0;
    const FakeClock* m_clock = nullptr;
    std::deque<Pending> m_pending;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_baud = 9600;
    bool m_open = false;
    std::deque<char> m_input;
};

// The logger box at the far end of a FakeSerialPort. It understands a byte
// only when the port runs at the box's own rate; it steps up no higher than
// topRate and answers "b" and "e" only when present.
class FakeBox {
public:
    FakeBox(FakeSerialPort& port, int startRate) : rate(startRate), m_port(port) {
        port.onWrite = [this](char byte, int baud) { OnByte(byte, baud); };
    }

    int rate;
    int topRate = 115200;
    bool present = true;
    bool lampLit = false;
    std::vector<int> resetsHeardAt;  // the box's rate when an "a" reached it

    // A late adapter: with a clock, every answer reaches the program this
    // long after the command reached the box. Without one, answers arrive
    // at once.
    const FakeClock* clock = nullptr;
    std::chrono::nanoseconds replyLatency{0};
    // A USB adapter passes what it received on at the ticks of its latency
    // timer: each answer waits, after replyLatency, for the next tick.
    std::chrono::nanoseconds adapterTick{0};
    // Answers due within [stallFrom, stallFrom + stallFor) arrive together
    // at its end: the adapter or the box held them.
    Clock::TimePoint stallFrom{};
    std::chrono::nanoseconds stallFor{0};
    // Lamp queries (counted from 1) whose answers go missing.
    std::vector<int> lostLampReplies;
    int lampQueries = 0;

private:
    void Answer(std::string_view bytes) {
        if (!clock) {
            m_port.Feed(bytes);
            return;
        }
        Clock::TimePoint due = clock->Now() + replyLatency;
        if (adapterTick.count() > 0) {
            const auto since = due.time_since_epoch();
            due += (adapterTick - since % adapterTick) % adapterTick;
        }
        if (due >= stallFrom && due < stallFrom + stallFor) due = stallFrom + stallFor;
        m_port.FeedAt(*clock, due, bytes);
    }

    void OnByte(char byte, int baud) {
        if (!present || baud != rate) return;  // garbage at the wrong rate
        switch (byte) {
            case 'a':
                resetsHeardAt.push_back(rate);
                rate = Link::kRates.front();
                break;
            case 'c': {
                const auto it = std::find(Link::kRates.begin(), Link::kRates.end(), rate);
                if (rate < topRate && it != Link::kRates.end() && it + 1 != Link::kRates.end())
                    rate = *(it + 1);
                break;
            }
            // Replies echo the command byte first.
            case 'b':
                Answer("bQuarn-IV 2.1\r");
                break;
            case 'e':
                Answer("eOK\r");
                break;
            case 'h':
                ++lampQueries;
                if (std::find(lostLampReplies.begin(), lostLampReplies.end(), lampQueries) ==
                    lostLampReplies.end())
                    Answer(lampLit ? "h0" : "h1");
                break;
            default:
                break;
        }
    }

    FakeSerialPort& m_port;
};

}  // namespace quarn::test
