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

struct ListedCode {
    int code = 0;
    QString text;  // empty when the table has none
};

// Everything a report of one self test needs.
struct SelfTestRecord {
    enum class Outcome {
        NotRun,     // no test since the window opened
        Running,    // still under way
        Completed,  // the lamp stayed dark long enough to end the test
        Stopped,    // ended with Stop Self Test
        PortError,  // the serial port failed
    };

    QDateTime startedAt;
    Outcome outcome = Outcome::NotRun;
    std::vector<ListedCode> codes;
    std::vector<LampPeriodRecord> timeline;
};

// The plain-text report: date and time, the codes with their meanings, how
// the test ended and the lamp timeline, lines ended by LF.
QString SelfTestReportText(const SelfTestRecord& record);

}  // namespace quarn
