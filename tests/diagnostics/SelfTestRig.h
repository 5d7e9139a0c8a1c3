#pragma once

// A self test on a fake clock against a modelled box. The box's lamp runs
// the simulator's flash sequence from the moment the start command reaches
// it; the clock moves only when the program yields, so a whole test runs
// instantly and exactly.

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/LinkFakes.h"
#include "sim/LampSequence.h"

namespace quarn::test {

// The lamp of the reader's own rules: each code once, one section.
inline LampCodes OnceOnly(std::vector<int> codes) {
    return {std::move(codes), {}, LampPattern::OnceOnly};
}

class SelfTestRig {
public:
    explicit SelfTestRig(const LampCodes& codes = OnceOnly({11}), double leadIn = 7,
                         double jitter = 0, unsigned seed = 1)
        : SelfTestRig(LampSequence(codes, leadIn, jitter, seed)) {}

    explicit SelfTestRig(LampSequence lampSequence) : lamp(std::move(lampSequence)) {
        link.SetComPort(1);
        auto heard = port.onWrite;
        port.onWrite = [this, heard](char byte, int baud) {
            if (byte == Link::kStartSelfTest && baud == box.rate) lamp.Start(Seconds());
            if (byte == Link::kStopSelfTest && baud == box.rate) lamp.Stop();
            heard(byte, baud);
        };
        yielder.onYield = [this] {
            box.lampLit = lamp.IsLit(Seconds());
            if (onYield) onYield();
        };
    }

    // How many times the program sent this command byte.
    int Sent(char byte) const {
        return static_cast<int>(
            std::count_if(port.writes.begin(), port.writes.end(),
                          [byte](const std::string& w) { return w[0] == byte; }));
    }
    double Seconds() const { return std::chrono::duration<double>(clock.Elapsed()).count(); }

    QTemporaryDir dir;
    FakeClock clock;
    FakeYielder yielder{clock};
    FakeSerialPort port;
    FakeBox box{port, Link::kRates.front()};
    RecordingStatus status;
    RecordingAlerts alerts;
    Link link{port, clock, yielder, status, alerts, dir.filePath(QStringLiteral("quarnom.ini"))};
    LampSequence lamp;
    // Runs at every yield once the lamp is up to date: where tests click.
    std::function<void()> onYield;
};

}  // namespace quarn::test
