// Saves pictures of the dials for eyeballing: the fifteen dashboard gauges at
// their places on the black dashboard ground, and the TPS tool, each with
// plausible engine values. Usage: gauge_gallery [output directory]

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdlib>
#include <utility>
#include <vector>

#include "widgets/DialGauge.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/Twips.h"
#include "diagnostics/TPSTool.h"

using namespace quarn;

namespace {

// A warm engine at a steady 55 mph cruise; the two banks differ a little.
const std::vector<std::pair<Gauge, std::vector<double>>> kValues{
    {Gauge::Tach, {2450}},     {Gauge::Speedo, {55}}, {Gauge::TPS, {1.42}},
    {Gauge::Advance, {28}},    {Gauge::MAF, {1.85}},  {Gauge::DutyCycle, {18}},
    {Gauge::INJPW, {42}},      {Gauge::BAP, {29.4}},  {Gauge::ACT, {96}},
    {Gauge::ECT, {196}},       {Gauge::MPG, {23.5}},  {Gauge::HEGO, {0.72, 0.18}},
    {Gauge::WideBand, {14.7}}, {Gauge::Boost, {4}},   {Gauge::EGT, {1250, 1120}},
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    QWidget dash;
    dash.setFixedSize(Twips(8595), Twips(8280));
    dash.setAutoFillBackground(true);
    QPalette ground = dash.palette();
    ground.setColor(QPalette::Window, Qt::black);
    dash.setPalette(ground);
    for (const auto& [gauge, values] : kValues) {
        const GaugeLayout layout = GaugeLayoutOf(gauge);
        auto* dial = new DialGauge(layout.face, &dash);
        dial->setGeometry(layout.pixels());
        for (std::size_t i = 0; i < values.size(); ++i) {
            dial->SelectNeedle(static_cast<int>(i));
            dial->SetNeedleValue(values[i]);
        }
    }
    if (!dash.grab().save(out.filePath(QStringLiteral("gauges.png")))) return EXIT_FAILURE;

    TPSTool tool;
    tool.gauge()->SetNeedleValue(argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 0.93);
    tool.show();
    QCoreApplication::processEvents();
    if (!tool.grab().save(out.filePath(QStringLiteral("tps_tool.png")))) return EXIT_FAILURE;
    return EXIT_SUCCESS;
}
