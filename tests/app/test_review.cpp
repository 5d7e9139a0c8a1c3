// Reviewing logs without the box: the viewer opens at once and no connection
// is tried; the dashboard starts only from the viewer's menu, and its serial
// port failing then neither forgets the saved port nor ends the review.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include "TestDash.h"
#include "app/DashAlerts.h"
#include "link/LinkFakes.h"
#include "link/Settings.h"
#include "viewer/LogViewer.h"
#include "viewer/SimLog.h"

namespace quarn {
namespace {

using test::RecordingAlerts;

bool WaitFor(const std::function<bool()>& done, int limitMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(Review, OpensTheViewerWithoutConnectingAndKeepsTheSavedPortWhenTheDashboardFails) {
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("quarnom.ini"));
    ASSERT_TRUE(WriteSettings(3, settings));
    const QString log = dir.filePath(QStringLiteral("drive.qz0"));
    test::SimLogOptions o;
    o.seconds = 4;
    ASSERT_GT(test::WriteSimLog(log, o), 0);

    auto port = std::make_unique<test::FakeSerialPort>();
    test::FakeSerialPort& fake = *port;
    fake.openFails = true;  // no adapter at home
    RecordingAlerts alerts;
    DashOptions options;
    options.port = std::move(port);
    options.alerts = &alerts;
    options.settingsPath = settings;
    SuperDash dash(std::move(options));

    dash.StartReview(log);
    LogViewer* viewer = dash.logViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return viewer->table() && viewer->table()->Rows() > 0; }));
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(dash.isVisible());
    EXPECT_TRUE(alerts.log.empty()) << alerts.log.front();
    EXPECT_TRUE(fake.writes.empty());

    auto* entry = viewer->findChild<QAction*>(QStringLiteral("ViewerDashboard"));
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    ASSERT_TRUE(WaitFor([&] { return !alerts.log.empty(); }));
    EXPECT_EQ(alerts.log.front().rfind("critical:", 0), 0u) << alerts.log.front();
    EXPECT_TRUE(dash.link().PortFailed());
    EXPECT_FALSE(dash.monitor().Running());
    EXPECT_EQ(ReadSettings(settings), 3) << "the saved port was forgotten";
    EXPECT_FALSE(viewer->Closed());
}

// After the serial port error, the message is read; a review still open
// keeps the program, and the process is not ended under it.
TEST(Review, ThePortErrorMessageEndsNothingWhileTheReviewGoesOn) {
    QWidget owner;
    bool released = false;
    int asked = 0;
    DashAlerts alerts(&owner, [&] { released = true; });
    alerts.SetStayOpen([&] { return ++asked > 0; });
    alerts.ShowCritical(QStringLiteral("System Configuration Error"),
                        QStringLiteral("Serial Port Error.  Please reconfigure."), QString());
    QMessageBox* box = alerts.criticalBox();
    ASSERT_NE(box, nullptr);
    QTimer::singleShot(50, box, [box] { box->accept(); });
    alerts.EndProgram();  // would end the test program otherwise
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(released);
}

}  // namespace
}  // namespace quarn
