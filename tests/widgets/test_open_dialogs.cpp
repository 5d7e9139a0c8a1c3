// The save dialog opened without a loop of its own hands on, with the file,
// the name filter the user chose: exports pick their format by it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

const QString kFilters = QStringLiteral("Plain (*.csv);;With units (*.csv);;All files (*)");

QFileDialog* OpenDialogOf(QWidget& parent) {
    for (QFileDialog* d : parent.findChildren<QFileDialog*>())
        if (d->isVisible()) return d;
    return nullptr;
}

TEST(OpenSaveDialog, PassesTheChosenFilterWithTheFileAndAfterTheReplaceQuestion) {
    QTemporaryDir dir;
    QWidget parent;
    parent.show();
    const QString fresh = dir.filePath(QStringLiteral("fresh.csv"));
    QString gotPath, gotFilter;
    auto chosen = [&](const QString& path, const QString& filter) {
        gotPath = path;
        gotFilter = filter;
    };

    OpenSaveDialog(&parent, QStringLiteral("Export"), fresh, kFilters, chosen);
    QFileDialog* dialog = OpenDialogOf(parent);
    ASSERT_NE(dialog, nullptr);
    dialog->selectNameFilter(QStringLiteral("With units (*.csv)"));
    emit dialog->fileSelected(fresh);
    dialog->close();
    EXPECT_EQ(gotPath, fresh);
    EXPECT_EQ(gotFilter, QStringLiteral("With units (*.csv)"));

    // A file that exists: nothing until Yes, then the filter chosen before.
    const QString old = dir.filePath(QStringLiteral("old.csv"));
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    gotPath.clear();
    gotFilter.clear();
    OpenSaveDialog(&parent, QStringLiteral("Export"), old, kFilters, chosen);
    dialog = OpenDialogOf(parent);
    ASSERT_NE(dialog, nullptr);
    dialog->selectNameFilter(QStringLiteral("Plain (*.csv)"));
    emit dialog->fileSelected(old);
    dialog->close();
    EXPECT_TRUE(gotPath.isEmpty());
    QMessageBox* question = nullptr;
    for (QMessageBox* box : parent.findChildren<QMessageBox*>())
        if (box->isVisible()) question = box;
    ASSERT_NE(question, nullptr);
    question->button(QMessageBox::Yes)->click();
    EXPECT_EQ(gotPath, old);
    EXPECT_EQ(gotFilter, QStringLiteral("Plain (*.csv)"));
}

TEST(OpenSaveDialog, ACallbackOfThePathAloneStillGetsThePath) {
    QTemporaryDir dir;
    QWidget parent;
    parent.show();
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    QString got;
    OpenSaveDialog(&parent, QStringLiteral("Save"), path, kFilters,
                   [&](const QString& chosen) { got = chosen; });
    QFileDialog* dialog = OpenDialogOf(parent);
    ASSERT_NE(dialog, nullptr);
    emit dialog->fileSelected(path);
    EXPECT_EQ(got, path);
}

}  // namespace
}  // namespace quarn
