// Covers the about box: its version and disclaimer, the way the dashboard
// opens it (modal, one at a time, OK ends it), the outcomes of the web
// button with the browser lookup and start faked, and the desktop's real
// lookup and start against stand-in programs on PATH.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "Version.h"
#include "about/Browser.h"
#include "about/AboutBox.h"
#include "settings/MessageCatcher.h"
#include "TestDash.h"

namespace quarn {
namespace {

class FakeBrowser final : public Browser {
public:
    QString Find() const override { return found; }
    bool Launch(const QString& program, const QString& address) override {
        launches += program + u' ' + address;
        return starts;
    }
    QString found;
    bool starts = true;
    QStringList launches;
};

TEST(About, ShowsTheBuildVersionAndTheDisclaimer) {
    FakeBrowser browser;
    AboutBox about(nullptr, &browser);
    EXPECT_EQ(about.lblVersion()->text(), QStringLiteral("Version ") + QLatin1String(kVersionText));
    EXPECT_EQ(about.lblDisclaimer()->text(),
              QStringLiteral("This program is designed to communicate with the Vorlan Systems "
                             "Quarn-IV Real-Time Data-Logger for the collection and analysis of "
                             "Ford EEC-IV factory fuel injection signals present on EEC-IV "
                             "equipped vehicles."));
}

TEST(About, DashboardShowsOneModalBoxThatOkCloses) {
    QTemporaryDir dir;
    test::RecordingAlerts alerts;
    auto dash = test::MakeTestDash(alerts, dir.path());
    dash->show();
    test::ChooseMenu(*dash, "mnuHelpAbout");
    QPointer<AboutBox> about = dash->about();
    ASSERT_TRUE(about);
    EXPECT_EQ(QApplication::activeModalWidget(), about.data());  // the dashboard takes no input
    test::ChooseMenu(*dash, "mnuHelpAbout");
    EXPECT_EQ(dash->about(), about.data());

    QTest::mouseClick(about->cmdOK(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
}

TEST(About, WebButtonOpensTheMakersSiteOrSaysWhyNot) {
    struct Case {
        QString found;
        bool starts;
        QString title;  // empty: no message
        QString text;
    };
    const std::vector<Case> cases{
        {QStringLiteral(" /usr/bin/xdg-open\n"), true, {}, {}},
        {QStringLiteral("  "), true, QStringLiteral("Browser Not Found"),
         QStringLiteral("Could not find associated Browser")},
        {QStringLiteral("/usr/bin/xdg-open"), false, QStringLiteral("URL Failed"),
         QStringLiteral("Web Page not Opened")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        FakeBrowser browser;
        browser.found = c.found;
        browser.starts = c.starts;
        AboutBox about(nullptr, &browser);
        about.show();
        const auto message =
            test::CatchMessage([&] { QTest::mouseClick(about.visitweb(), Qt::LeftButton); });
        EXPECT_EQ(
            browser.launches,
            c.found.trimmed().isEmpty()
                ? QStringList()
                : QStringList(QStringLiteral("/usr/bin/xdg-open http://www.vorlansystems.com")));
        ASSERT_EQ(message.has_value(), !c.title.isEmpty());
        if (message) {
            EXPECT_EQ(message->title, c.title);
            EXPECT_EQ(message->text, c.text);
            EXPECT_EQ(message->icon, QMessageBox::Warning);
        }
        EXPECT_TRUE(about.isVisible());
    }
}

TEST(About, DesktopFindsXdgOpenThenBrowserThenXWwwBrowserAndStartsIt) {
    QTemporaryDir dir;
    const QByteArray oldPath = qgetenv("PATH");
    const QByteArray oldBrowser = qgetenv("BROWSER");
    qputenv("PATH", QFile::encodeName(dir.path()));
    qunsetenv("BROWSER");
    // A stand-in program that writes its argument into <itself>.out.
    auto program = [&](const char* name) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out\"\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file.fileName();
    };

    DesktopBrowser desktop;
    EXPECT_TRUE(desktop.Find().isEmpty());
    const QString debian = program("x-www-browser");
    EXPECT_EQ(desktop.Find(), debian);
    const QString own = program("mybrowser");
    qputenv("BROWSER", "mybrowser:firefox");
    EXPECT_EQ(desktop.Find(), own);
    const QString xdg = program("xdg-open");
    EXPECT_EQ(desktop.Find(), xdg);

    ASSERT_TRUE(desktop.Launch(xdg, QLatin1String(AboutBox::kMakerAddress)));
    QFile out(xdg + QStringLiteral(".out"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return out.size() > 0; }, 5000));
    EXPECT_FALSE(desktop.Launch(dir.filePath(QStringLiteral("missing")), QStringLiteral("x")));

    qputenv("PATH", oldPath);
    if (oldBrowser.isNull())
        qunsetenv("BROWSER");
    else
        qputenv("BROWSER", oldBrowser);
}

}  // namespace
}  // namespace quarn
