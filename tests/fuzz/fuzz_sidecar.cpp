// Fuzzes the log sidecar reader, the file that travels with a shared log:
// whatever the bytes, the times it keeps never run backwards or past the
// log's records, markers point into the log, and reading the file in pieces
// as the viewer follows a recording gives what reading it whole gives.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>

#include "logging/LogSidecar.h"

namespace {

bool Same(const quarn::SidecarContents& a, const quarn::SidecarContents& b) {
    if (a.found != b.found || a.markersOnly != b.markersOnly || a.cut != b.cut ||
        a.start != b.start || a.times != b.times || a.markers.size() != b.markers.size())
        return false;
    for (std::size_t i = 0; i < a.markers.size(); ++i) {
        const quarn::SidecarMarker& x = a.markers[i];
        const quarn::SidecarMarker& y = b.markers[i];
        if (x.id != y.id || x.record != y.record || x.kind != y.kind || x.name != y.name)
            return false;
    }
    return true;
}

}  // namespace

// The first byte is the log's record count, the second the size of the
// pieces; the rest is the sidecar.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int64_t records = data[0];
    const qsizetype piece = 1 + data[1] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    const quarn::SidecarContents whole = quarn::ParseSidecar(bytes, records);
    if (static_cast<std::int64_t>(whole.times.size()) > records) std::abort();
    for (std::size_t i = 1; i < whole.times.size(); ++i)
        if (!(whole.times[i] >= whole.times[i - 1])) std::abort();
    for (const quarn::SidecarMarker& m : whole.markers)
        if (m.record < 0 || m.record > records || m.id < 1) std::abort();
    if (!whole.found && (!whole.times.empty() || !whole.markers.empty())) std::abort();

    quarn::SidecarParser parser(records);
    QByteArray pending;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        pending += bytes.mid(at, piece);
        const qsizetype used = parser.Feed(QByteArrayView(pending));
        if (used < 0 || used > pending.size()) std::abort();
        pending.remove(0, used);
    }
    if (!Same(parser.Contents(), whole)) std::abort();
    return 0;
}
