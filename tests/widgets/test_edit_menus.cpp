// The right-button menus of line edits and spin boxes open without a loop
// of their own: the event returns at once with the menu open, and the menu
// does what the box's own would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "MenuTest.h"
#include "widgets/EditMenus.h"

namespace quarn {
namespace {

class EditMenusTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        spin = new QSpinBox(&window);
        spin->setRange(0, 10);
        spin->setValue(10);
        edit = new QLineEdit(QStringLiteral("text"), &window);
        layout->addWidget(spin);
        layout->addWidget(edit);
        window.show();
    }
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        QApplication::processEvents();
    }
    QWidget window;
    QSpinBox* spin = nullptr;
    QLineEdit* edit = nullptr;
};

TEST_F(EditMenusTest, AWindowsBoxesOpenTheirMenusWithoutALoopAndTheyStillStep) {
    UsePopupEditMenus(&window);
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

TEST_F(EditMenusTest, TheApplicationsFilterCoversBoxesMadeLater) {
    UsePopupEditMenusFor(qApp);
    auto* later = new QDoubleSpinBox(&window);
    later->show();
    EXPECT_TRUE(test::MenuOpensWithoutALoop(later));
}

}  // namespace
}  // namespace quarn
