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

TEST(TPSTool, GaugeSizeIsOuterSizeLessTheFrameClampedToTheClientArea) {
    // Framed as designed: 5655 x 4215 twips in a 5670 x 4245 client area.
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(385, 308), QSize(378, 283)), QSize(377, 281));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(1007, 825), QSize(1000, 800)), QSize(999, 798));
    // No frame drawn yet: the design's frame stands in, not none at all.
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(378, 283), QSize(378, 283)), QSize(377, 281));
    // A taller title bar than designed: never past the client area.
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(380, 323), QSize(378, 283)), QSize(372, 283));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(8, 27), QSize(1, 2)), QSize(0, 0));
    EXPECT_EQ(TPSTool::GaugeSizeFor(QSize(0, 0), QSize(0, 0)), QSize(0, 0));
}

TEST(TPSTool, OpensWithTheGaugeFillingTheWindow) {
    TPSTool tool;
    EXPECT_EQ(tool.gauge()->geometry(), QRect(0, 0, 377, 281));
    tool.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tool));
    EXPECT_EQ(tool.gauge()->size(), TPSTool::GaugeSizeFor(tool.frameGeometry().size(), tool.size()));
    EXPECT_GE(tool.gauge()->width(), tool.width() - TPSTool::kFrameAllowance.width());
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
        EXPECT_EQ(gauge.size(), TPSTool::GaugeSizeFor(tool.frameGeometry().size(), tool.size()))
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
