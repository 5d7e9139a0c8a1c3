#include "report/ReportRender.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>

#include <cmath>

#include "report/ReportCharts.h"

namespace quarn {
namespace {

const QSize kOverviewSize(640, 150);
const QSize kHistogramSize(640, 200);
const QSize kPullSize(420, 220);

QString Num(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

QString Secs(double v) {
    return v < 0 ? QStringLiteral("\u2013") : Num(v, 2) + QStringLiteral(" s");
}

QString Clock(double seconds) {
    const int whole = static_cast<int>(std::floor(seconds));
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60)
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(static_cast<int>((seconds - whole) * 10));
}

QString Duration(double seconds) {
    const int s = static_cast<int>(std::lround(seconds));
    if (s >= 3600) return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
    if (s >= 60) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return Num(seconds, 1) + QStringLiteral(" s");
}

QString Esc(const QString& s) {
    return s.toHtmlEscaped();
}

QString Row(const QStringList& cells, bool head = false) {
    const QString tag = head ? QStringLiteral("th") : QStringLiteral("td");
    QString out = QStringLiteral("<tr>");
    for (const QString& c : cells) out += QStringLiteral("<%1>%2</%1>").arg(tag, c);
    return out + QStringLiteral("</tr>");
}

QString Table(const QStringList& head, const QList<QStringList>& rows) {
    QString out = QStringLiteral("<table cellspacing='0' cellpadding='3' border='1'>") + Row(head, true);
    for (const QStringList& r : rows) out += Row(r);
    return out + QStringLiteral("</table>");
}

QString Trap(double seconds, double mph) {
    if (seconds < 0) return QStringLiteral("\u2013");
    return QStringLiteral("%1 @ %2 mph (%3 km/h)")
        .arg(Secs(seconds), Num(mph, 1), Num(mph * kKmPerMile, 1));
}

QString TimesNote(const DriveReport& r) {
    if (!r.timesEstimated) return QStringLiteral("record times from the sidecar");
    return QStringLiteral("<b>times estimated</b> at %1 records a second (the log has no record "
                          "times for %2)")
        .arg(Num(r.estimatedFrameRate, 0),
             r.start.isValid() ? QStringLiteral("its last records") : QStringLiteral("any record"));
}

QString CarSection(const DriveReport& r) {
    QString h = QStringLiteral("<h2>The car and the drive</h2>");
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("Car"),
                        Esc(r.carName.isEmpty() ? QStringLiteral("(no name)") : r.carName) +
                            (r.carDescription.isEmpty() ? QString()
                                                        : QStringLiteral(": ") + Esc(r.carDescription))};
    rows << QStringList{QStringLiteral("Log file"), Esc(QFileInfo(r.logFile).fileName())};
    rows << QStringList{QStringLiteral("Start"),
                        r.start.isValid()
                            ? r.start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                            : QStringLiteral("unknown (no sidecar)")};
    rows << QStringList{QStringLiteral("Duration"), Duration(r.durationSeconds) +
                                                        QStringLiteral(", ") + TimesNote(r)};
    rows << QStringList{QStringLiteral("Distance"),
                        QStringLiteral("%1 miles (%2 km), integrated from the speed sensor over %3")
                            .arg(Num(r.miles, 2), Num(r.miles * kKmPerMile, 2),
                                 r.timesEstimated ? QStringLiteral("estimated times")
                                                  : QStringLiteral("the recorded times"))};
    rows << QStringList{QStringLiteral("Records"),
                        QStringLiteral("%1, of which %2 warming up (left out of every figure) "
                                       "and %3 with the engine running")
                            .arg(r.records)
                            .arg(r.warmUpRecords)
                            .arg(r.runningRecords)};
    return h + Table({QStringLiteral("Item"), QStringLiteral("Value")}, rows);
}

QString FuelSection(const DriveReport& r) {
    QString h = QStringLiteral("<h2>Fuel</h2>");
    if (r.gallons <= 0)
        return h + QStringLiteral("<p>No fuel was measured: the engine never ran once warmed up.</p>");
    const double litres = r.gallons / 0.26417;
    h += QStringLiteral("<p>Fuel used: %1 US gal (%2 L). Economy: %3 mpg (US), %4 L/100 km. "
                        "From the injector duty, as the economy dial reads it.</p>")
             .arg(Num(r.gallons, 3), Num(litres, 2), Num(r.Mpg(), 1), Num(r.LitresPer100Km(), 1));
    return h;
}

QString ChannelSection(const DriveReport& r) {
    QList<QStringList> rows;
    for (const ChannelSummary& s : r.channels) {
        const DriveChannelInfo& info = DriveChannels()[static_cast<std::size_t>(s.channel)];
        const int d = s.max - s.min < 10 ? 2 : 0;
        rows << QStringList{QString::fromUtf8(info.label), QString::fromUtf8(info.unit),
                            Num(s.min, d), Num(s.max, d), Num(s.mean, d),
                            s.hasBands ? Num(s.warnSeconds, 1) + QStringLiteral(" s") : QStringLiteral("\u2013"),
                            s.hasBands ? Num(s.dangerSeconds, 1) + QStringLiteral(" s") : QStringLiteral("\u2013")};
    }
    return QStringLiteral("<h2>Channels</h2><p>Over the records with the engine running.</p>") +
           Table({QStringLiteral("Channel"), QStringLiteral("Unit"), QStringLiteral("Min"),
                  QStringLiteral("Max"), QStringLiteral("Mean"), QStringLiteral("Warning"),
                  QStringLiteral("Danger")},
                 rows);
}

QString EventSection(const DriveReport& r) {
    QString h = QStringLiteral("<h2>Events</h2>");
    if (r.events.empty()) return h + QStringLiteral("<p>No alarms and no markers.</p>");
    QList<QStringList> rows;
    for (const DriveEvent& e : r.events)
        rows << QStringList{Clock(e.seconds), QString::number(e.record),
                            e.kind == QLatin1String("alarm") ? QStringLiteral("Alarm")
                                                             : QStringLiteral("Marker (%1)").arg(Esc(e.kind)),
                            Esc(e.name)};
    return h + Table({QStringLiteral("Time"), QStringLiteral("Record"), QStringLiteral("Kind"),
                      QStringLiteral("Text")},
                     rows);
}

QString PullSection(const DriveReport& r, const std::function<QString(const QString&)>& src) {
    QString h = QStringLiteral("<h2>Pulls</h2>");
    if (r.pulls.empty())
        return h + QStringLiteral("<p>%1</p>").arg(Esc(QString::fromStdString(r.pullProblem)));
    for (std::size_t i = 0; i < r.pulls.size(); ++i) {
        const PullReport& p = r.pulls[i];
        h += QStringLiteral("<h3>Pull %1 at %2, %3\u2013%4 rpm</h3>")
                 .arg(p.pull.number)
                 .arg(Clock(p.startSeconds), Num(p.pull.startRpm, 0), Num(p.pull.endRpm, 0));
        if (!p.curve.Ok()) {
            h += QStringLiteral("<p>No curve: %1</p>").arg(Esc(QString::fromStdString(p.curve.problem)));
            continue;
        }
        const double cf = p.curve.correctionFactor;
        h += QStringLiteral("<p>Peak power %1 hp at %2 rpm%3, peak torque %4 lb\u00b7ft at %5 rpm%6 "
                            "(SAE corrected, factor %7).</p>")
                 .arg(Num(p.curve.peakHp.value * cf, 0), Num(p.curve.peakHp.rpm, 0),
                      p.curve.peakHp.atEnd ? QStringLiteral(" (still rising)") : QString(),
                      Num(p.curve.peakTorque.value * cf, 0), Num(p.curve.peakTorque.rpm, 0),
                      p.curve.peakTorque.atEnd ? QStringLiteral(" (still rising)") : QString(),
                      Num(cf, 3));
        h += QStringLiteral("<p><img src='%1' width='%2' height='%3'></p>")
                 .arg(src(QStringLiteral("pull-%1").arg(i)))
                 .arg(kPullSize.width())
                 .arg(kPullSize.height());
    }
    return h;
}

QString AccelerationSection(const DriveReport& r) {
    QString h = QStringLiteral("<h2>Acceleration from a standing start</h2>");
    const AccelerationResult& a = r.acceleration;
    if (a.runs.empty()) {
        h += QStringLiteral("<p>No acceleration times: %1</p>")
                 .arg(Esc(QString::fromStdString(a.noRunReason)));
    } else {
        h += QStringLiteral("<p>Timed from the raw speed-sensor periods, each dated to the middle of "
                            "the period it measured. The sensor reads nothing below about 6.4 mph, "
                            "so each start is <b>estimated</b> by extrapolating the first readings "
                            "back to 0 mph; %1.</p>")
                 .arg(TimesNote(r));
        QStringList head{QStringLiteral("Run"), QStringLiteral("Launch"),
                         QStringLiteral("Start estimated")};
        for (const AccelTime& t : a.runs.front().times) head << QString::fromStdString(t.label);
        head << QStringLiteral("1/8 mile") << QStringLiteral("1/4 mile");
        QList<QStringList> rows;
        for (const StandingRun& run : a.runs) {
            QStringList row{QString::number(run.number), Clock(run.launchSeconds),
                            QStringLiteral("%1 s before the first reading (%2 mph)")
                                .arg(Num(run.Extrapolated(), 2), Num(run.firstReadingMph, 1))};
            for (const AccelTime& t : run.times) row << Secs(t.seconds);
            row << Trap(run.eighthSeconds, run.eighthTrapMph)
                << Trap(run.quarterSeconds, run.quarterTrapMph);
            rows << row;
        }
        h += Table(head, rows);
    }
    if (!a.rolling.empty()) {
        QList<QStringList> rows;
        for (const AccelTime& t : a.rolling)
            rows << QStringList{QString::fromStdString(t.label), Clock(t.startSeconds), Secs(t.seconds)};
        h += QStringLiteral("<h3>Rolling</h3>") +
             Table({QStringLiteral("Range"), QStringLiteral("At"), QStringLiteral("Time")}, rows);
    }
    return h;
}

QString GearSection(const DriveReport& r) {
    QString h = QStringLiteral("<h2>Gears</h2>");
    const GearResult& g = r.gears;
    if (!g.problem.empty()) h += QStringLiteral("<p>%1</p>").arg(Esc(QString::fromStdString(g.problem)));
    if (g.gears.empty()) return h;
    h += QStringLiteral("<p>Learned from %1 of steady driving (RPM \u00f7 speed held within 1 % for "
                        "0.4 s)%2. The dyno cuts a pull where the engine leaves its gear.</p>")
             .arg(Duration(g.steadySeconds),
                  r.gearsAsked > 0 ? QStringLiteral(", %1 gears as given").arg(r.gearsAsked)
                                   : QStringLiteral(", number of gears found"));
    QList<QStringList> rows;
    for (const Gear& gear : g.gears)
        rows << QStringList{QString::number(gear.number), Num(gear.rpmPerMph, 1),
                            Num(gear.mphPer1000, 2), Num(gear.mphPer1000 * kKmPerMile, 2),
                            Duration(gear.seconds)};
    rows << QStringList{QStringLiteral("none"), QString(), QString(), QString(),
                        Duration(g.betweenSeconds) + QStringLiteral(" (shifting, slipping, coasting)")};
    return h + Table({QStringLiteral("Gear"), QStringLiteral("rpm per mph"),
                      QStringLiteral("mph per 1000 rpm"), QStringLiteral("km/h per 1000 rpm"),
                      QStringLiteral("Time in gear")},
                     rows);
}

QString Image(const std::function<QString(const QString&)>& src, const char* name, QSize size) {
    return QStringLiteral("<p><img src='%1' width='%2' height='%3'></p>")
        .arg(src(QString::fromLatin1(name)))
        .arg(size.width())
        .arg(size.height());
}

}  // namespace

