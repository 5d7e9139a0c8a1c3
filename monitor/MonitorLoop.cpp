#include "monitor/MonitorLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>

#include "decode/Frame.h"

namespace quarn {
namespace {

const QString kMonitoring = QStringLiteral("Monitoring");
const QString kRecording = QStringLiteral("Recording");
const QString kComFail = QStringLiteral("COM FAIL");
const QString kComReset = QStringLiteral("COM Reset");
const QString kComRetry = QStringLiteral("COM Retry");
const QString kComStopped = QStringLiteral("COM Stopped");

double SecondsSince(const Clock& clock, Clock::TimePoint since) {
    return std::chrono::duration<double>(clock.Now() - since).count();
}

// How long a wait for the answer to a request made at `since` may block: up
// to its time-out, and at least a millisecond, so that time moves on even
// when the time-out falls due exactly now.
std::chrono::milliseconds UntilTimeOut(const Clock& clock, Clock::TimePoint since) {
    const double left = Monitor::kFrameTimeoutSeconds - SecondsSince(clock, since);
    return std::chrono::milliseconds(
        std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(left * 1000))));
}

}  // namespace

Monitor::Monitor(Link& link, LinkStatus& status, RunState& state, FramePath& path)
    : m_link(link), m_status(status), m_state(state), m_path(path) {}

void Monitor::MonitorLoop() {
    struct RunningScope {
        int& depth;
        explicit RunningScope(int& d) : depth(d) { ++depth; }
        ~RunningScope() { --depth; }
    } running(m_running);
    const Link::UnplugWatch watch(m_link);
    m_status.SetPanelText(LinkStatus::kActivityPanel, ActivityText());
    try {
        // A failed port was reported already, by a connection here or one
        // nested in a wait (a click on "COM Status").
        while (m_state.Monitoring && !m_link.PortFailed()) {
            try {
                if (m_link.AdapterUnplugged()) {
                    if (m_reconnect)
                        Reconnect();
                    else
                        GiveUp();
                    continue;
                }
                WaitForFrame();
                if (m_state.ComResetPending) {
                    if (m_linkFailed && !m_reconnect)
                        GiveUp();
                    else
                        Reconnect();
                } else {
                    HandleFrame();
                }
            } catch (const SerialPortError&) {
                // An unplugged adapter is waited for (a loose plug in a moving
                // car); the recording goes on into the same log once it is
                // back. Every record written so far is whole.
                m_requestOutstanding = false;
                if (!m_link.NoticeUnplug()) throw;
            }
        }
        if (m_link.PortFailed()) return;
        DropOutstandingAnswer();
    } catch (const SerialPortError& error) {
        // The port failed otherwise: the same path as a port that cannot be
        // opened.
        m_link.ReportSerialPortError(QString::fromStdString(error.what()));
        return;
    }
    m_status.SetPanelText(LinkStatus::kLinkPanel, kComStopped);
    m_status.SetComStat(LinkStatus::kLampGrey);
}

void Monitor::WaitForFrame() {
    Clock& clock = m_link.SystemTime();
    if (!m_requestOutstanding) {
        // Nothing waiting now answers a request of this loop: it is the tail
        // of a connection's reply that came late (a loaded machine, an adapter
        // that holds its bytes) or the rest of a broken answer. In front of
        // the next answer it would fail a good frame.
        Resynchronise();
        m_link.RequestFrame();
        m_requestedAt = clock.Now();
    }
    m_requestOutstanding = false;
    if (m_link.InBufferCount() >= kFrameBytes) {
        // The answer came in while the last frame went through the displays
        // and the log, which happens whenever they take longer than the box
        // takes to answer (a slow disk is enough). The wait below would then
        // never run, and with it no window event: no repaint, no click, not
        // even Stop or closing the window. Serve what is pending, without
        // blocking, once every pass.
        m_link.Yield();
        NoticeResetRequest();
    }
    Clock::TimePoint requested = m_requestedAt;
    int repeats = 0;
    while (m_link.InBufferCount() < kFrameBytes && !m_state.ComResetPending) {
        // Block until the whole frame or an event arrives, but never past
        // the time-out.
        m_link.WakeWhenWaiting(kFrameBytes);
        m_link.Yield(UntilTimeOut(clock, requested));

        NoticeResetRequest();
        // A frame that came in while this program was held up is no time-out.
        if (m_link.InBufferCount() < kFrameBytes &&
            SecondsSince(clock, requested) > kFrameTimeoutSeconds) {
            m_status.SetComStat(LinkStatus::kLampYellow);
            // A partial frame is of no use. The rest of a late answer is let
            // in first, so that it does not lead the answer to the repeat.
            if (m_link.InBufferCount() > 0)
                Resynchronise();
            else
                m_link.ReadInput();
            m_link.RequestFrame();
            requested = clock.Now();
            ++repeats;
            m_lateAnswerPossible = true;
        }
        if (repeats > kMaxRepeats) {
            ++m_linkFailures;
            m_linkFailed = true;
            m_state.ComResetPending = true;
            m_status.SetComStat(LinkStatus::kLampRed);
            m_status.SetPanelText(LinkStatus::kActivityPanel, kComFail);
        }
        m_link.Yield();
    }
}

