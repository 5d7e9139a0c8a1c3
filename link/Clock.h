#pragma once

#include <chrono>
#include <cstdint>

namespace quarn {

// Elapsed time for waits and time-outs, and the time of day for display and
// for StartSeconds. The two are kept apart on purpose: the time of day
// restarts at midnight and jumps when the system clock is set, so a wait
// measured with it could end early or never.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    // Monotonic: never goes back, unaffected by changes of the system clock.
    virtual TimePoint Now() const = 0;
    // Seconds since local midnight, with a fraction.
    virtual double TimeOfDay() const = 0;
};

// Serves pending window events on the calling thread; the handlers of those
// events run nested inside the call. Blocks for at most maxWait while nothing
// happens, so a waiting program uses almost no CPU; maxWait 0 only serves what
// is already pending.
class Yielder {
public:
    static constexpr std::chrono::milliseconds kNoWait{0};

    virtual ~Yielder() = default;
    virtual void Yield(std::chrono::milliseconds maxWait = kNoWait) = 0;
    // Like Yield, for a wait that watches no serial port (an unplugged
    // adapter): it may block for the whole of maxWait, where Yield would wake
    // every few milliseconds for nothing.
    virtual void Idle(std::chrono::milliseconds maxWait) { Yield(maxWait); }
};

class SystemClock final : public Clock {
public:
    TimePoint Now() const override;
    double TimeOfDay() const override;
};

// Yields through the Qt event loop of the calling thread. Without a
// QCoreApplication there are no events to serve, and it only sleeps.
class QtYielder final : public Yielder {
public:
    // The longest single block: a caller polling the serial port for a frame
    // notices the bytes within this time even if no notification wakes it.
    static constexpr std::chrono::milliseconds kMaxBlock{10};

    void Yield(std::chrono::milliseconds maxWait = kNoWait) override;
    void Idle(std::chrono::milliseconds maxWait) override;

private:
    static void Block(std::chrono::milliseconds block);
};

// Returns once `seconds` have passed on clock's monotonic time, yielding to
// window events throughout and never blocking past the end. Zero, a negative
// duration or not-a-number return at once; anything longer than a year is cut
// to a year so that the end time cannot overflow.
void WaitSeconds(Clock& clock, Yielder& yielder, double seconds);

// A time of day rounded to whole seconds, halves to even (0.5 -> 0,
// 1.5 -> 2, 2.5 -> 2), as StartSeconds holds it.
std::int32_t RoundSecondsHalfEven(double seconds);

}  // namespace quarn
