#pragma once

// Runs a real dashboard from its start (StartUp) with a test script:
// step() is called every 10 ms and returns true once the test has seen
// enough; then, or when limitMs ran out, monitoring is stopped so StartUp
// returns. Returns whether step() finished.

#include <QObject>
#include <QTimer>

#include <functional>

#include "app/SuperDash.h"

namespace quarn::test {

inline bool RunDashScript(SuperDash& dash, const std::function<bool()>& step,
                          int limitMs = 20000) {
    bool done = false;
    QTimer script;
    script.setInterval(10);
    QObject::connect(&script, &QTimer::timeout, [&] {
        if (!done && step()) {
            done = true;
            dash.state().Monitoring = false;
        }
    });
    QTimer::singleShot(limitMs, &dash, [&dash] { dash.state().Monitoring = false; });
    script.start();
    dash.StartUp(nullptr);
    return done;
}

}  // namespace quarn::test
