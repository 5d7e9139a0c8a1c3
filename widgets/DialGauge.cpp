#include "widgets/DialGauge.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <utility>

#include "widgets/DialFace.h"
#include "widgets/RefreshTick.h"

namespace quarn {

namespace {

// The needle, the hub and the marks drawn over the face, in fractions of
// the radius.
constexpr double kNeedleLength = 0.88;
constexpr double kNeedleTail = 0.16;
constexpr double kNeedleHalfWidth = 0.035;
constexpr double kHubRadius = 0.08;
// A peak mark spans the band ring and the ticks, thin beside the needle.
constexpr double kPeakInner = DialGauge::kBandInner;
constexpr double kPeakOuter = kMajorTickOuter;
// The alarm rim covers the bezel and the tips of the ticks: wide enough to
// catch the eye on a small dial.
constexpr double kRimWidth = 0.08;

constexpr std::size_t kHigh = 0;
constexpr std::size_t kLow = 1;

// One flash for every dial, so that dials in alarm flash together. The timer
// runs only while some dial is in alarm.
struct FlashClock {
    QPointer<QTimer> timer;
    bool lit = true;
    int users = 0;
};

FlashClock& Flash() {
    static FlashClock clock;
    return clock;
}

QTimer* FlashTimer() {
    FlashClock& f = Flash();
    if (!f.timer) {
        f.timer = new QTimer(QCoreApplication::instance());
        f.timer->setInterval(DialGauge::kFlashMs);
        // Connected first, so the phase has turned before any dial repaints.
        QObject::connect(f.timer, &QTimer::timeout, [] { Flash().lit = !Flash().lit; });
    }
    return f.timer;
}

}  // namespace

DialGauge::DialGauge(GaugeSpec face, QWidget* parent)
    : DialGauge(std::move(face), SharedRefreshTick(), parent) {}

DialGauge::DialGauge(GaugeSpec face, RefreshTick& tick, QWidget* parent)
    : QWidget(parent), m_spec(std::move(face)), m_tick(&tick) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Gauges hold the minimum until the first frame arrives.
    m_values.fill(m_spec.minimum);
    for (auto& marks : m_paintedPeaks) marks.fill(std::nan(""));
}

void DialGauge::SetSpec(GaugeSpec face) {
    m_spec = std::move(face);
    m_face = QPixmap();
    if (!m_spec.dual) m_selected = 0;
    update();
}

void DialGauge::SelectNeedle(int needle) {
    if (needle >= 0 && needle < NeedleCount()) m_selected = needle;
}

void DialGauge::SetNeedleValue(double value) {
    const auto i = static_cast<std::size_t>(m_selected);
    double& stored = m_values[i];
    const double before = NeedleAngle(m_spec, stored, m_selected);
    stored = value;
    // A new peak moves the needle as well, so it is repainted with it.
    m_peaks[i].Add(value);
    // A value that leaves the needle where it was (the same value again, or
    // another off-scale value) costs no repaint.
    if (NeedleAngle(m_spec, value, m_selected) == before) return;
    if (m_tick) {
        m_tick->Schedule(this, [this] { RepaintNeedles(); });
    } else {
        RepaintNeedles();
    }
}

const PeakHold& DialGauge::peak(int needle) const {
    if (needle < 0 || needle >= NeedleCount()) needle = 0;
    return m_peaks[static_cast<std::size_t>(needle)];
}

void DialGauge::ResetPeaks() {
    for (PeakHold& p : m_peaks) p.Reset();
    update();
}

DialGauge::~DialGauge() {
    SetAlarmLevel(AlarmLevel::None);
}

bool DialGauge::rimLit() const {
    return m_alarm != AlarmLevel::None && Flash().lit;
}

void DialGauge::SetAlarmLevel(AlarmLevel level) {
    if (level == m_alarm) return;
    const bool was = m_alarm != AlarmLevel::None;
    m_alarm = level;
    FlashClock& f = Flash();
    if (level == AlarmLevel::None) {
        disconnect(m_flash);
        if (--f.users == 0 && f.timer) f.timer->stop();
    } else if (!was) {
        QTimer* timer = FlashTimer();
        // The whole dial: a clip to the ring costs more than it saves.
        m_flash = connect(timer, &QTimer::timeout, this, [this] { update(); });
        if (f.users++ == 0) {
            // Lit at once: the first alarm shows from its first frame.
            f.lit = true;
            timer->start();
        }
    }
    update();
}

void DialGauge::SetScheme(DialScheme scheme) {
    if (scheme == m_scheme) return;
    m_scheme = scheme;
    m_face = QPixmap();
    update();
}

void DialGauge::SetTextScale(double scale) {
    if (!(scale > 0) || scale == m_textScale) return;
    m_textScale = scale;
    m_face = QPixmap();
    update();
}

QPolygonF DialGauge::NeedleShape(const DialFrame& frame, double angle) const {
    const double r = frame.radius;
    const double half = std::max(1.5, r * kNeedleHalfWidth);
    const double tipHalf = std::max(0.5, half * 0.25);
    // Drawn pointing at 12 o'clock, then turned clockwise to its angle.
    const QPolygonF shape({QPointF(-half, r * kNeedleTail), QPointF(half, r * kNeedleTail),
                           QPointF(tipHalf, -r * kNeedleLength),
                           QPointF(-tipHalf, -r * kNeedleLength)});
    QTransform turn;
    turn.translate(frame.centre.x(), frame.centre.y());
    turn.rotate(angle);
    return turn.map(shape);
}

