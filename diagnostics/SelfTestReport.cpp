#include "diagnostics/SelfTestReport.h"

namespace quarn {

namespace {

QString OutcomeText(const SelfTestRecord& record) {
    switch (record.outcome) {
        case SelfTestRecord::Outcome::NotRun:
            return QStringLiteral("no test has been run.");
        case SelfTestRecord::Outcome::Running:
            return QStringLiteral("the test was still running when this report was written.");
        case SelfTestRecord::Outcome::Completed:
            if (!record.separatorSeen)
                return QStringLiteral(
                    "complete; the lamp stayed dark for more than 12 s after the "
                    "last code, with no separator flash: the computer sent one "
                    "section only.");
            return QStringLiteral(
                "complete; the lamp stayed dark for more than 6 s after the "
                "last code.");
        case SelfTestRecord::Outcome::Stopped:
            return QStringLiteral(
                "stopped with Stop Self Test; codes after that point were "
                "not read.");
        case SelfTestRecord::Outcome::PortError:
            return QStringLiteral("ended by a serial port error.");
        case SelfTestRecord::Outcome::NoFlash:
            return QStringLiteral(
                "no flash within 30 s. Check: key on, engine off, self-test "
                "connector in place.");
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

    out += QStringLiteral("Trouble codes. The computer sends every code twice; a code read\n"
                          "only once is marked \"seen once\": run the test again to confirm it.\n");
    for (const CodeSection section : {CodeSection::Now, CodeSection::Memory}) {
        const bool now = section == CodeSection::Now;
        out += QStringLiteral("\n%1\n").arg(
            QString::fromLatin1(now ? kNowCodesHeading : kMemoryCodesHeading));
        bool any = false;
        for (const ListedCode& c : record.codes) {
            if (c.section != section) continue;
            any = true;
            if (c.unreadable) {
                out += QStringLiteral("    ?: %1\n").arg(QString::fromLatin1(kUnreadableText));
                continue;
            }
            const QString text =
                c.text.isEmpty() ? QStringLiteral("(no meaning in the code table)") : c.text;
            out += QStringLiteral("  %1: %2%3\n")
                       .arg(c.code, 3)
                       .arg(text, c.seen == 1 ? QString::fromLatin1(kSeenOnceMark) : QString());
        }
        if (any) continue;
        if (now || record.separatorSeen)
            out += QStringLiteral("  none read\n");
        else if (record.outcome == SelfTestRecord::Outcome::Completed)
            out += QStringLiteral("  none sent: no separator flash followed the first section\n");
        else
            out += QStringLiteral("  not read: the test ended before the separator flash\n");
    }

    out += QStringLiteral("\nResult: %1\n").arg(OutcomeText(record));
    out += QStringLiteral("Lamp queries: %1, %2 unanswered; %3 glitches merged.\n\n")
               .arg(record.lampQueries)
               .arg(record.unanswered)
               .arg(record.glitches);

    out += QStringLiteral("Lamp timeline, seconds from the first flash, every showing of every code\n");
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
