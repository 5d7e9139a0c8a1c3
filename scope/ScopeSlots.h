#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

#include "monitor/RunState.h"
#include "decode/ChannelRecord.h"
#include "link/Clock.h"

class QWidget;

namespace quarn {

class SuperScope;

// The slots of the scope windows, Scopes: twelve numbered 0 to 11, of which
// 1 to 10 hold windows. A slot holds no window until it is first looked at;
// then it holds one, open or hidden. A window the user closed stays in its
// slot, hidden, until the slot's next use replaces it with a fresh one, so a
// reopened scope always starts on "RPM".
class ScopeSlots {
public:
    static constexpr int kSlotCount = 12;
    static constexpr int kFirstSlot = 1;
    static constexpr int kLastSlot = 10;
    static inline const QString kMaximumMessage =
        QStringLiteral("A maximum of 10 Quarn Scopes can be displayed.");
    // Drawing time the charts may take per tick of the shared refresh (33 ms
    // apart), painting included: five or so charts fit; with more open they
    // take turns, the ones left over first at the next tick. Ten charts drawn
    // at every tick would cost more than the whole dashboard.
    //
    // When the charts are drawn matters as much: the monitoring loop runs in
    // this thread, and a frame that arrives while charts are drawn waits for
    // them. So a tick only marks the drawing due, and it is done just after
    // the next frame's feed, in the loop's first wait for the following
    // frame, whose 3.4 ms on the wire hide it. Without frames (a pause, a
    // lost link) the next tick draws.
    static constexpr std::chrono::microseconds kRedrawBudget{1000};
    // The time of day is read from the clock once a second and carried on by
    // the monotonic clock in between: reading it costs a system call (tens of
    // microseconds once the waiting program's caches have gone cold), which
    // once a frame would cost about one frame in two hundred at full rate.
    // The scopes of one frame get the same x to within microseconds.
    static constexpr std::chrono::seconds kTimeOfDayResync{1};

    // How the refusal reaches the user; a message box over owner by default.
    using Notice = std::function<void(const QString& text)>;

    // The feed reads the channels from rec, StartSeconds from state and the
    // time of day from clock, each at the time of the call. The windows are
    // top-level windows of owner (kept above it); the slots own them either
    // way.
    ScopeSlots(const ChannelRecord& rec, const RunState& state, const Clock& clock,
               QWidget* owner = nullptr, Notice notice = {});
    ~ScopeSlots();
    ScopeSlots(const ScopeSlots&) = delete;
    ScopeSlots& operator=(const ScopeSlots&) = delete;

    // The "Quarn Scope" menu entry: shows the window of the lowest free slot
    // and titles it "Scope<n>", or, with ten open, tells the user so and
    // changes nothing. Returns the slot opened, or 0.
    int Open();

    // Makes sure slot holds a usable window: a fresh hidden one when it has
    // none yet or the user closed the one it had. Slots outside 1 to 10 are
    // left alone.
    void Prepare(int slot);

    // Whether the slot's window exists and is open.
    bool Visible(int slot) const;

    // FeedScopes: one point for the slot's window, the value of the channel
    // its list shows (0 for a text that is no channel) at the time of day
    // less StartSeconds, a day added past midnight; or, when the record time
    // source gives a time (a playback), at that time.
    void Feed(int slot);

    // The time of the record being played, in seconds from the log's first
    // record; estimated when the log keeps no times, and the time axis then
    // says so.
    struct RecordTime {
        double seconds = 0;
        bool estimated = true;
    };
    using RecordTimeSource = std::function<std::optional<RecordTime>()>;
    void SetRecordTime(RecordTimeSource source) { m_recordTime = std::move(source); }
    static inline const QString kEstimatedTimeLabel = QStringLiteral("s (est.)");

    // The channel-selection action re-applied to every scope slot 1 to 10,
    // creating a hidden window in a slot that has none: each chart is
    // rescaled for its channel and restarted, as when a playback starts.
    void ReapplySelections();

    // The slot's window, or null when it has none (or the slot is out of
    // range).
    SuperScope* Window(int slot) const;

    // At least one chart is drawn at each tick whatever the budget; tests use
    // 0 to draw exactly one.
    void SetRedrawBudget(std::chrono::microseconds budget) { m_redrawBudget = budget; }

private:
    static bool InRange(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }
    void ScheduleTick();
    void OnTick();
    void DrawAfterThisFrame();
    void Redraw();
    double TimeOfDay();

    const ChannelRecord& m_rec;
    const RunState& m_state;
    const Clock& m_clock;
    QPointer<QWidget> m_owner;
    Notice m_notice;
    RecordTimeSource m_recordTime;
    std::array<QPointer<SuperScope>, kSlotCount> m_windows;
    QObject m_redraw;               // stands for all the charts at the shared tick
    int m_nextRedraw = kFirstSlot;  // the slot whose turn to be drawn is next
    std::chrono::microseconds m_redrawBudget = kRedrawBudget;
    bool m_drawDue = false;     // a tick passed since the charts were last drawn
    bool m_drawPosted = false;  // the drawing waits for the loop's next wait
    struct TimeBase {
        double timeOfDay;
        Clock::TimePoint at;
    };
    std::optional<TimeBase> m_timeBase;  // the last reading of the time of day
};

}  // namespace quarn
