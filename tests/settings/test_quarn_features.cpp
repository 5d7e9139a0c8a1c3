// Covers the feature connector options as the dashboard opens them: one
// window at a time, with ticks that last only while it is open.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "TestDash.h"
#include "settings/QuarnFeatures.h"

namespace quarn {
namespace {

TEST(QuarnFeatures, MenuOpensOneWindowAndClosingForgetsTheTicks) {
    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    auto dash = test::MakeTestDash(alerts, dir.path());
    test::ChooseMenu(*dash, "mnuQuarnFeatureConnector");
    QPointer<QuarnFeatures> first = dash->quarnFeatures();
    ASSERT_TRUE(first);
    QTest::mouseClick(first->WideBandEn(), Qt::LeftButton);
    first->KnockEn()->setChecked(true);
    test::ChooseMenu(*dash, "mnuQuarnFeatureConnector");
    EXPECT_EQ(dash->quarnFeatures(), first.data());  // the same window, ticks kept
    EXPECT_TRUE(first->WideBandEn()->isChecked());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    test::ChooseMenu(*dash, "mnuQuarnFeatureConnector");
    ASSERT_TRUE(dash->quarnFeatures());
    for (QCheckBox* box : dash->quarnFeatures()->findChildren<QCheckBox*>())
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
}

}  // namespace
}  // namespace quarn
