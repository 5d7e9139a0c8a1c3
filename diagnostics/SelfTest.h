#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "diagnostics/CodeTable.h"
#include "diagnostics/FlashDecoder.h"
#include "diagnostics/SelfTestReport.h"
#include "link/Clock.h"

namespace quarn {

class Link;

// What the self test shows, implemented by its window. The test calls these
// from inside its run; none of them may start another test.
class SelfTestView {
public:
    virtual ~SelfTestView() = default;
    // Asks the user to cycle the ignition, with note under the question, and
    // runs answered(true) once OK is clicked, answered(false) on Cancel: later,
    // from an event of its own, in a window, where the prompt must not hold
    // the monitoring loop; a view without a window may answer at once.
    // answered must not run if the view is gone.
    virtual void ShowPrompt(const QString& text, const QString& note,
                            std::function<void(bool go)> answered) = 0;
    virtual void SetStatus(const QString& text) = 0;
    // The check-engine lamp: called at every lamp query.
    virtual void SetLamp(bool lit) = 0;
    virtual void SetDigits(const std::array<char, 3>& digits) = 0;
    virtual void ClearCodeList() = 0;
    // The whole code list: headings and "code:text" lines, each ended by
    // CR LF. Shown again whenever a line is added or marked.
    virtual void SetCodeList(const QString& text) = 0;
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void SetStopEnabled(bool enabled) = 0;
    virtual void SetReportEnabled(bool enabled) = 0;
};

// What the test needs from the rest of the program; the shell supplies it.
// Either may be empty.
struct SelfTestHost {
    // Puts a marker with this name into a running recording; nothing when
    // none runs.
    std::function<void(const QString& name)> markRecording;
    // The test has returned the link: the status bar shows what runs now.
    std::function<void()> linkReturned;
};

// The engine computer's key-on engine-off self test, driven through the
// logger box: connect, start the test, watch the check-engine lamp, time each
// lit and dark period and read the flashes into trouble codes.
//
// The computer sends every code twice: first the hard faults it finds now,
// then, after a long dark, one separator flash and another long dark, the
// faults kept in continuous memory. Each code is listed once per section,
// in the order first seen; one read only once is marked when its section
// closes. The test ends when the lamp stays dark for more than 6 s after the
// second section, or after the first when no separator follows it.
//
// Start shows the ignition prompt; once it is answered the whole test runs
// and returns when it has ended; every wait yields, so Stop (and any other
// window event) runs nested inside it. Periods are
// timed on the link's monotonic clock at its full resolution, from the lamp
// query that saw one period begin to the query that saw the next begin, so no
// time goes missing between periods and none is counted twice. The shared
// StartSeconds of the scopes is left alone.
//
// Each lamp query waits for its own answer. One that gets none leaves the
// lamp as it was and is counted. A lit or dark spell shorter than
// kGlitchSeconds cannot be part of a flash code (flashes and gaps are half a
// second or more): it is merged into the period around it and counted. When
// answers went missing for long, or many of them, or glitches piled up while
// a code was read, that code is not listed: the list says it could not be
// read, so that a wrong code is never shown as a right one.
class SelfTest {
public:
    static constexpr double kStartWaitSeconds = 6;
    // After its first section the computer keeps the lamp dark for 6 s before
    // the separator flash; a lamp running a little slow makes that more than
    // the reader's 6 s end, so the first section waits longer. A computer
    // that sends one section only shows nothing more, and the test ends once
    // the lamp has stayed dark this long: twice the 6 s gap, far more than any
    // drift of the lamp's timing, and a one-section test only ends 6 s later.
    static constexpr double kSeparatorWaitSeconds = 12;
    // The computer starts flashing a few seconds after the start command;
    // a lamp still dark this long after the watch began never will.
    static constexpr double kFirstFlashWaitSeconds = 30;
    // The shortest time from one lamp query to the next.
    static constexpr double kQueryIntervalSeconds = 0.01;
    // Lamp spells shorter than this are glitches.
    static constexpr double kGlitchSeconds = 0.1;
    // While one code is read: answers missing for longer than this at a
    // stretch could hide a flash or a gap (both 0.35 s at the shortest,
    // with the lamp's timing drifting by 0.15 s) ...
    static constexpr double kLongestBlindSeconds = 0.25;
    // ... and more than this share of queries unanswered, or three glitches
    // within this time, mean the line cannot be trusted. A glitch now and
    // then is merged and does no harm.
    static constexpr double kMostUnansweredShare = 0.25;
    static constexpr double kGlitchBurstSeconds = 1;

