// Fuzzes the reply search: the first input byte splits the rest into the
// received bytes and the text looked for; the answer must agree with a plain
// search that leaves out the first received byte.

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "link/LinkFakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static quarn::test::FakeClock clock;
    static quarn::test::FakeYielder yielder(clock);
    static quarn::test::FakeSerialPort port;
    static quarn::test::RecordingStatus status;
    static quarn::test::RecordingAlerts alerts;
    static quarn::Link link(port, clock, yielder, status, alerts, QStringLiteral("/dev/null"));

    const std::size_t split = std::min<std::size_t>(data[0], size - 1);
    const std::uint8_t* rest = data + 1;
    link.RxBuf().assign(rest, rest + split);
    const std::string_view text(reinterpret_cast<const char*>(rest + split), size - 1 - split);

    const std::string_view reply(reinterpret_cast<const char*>(rest), split);
    const bool expected =
        split >= 2 && !text.empty() && reply.substr(1).find(text) != std::string_view::npos;
    if (link.ReplyContains(text) != expected) std::abort();
    return 0;
}
