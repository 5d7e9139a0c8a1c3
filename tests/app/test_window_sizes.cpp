// Every top-level window of the program opens on a 1280 x 720 screen: its
// smallest size (what its layout insists on, or what it was fixed to) fits,
// with room left for a title bar and a panel. The Log Viewer, the widest,
// keeps its side table, marker buttons and heat map controls on screen and
// unsqueezed at 1280 x 720 and at 1366 x 768. On the dashboard's status bar
// an alarm takes the room of the empty notice panels, so its text reads whole.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>

#include <functional>
#include <ostream>

#include "../viewer/PlainViewerHost.h"
#include "../viewer/SimLog.h"
#include "TestUtil.h"
#include "about/AboutBox.h"
#include "app/SuperDash.h"
#include "decode/GaugeFeed.h"
#include "diagnostics/SelfTester.h"
#include "diagnostics/TPSTool.h"
#include "link/LinkFakes.h"
#include "logging/Logging.h"
#include "scope/ScopeSlots.h"
#include "scope/SuperScope.h"
#include "settings/ComSetup.h"
#include "settings/LimitsWindow.h"
#include "settings/QuarnFeatures.h"
#include "settings/SessionProperties.h"
#include "viewer/HeatMapTab.h"
#include "viewer/LogViewer.h"
#include "viewer/ViewerSide.h"

namespace quarn {
namespace {

// A window manager's title bar and a desktop panel take this much of the
// screen's height.
constexpr int kDecorationPx = 64;

// The size below which the window cannot be made: a minimum set on the
// window wins, else the layout's minimum.
QSize SmallestSize(const QWidget& w) {
    const QSize set = w.minimumSize();
    const QSize hint = w.minimumSizeHint();
    return {set.width() > 0 ? set.width() : std::max(0, hint.width()),
            set.height() > 0 ? set.height() : std::max(0, hint.height())};
}

struct WindowCase {
    const char* name;
    std::function<QWidget*(SuperDash&, const QString& log)> open;
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

const WindowCase kWindows[] = {
    {"dashboard", [](SuperDash& d, const QString&) -> QWidget* { return &d; }},
    {"scope",
     [](SuperDash& d, const QString&) -> QWidget* { return d.scopes().Window(d.scopes().Open()); }},
    {"logging control",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowLogging();
         return d.logging();
     }},
    {"limits",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowLimits();
         return d.limitsWindow();
     }},
    {"session properties",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowSessionProperties();
         return d.sessionProperties();
     }},
    {"com setup",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowComSetup();
         return d.comSetup();
     }},
    {"feature connector",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowQuarnFeatures();
         return d.quarnFeatures();
     }},
    {"self test",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowSelfTester();
         return d.selfTester();
     }},
    {"tps tool",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowTpsTool();
         return d.tpsTool();
     }},
    {"about",
     [](SuperDash& d, const QString&) -> QWidget* {
         d.ShowAbout();
         return d.about();
     }},
    {"log viewer",
     [](SuperDash& d, const QString& log) -> QWidget* {
         d.ShowLogViewer(log);
         return d.logViewer();
     }},
};

class WindowSizeTest : public ::testing::TestWithParam<WindowCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        DashOptions options;
        options.alerts = &alerts;
        options.settingsPath = dir.filePath(QStringLiteral("quarnom.ini"));
        options.splashSeconds = 0;
        dash = std::make_unique<SuperDash>(std::move(options));
        log = dir.filePath(QStringLiteral("short.qz0"));
        test::SimLogOptions o;
        o.seconds = 4;
        o.markers = {{1, QStringLiteral("Start")}};
        ASSERT_GT(test::WriteSimLog(log, o), 0);
    }

    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    std::unique_ptr<SuperDash> dash;
    QString log;
};

TEST_P(WindowSizeTest, SmallestSizeFitsA1280By720Screen) {
    QWidget* window = GetParam().open(*dash, log);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isWindow());
    window->show();
    QApplication::processEvents();
    const QSize smallest = SmallestSize(*window);
    EXPECT_LE(smallest.width(), 1280) << GetParam().name;
    EXPECT_LE(smallest.height(), 720 - kDecorationPx) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, WindowSizeTest, ::testing::ValuesIn(kWindows),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

// Every control of page lies inside window and has at least the width it
// needs to show its text.
void ExpectControlsWhole(QWidget& window, QWidget& page, const char* where) {
    const QRect inside = window.rect();
    for (QWidget* w : page.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             (qobject_cast<QLabel*>(w) && !static_cast<QLabel*>(w)->wordWrap());
        if (!control || !w->isVisibleTo(&window)) continue;
        // A table's own buttons scroll with it.
        if (qobject_cast<QAbstractScrollArea*>(w->parentWidget())) continue;
        const QRect at(w->mapTo(&window, QPoint(0, 0)), w->size());
        const QString name = w->objectName().isEmpty()
                                 ? QString::fromLatin1(w->metaObject()->className())
                                 : w->objectName();
        const QString text = qobject_cast<QAbstractButton*>(w)
                                 ? static_cast<QAbstractButton*>(w)->text()
                                 : qobject_cast<QLabel*>(w) ? static_cast<QLabel*>(w)->text()
                                                             : QString();
        EXPECT_TRUE(inside.contains(at)) << where << ": " << name.toStdString() << " \""
                                         << text.toStdString() << "\" at " << at.x() << ","
                                         << at.y();
        EXPECT_GE(w->width(), w->minimumSizeHint().width())
            << where << ": " << name.toStdString() << " \"" << text.toStdString()
            << "\" squeezed";
    }
}

