#include "diagnostics/SelfTest.h"

#include <QStringList>

#include <algorithm>
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
    m_view.ShowPrompt(QString::fromLatin1(kPromptText), QString::fromLatin1(kPauseNote),
                      [this](bool go) { AfterPrompt(go); });
}

void SelfTest::AfterPrompt(bool go) {
    if (!m_prompting) return;  // stopped before the prompt was answered
    if (!go) {
        Stop();  // nothing was sent: this only calls the test off
        return;
    }
    m_prompting = false;
    m_inProgress = true;
    if (m_host.markRecording) m_host.markRecording(QString::fromLatin1(kStartMarker));
    Run();
    m_inProgress = false;
    if (m_host.markRecording) m_host.markRecording(QString::fromLatin1(kEndMarker));
    // The connection left its own text in the status bar.
    if (m_host.linkReturned) m_host.linkReturned();
    m_view.SetReportEnabled(true);
    m_view.SetStartEnabled(true);
    m_view.SetStopEnabled(false);
}

void SelfTest::Stop() {
    if (m_prompting) {
        // Nothing has been sent yet: the test is called off.
        m_prompting = false;
        m_view.SetStartEnabled(true);
        m_view.SetStopEnabled(false);
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
    m_section = CodeSection::Now;
    m_sectionClosed = {};
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
        m_view.SetDigits(m_decoder.Digits());
        m_lastSeen.reset();

        const Watch first =
            WatchLamp(false, m_link.SystemTime().Now(), kFirstFlashWaitSeconds);
        const bool noFlash = m_selfTestRunning && !first.changed;
        if (noFlash) m_selfTestRunning = false;
        Clock::TimePoint litFrom = first.at;
        m_firstFlash = litFrom;
        ResetStretch();
        if (m_selfTestRunning) m_view.SetStatus(QString::fromLatin1(kReadingText));
        while (m_selfTestRunning) {
            const Clock::TimePoint darkFrom = WatchLamp(true, litFrom, 0).at;
            // The lamp stays dark after the last code: the test has to end
            // on its own rather than wait for a flash that never comes.
            const double darkLimit = m_section == CodeSection::Now
                                         ? kSeparatorWaitSeconds
                                         : FlashDecoder::kTestEndSeconds;
            const Clock::TimePoint litAgain = WatchLamp(false, darkFrom, darkLimit).at;
            const double onSeconds = SecondsBetween(litFrom, darkFrom);
            const double offSeconds = SecondsBetween(darkFrom, litAgain);
            AddPeriod(true, litFrom, onSeconds);
            AddPeriod(false, darkFrom, offSeconds);
            // The query that ended the dark period saw the next lit period
            // begin: it is timed from there, whatever runs in the yield.
            litFrom = litAgain;
            m_link.Yield();
            Apply(m_decoder.Cycle(onSeconds, offSeconds), offSeconds);
        }

        CloseSection();
        m_view.SetStatus(QString::fromLatin1(
            noFlash ? kNoFlashText : m_endedByLamp ? kCompleteText : kStoppedText));
        m_link.StopSelfTestCmd();
        m_selfTestRunning = false;
        m_record.outcome = noFlash         ? SelfTestRecord::Outcome::NoFlash
                           : m_endedByLamp ? SelfTestRecord::Outcome::Completed
                                           : SelfTestRecord::Outcome::Stopped;
    } catch (const SerialPortError& error) {
        m_selfTestRunning = false;
        CloseSection();
        m_record.outcome = SelfTestRecord::Outcome::PortError;
        m_link.ReportSerialPortError(QString::fromStdString(error.what()));
    }
}

SelfTest::Watch SelfTest::WatchLamp(bool lit, Clock::TimePoint since, double limitSeconds) {
    using namespace std::chrono;
    const auto limit = duration_cast<Clock::TimePoint::duration>(duration<double>(limitSeconds));
    const auto glitch = duration_cast<Clock::TimePoint::duration>(duration<double>(kGlitchSeconds));
    // The first query that saw the other state, while it has not yet lasted
    // long enough to count.
    bool changing = false;
    Clock::TimePoint changeSeen{};
    for (;;) {
        // The box samples the lamp when the query reaches it; the answer
        // comes a little later.
        const Clock::TimePoint asked = m_link.SystemTime().Now();
        const Link::Lamp lamp = m_link.ReadLampState();
        if (!m_selfTestRunning) return {changing ? changeSeen : asked, changing};
        CountAnswer(lamp != Link::Lamp::Unknown, asked);
        // No answer: the lamp is taken to be as it was.
        if (lamp != Link::Lamp::Unknown) {
            if ((lamp == Link::Lamp::Lit) != lit) {
                if (!changing) changeSeen = asked;
                changing = true;
                if (asked - changeSeen >= glitch) return {changeSeen, true};
            } else if (changing) {
                CountGlitch(asked);
                changing = false;
            }
        }
        if (!changing && limitSeconds > 0 && asked - since > limit) return {asked, false};
        m_view.SetLamp(changing ? !lit : lit);
        // Queries at most every kQueryIntervalSeconds: fine enough to time
        // half-second flashes, and the box is not flooded when its answers
        // come at once.
        const double spent = SecondsBetween(asked, m_link.SystemTime().Now());
        if (spent < kQueryIntervalSeconds)
            m_link.WaitSeconds(kQueryIntervalSeconds - spent);
        else
            m_link.Yield();
    }
}

