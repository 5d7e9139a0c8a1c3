#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

#include "report/DriveReport.h"

namespace quarn {

// The report's charts by the names its HTML gives them ("overview-rpm", ...).
using ReportCharts = std::vector<std::pair<QString, QImage>>;
// Draws them: window thread only (QCustomPlot).
ReportCharts DrawReportCharts(const DriveReport& report);

// The page as HTML; imageSource turns a chart's name into the src of its
// <img> (a resource name for the PDF, a data URL for the HTML file).
QString DriveReportHtml(const DriveReport& report,
                        const std::function<QString(const QString& name)>& imageSource);

// Writes the report to path: PDF when it ends in .pdf, else one HTML file
// with the charts inside it. Window thread only. False with error set when
// the file could not be written.
bool WriteDriveReport(const DriveReport& report, const QString& path, QString* error);

}  // namespace quarn
