#include "report/ReportCharts.h"

#include <qcustomplot.h>

namespace quarn {
namespace {

// Drawn at 1.5 times the size the page shows: sharp enough in print, and
// a one-hour log's dozens of dyno charts still compress quickly into a PDF.
constexpr double kScale = 1.5;

QImage Render(QCustomPlot& plot, const QSize& size) {
    plot.resize(size);
    return plot.toPixmap(size.width(), size.height(), kScale).toImage();
}

void Style(QCustomPlot& plot) {
    plot.setBackground(Qt::white);
    QFont font = plot.font();
    font.setPointSizeF(8);
    plot.xAxis->setTickLabelFont(font);
    plot.yAxis->setTickLabelFont(font);
    plot.xAxis->setLabelFont(font);
    plot.yAxis->setLabelFont(font);
}

}  // namespace

QImage OverviewChart(const OverviewSeries& series, const QString& label, const QColor& colour,
                     const QSize& size) {
    QCustomPlot plot;
    Style(plot);
    QCPGraph* g = plot.addGraph();
    QVector<double> x(series.seconds.begin(), series.seconds.end());
    QVector<double> y(series.values.begin(), series.values.end());
    for (double& t : x) t /= 60;
    g->setData(x, y, true);
    g->setPen(QPen(colour, 1));
    plot.xAxis->setLabel(QStringLiteral("minutes"));
    plot.yAxis->setLabel(label);
    plot.rescaleAxes();
    return Render(plot, size);
}

QImage SpeedHistogramChart(const DriveReport& report, const QSize& size) {
    QCustomPlot plot;
    Style(plot);
    auto* bars = new QCPBars(plot.xAxis, plot.yAxis);
    QVector<double> x, y;
    for (std::size_t b = 0; b < report.speedBands.size(); ++b) {
        x.push_back((static_cast<double>(b) + 0.5) * DriveReport::kBandMph);
        y.push_back(report.speedBands[b] / 60);
    }
    bars->setData(x, y, true);
    bars->setWidth(DriveReport::kBandMph * 0.9);
    bars->setBrush(QColor(70, 110, 170));
    bars->setPen(Qt::NoPen);
    plot.xAxis->setLabel(QStringLiteral("speed, mph (10 mph bands)"));
    plot.yAxis->setLabel(QStringLiteral("minutes"));
    plot.rescaleAxes();
    plot.xAxis->setRangeLower(0);
    plot.yAxis->setRangeLower(0);
    plot.yAxis->setRangeUpper(plot.yAxis->range().upper * 1.1 + 1e-3);
    return Render(plot, size);
}

QImage PullChart(const PullReport& pull, const QSize& size) {
    QCustomPlot plot;
    Style(plot);
    QVector<double> rpm, hp, tq;
    const double cf = pull.curve.correctionFactor;
    for (const CurvePoint& p : pull.curve.points) {
        rpm.push_back(p.rpm);
        hp.push_back(p.hp * cf);
        tq.push_back(p.torque * cf);
    }
    QCPGraph* power = plot.addGraph(plot.xAxis, plot.yAxis);
    power->setData(rpm, hp, true);
    power->setPen(QPen(QColor(200, 40, 40), 1.5));
    QCPGraph* torque = plot.addGraph(plot.xAxis, plot.yAxis2);
    torque->setData(rpm, tq, true);
    torque->setPen(QPen(QColor(40, 80, 200), 1.5));
    plot.yAxis2->setVisible(true);
    plot.xAxis->setLabel(QStringLiteral("rpm"));
    plot.yAxis->setLabel(QStringLiteral("hp (SAE)"));
    plot.yAxis2->setLabel(QStringLiteral("lb\u00b7ft (SAE)"));
    plot.rescaleAxes();
    plot.yAxis->setRangeLower(0);
    plot.yAxis2->setRangeLower(0);
    return Render(plot, size);
}

}  // namespace quarn
