// The worst hole in a recording while each heavy operation runs: the
// dashboard records from the paced simulator through a real
// pseudo-terminal, the operations run one after another, and the longest
// time between two records around each (from the sidecar's own record
// times) is printed. A quiet stretch of the same length comes first, for
// the gap the link itself leaves. Aim: at most 50 ms on the release build.
//   recording_holes_bench [export records]

#include <QFile>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "app/RecordingRig.h"
#include "settings/SessionProperties.h"

namespace {

QMessageBox* VisibleMessageBox(QWidget* parent) {
    for (QMessageBox* box : parent->findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long exportRecords = argc > 1 ? std::atol(argv[1]) : 1000000;

    quarn::test::RecordingRig rig;
    if (!rig.Start({QStringLiteral("--pace")})) {
        std::fprintf(stderr, "recording_holes_bench: the simulator did not start\n");
        return 1;
    }
    quarn::SuperDash& dash = rig.dash();
    const QString bigLog = rig.Path(QStringLiteral("big.qz0"));
    const QString csv = rig.Path(QStringLiteral("big.csv"));
    if (!quarn::test::WriteBigLog(bigLog, exportRecords)) return 1;
    const QString vf = rig.Path(QStringLiteral("bad.vf"));
    {
        QFile file(vf);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        QByteArray text = "weight=3500\ninjsize=36\nnumcyl=8\n";
        for (int i = 0; i < 6000; ++i) text += "limit.x=1\n";
        file.write(text);
    }

    std::int64_t quietUntil = 0;
    const std::vector<quarn::test::HeavyOperation> ops{
        {"nothing (the link's own gaps)", [&] { quietUntil = rig.Records() + 600; },
         [&] { return rig.Records() >= quietUntil; }},
        {"Logging Control export", [&] { dash.logging()->ExportTo(bigLog, csv); },
         [&] { return !dash.logging()->exporting(); }},
        {"vehicle file, 6,000 bad limit lines",
         [&] {
             dash.ShowSessionProperties();
             dash.sessionProperties()->fileNameBox()->setText(vf);
             dash.sessionProperties()->LoadVehicle_Click();
         },
         [&] {
             QMessageBox* box = VisibleMessageBox(dash.sessionProperties());
             if (!box) return false;
             box->close();
             return true;
         }},
    };
    const auto spans = rig.Run(ops);
    std::printf("worst hole in the recording while each operation ran (paced box):\n");
    for (const auto& span : spans) {
        if (!span.completed) {
            std::printf("  %-40s did not complete\n", span.name.c_str());
            continue;
        }
        std::printf("  %-40s %7.1f ms  (%lld records during it, the hole after its %lldth)\n",
                    span.name.c_str(), span.worstGapSeconds * 1000,
                    static_cast<long long>(span.RecordsDuring()),
                    static_cast<long long>(span.worstGapAfter - span.recordsAtStart));
    }
    return 0;
}
