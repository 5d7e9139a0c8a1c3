#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

namespace quarn {

// One lit or dark period of the check-engine lamp as the self test timed it.
struct LampPeriodRecord {
    bool lit = false;
    double startSeconds = 0;  // from the first flash
    double seconds = 0;
    QString reading;  // what the decoder made of it, empty when nothing
};

// The engine computer's two sections of codes: the hard faults it finds
// now, key on engine off, then, after a separator flash, the faults it has
// kept in continuous memory.
enum class CodeSection { Now = 0, Memory = 1 };

struct ListedCode {
    int code = 0;
    QString text;  // empty when the table has none
    CodeSection section = CodeSection::Now;
    int seen = 1;  // showings read; the computer sends every code twice
    // A showing that could not be read reliably: code is 0, text says so.
    bool unreadable = false;
};

// Everything a report of one self test needs.
struct SelfTestRecord {
    enum class Outcome {
        NotRun,     // no test since the window opened
        Running,    // still under way
        Completed,  // the lamp stayed dark long enough to end the test
        Stopped,    // ended with Stop Self Test
        PortError,  // the serial port failed
        NoFlash,    // the lamp never flashed
    };

    QDateTime startedAt;
    Outcome outcome = Outcome::NotRun;
    // Each code once per section, in the order first seen.
    std::vector<ListedCode> codes;
    bool separatorSeen = false;  // the second section began
    int lampQueries = 0;
    int unanswered = 0;  // lamp queries that got no answer in time
    int glitches = 0;    // lamp spells too short to be flashes, merged away
    std::vector<LampPeriodRecord> timeline;
};

// The headings of the two sections, in the window and the report.
inline constexpr char kNowCodesHeading[] = "Codes now (key on, engine off)";
inline constexpr char kMemoryCodesHeading[] = "Codes from memory";
// The line, after "?:", of a code that could not be read reliably.
inline constexpr char kUnreadableText[] =
    "a code here could not be read reliably (lamp answers missing or unsteady); "
    "run the test again";
// Ends the line of a code read only once in its section.
inline constexpr char kSeenOnceMark[] = " (seen once)";

// The plain-text report: date and time, the codes of both sections with
// their meanings, how the test ended and the lamp timeline, lines ended by
// LF.
QString SelfTestReportText(const SelfTestRecord& record);

}  // namespace quarn
