#include "dyno/Pulls.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "dyno/DynoPhysics.h"

namespace quarn {
namespace {

// A frame whose ratio lies within this share of the allowed change still
// counts as in gear when a change of ratio cuts a pull: the frames while
// the clutch begins to slip stay out of it.
constexpr double kInGearShare = 0.25;

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

// Splits one stretch at full throttle, [begin, end), into pieces at every
// gap, bad speed sample or fall in rpm, and lists the pieces that are pulls
// or that a problem made too short.
class RunScanner {
public:
    RunScanner(const DynoInput& in, const PullThresholds& th, std::vector<Pull>& out)
        : m_in(in), m_th(th), m_out(out) {}

    void Scan(std::size_t begin, std::size_t end) {
        m_runSeconds = m_in.Seconds[end - 1] - m_in.Seconds[begin];
        m_open = false;
        m_waitSteady = false;
        m_anchorRatio = 0;
        m_startNote.clear();
        m_firstProblem.clear();
        const std::size_t listedBefore = m_out.size();
        std::size_t lastGood = begin;
        bool haveGood = false;
        for (std::size_t k = begin; k < end; ++k) {
            const double record = m_in.Record[k];
            if (k > begin) {
                const double missing = record - m_in.Record[k - 1] - 1;
                const double step = m_in.Seconds[k] - m_in.Seconds[k - 1];
                if (missing != 0) {
                    Cut(Format("%.0f records missing before record %.0f", missing, record));
                } else if (step > m_th.maxGapSeconds) {
                    Cut(Format("a gap of %.2f s in the log before record %.0f", step, record));
                }
            }
            const SpeedSample s = SpeedAt(m_in, k);
            if (!s.valid) {
                // Before the car moves fast enough the sensor reads stopped:
                // that only delays the start. Once moving, it is a dropout.
                if (m_open || haveGood)
                    Cut(Format("speed sensor dropout at record %.0f", record));
                haveGood = false;
                continue;
            }
            const double g = std::abs(s.accel) / kGravity;
            if (g > m_th.maxAccelG) {
                Cut(Format("bad speed sample at record %.0f (it implies %.1f g)", record, g));
                haveGood = false;
                continue;
            }
            const double mph = s.vNow / kMetresPerSecondPerMph;
            if (haveGood) {
                const double dt = std::max(0.0, m_in.Seconds[k] - m_in.Seconds[lastGood]);
                const double allowed =
                    m_th.maxSpeedStepMph + m_th.maxAccelG * kGravity * dt / kMetresPerSecondPerMph;
                const double lastMph = SpeedAt(m_in, lastGood).vNow / kMetresPerSecondPerMph;
                if (std::abs(mph - lastMph) > allowed)
                    Cut(Format("speed jumps from %.0f to %.0f mph at record %.0f", lastMph, mph,
                               record));
            }
            const double rpm = m_in.Rpm[k];
            if (m_open && rpm < m_peakRpm - m_th.rpmFallTolerance) {
                Cut(Format("RPM fell from %.0f to %.0f at record %.0f", m_peakRpm, rpm, record));
                m_waitSteady = true;
            }
            // Rpm and Mph are means over the same frames, so in one gear
            // their ratio holds even while both climb.
            const double ratio = m_in.Mph[k] > 0 ? rpm / m_in.Mph[k] : 0;
            const double moved = m_anchorRatio > 0 && std::isfinite(ratio)
                                     ? std::abs(ratio / m_anchorRatio - 1)
                                     : (m_anchorRatio > 0 ? 1.0 : 0.0);
            if (!(m_anchorRatio > 0) || moved > m_th.maxRatioChange) {
                if (m_open && m_anchorRatio > 0) {
                    Cut(Format("RPM and speed parted (clutch or shift) at record %.0f", record),
                        m_lastInGear);
                }
                if (m_anchorRatio > 0) m_waitSteady = true;
                m_anchorRatio = AnchorFor(ratio);
                m_steadySince = k;
                // Between known gears nothing can start until one holds.
                if (!(m_anchorRatio > 0) && !m_in.GearRpmPerMph.empty()) m_waitSteady = true;
            }
            if (moved <= m_th.maxRatioChange * kInGearShare) m_lastInGear = k;
            if (!m_open && m_waitSteady && !SteadyLongEnough(k)) {
                lastGood = k;
                haveGood = true;
                continue;
            }
            if (!m_open) {
                m_waitSteady = false;
                m_open = true;
                m_first = k;
                m_peak = k;
                m_peakRpm = rpm;
            } else if (rpm >= m_peakRpm) {
                m_peak = k;
                m_peakRpm = rpm;
            }
            lastGood = k;
            haveGood = true;
        }
        Close(std::string());
        // A long run broken into crumbs by problems still gets one line,
        // so the user learns why it is no pull.
        if (m_out.size() == listedBefore && !m_firstProblem.empty() &&
            m_runSeconds >= m_th.minSeconds) {
            Pull p = Facts(begin, end - 1);
            p.note = "refused: broken up by " + m_firstProblem;
            m_out.push_back(p);
        }
    }

private:
    Pull Facts(std::size_t first, std::size_t last) const {
        Pull p;
        p.first = first;
        p.last = last;
        p.firstRecord = m_in.Record[first];
        p.lastRecord = m_in.Record[last];
        p.startRpm = m_in.Rpm[first];
        p.endRpm = p.startRpm;
        p.minMph = p.maxMph = m_in.Mph[first];
        for (std::size_t k = first; k <= last; ++k) {
            p.endRpm = std::max<double>(p.endRpm, m_in.Rpm[k]);
            p.minMph = std::min<double>(p.minMph, m_in.Mph[k]);
            p.maxMph = std::max<double>(p.maxMph, m_in.Mph[k]);
        }
        p.seconds = m_in.Seconds[last] - m_in.Seconds[first];
        return p;
    }

