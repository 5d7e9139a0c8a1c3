// Covers the dyno's widget: the pulls listed with their editable
// thresholds, overlaid curves with a legend and peaks, the SAE toggle, the
// dyno sheet and the curve export through an opened (never run) dialog, and
// a log without a pull.

#include <gtest/gtest.h>

#include <qcustomplot.h>

#include <QFile>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "dyno/DynoView.h"
#include "tests/dyno/DynoDrives.h"

namespace quarn {
namespace {

using test::HandDrive;

DynoInput TwoPulls() {
    HandDrive d;
    d.Stretch(3, 1.0, 0, [](double) { return 800; });
    d.Stretch(5, 4.5, 15.5, [](double s) { return 2000 + 800 * s; });
    d.Stretch(3, 1.0, 15.5, [](double s) { return 6000 - 1000 * s; });
    d.Stretch(4, 4.6, 21.0, [](double s) { return 2500 + 800 * s; });
    d.Stretch(2, 1.0, 21.0, [](double s) { return 5700 - 500 * s; });
    return d.in;
}

TEST(DynoView, OverlaysPickedPullsWithPeaksAndTheSaeToggle) {
    DynoView view;
    view.SetVehicle({3500, 0.7, 0.015}, QStringLiteral("Fox body"));
    view.SetInput(TwoPulls(), QStringLiteral("run.qz0"),
                  QDateTime(QDate(2026, 12, 7), QTime(17, 23), Qt::LocalTime));
    view.resize(1100, 600);
    ASSERT_EQ(view.pullList()->topLevelItemCount(), 2);
    EXPECT_EQ(view.PickedPulls(), std::vector<int>{1}) << "the first pull is drawn at once";
    EXPECT_EQ(view.chart()->graphCount(), 2);  // its power and its torque

    view.PickPulls({1, 2});
    ASSERT_EQ(view.chart()->graphCount(), 4);
    EXPECT_EQ(view.chart()->legend->itemCount(), 2) << "one entry per pull";
    EXPECT_EQ(view.chart()->graph(2)->name(), QStringLiteral("run.qz0, pull 2, 2026-12-07 17:23"));
    EXPECT_EQ(view.chart()->itemCount(), 12) << "a dot, a label and its guide at each peak";

    // Overlaid pulls peak close together: no label covers another, nor any
    // point of a curve.
    view.show();
    view.chart()->replot();
    std::vector<QRectF> labels;
    for (int i = 0; i < view.chart()->itemCount(); ++i)
        if (auto* text = qobject_cast<QCPItemText*>(view.chart()->item(i)))
            labels.push_back(QRectF(text->topLeft->pixelPosition(),
                                    text->bottomRight->pixelPosition()));
    ASSERT_EQ(labels.size(), 4u);
    for (std::size_t a = 0; a < labels.size(); ++a) {
        for (std::size_t b = a + 1; b < labels.size(); ++b)
            EXPECT_FALSE(labels[a].intersects(labels[b])) << a << " and " << b;
        for (int g = 0; g < view.chart()->graphCount(); ++g) {
            const QCPGraph* graph = view.chart()->graph(g);
            for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
                const QPointF point(graph->keyAxis()->coordToPixel(it->key),
                                    graph->valueAxis()->coordToPixel(it->value));
                EXPECT_FALSE(labels[a].contains(point)) << "label " << a << ", graph " << g;
            }
        }
    }

    // The relative humidity lowers the dry-air pressure the factor uses.
    const double dry = view.CurveOf(1)->correctionFactor;
    view.humidityBox()->setValue(50);
    EXPECT_GT(view.CurveOf(1)->correctionFactor, dry * 1.005);
    EXPECT_EQ(view.CurveOf(1)->humidityPercent, 50);
    view.humidityBox()->setValue(0);

    const DynoCurve* curve = view.CurveOf(1);
    ASSERT_TRUE(curve && curve->Ok());
    const double raw = view.chart()->graph(0)->data()->at(10)->value;
    view.SetCorrected(true);
    EXPECT_NEAR(view.chart()->graph(0)->data()->at(10)->value, raw * curve->correctionFactor,
                1e-9);
    EXPECT_TRUE(view.factorLabel()->text().contains(
        QString::number(curve->correctionFactor, 'f', 3)));

    // The thresholds are editable: 4.5 s leaves only the first pull.
    PullThresholds longer = view.Thresholds();
    longer.minSeconds = 4.5;
    view.SetThresholds(longer);
    EXPECT_EQ(view.pullList()->topLevelItemCount(), 1);
}

TEST(DynoView, SavesTheSheetAndTheCurveThroughAnOpenedDialog) {
    QTemporaryDir dir;
    DynoView view;
    view.SetInput(TwoPulls(), QStringLiteral("run.qz0"));
    view.show();

    const QString sheet = dir.filePath(QStringLiteral("sheet.png"));
    view.saveSheetButton()->click();  // returns with the dialog open
    auto* dialog = view.findChild<QFileDialog*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    emit dialog->fileSelected(sheet);
    dialog->close();
    QImage image(sheet);
    EXPECT_EQ(image.size(), QSize(1200, 960));

    const QString csv = dir.filePath(QStringLiteral("curve.csv"));
    QString error;
    ASSERT_TRUE(view.ExportCurveTo(csv, error)) << error.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_TRUE(lines[0].startsWith("RPM,Power (hp),Torque (lb-ft),SAE corrected power"));
    EXPECT_GT(lines.size(), 40);

    EXPECT_FALSE(view.ExportCurveTo(dir.filePath(QStringLiteral("no/such/dir.csv")), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(DynoView, ALogWithoutAPullSaysSoAndOffersNothingToSave) {
    HandDrive d;
    d.Stretch(10, 3.0, 15.5, [](double s) { return 2000 + 300 * s; });
    DynoView view;
    view.SetInput(d.in, QStringLiteral("cruise.qz0"));
    EXPECT_EQ(view.pullList()->topLevelItemCount(), 0);
    EXPECT_TRUE(view.status()->text().startsWith(QStringLiteral("No wide-open-throttle pull")));
    EXPECT_FALSE(view.saveSheetButton()->isEnabled());
    EXPECT_FALSE(view.exportButton()->isEnabled());
    EXPECT_EQ(view.chart()->graphCount(), 0);

    // A car without weight draws nothing and says where to fix it.
    view.SetInput(TwoPulls(), QStringLiteral("run.qz0"));
    view.SetVehicle({0, 0.7, 0.015}, QString());
    EXPECT_EQ(view.chart()->graphCount(), 0);
    EXPECT_TRUE(view.status()->text().contains(QStringLiteral("Session Properties")));
}

}  // namespace
}  // namespace quarn