// The setup dialog's Apply asks for a reconnect through panel 1.
void Monitor::NoticeResetRequest() {
    if (m_status.PanelText(LinkStatus::kActivityPanel) == kComReset)
        m_state.ComResetPending = true;
}

void Monitor::Reconnect() {
    for (;;) {
        if (m_link.AdapterUnplugged() &&
            !m_link.WaitForAdapter([this] { return m_state.Monitoring; }))
            return;  // stopped while the adapter was away
        m_link.ConnectLink();
        // Told already; whoever reviews logs without the box goes on.
        if (m_link.PortFailed()) return;
        if (m_link.AdapterUnplugged()) continue;
        if (m_status.PanelText(LinkStatus::kLinkPanel) != kComRetry) break;
        m_link.WaitSeconds(kReconnectPauseSeconds);
    }
    m_status.SetPanelText(LinkStatus::kActivityPanel, ActivityText());
    m_state.ComResetPending = false;
    m_linkFailed = false;
}

void Monitor::GiveUp() {
    m_state.ComResetPending = false;
    m_linkFailed = false;
    m_state.Monitoring = false;
    m_status.ShowLinkNotice(QString::fromLatin1(kLinkLostNotice));
    if (m_onLinkLost) m_onLinkLost();
}

void Monitor::HandleFrame() {
    m_status.SetComStat(LinkStatus::kLampGreen);
    ++m_state.FrameCount;
    m_link.ReadInput();
    if (!m_path.Decode(m_link.RxBuf())) {
        ++m_badFrames;
        Resynchronise();
        return;
    }
    m_lastGood = m_link.SystemTime().Now();
    if (m_goodFrames++ == 0) m_firstGood = m_lastGood;
    // The frame is in RxBuf; the box can send the next one while this one
    // goes through the displays and the log, instead of waiting idle for a
    // request that comes only after all of them. Still one request at a
    // time, and none once the loop is about to end.
    //
    // A request that fails (the device went away just now) does not cost
    // the frame already read: it is shown and logged first.
    //
    // After a repeated request the box may answer the one given up on as
    // well. Asked at once, the next frame would be read across the tail of
    // that answer; instead the next pass lets the line settle first.
    std::exception_ptr requestFailed;
    if (!m_lateAnswerPossible && m_state.Monitoring && !m_state.ComResetPending) {
        try {
            m_link.RequestFrame();
            m_requestedAt = m_link.SystemTime().Now();
            m_requestOutstanding = true;
        } catch (const SerialPortError&) {
            requestFailed = std::current_exception();
        }
    }
    if (m_path.Deliver(FrameSource::Box)) ++m_framesForLog;
    if (requestFailed) std::rethrow_exception(requestFailed);
}

// A frame that fails validation usually means the frame boundary slipped:
// noise on the line or a partial answer put a few extra bytes in front, and
// the rest of the broken answer is still arriving. Reading on would take every
// later frame across two answers, and all of them would fail while the box
// answers perfectly well. So the bytes still coming are let in until the line
// has been quiet for a moment, and thrown away: after a bad frame, and before
// any request that does not follow a good one. The next request starts in
// step.
void Monitor::Resynchronise() {
    Clock& clock = m_link.SystemTime();
    const Clock::TimePoint start = clock.Now();
    Clock::TimePoint quietSince = start;
    int waiting = m_link.InBufferCount();
    while (SecondsSince(clock, quietSince) < kQuietSeconds &&
           SecondsSince(clock, start) < kFrameTimeoutSeconds) {
        m_link.Yield(std::chrono::milliseconds(1));
        const int now = m_link.InBufferCount();
        if (now != waiting) {
            waiting = now;
            quietSince = clock.Now();
        }
    }
    m_link.ReadInput();
    m_lateAnswerPossible = false;
}

// The loop is ending (Monitoring was cleared while a frame was handled) with
// the next frame already asked for. Its answer is let in, up to the
// time-out, and thrown away, so whoever uses the link next does not find a
// stray frame in front of its own replies.
void Monitor::DropOutstandingAnswer() {
    if (!m_requestOutstanding) return;
    m_requestOutstanding = false;
    Clock& clock = m_link.SystemTime();
    while (m_link.InBufferCount() < kFrameBytes &&
           SecondsSince(clock, m_requestedAt) <= kFrameTimeoutSeconds) {
        m_link.Yield(UntilTimeOut(clock, m_requestedAt));
    }
    m_link.ReadInput();
}

const QString& Monitor::ActivityText() const {
    return m_state.Recording ? kRecording : kMonitoring;
}

double Monitor::GoodFrameSpanSeconds() const {
    return std::chrono::duration<double>(m_lastGood - m_firstGood).count();
}

void Monitor::FrameRateTick() {
    m_status.SetPanelText(3, QString::number(m_state.FrameCount) + QStringLiteral(" FPS"));
    m_state.FrameCount = 0;
}

}  // namespace quarn