    // The ratio a piece must hold from here: the known gear's when the car
    // has known gears (0 between them), else the ratio itself.
    double AnchorFor(double ratio) const {
        if (!std::isfinite(ratio)) return 0;
        if (m_in.GearRpmPerMph.empty()) return ratio;
        for (double gear : m_in.GearRpmPerMph)
            if (gear > 0 && std::abs(ratio / gear - 1) <= m_th.maxRatioChange) return gear;
        return 0;
    }

    // Whether the ratio has held since m_steadySince long enough for frame
    // k to start a piece: the Rpm mean holds only frames in gear, and the
    // frame's earlier speed sample was taken in gear too.
    bool SteadyLongEnough(std::size_t k) const {
        const double interval = m_in.AccelInterval[k] * 8 * kTickSeconds;
        return k - m_steadySince + 1 >= Conversion::kRpmAverageFrames &&
               m_in.Seconds[k] - m_in.Seconds[m_steadySince] >= interval;
    }

    // A problem ends the piece in progress (at its highest rpm, or at the
    // last frame before last if earlier) and marks the next one.
    void Cut(const std::string& why, std::size_t last = SIZE_MAX) {
        if (m_firstProblem.empty()) m_firstProblem = why;
        Close(why, last);
        m_startNote = why;
    }

    void Close(const std::string& endNote, std::size_t last = SIZE_MAX) {
        if (!m_open) return;
        m_open = false;
        Pull p = Facts(m_first, std::max(m_first, std::min(m_peak, last)));
        const bool cut = !m_startNote.empty() || !endNote.empty();
        std::string note;
        if (!m_startNote.empty()) note = "starts after " + m_startNote;
        if (!endNote.empty()) note += (note.empty() ? "ends at " : "; ends at ") + endNote;
        m_startNote.clear();

        const bool longEnough = p.seconds >= m_th.minSeconds;
        const bool rising = p.endRpm - p.startRpm >= m_th.minRpmRise;
        if (longEnough && rising) {
            p.usable = true;
            p.note = note;
        } else if (longEnough) {
            p.note = Format("refused: RPM rose only %.0f in %.1f s", p.endRpm - p.startRpm,
                            p.seconds);
            if (!note.empty()) p.note += "; " + note;
        } else if (cut && m_runSeconds >= m_th.minSeconds &&
                   p.seconds >= m_th.minSeconds / 4) {
            p.note = Format("refused: only %.1f s", p.seconds) + "; " + note;
        } else {
            return;  // a short blip of throttle: no pull
        }
        m_out.push_back(p);
    }

    const DynoInput& m_in;
    const PullThresholds& m_th;
    std::vector<Pull>& m_out;
    double m_runSeconds = 0;
    bool m_open = false;
    std::size_t m_first = 0;
    std::size_t m_peak = 0;
    double m_peakRpm = 0;
    std::string m_startNote;
    std::string m_firstProblem;
    // The ratio of RPM to speed since frame m_steadySince, the last frame
    // still close to it, and whether a piece waits for it to hold.
    double m_anchorRatio = 0;
    std::size_t m_steadySince = 0;
    std::size_t m_lastInGear = 0;
    bool m_waitSteady = false;
};

}  // namespace

std::size_t PullScan::UsableCount() const {
    return static_cast<std::size_t>(
        std::count_if(pulls.begin(), pulls.end(), [](const Pull& p) { return p.usable; }));
}

PullScan FindPulls(const DynoInput& in, const PullThresholds& th) {
    PullScan scan;
    if (!in.Consistent()) {
        scan.problem = "The log's columns do not match in length.";
        return scan;
    }
    const std::size_t n = in.Size();
    RunScanner scanner(in, th, scan.pulls);
    std::size_t i = std::min(in.warmUp, n);
    while (i < n) {
        if (!(in.TpsVolts[i] >= th.minTpsVolts)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < n && in.TpsVolts[j] >= th.minTpsVolts) ++j;
        scanner.Scan(i, j);
        i = j;
    }
    for (std::size_t k = 0; k < scan.pulls.size(); ++k) scan.pulls[k].number = static_cast<int>(k) + 1;
    if (scan.pulls.empty()) {
        scan.problem = Format(
            "No wide-open-throttle pull in this log: none has TPS at %.2f V or more with the RPM "
            "rising for %.1f s or longer.",
            th.minTpsVolts, th.minSeconds);
    } else if (scan.UsableCount() == 0) {
        scan.problem = "No usable pull in this log: every full-throttle run was refused.";
    }
    return scan;
}

}  // namespace quarn
