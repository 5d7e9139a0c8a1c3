#include "diagnostics/SelfTest.h"

#include <QStringList>

#include <chrono>

#include "link/Link.h"
#include "link/SerialPort.h"

namespace quarn {

namespace {

double SecondsBetween(Clock::TimePoint from, Clock::TimePoint to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

SelfTest::SelfTest(Link& link, SelfTestView& view) : m_link(link), m_view(view) {}

void SelfTest::Start() {
    // The test runs inside AfterPrompt and yields throughout: a second click
    // arriving in one of those yields must not start a test inside the test.
    if (m_inProgress || m_prompting) return;
    m_prompting = true;
    m_stopClicked = false;
    m_view.SetStartEnabled(false);
    m_view.SetStopEnabled(true);
    m_view.SetReportEnabled(false);
    m_view.ShowPrompt(QString::fromLatin1(kPromptText), [this] { AfterPrompt(); });
}

void SelfTest::AfterPrompt() {
    if (!m_prompting) return;  // stopped before the prompt was answered
    m_prompting = false;
    m_inProgress = true;
    Run();
    m_inProgress = false;
    m_view.SetReportEnabled(true);
    if (m_stopClicked) m_view.SetStartEnabled(true);
}

void SelfTest::Stop() {
    if (m_prompting) {
        // Nothing has been sent yet: the test is called off.
        m_prompting = false;
        m_view.SetStartEnabled(true);
        m_view.SetReportEnabled(m_record.outcome != SelfTestRecord::Outcome::NotRun);
        return;
    }
    if (m_inProgress)
        m_stopClicked = true;
    else
        m_view.SetStartEnabled(true);
    m_selfTestRunning = false;
    try {
        m_link.StopSelfTestCmd();
    } catch (const SerialPortError& error) {
        m_link.ReportSerialPortError(QString::fromStdString(error.what()));
    }
}

void SelfTest::Run() {
    m_codes.FillCodeTable();
    m_record = SelfTestRecord{};
    m_record.startedAt = QDateTime::currentDateTime();
    m_record.outcome = SelfTestRecord::Outcome::Running;
    m_endedByLamp = false;

    m_view.SetStatus(QString::fromLatin1(kConnectingText));
    try {
        m_link.ConnectLink();
        m_link.StartSelfTestCmd();
        m_view.SetStatus(QString::fromLatin1(kWaitingText));
        // A Stop clicked while the link came up has already sent the stop
        // command; the test must not come back to life after it.
        m_selfTestRunning = !m_stopClicked;
        m_link.WaitSeconds(m_startWaitSeconds);

        m_codeListText.clear();
        m_listed.clear();
        m_view.ClearCodeList();
        m_decoder.Reset();

        Clock::TimePoint litFrom = WatchLamp(false, {}, false);
        m_firstFlash = litFrom;
        m_view.SetStatus(QString::fromLatin1(kReadingText));
        while (m_selfTestRunning) {
            const Clock::TimePoint darkFrom = WatchLamp(true, litFrom, false);
            const Clock::TimePoint litAgain = WatchLamp(false, darkFrom, true);
            const double onSeconds = SecondsBetween(litFrom, darkFrom);
            const double offSeconds = SecondsBetween(darkFrom, litAgain);
            AddPeriod(true, litFrom, onSeconds);
            AddPeriod(false, darkFrom, offSeconds);
            // The query that ended the dark period saw the next lit period
            // begin: it is timed from there, whatever runs in the yield.
            litFrom = litAgain;
            m_link.Yield();
            Apply(m_decoder.Cycle(onSeconds, offSeconds));
        }

        m_view.SetStatus(QString::fromLatin1(kCompleteText));
        m_link.StopSelfTestCmd();
        m_selfTestRunning = false;
        m_record.outcome =
            m_endedByLamp ? SelfTestRecord::Outcome::Completed : SelfTestRecord::Outcome::Stopped;
    } catch (const SerialPortError& error) {
        m_selfTestRunning = false;
        m_record.outcome = SelfTestRecord::Outcome::PortError;
        m_link.ReportSerialPortError(QString::fromStdString(error.what()));
    }
}

Clock::TimePoint SelfTest::WatchLamp(bool lit, Clock::TimePoint since, bool darkLimit) {
    using namespace std::chrono;
    const auto limit =
        duration_cast<Clock::TimePoint::duration>(duration<double>(FlashDecoder::kTestEndSeconds));
    for (;;) {
        // The box samples the lamp when the query reaches it; the reply is
        // read a little later.
        const Clock::TimePoint asked = m_link.SystemTime().Now();
        const bool nowLit = m_link.ReadLampState();
        if (nowLit != lit || !m_selfTestRunning) return asked;
        // The lamp stays dark after the last code: the test has to end on
        // its own rather than wait for a flash that never comes.
        if (darkLimit && asked - since > limit) return asked;
        m_view.SetLamp(lit);
        m_link.Yield();
    }
}

void SelfTest::AddPeriod(bool lit, Clock::TimePoint begin, double seconds) {
    m_record.timeline.push_back({lit, SecondsBetween(m_firstFlash, begin), seconds, QString()});
}

void SelfTest::Apply(const FlashDecoder::Step& step) {
    // The last two periods are the ones this step read.
    LampPeriodRecord& litPeriod = m_record.timeline.end()[-2];
    LampPeriodRecord& darkPeriod = m_record.timeline.back();
    litPeriod.reading = step.flash ? QStringLiteral("flash") : QStringLiteral("not a flash");

    QStringList reading;
    if (step.digit) {
        reading << (step.digitPos <= 3
                        ? QStringLiteral("digit %1").arg(QChar::fromLatin1(*step.digit))
                        : QStringLiteral("digit %1 (one too many)")
                              .arg(QChar::fromLatin1(*step.digit)));
    }
    if (step.digit || step.codeEnded) m_view.SetDigits(m_decoder.Digits());

    if (step.codeEnded) {
        if (step.listed) {
            const QString& text = m_codes.CodeText(step.code);
            const QString line = QString::number(step.code) + QLatin1Char(':') + text;
            m_codeListText += line + QStringLiteral("\r\n");
            m_listed.push_back(step.code);
            m_record.codes.push_back({step.code, text});
            m_view.AppendCodeLine(line);
            reading << QStringLiteral("code %1").arg(step.code);
        } else {
            reading << QStringLiteral("code %1 not listed").arg(step.code);
        }
    }

    if (step.testEnded) {
        m_selfTestRunning = false;
        m_endedByLamp = true;
        reading << QStringLiteral("end of test");
    }
    darkPeriod.reading = reading.join(QStringLiteral(", "));
}

}  // namespace quarn
