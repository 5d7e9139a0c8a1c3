#pragma once

// A dashboard for tests: its alerts are recorded, its settings file lives in
// a temporary folder, and it may run on a fake clock.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/SuperDash.h"
#include "link/LinkFakes.h"

namespace quarn::test {

// The yield of a dashboard on the fake clock: the clock moves on by the wait
// (at most the real yield's 10 ms), the window events already waiting are
// handled, and onYield runs as an event arriving during the wait. Whatever a
// test does "after 100 ms" it does when the fake clock says so, at once.
class WindowYielder final : public Yielder {
public:
    explicit WindowYielder(FakeClock& clock) : m_clock(clock) {}

    void Yield(std::chrono::milliseconds maxWait) override {
        ++yields;
        m_clock.Advance(std::clamp(maxWait, kNoWait, QtYielder::kMaxBlock));
        QCoreApplication::processEvents();
        if (onYield) onYield();
    }

    int yields = 0;
    std::function<void()> onYield;

private:
    FakeClock& m_clock;
};

// A fake clock and its yield, for a dashboard that must outlive neither.
struct DashTime {
    FakeClock clock;
    WindowYielder yielder{clock};
    double Seconds() const { return std::chrono::duration<double>(clock.Elapsed()).count(); }
};

// time: the dashboard runs on that fake clock; the system clock without.
inline std::unique_ptr<SuperDash> MakeTestDash(RecordingAlerts& alerts, const QString& dir,
                                               double splashSeconds = 0,
                                               DashTime* time = nullptr) {
    DashOptions options;
    options.alerts = &alerts;
    options.settingsPath = dir + QStringLiteral("/quarnom.ini");
    options.splashSeconds = splashSeconds;
    if (time) {
        options.clock = &time->clock;
        options.yielder = &time->yielder;
    }
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
