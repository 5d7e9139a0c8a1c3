// The Log Viewer's Fuel tab on a simulated drive whose computer fuels by a
// MAF table with a known error: the table the simulator writes, pasted,
// gives the suggestion the window-free analysis gives, on the clipboard as
// the tuning editor takes it; a custom condition reaches the analysis; a bad
// table or condition is refused beside its box; the inputs come back for
// the same car in a new viewer, and not for another car.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <qcustomplot.h>

#include "SimLog.h"
#include "TestUtil.h"
#include "tests/fuel/FuelDrives.h"
#include "viewer/FuelTab.h"
#include "viewer/LogViewer.h"

namespace quarn {
namespace {

const test::ErrorCurve kError{{1.2, 0}, {2.0, 6}, {3.0, -4}};
const EngineModel::Fuelling kFuelling{kError, 12.0, 0.15};
// Fifteen minutes at 100 records a second: warm for the last third.
constexpr double kSeconds = 900;
constexpr double kRate = 100;

class FuelHost final : public LogViewerHost {
public:
    const VehicleData& Vehicle() const override { return vehicle; }
    double FrameRate() const override { return kRate; }
    QString CarName() const override { return car; }
    QString UserSettingsFile() const override { return settings; }
    void PlayRecords(const QString&, std::int64_t, std::int64_t) override {}
    VehicleData vehicle;
    QString car = QStringLiteral("Fox 5.0");
    QString settings;
};

class ViewerFuelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        log = new QString(dir->filePath(QStringLiteral("drive.qz0")));
        test::SimLogOptions o;
        o.seconds = kSeconds;
        o.frameRate = kRate;
        o.fuelling = kFuelling;
        ASSERT_GT(test::WriteSimLog(*log, o), 0);
        // The table as the simulator gives it to paste.
        const QString file = dir->filePath(QStringLiteral("maf.tsv"));
        QProcess sim;
        sim.start(QString::fromStdString(test::BinPath("quarn-boxsim")),
                  {QStringLiteral("--maf-error"), QStringLiteral("1.2:0,2.0:6,3.0:-4"),
                   QStringLiteral("--write-maf-table"), file});
        ASSERT_TRUE(sim.waitForFinished(30000));
        ASSERT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
        QFile in(file);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        table = new QString(QString::fromUtf8(in.readAll()));
    }
    static void TearDownTestSuite() {
        delete table;
        delete log;
        delete dir;
    }
    void SetUp() override {
        host.settings = QDir(settingsDir.path()).filePath(QStringLiteral("user.ini"));
        Make();
    }
    void TearDown() override { delete viewer.data(); }