class ViewerScreenTest : public ::testing::TestWithParam<QSize> {};

TEST_P(ViewerScreenTest, SideTableAndControlsReachable) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::RecordingAlerts alerts;
    DashOptions options;
    options.alerts = &alerts;
    options.settingsPath = dir.filePath(QStringLiteral("quarnom.ini"));
    options.splashSeconds = 0;
    SuperDash dash(std::move(options));
    const QString log = dir.filePath(QStringLiteral("short.qz0"));
    test::SimLogOptions o;
    o.seconds = 4;
    ASSERT_GT(test::WriteSimLog(log, o), 0);
    dash.ShowLogViewer(log);
    LogViewer& viewer = *dash.logViewer();
    const QSize screen = GetParam();
    viewer.resize(screen.width(), screen.height() - kDecorationPx);
    QApplication::processEvents();
    ASSERT_EQ(viewer.width(), screen.width()) << "the viewer cannot be made this narrow";

    ViewerSide& side = *viewer.side();
    EXPECT_GE(side.width(), side.minimumSizeHint().width()) << "the side table is squeezed";
    ExpectControlsWhole(viewer, side, "side");
    for (QWidget* page : {viewer.tabs()->widget(0), static_cast<QWidget*>(viewer.heatMap())}) {
        viewer.tabs()->setCurrentWidget(page);
        QApplication::processEvents();
        ExpectControlsWhole(viewer, *page, "tab");
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, ViewerScreenTest,
                         ::testing::Values(QSize(1280, 720), QSize(1366, 768)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

// On a car computer's 800 x 480 screen the windows made larger than that
// show their controls in a scrolled page inside a window the screen holds; on
// a screen that holds them they are as before, Session Properties at its
// fixed size.
TEST(SmallScreenTest, LargerWindowsScrollTheirControlsInsideTheScreen) {
    const QSize small(800, 480 - kDecorationPx);
    const QSize large(1366, 768 - kDecorationPx);
    VehicleData vehicle;
    test::PlainViewerHost host;
    const auto check = [&](QWidget& window, const char* page, bool scrolled) {
        window.show();
        QApplication::processEvents();
        auto* content = window.findChild<QWidget*>(QString::fromLatin1(page));
        ASSERT_NE(content, nullptr) << page;
        const auto* scroll =
            qobject_cast<const QScrollArea*>(content->parentWidget()->parentWidget());
        EXPECT_EQ(scroll != nullptr, scrolled) << page;
        if (!scrolled) return;
        const QSize smallest = SmallestSize(window);
        EXPECT_LE(smallest.width(), small.width()) << page;
        EXPECT_LE(smallest.height(), small.height()) << page;
        EXPECT_LE(window.width(), small.width()) << page;
        EXPECT_LE(window.height(), small.height()) << page;
        // Scrolled to its far corner, the page shows its last control.
        const_cast<QScrollArea*>(scroll)->ensureVisible(content->width(), content->height());
        const QRect shown(content->mapFrom(scroll->viewport(), QPoint(0, 0)),
                          scroll->viewport()->size());
        EXPECT_EQ(shown.bottomRight(), content->rect().bottomRight()) << page;
    };

    {
        SessionProperties onSmall(vehicle, nullptr, small);
        check(onSmall, "SessionPage", true);
        SessionProperties onLarge(vehicle, nullptr, large);
        check(onLarge, "SessionPage", false);
        EXPECT_EQ(onLarge.minimumSize(), onLarge.maximumSize());  // a fixed size, as designed
    }
    {
        LimitsWindow onSmall(DefaultAlarmLimits(), nullptr, small);
        check(onSmall, "LimitsPage", true);
        LimitsWindow onLarge(DefaultAlarmLimits(), nullptr, large);
        check(onLarge, "LimitsPage", false);
    }
    {
        LogViewer onSmall(host, nullptr, small);
        check(onSmall, "ViewerSplit", true);
        LogViewer onLarge(host, nullptr, large);
        check(onLarge, "ViewerSplit", false);
    }
}

TEST_F(WindowSizeTest, AlarmTakesTheRoomOfTheEmptyNoticePanels) {
    dash->show();
    QLabel* alarm = dash->alarmPanel();
    auto* notice = dash->findChild<QLabel*>(QStringLiteral("Panel4"));
    auto* spare = dash->findChild<QLabel*>(QStringLiteral("Panel5"));
    ASSERT_TRUE(notice && spare);
    const auto whole = [&] {
        QApplication::processEvents();
        return alarm->width() >= alarm->sizeHint().width();
    };

    dash->NeedleValue(Gauge::Tach, 7600);
    ASSERT_FALSE(alarm->text().isEmpty());
    EXPECT_FALSE(notice->isVisible());
    EXPECT_FALSE(spare->isVisible());
    EXPECT_TRUE(whole()) << alarm->text().toStdString() << " cut at " << alarm->width() << " px";

    // A link notice still shows while the alarm is on.
    dash->status().ShowLinkNotice(QStringLiteral("The adapter was unplugged"));
    EXPECT_TRUE(notice->isVisible());
    dash->status().ShowLinkNotice(QString());
    EXPECT_FALSE(notice->isVisible());

    dash->NeedleValue(Gauge::Tach, 1000);
    ASSERT_TRUE(alarm->text().isEmpty());
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(spare->isVisible());
}

}  // namespace
}  // namespace quarn
