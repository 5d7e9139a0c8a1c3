#include "link/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <thread>

namespace quarn {

Clock::TimePoint SystemClock::Now() const {
    return std::chrono::steady_clock::now();
}

double SystemClock::TimeOfDay() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtYielder::Yield(std::chrono::milliseconds maxWait) {
    Block(std::clamp(maxWait, kNoWait, kMaxBlock));
}

void QtYielder::Idle(std::chrono::milliseconds maxWait) {
    Block(std::max(maxWait, kNoWait));
}

void QtYielder::Block(std::chrono::milliseconds block) {
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(block);
        return;
    }
    if (block == kNoWait) {
        QCoreApplication::processEvents();
        return;
    }
    // The timer bounds the block; a window event or arriving serial bytes (the
    // port's read notifier) end it sooner. A busy processEvents() loop would
    // burn a whole core while the program waits for the box.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(block);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void WaitSeconds(Clock& clock, Yielder& yielder, double seconds) {
    constexpr double kLongestWait = 365.0 * 24 * 3600;
    if (!(seconds > 0)) return;
    seconds = std::min(seconds, kLongestWait);

    const Clock::TimePoint end =
        clock.Now() + std::chrono::duration_cast<Clock::TimePoint::duration>(
                          std::chrono::duration<double>(seconds));
    for (Clock::TimePoint now = clock.Now(); now < end; now = clock.Now()) {
        // Rounded down so that no single yield outlasts the wait.
        yielder.Yield(std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    }
}

std::int32_t RoundSecondsHalfEven(double seconds) {
    if (!std::isfinite(seconds)) return 0;
    const double below = std::floor(seconds);
    const double fraction = seconds - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) rounded = below + 1.0;
    return static_cast<std::int32_t>(std::clamp(rounded, double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace quarn