    void Make() {
        delete viewer.data();
        viewer = new LogViewer(host);
        viewer->showMessage = [](const QString&) {};
        viewer->resize(1366, 704);
        viewer->show();
        fuel = viewer->fuel();
        viewer->tabs()->setCurrentWidget(fuel);
    }
    bool Show() {
        if (!viewer->Open(*log)) return false;
        return QTest::qWaitFor([&] { return !viewer->Busy(); }, 60000) && viewer->table();
    }
    void Click(const char* button) {
        auto* b = fuel->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    bool Analysed() {
        bool done = false;
        const auto c = QObject::connect(fuel, &FuelTab::analysed, [&] { done = true; });
        Click("FuelApply");
        const bool ok = QTest::qWaitFor([&] { return done; }, 60000);
        QObject::disconnect(c);
        return ok;
    }
    double Cell(int row, int column) const {
        return fuel->resultTable()->item(row, column)->text().toDouble();
    }

    static QTemporaryDir* dir;
    static QString* log;
    static QString* table;
    QTemporaryDir settingsDir;
    FuelHost host;
    QPointer<LogViewer> viewer;
    FuelTab* fuel = nullptr;
};

QTemporaryDir* ViewerFuelTest::dir = nullptr;
QString* ViewerFuelTest::log = nullptr;
QString* ViewerFuelTest::table = nullptr;

constexpr int kSuggestedColumn = 2;
constexpr int kConfidenceColumn = 4;
constexpr int kHitsColumns[] = {5, 8};

TEST_F(ViewerFuelTest, ThePastedSimulatorTableGivesTheWindowFreeSuggestionAndCopiesIt) {
    ASSERT_TRUE(Show());
    fuel->transferBox()->setPlainText(*table);
    ASSERT_TRUE(Analysed());

    MafTransfer transfer;
    ASSERT_TRUE(ParseTransfer(table->toStdString(), AirflowUnit::KgPerHour, transfer, nullptr));
    const FuelResult expected = AnalyseFuel({test::FuelDrive(kSeconds, kFuelling)}, transfer,
                                            test::SimSetup(kFuelling));
    ASSERT_TRUE(expected.AnyUsed());
    const QTableWidget& shown = *fuel->resultTable();
    ASSERT_EQ(shown.rowCount(), static_cast<int>(expected.bins.size()));
    int used = 0;
    for (int row = 0; row < shown.rowCount(); ++row) {
        const FuelBin& b = expected.bins[static_cast<std::size_t>(row)];
        used += b.used;
        EXPECT_NEAR(Cell(row, 0), b.volts, 1e-3);
        EXPECT_NEAR(Cell(row, kSuggestedColumn), b.suggested, b.suggested * 2e-3)
            << "row " << row << " at " << b.volts << " V";
        EXPECT_EQ(shown.item(row, kConfidenceColumn)->text() == QStringLiteral("not used"), !b.used) << b.volts << " V";
    }
    EXPECT_GE(used, 5);
    // The table opens at the first row with hits.
    const auto firstUsed = std::find_if(expected.bins.begin(), expected.bins.end(),
                                        [](const FuelBin& b) { return b.used; });
    EXPECT_EQ(shown.rowAt(0), firstUsed - expected.bins.begin());

    // The chart's counts: the busiest row keeps its own, and no two shown
    // run into each other.
    fuel->plot()->replot();
    std::vector<double> shownAt;
    QCPItemText* busiest = nullptr;
    for (int i = 0; i < fuel->plot()->itemCount(); ++i) {
        auto* label = qobject_cast<QCPItemText*>(fuel->plot()->item(i));
        if (!label) continue;
        if (!busiest || label->text().toInt() > busiest->text().toInt()) busiest = label;
        if (label->visible()) shownAt.push_back(fuel->plot()->xAxis->coordToPixel(label->position->key()));
    }
    ASSERT_NE(busiest, nullptr);
    EXPECT_TRUE(busiest->visible());
    std::sort(shownAt.begin(), shownAt.end());
    for (std::size_t i = 1; i < shownAt.size(); ++i)
        EXPECT_GE(shownAt[i] - shownAt[i - 1], QFontMetricsF(busiest->font()).height());

    // The clipboard holds what the tuning editor reads back: the table's
    // volts and the suggestion, in the unit pasted.
    Click("FuelCopy");
    MafTransfer copied;
    std::string error;
    ASSERT_TRUE(ParseTransfer(QApplication::clipboard()->text().toStdString(), AirflowUnit::KgPerHour,
                              copied, &error))
        << error;
    ASSERT_EQ(copied.Rows(), expected.bins.size());
    for (std::size_t k = 0; k < copied.Rows(); ++k) {
        EXPECT_NEAR(copied.volts[k], expected.bins[k].volts, 1e-6);
        EXPECT_NEAR(copied.airflow[k], expected.bins[k].suggested, expected.bins[k].suggested * 2e-3);
    }

    // A custom condition reaches the analysis: above 2 V nothing is left.
    fuel->customCondition()->setText(QStringLiteral("MAF < 2"));
    ASSERT_TRUE(Analysed());
    for (int row = 0; row < shown.rowCount(); ++row) {
        if (Cell(row, 0) <= 2.2) continue;
        for (int c : kHitsColumns) EXPECT_EQ(Cell(row, c), 0) << Cell(row, 0) << " V";
    }
    EXPECT_GT(fuel->Result().common[1].removed, 0);
}

TEST_F(ViewerFuelTest, ABadTableOrConditionIsRefusedBesideItsBox) {
    ASSERT_TRUE(Show());
    fuel->transferBox()->setPlainText(QStringLiteral("0.5\t10\n1.0 kg/h\n2.0\t40\n"));
    Click("FuelApply");
    EXPECT_FALSE(fuel->Running());
    EXPECT_TRUE(fuel->transferProblem()->isVisible());
    EXPECT_TRUE(fuel->transferProblem()->text().contains(QStringLiteral("line 2")))
        << fuel->transferProblem()->text().toStdString();

    fuel->transferBox()->setPlainText(*table);
    fuel->customCondition()->setText(QStringLiteral("RPM > (3000"));
    Click("FuelApply");
    EXPECT_FALSE(fuel->Running());
    EXPECT_FALSE(fuel->transferProblem()->isVisible());
    EXPECT_TRUE(fuel->customProblem()->isVisible());
    EXPECT_FALSE(fuel->HasResult());
}

TEST_F(ViewerFuelTest, TheInputsComeBackInANewViewerForTheSameCarOnly) {
    FuelInputs typed = fuel->Inputs();
    typed.transfer = *table;
    typed.unit = AirflowUnit::LbPerMin;
    typed.setup.injector.slopeLbHr = 42;
    typed.setup.injector.bankFire = true;
    typed.setup.injector.cylinders = 6;
    typed.setup.fuel = FuelKind::E85;
    typed.setup.target.afr = 8.1;
    typed.setup.lagMs = 230;
    typed.setup.filters.minEctF = 170;
    typed.custom = QStringLiteral("RPM > 1200");
    typed.showLambda = true;
    fuel->SetInputs(typed);
    Click("FuelApply");  // no log yet: the inputs are kept all the same

    Make();
    const FuelInputs back = fuel->Inputs();
    EXPECT_EQ(back.transfer, typed.transfer);
    EXPECT_EQ(back.unit, AirflowUnit::LbPerMin);
    EXPECT_DOUBLE_EQ(back.setup.injector.slopeLbHr, 42);
    EXPECT_TRUE(back.setup.injector.bankFire);
    EXPECT_EQ(back.setup.injector.cylinders, 6);
    EXPECT_EQ(back.setup.fuel, FuelKind::E85);
    // Shown as lambda, kept as AFR: three decimals of lambda hold it.
    EXPECT_NEAR(back.setup.target.afr, 8.1, 0.01);
    EXPECT_DOUBLE_EQ(back.setup.lagMs, 230);
    EXPECT_DOUBLE_EQ(back.setup.filters.minEctF, 170);
    EXPECT_EQ(back.custom, typed.custom);
    EXPECT_TRUE(back.showLambda);

    host.car = QStringLiteral("Mustang GT 4.6");
    host.vehicle = VehicleData();
    Make();
    EXPECT_TRUE(fuel->Inputs().transfer.isEmpty());
    EXPECT_DOUBLE_EQ(fuel->Inputs().setup.injector.slopeLbHr, VehicleData::kDefaultInjSize);
}

}  // namespace
}  // namespace quarn