void SelfTest::CountAnswer(bool answered, Clock::TimePoint asked) {
    ++m_record.lampQueries;
    ++m_stretchQueries;
    // The lamp is unseen from one answered query to the next, whether the
    // answers went missing or the program itself was held up in between (a
    // loaded machine): either can hide a flash or a gap.
    if (answered) {
        if (m_lastSeen)
            m_stretchBlindSeconds =
                std::max(m_stretchBlindSeconds, SecondsBetween(*m_lastSeen, asked));
        m_lastSeen = asked;
        return;
    }
    ++m_record.unanswered;
    ++m_stretchUnanswered;
    // The query itself waited for its answer: the lamp went unseen until now.
    m_stretchBlindSeconds = std::max(
        m_stretchBlindSeconds, SecondsBetween(m_lastSeen.value_or(asked), m_link.SystemTime().Now()));
}

void SelfTest::CountGlitch(Clock::TimePoint at) {
    ++m_record.glitches;
    // The third within kGlitchBurstSeconds (the stretch's first two are
    // timed from its start, never in a burst with a glitch before it).
    if (++m_stretchGlitches >= 3 && SecondsBetween(m_lastGlitches[0], at) < kGlitchBurstSeconds)
        m_stretchUnsteady = true;
    m_lastGlitches = {m_lastGlitches[1], at};
}

bool SelfTest::StretchUntrusted() const {
    return m_stretchBlindSeconds > kLongestBlindSeconds ||
           m_stretchUnanswered > kMostUnansweredShare * m_stretchQueries || m_stretchUnsteady;
}

void SelfTest::ResetStretch() {
    m_stretchQueries = 0;
    m_stretchUnanswered = 0;
    m_stretchGlitches = 0;
    m_stretchUnsteady = false;
    m_stretchBlindSeconds = 0;
}

void SelfTest::AddPeriod(bool lit, Clock::TimePoint begin, double seconds) {
    m_record.timeline.push_back({lit, SecondsBetween(m_firstFlash, begin), seconds, QString()});
}

void SelfTest::Apply(const FlashDecoder::Step& step, double offSeconds) {
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
    // One flash with a code's end on either side is a "code" of one digit,
    // which no computer has: it is the separator between the sections. The
    // darks around it are 6 s, but jitter may bring the one before it under
    // the reader's 6 s end, so their length decides nothing beyond ending a
    // code. The displays keep the last code.
    const bool separator = m_section == CodeSection::Now && step.codeEnded && step.flash &&
                           step.digitPos == 1 && step.digit == '1';
    if ((step.digit || step.codeEnded) && !separator) m_view.SetDigits(m_decoder.Digits());

    if (separator) {
        CloseSection();
        m_section = CodeSection::Memory;
        m_record.separatorSeen = true;
        ShowCodeList();
        reading << QStringLiteral("separator, codes from memory follow");
    } else if (step.codeEnded && StretchUntrusted()) {
        m_view.SetDigits({'?', '?', '?'});
        m_record.codes.push_back({0, QString::fromLatin1(kUnreadableText), m_section, 1, true});
        ShowCodeList();
        reading << QStringLiteral("code not read reliably (%1 of %2 answers missing, %3 glitches)")
                       .arg(m_stretchUnanswered)
                       .arg(m_stretchQueries)
                       .arg(m_stretchGlitches);
    } else if (step.codeEnded) {
        reading << (step.listed ? ListCode(step.code)
                                : QStringLiteral("code %1 not listed").arg(step.code));
    }
    if (step.codeEnded) ResetStretch();

    // The first section's long dark may be the one before the separator,
    // and the separator is followed by one too: either ends the test only
    // when it outlasts the wait for the separator.
    const bool ended = m_section == CodeSection::Now || separator
                           ? offSeconds > kSeparatorWaitSeconds
                           : step.testEnded;
    if (ended) {
        m_selfTestRunning = false;
        m_endedByLamp = true;
        reading << QStringLiteral("end of test");
    }
    darkPeriod.reading = reading.join(QStringLiteral(", "));
}

QString SelfTest::ListCode(int code) {
    for (ListedCode& listed : m_record.codes) {
        if (listed.code == code && listed.section == m_section && !listed.unreadable) {
            ++listed.seen;
            return QStringLiteral("code %1 again").arg(code);
        }
    }
    m_record.codes.push_back({code, m_codes.CodeText(code), m_section, 1});
    m_listed.push_back(code);
    ShowCodeList();
    return QStringLiteral("code %1").arg(code);
}

void SelfTest::CloseSection() {
    m_sectionClosed[static_cast<std::size_t>(m_section)] = true;
    // Before any code the list may still hold the last run's codes.
    if (!m_record.codes.empty()) ShowCodeList();
}

void SelfTest::ShowCodeList() {
    QString text;
    for (const CodeSection section : {CodeSection::Now, CodeSection::Memory}) {
        const bool begun = section == CodeSection::Now
                               ? !m_record.codes.empty() || m_record.separatorSeen
                               : m_record.separatorSeen;
        if (!begun) continue;
        if (section == CodeSection::Memory) text += QStringLiteral("\r\n");
        text += QString::fromLatin1(section == CodeSection::Now ? kNowCodesHeading
                                                                : kMemoryCodesHeading) +
                QStringLiteral("\r\n");
        const bool closed = m_sectionClosed[static_cast<std::size_t>(section)];
        for (const ListedCode& c : m_record.codes) {
            if (c.section != section) continue;
            if (c.unreadable) {
                text += QStringLiteral("?:") + c.text + QStringLiteral("\r\n");
                continue;
            }
            text += QString::number(c.code) + QLatin1Char(':') + c.text;
            if (closed && c.seen == 1) text += QString::fromLatin1(kSeenOnceMark);
            text += QStringLiteral("\r\n");
        }
    }
    if (text == m_codeListText) return;
    m_codeListText = text;
    m_view.SetCodeList(text);
}

}  // namespace quarn
