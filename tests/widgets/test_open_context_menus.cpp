// The right-click menus of scroll bars, spin boxes and line edits open
// without a nested event loop (the sending of the event returns with the menu
// still up), keep their entries, and carry out the chosen one; one menu opens
// for each click, boxes made after the installation are covered, and a box
// with a menu of its own keeps it.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "MenuTest.h"
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

// The menus on screen.
int OpenMenus() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu*>(w) && w->isVisible()) ++open;
    return open;
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

// A window's boxes, as the settings windows and the viewer have them.
class WindowBoxesTest : public OpenContextMenusTest {
protected:
    void SetUp() override {
        OpenContextMenusTest::SetUp();
        auto* layout = new QVBoxLayout(&window);
        spin = new QSpinBox(&window);
        spin->setRange(0, 10);
        spin->setValue(10);
        edit = new QLineEdit(QStringLiteral("text"), &window);
        layout->addWidget(spin);
        layout->addWidget(edit);
        window.show();
    }
    QWidget window;
    QSpinBox* spin = nullptr;
    QLineEdit* edit = nullptr;
};

TEST_F(WindowBoxesTest, AWindowsBoxesOpenTheirMenusWithoutALoopAndTheyStillStep) {
    QMenu* menu = nullptr;
    ASSERT_TRUE(test::MenuOpensWithoutALoop(spin, &menu));
    // At its maximum the box cannot step up, only down.
    QAction* up = nullptr;
    QAction* down = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == QAbstractSpinBox::tr("&Step up")) up = a;
        if (a->text() == QAbstractSpinBox::tr("Step &down")) down = a;
    }
    ASSERT_TRUE(up && down);
    EXPECT_FALSE(up->isEnabled());
    ASSERT_TRUE(down->isEnabled());
    down->trigger();
    EXPECT_EQ(spin->value(), 9);
    menu->close();
    QApplication::processEvents();

    ASSERT_TRUE(test::MenuOpensWithoutALoop(edit, &menu));
    // The standard edit actions, as the box's own menu has them.
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(texts.join(QLatin1Char('|')).contains(QStringLiteral("Copy")))
        << texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(WindowBoxesTest, BoxesMadeAfterTheInstallationAreCovered) {
    auto* later = new QDoubleSpinBox(&window);
    later->show();
    EXPECT_TRUE(test::MenuOpensWithoutALoop(later));
}

// Installed again (a second dashboard), and clicked on the spin box or on
// its own editor, a box still gets one menu, with one Step up and one Step
// down: the line edits' handler does not open a second menu for a spin box.
TEST_F(WindowBoxesTest, OneClickOpensOneMenuWithOneSetOfEntries) {
    InstallOpenContextMenus(QCoreApplication::instance());
    ASSERT_EQ(OpenMenus(), 0);
    QMenu* menu = RightClick(spin, QPoint(5, 5));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(OpenMenus(), 1);
    EXPECT_EQ(Texts(menu).count(QStringLiteral("&Step up")), 1);
    EXPECT_EQ(Texts(menu).count(QStringLiteral("Step &down")), 1);
    menu->close();
    QApplication::processEvents();

    auto* inner = spin->findChild<QLineEdit*>();
    ASSERT_NE(inner, nullptr);
    menu = RightClick(inner, QPoint(5, 5));
    ASSERT_NE(menu, nullptr) << "the editor's click ran a loop";
    EXPECT_EQ(OpenMenus(), 1);
    EXPECT_EQ(Texts(menu).count(QStringLiteral("&Step up")), 1);
    menu->close();
    QApplication::processEvents();

    menu = RightClick(edit, QPoint(5, 5));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(OpenMenus(), 1);
}

// A box given a menu of its own keeps it: the filter leaves its event alone.
TEST_F(WindowBoxesTest, ABoxWithItsOwnMenuKeepsIt) {
    spin->setContextMenuPolicy(Qt::CustomContextMenu);
    int asked = 0;
    QObject::connect(spin, &QWidget::customContextMenuRequested, [&] { ++asked; });
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    QContextMenuEvent onSpin(QContextMenuEvent::Mouse, QPoint(5, 5), spin->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(spin, &onSpin);
    QContextMenuEvent onEdit(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit, &onEdit);
    QApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(OpenMenus(), 0);
}

}  // namespace
}  // namespace quarn
