// The right-click menus of scroll bars and spin boxes open without a nested
// event loop (the sending of the event returns with the menu still up), keep
// their entries, and carry out the chosen one.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include "widgets/OpenContextMenus.h"

namespace quarn {
namespace {

// Right-clicks w at pos; returns the menu left open, or null. A menu run in
// its own loop is closed from a timer, so the test ends either way.
QMenu* RightClick(QWidget* w, QPoint pos) {
    bool nested = false;
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        nested = true;
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    closer.start(200);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, w->mapToGlobal(pos));
    QApplication::sendEvent(w, &event);
    closer.stop();
    if (nested) return nullptr;
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text();
    return texts;
}

void Choose(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) {
            a->trigger();
            menu->close();
            return;
        }
    ADD_FAILURE() << "no entry " << text.toStdString();
}

class OpenContextMenusTest : public ::testing::Test {
protected:
    void SetUp() override { InstallOpenContextMenus(QCoreApplication::instance()); }
    void TearDown() override {
        while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        QCoreApplication::processEvents();
    }
};

TEST_F(OpenContextMenusTest, ScrollBarMenusOpenWithoutALoopAndScroll) {
    QScrollBar bar(Qt::Vertical);
    bar.setRange(0, 1000);
    bar.setPageStep(100);
    bar.resize(20, 400);
    bar.show();
    QMenu* menu = RightClick(&bar, QPoint(10, 200));
    ASSERT_NE(menu, nullptr) << "the menu ran its own event loop";
    EXPECT_EQ(Texts(menu), (QStringList{"Scroll here", "Top", "Bottom", "Page up", "Page down",
                                        "Scroll up", "Scroll down"}));
    Choose(menu, QStringLiteral("Bottom"));
    EXPECT_EQ(bar.value(), 1000);

    menu = RightClick(&bar, QPoint(10, 200));
    ASSERT_NE(menu, nullptr);
    Choose(menu, QStringLiteral("Scroll here"));
    EXPECT_NEAR(bar.value(), 500, 60);  // the middle of the groove

    QScrollBar across(Qt::Horizontal);
    across.setRange(0, 10);
    across.resize(300, 20);
    across.setValue(5);
    across.show();
    menu = RightClick(&across, QPoint(150, 10));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Texts(menu).mid(1, 2), (QStringList{"Left edge", "Right edge"}));
    Choose(menu, QStringLiteral("Scroll left"));
    EXPECT_EQ(across.value(), 4);
}

TEST_F(OpenContextMenusTest, SpinBoxMenusOpenWithoutALoopAndStep) {
    QSpinBox spin;
    spin.setRange(0, 10);
    spin.setValue(10);
    spin.show();
    QMenu* menu = RightClick(&spin, QPoint(5, 5));
    ASSERT_NE(menu, nullptr) << "the menu ran its own event loop";
    QStringList texts = Texts(menu);
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.mid(texts.size() - 2), (QStringList{"&Step up", "Step &down"}));
    EXPECT_FALSE(menu->actions().at(menu->actions().size() - 2)->isEnabled());  // at the top
    Choose(menu, QStringLiteral("Step &down"));
    EXPECT_EQ(spin.value(), 9);

    QDoubleSpinBox real;
    real.setRange(0, 5);
    real.setSingleStep(0.5);
    real.setValue(1);
    real.show();
    menu = RightClick(&real, QPoint(5, 5));
    ASSERT_NE(menu, nullptr);
    Choose(menu, QStringLiteral("&Step up"));
    EXPECT_DOUBLE_EQ(real.value(), 1.5);
}

}  // namespace
}  // namespace quarn
