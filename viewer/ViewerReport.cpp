#include "viewer/ViewerReport.h"

#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

#include "report/DriveReport.h"
#include "report/ReportRender.h"
#include "viewer/LogTable.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

// The viewer's columns as the report reads them. A copy, made on the window
// thread, so the worker never touches a table that a followed recording is
// still growing.
DriveInput InputFromTable(const LogTable& t, const QString& carName, const QString& carDescription) {
    DriveInput in;
    auto column = [&](const char* name) -> const std::vector<float>& {
        return t.Column(ViewerChannelId(QString::fromLatin1(name)));
    };
    DynoInput& d = in.dyno;
    d.Record.assign(t.Records().begin(), t.Records().end());
    d.Seconds.resize(t.Rows());
    bool anyEstimated = t.Rows() == 0;
    for (std::size_t i = 0; i < t.Rows(); ++i) {
        bool estimated = false;
        d.Seconds[i] = t.SecondsAt(i, &estimated);
        anyEstimated = anyEstimated || estimated;
    }
    d.Rpm = column("RPM");
    d.TpsVolts = column("TPS");
    d.Mph = column("MPH");
    d.BapPressure = column("BAP");
    d.ActF = column("ACT");
    d.VssPeriod = column("VssPeriod");
    d.VssPeriodPrev = column("VssPeriodPrev");
    d.AccelInterval = column("AccelInterval");
    d.warmUp = t.WarmUpRows();
    for (int c = 0; c < kDriveChannels; ++c)
        in.channels[static_cast<std::size_t>(c)] =
            column(DriveChannels()[static_cast<std::size_t>(c)].viewerName);
    in.timesEstimated = anyEstimated;
    in.estimatedFrameRate = t.EstimatedFrameRate();
    in.logPath = t.Path();
    in.start = t.Start();
    in.carName = carName;
    in.carDescription = carDescription;
    in.vehicle = t.Vehicle();
    in.dynoVehicle = DynoVehicle{t.Vehicle().weight(), t.Vehicle().cda(), t.Vehicle().crr()};
    PlaceEvents(in, t.Markers());
    return in;
}

void Write(QWidget* parent, const QString& path, std::shared_ptr<DriveInput> input) {
    auto* watcher = new QFutureWatcher<DriveReport>(parent);
    QObject::connect(watcher, &QFutureWatcher<DriveReport>::finished, parent, [watcher, parent, path] {
        watcher->deleteLater();
        QString error;
        if (WriteDriveReport(watcher->result(), path, &error))
            OpenMessage(parent, QMessageBox::Information, QStringLiteral("Drive report"),
                        QStringLiteral("The drive report is in \"%1\".").arg(path));
        else
            OpenMessage(parent, QMessageBox::Warning, QStringLiteral("Drive report"),
                        QStringLiteral("The drive report could not be written.\n%1").arg(error));
    });
    watcher->setFuture(QtConcurrent::run([input] { return BuildDriveReport(*input); }));
}

}  // namespace

void StartDriveReport(QWidget* parent, const std::shared_ptr<LogTable>& table,
                      const QString& carName, const QString& carDescription) {
    if (!table) {
        OpenMessage(parent, QMessageBox::Information, QStringLiteral("Drive report"),
                    QStringLiteral("Open a log first."));
        return;
    }
    const QFileInfo info(table->Path());
    const QString suggested = info.dir().filePath(info.completeBaseName() + QStringLiteral("-report.pdf"));
    QPointer<QWidget> guard(parent);
    std::weak_ptr<LogTable> weak = table;
    OpenSaveDialog(parent, QStringLiteral("Drive report"), suggested,
                   QStringLiteral("PDF (*.pdf);;HTML (*.html)"),
                   [guard, weak, carName, carDescription](const QString& path) {
                       const std::shared_ptr<LogTable> t = weak.lock();
                       if (!guard || !t) return;
                       Write(guard, path,
                             std::make_shared<DriveInput>(InputFromTable(*t, carName, carDescription)));
                   });
}

}  // namespace quarn
