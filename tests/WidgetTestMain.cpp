// GoogleTest entry for tests of widgets: they need a QApplication, and
// gtest_discover_tests runs the binary at build time without the test
// environment, so the headless platform is chosen here when none is set.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The per-user settings (the car remembered for the next start) go to a
    // folder of this run, never the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
