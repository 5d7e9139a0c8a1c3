#pragma once

// A dashboard for tests of the windows it opens: nothing is connected, its
// alerts are recorded, its settings file lives in a temporary folder.

#include <gtest/gtest.h>

#include <QAction>
#include <QString>

#include <memory>

#include "app/SuperDash.h"
#include "link/LinkFakes.h"

namespace quarn::test {

inline std::unique_ptr<SuperDash> MakeTestDash(RecordingAlerts& alerts, const QString& dir) {
    DashOptions options;
    options.alerts = &alerts;
    options.settingsPath = dir + QStringLiteral("/quarnom.ini");
    options.splashSeconds = 0;
    return std::make_unique<SuperDash>(std::move(options));
}

// Runs the dashboard's menu entry of that object name.
inline void ChooseMenu(SuperDash& dash, const char* name) {
    auto* entry = dash.findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(entry, nullptr) << name;
    ASSERT_TRUE(entry->isEnabled()) << name;
    entry->trigger();
}

}  // namespace quarn::test