    static constexpr char kReadyText[] =
        "Close all other applications, and click Start Self Test to begin.";
    static constexpr char kPromptText[] =
        "Turn off ignition, wait 3 seconds, turn on ignition, and click OK.";
    static constexpr char kConnectingText[] = "Initializing Communications";
    static constexpr char kWaitingText[] = "Please Wait.  Self Test In Progress.";
    static constexpr char kReadingText[] =
        "Do not disturb computer in any way during self test or erroneous results will occur.";
    static constexpr char kCompleteText[] = "Self Test Complete";
    static constexpr char kStoppedText[] = "Self Test Stopped";
    static constexpr char kNoFlashText[] =
        "No flash in 30 s. Check: key on, engine off, self-test connector in place.";
    static constexpr char kPauseNote[] =
        "Live data and any running recording pause during the test.";
    // Recording markers where the test starts and ends.
    static constexpr char kStartMarker[] = "Self test start";
    static constexpr char kEndMarker[] = "Self test end";

    SelfTest(Link& link, SelfTestView& view);

    void SetHost(SelfTestHost host) { m_host = std::move(host); }

    SelfTest(const SelfTest&) = delete;
    SelfTest& operator=(const SelfTest&) = delete;

    // The Start button: shows the prompt, and the test runs once it is
    // answered. A click while the prompt is open or a test is under way (its
    // run still on the stack further up) is ignored.
    void Start();
    // The Stop button: ends the lamp watch at its next query and tells the
    // box to stop. Start is enabled again at once, or, when a test is still
    // winding down, as soon as it has returned, so that a second test never
    // runs nested inside the first. However the test ends, Start is enabled
    // and Stop disabled once its run has returned.
    void Stop();

    // The test keeps reading the lamp while this holds.
    bool SelfTestRunning() const { return m_selfTestRunning; }
    // The test runs: its run is on the stack.
    bool InProgress() const { return m_inProgress; }
    // The prompt is open; the test has not begun.
    bool Prompting() const { return m_prompting; }

    // The codes listed so far, in order: each once per section.
    const std::vector<int>& ListedCodes() const { return m_listed; }
    // The section the lamp is in: Memory once the separator was seen.
    CodeSection Section() const { return m_section; }
    // The code list as its text box holds it: a heading per section begun,
    // "code:text" lines under it, a blank line before the second heading,
    // each line ended by CR LF.
    const QString& CodeListText() const { return m_codeListText; }
    const FlashDecoder& Decoder() const { return m_decoder; }
    const CodeTable& Codes() const { return m_codes; }

    // The last run as a record for the report.
    const SelfTestRecord& Record() const { return m_record; }

    // How long to wait after starting the test before the lamp is watched.
    // Only tests against the simulator shorten it.
    void SetStartWaitSeconds(double seconds) { m_startWaitSeconds = seconds; }

private:
    struct Watch {
        Clock::TimePoint at;   // see WatchLamp
        bool changed = false;  // the lamp left the state watched
    };

    // The prompt was answered: the test runs to its end.
    void AfterPrompt(bool go);
    void Run();
    // Queries the lamp while it shows `lit` and the test runs, and, when
    // limitSeconds is above 0, until that long has passed since `since`.
    // Returns the time of the query that first saw the lamp change, once the
    // change has lasted kGlitchSeconds; or of the last query before the test
    // was stopped or the limit passed.
    Watch WatchLamp(bool lit, Clock::TimePoint since, double limitSeconds);
    // Counts one query without an answer, or the end of a run of them.
    void CountAnswer(bool answered, Clock::TimePoint asked);
    void CountGlitch(Clock::TimePoint at);
    // The code now ending was read over a line that cannot be trusted.
    bool StretchUntrusted() const;
    void ResetStretch();
    void AddPeriod(bool lit, Clock::TimePoint begin, double seconds);
    void Apply(const FlashDecoder::Step& step, double offSeconds);
    // Lists a code of the current section, or counts it again; returns the
    // reading for the timeline.
    QString ListCode(int code);
    // No more codes come in the current section: those read once get marked.
    void CloseSection();
    void ShowCodeList();

    Link& m_link;
    SelfTestView& m_view;
    SelfTestHost m_host;
    CodeTable m_codes;
    FlashDecoder m_decoder;
    double m_startWaitSeconds = kStartWaitSeconds;

    bool m_selfTestRunning = false;
    bool m_inProgress = false;
    bool m_prompting = false;
    bool m_stopClicked = false;
    bool m_endedByLamp = false;

    std::vector<int> m_listed;
    CodeSection m_section = CodeSection::Now;
    std::array<bool, 2> m_sectionClosed{};
    QString m_codeListText;
    SelfTestRecord m_record;
    Clock::TimePoint m_firstFlash{};

    // The line while the code in hand is read.
    int m_stretchQueries = 0;
    int m_stretchUnanswered = 0;
    int m_stretchGlitches = 0;
    bool m_stretchUnsteady = false;  // glitches came in a burst
    double m_stretchBlindSeconds = 0;  // longest run without answers
    std::array<Clock::TimePoint, 2> m_lastGlitches{};  // the newest last
    // When the lamp was last seen: the last answered query.
    std::optional<Clock::TimePoint> m_lastSeen;
};

}  // namespace quarn
