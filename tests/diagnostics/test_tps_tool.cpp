// Covers the TPS idle setting tool window: the dial fills the client area
// less 1 x 2 pixels at any size, and closing the window destroys it so the
// next request makes a fresh one.

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "widgets/DialGauge.h"
#include "diagnostics/TPSTool.h"

namespace quarn {
namespace {

// 5655 x 4215 twips in a 5670 x 4245 client area, whatever
// frame the window manager draws or none: no strip of the window is left.
TEST(TPSTool, GaugeFillsTheClientAreaLessOneByTwoPixels) {
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(378, 283)), QSize(377, 281));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(1000, 800)), QSize(999, 798));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(1, 1)), QSize(0, 0));
    TPSTool tool;
    EXPECT_EQ(tool.gauge()->geometry(), QRect(0, 0, 377, 281));
}

TEST(TPSTool, GaugeFollowsEveryResizeFromTheTopLeft) {
    TPSTool tool;
    tool.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tool));
    for (const QSize size :
         {QSize(378, 283), QSize(900, 700), QSize(120, 400), QSize(20, 10), QSize(1, 1)}) {
        tool.resize(size);
        QCoreApplication::processEvents();
        const QRect gauge = tool.gauge()->geometry();
        EXPECT_EQ(gauge.topLeft(), QPoint(0, 0)) << size.width() << "x" << size.height();
        EXPECT_EQ(gauge.size(), TPSTool::GaugeSizeFor(tool.size()))
            << size.width() << "x" << size.height();
    }
}

TEST(TPSTool, ClosingDestroysTheWindow) {
    QPointer<TPSTool> tool = new TPSTool;
    tool->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool));
    tool->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tool.isNull());
}

}  // namespace
}  // namespace quarn
