#include "diagnostics/SelfTestReport.h"

namespace quarn {

namespace {

QString OutcomeText(SelfTestRecord::Outcome outcome) {
    switch (outcome) {
        case SelfTestRecord::Outcome::NotRun:
            return QStringLiteral("no test has been run.");
        case SelfTestRecord::Outcome::Running:
            return QStringLiteral("the test was still running when this report was written.");
        case SelfTestRecord::Outcome::Completed:
            return QStringLiteral(
                "complete; the lamp stayed dark for more than 6 s after the "
                "last code.");
        case SelfTestRecord::Outcome::Stopped:
            return QStringLiteral(
                "stopped with Stop Self Test; codes after that point were "
                "not read.");
        case SelfTestRecord::Outcome::PortError:
            return QStringLiteral("ended by a serial port error.");
    }
    return {};
}

QString Seconds(double seconds, int width) {
    return QStringLiteral("%1").arg(seconds, width, 'f', 3);
}

}  // namespace

QString SelfTestReportText(const SelfTestRecord& record) {
    QString out;
    out += QStringLiteral("Quarn Dash self test report\n");
    out += QStringLiteral("Date and time: %1\n\n")
               .arg(record.startedAt.isValid()
                        ? record.startedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                        : QStringLiteral("-"));

    out += QStringLiteral("Trouble codes\n");
    if (record.codes.empty()) out += QStringLiteral("  none read\n");
    for (const ListedCode& c : record.codes) {
        const QString text =
            c.text.isEmpty() ? QStringLiteral("(no meaning in the code table)") : c.text;
        out += QStringLiteral("  %1: %2\n").arg(c.code, 3).arg(text);
    }

    out += QStringLiteral("\nResult: %1\n\n").arg(OutcomeText(record.outcome));

    out += QStringLiteral("Lamp timeline, seconds from the first flash\n");
    if (record.timeline.empty()) {
        out += QStringLiteral("  no flash seen\n");
        return out;
    }
    out += QStringLiteral("     Start  Lamp    Length  Reading\n");
    for (const LampPeriodRecord& p : record.timeline) {
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(Seconds(p.startSeconds, 10))
                           .arg(p.lit ? QStringLiteral("lit ") : QStringLiteral("dark"))
                           .arg(Seconds(p.seconds, 8));
        if (!p.reading.isEmpty()) line += QStringLiteral("  ") + p.reading;
        out += line + QLatin1Char('\n');
    }
    return out;
}

}  // namespace quarn
