#pragma once

#include <QImage>
#include <QString>

#include "report/DriveReport.h"

namespace quarn {

// The report's charts, drawn by QCustomPlot into images. They need the
// QApplication and so the window thread; the figures behind them do not.
QImage OverviewChart(const OverviewSeries& series, const QString& label, const QColor& colour,
                     const QSize& size);
QImage SpeedHistogramChart(const DriveReport& report, const QSize& size);
QImage PullChart(const PullReport& pull, const QSize& size);

}  // namespace quarn
