// Covers the TPS idle setting tool window: the dial follows the window's
// outer size less the frame allowance at any size, and closing the window
// destroys it so the next request makes a fresh one.

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "widgets/DialGauge.h"
#include "diagnostics/TPSTool.h"

namespace quarn {
namespace {

TEST(TPSTool, GaugeSizeIsOuterSizeLessTheFrameClampedAtZero) {
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(386, 310)), QSize(378, 283));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(1000, 800)), QSize(992, 773));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(8, 27)), QSize(0, 0));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(5, 100)), QSize(0, 73));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(0, 0)), QSize(0, 0));
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
        EXPECT_EQ(gauge.size(), TPSTool::GaugeSizeFor(tool.frameGeometry().size()))
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
