// Renders the Self Test Tool after a run for the documentation, not a test:
//   self_test_shot docs/screenshots
// The run uses the fake clock and box, so the picture is the same every time.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

#include "SelfTestRig.h"
#include "diagnostics/SelfTester.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarn_Dash"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    quarn::test::SelfTestRig rig(quarn::LampCodes{{23, 34}, {85}}, 7.0, 0.1, 7);
    quarn::SelfTester window(rig.link);
    window.show();

    // The ignition prompt is answered as soon as it shows.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(5);
    window.startButton()->click();
    // The test runs once the prompt is answered.
    while (window.selfTest().Prompting() || window.selfTest().InProgress())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    answer.stop();

    QApplication::processEvents();
    return window.grab().save(out.filePath(QStringLiteral("self_test.png"))) ? EXIT_SUCCESS
                                                                             : EXIT_FAILURE;
}