ReportCharts DrawReportCharts(const DriveReport& r) {
    ReportCharts charts;
    charts.push_back({QStringLiteral("overview-rpm"),
                      OverviewChart(r.rpm, QStringLiteral("RPM"), QColor(200, 40, 40), kOverviewSize)});
    charts.push_back({QStringLiteral("overview-mph"),
                      OverviewChart(r.mph, QStringLiteral("mph"), QColor(30, 120, 50), kOverviewSize)});
    charts.push_back({QStringLiteral("overview-tps"),
                      OverviewChart(r.tps, QStringLiteral("TPS, V"), QColor(40, 80, 200), kOverviewSize)});
    charts.push_back({QStringLiteral("speed-histogram"), SpeedHistogramChart(r, kHistogramSize)});
    for (std::size_t i = 0; i < r.pulls.size(); ++i)
        if (r.pulls[i].curve.Ok())
            charts.push_back({QStringLiteral("pull-%1").arg(i), PullChart(r.pulls[i], kPullSize)});
    return charts;
}

QString DriveReportHtml(const DriveReport& r,
                        const std::function<QString(const QString& name)>& src) {
    QString h = QStringLiteral(
        "<html><head><meta charset='utf-8'><title>Drive report</title>"
        "<style>body{font-family:sans-serif;font-size:9pt} h1{font-size:16pt} "
        "h2{font-size:12pt;margin-top:12px} h3{font-size:10pt} th{background:#dde4ee}</style>"
        "</head><body>");
    h += QStringLiteral("<h1>Drive report: %1</h1>")
             .arg(Esc(r.carName.isEmpty() ? QFileInfo(r.logFile).fileName() : r.carName));
    h += CarSection(r);
    h += FuelSection(r);
    h += AccelerationSection(r);
    h += GearSection(r);
    h += QStringLiteral("<h2>Overview</h2>");
    h += Image(src, "overview-rpm", kOverviewSize) + Image(src, "overview-mph", kOverviewSize) +
         Image(src, "overview-tps", kOverviewSize);
    h += QStringLiteral("<h3>Time at each speed</h3>") + Image(src, "speed-histogram", kHistogramSize);
    h += PullSection(r, src);
    h += ChannelSection(r);
    h += EventSection(r);
    return h + QStringLiteral("</body></html>");
}

bool WriteDriveReport(const DriveReport& r, const QString& path, QString* error) {
    const ReportCharts charts = DrawReportCharts(r);
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        QTextDocument doc;
        for (const auto& [name, image] : charts)
            doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("chart:") + name), image);
        doc.setHtml(DriveReportHtml(r, [](const QString& n) { return QStringLiteral("chart:") + n; }));
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Drive report"));
        writer.setCreator(QStringLiteral("Quarn Dash"));
        doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        doc.print(&writer);
        if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0) {
            if (error) *error = QStringLiteral("The PDF could not be written to %1.").arg(path);
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    auto dataUrl = [&charts](const QString& name) {
        for (const auto& [n, image] : charts) {
            if (n != name) continue;
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
        }
        return QString();
    };
    file.write(DriveReportHtml(r, dataUrl).toUtf8());
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace quarn