std::array<double, 2> DialGauge::PeakAngles(int needle) const {
    const PeakHold& p = m_peaks[static_cast<std::size_t>(needle)];
    std::array<double, 2> angles{std::nan(""), std::nan("")};
    if (p.Empty()) return angles;
    angles[kHigh] = NeedleAngle(m_spec, p.high, needle);
    if (m_spec.holdLow) angles[kLow] = NeedleAngle(m_spec, p.low, needle);
    return angles;
}

// Only the ground the needles leave and the ground they reach is repainted:
// a few percent of the dial instead of all of it, at every display tick.
// A peak mark that moved is repainted where it stood and where it stands.
void DialGauge::RepaintNeedles() {
    const DialFrame frame = DialFrameFor(QSizeF(size()));
    if (frame.radius <= 0) return;
    constexpr int kMargin = 2;  // antialiased edges and the outline
    const auto around = [](QRectF r) {
        return r.toAlignedRect().adjusted(-kMargin, -kMargin, kMargin, kMargin);
    };
    QRegion region;
    for (int needle = 0; needle < NeedleCount(); ++needle) {
        const auto i = static_cast<std::size_t>(needle);
        const double now = NeedleAngle(m_spec, m_values[i], needle);
        for (double angle : {m_paintedAngles[i], now})
            region += around(NeedleShape(frame, angle).boundingRect());
        const std::array<double, 2> peaks = PeakAngles(needle);
        for (std::size_t k = 0; k < peaks.size(); ++k) {
            const double painted = m_paintedPeaks[i][k];
            if (peaks[k] == painted || (std::isnan(peaks[k]) && std::isnan(painted))) continue;
            for (double angle : {painted, peaks[k]}) {
                if (std::isnan(angle)) continue;
                region += around(QRectF(DialPoint(frame, angle, kPeakInner),
                                        DialPoint(frame, angle, kPeakOuter))
                                     .normalized());
            }
        }
    }
    update(region);
}

double DialGauge::NeedleValue(int needle) const {
    if (needle < 0 || needle >= NeedleCount()) needle = 0;
    return m_values[static_cast<std::size_t>(needle)];
}

void DialGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFace(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    const DialFrame frame = DialFrameFor(QSizeF(size()));
    PaintRim(painter, frame);
    PaintPeaks(painter, frame);
    PaintNeedles(painter, frame);
    PaintHub(painter, frame);
}

void DialGauge::resizeEvent(QResizeEvent*) {
    m_face = QPixmap();
}

void DialGauge::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void DialGauge::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click) emit clicked();
}

void DialGauge::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) ResetPeaks();
    // The second press of a double-click still makes a click on release.
    mousePressEvent(event);
}

void DialGauge::PaintFace(QPainter& painter) {
    const qreal dpr = devicePixelRatioF();
    // The device pixel ratio changes when the window moves to another screen.
    if (m_face.isNull() || m_face.devicePixelRatio() != dpr) {
        m_face = RenderDialFace(m_spec, size(), dpr, ColoursOf(m_scheme), m_textScale);
        ++m_faceRenders;
    }
    painter.drawPixmap(0, 0, m_face);
}

void DialGauge::PaintRim(QPainter& painter, const DialFrame& frame) const {
    if (!rimLit() || frame.radius <= 0) return;
    const DialColours& colours = ColoursOf(m_scheme);
    const double width = std::max(3.0, frame.radius * kRimWidth);
    painter.setPen(QPen(m_alarm == AlarmLevel::Danger ? colours.dangerRim : colours.warnRim, width));
    painter.setBrush(Qt::NoBrush);
    const double r = frame.radius - width / 2;
    painter.drawEllipse(frame.centre, r, r);
}

void DialGauge::PaintPeaks(QPainter& painter, const DialFrame& frame) {
    if (frame.radius <= 0) return;
    const DialColours& colours = ColoursOf(m_scheme);
    const double width = std::max(1.5, frame.radius * 0.025);
    for (int needle = 0; needle < NeedleCount(); ++needle) {
        const auto i = static_cast<std::size_t>(needle);
        m_paintedPeaks[i] = PeakAngles(needle);
        for (std::size_t k = 0; k < 2; ++k) {
            const double angle = m_paintedPeaks[i][k];
            if (std::isnan(angle)) continue;
            painter.setPen(QPen(k == kHigh ? colours.peakHigh : colours.peakLow, width,
                                Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(DialPoint(frame, angle, kPeakInner), DialPoint(frame, angle, kPeakOuter));
        }
    }
}

void DialGauge::PaintNeedles(QPainter& painter, const DialFrame& frame) {
    if (frame.radius <= 0) return;
    painter.setPen(QPen(QColor(0, 0, 0, 160), 1));
    painter.setBrush(ColoursOf(m_scheme).needle);
    for (int needle = 0; needle < NeedleCount(); ++needle) {
        const auto i = static_cast<std::size_t>(needle);
        m_paintedAngles[i] = NeedleAngle(m_spec, m_values[i], needle);
        painter.drawPolygon(NeedleShape(frame, m_paintedAngles[i]));
    }
}

void DialGauge::PaintHub(QPainter& painter, const DialFrame& frame) const {
    if (frame.radius <= 0) return;
    const DialColours& colours = ColoursOf(m_scheme);
    const double r = std::max(3.0, frame.radius * kHubRadius);
    painter.setPen(QPen(colours.hubRim, 1));
    painter.setBrush(colours.hub);
    painter.drawEllipse(frame.centre, r, r);
}

}  // namespace quarn
