#include "app/AlarmSound.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace quarn {
namespace {

constexpr double kToneHz = 880;
constexpr double kBeepSeconds = 0.12;
constexpr double kGapSeconds = 0.08;
constexpr double kRampSeconds = 0.01;  // no click at either end
constexpr double kAmplitude = 0.5 * 32767;

void Report(const char* why) {
    std::fprintf(stderr, "quarn-dash: alarms are shown but not sounded: %s\n", why);
}

// The audio back end warns on its own when it finds no sound server; the
// one line Report writes says it for the user, so that warning is held back
// while the device is looked up.
QtMessageHandler g_previousHandler = nullptr;

void QuietAudioProbe(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("PulseAudioService"))) return;
    if (g_previousHandler) g_previousHandler(type, context, message);
}

QAudioDevice DefaultOutput() {
    g_previousHandler = qInstallMessageHandler(QuietAudioProbe);
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    qInstallMessageHandler(g_previousHandler);
    return device;
}

}  // namespace

AlarmSound::AlarmSound() = default;

AlarmSound::~AlarmSound() {
    if (m_sink) m_sink->stop();
}

QByteArray AlarmSound::Beeps(int count) {
    const int beep = static_cast<int>(kBeepSeconds * kSampleRate);
    const int gap = static_cast<int>(kGapSeconds * kSampleRate);
    const int ramp = static_cast<int>(kRampSeconds * kSampleRate);
    QByteArray out;
    for (int b = 0; b < count; ++b) {
        for (int i = 0; i < beep; ++i) {
            const double edge = std::min({1.0, double(i) / ramp, double(beep - 1 - i) / ramp});
            const auto s = static_cast<std::int16_t>(
                std::lround(kAmplitude * edge * std::sin(2 * M_PI * kToneHz * i / kSampleRate)));
            out.append(static_cast<char>(s & 0xff));
            out.append(static_cast<char>((s >> 8) & 0xff));
        }
        if (b + 1 < count) out.append(QByteArray(2 * gap, '\0'));
    }
    return out;
}

bool AlarmSound::Open() {
    if (m_sink) return true;
    if (m_failed) return false;
    const QAudioDevice device = DefaultOutput();
    if (device.isNull()) {
        m_failed = true;
        Report("no audio output device");
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        m_failed = true;
        Report("the audio device does not take 16-bit mono sound");
        return false;
    }
    m_sink = std::make_unique<QAudioSink>(device, format);
    return true;
}

void AlarmSound::Play(AlarmLevel level) {
    if (level == AlarmLevel::None) return;
    ++m_requested;
    const auto now = std::chrono::steady_clock::now();
    if (m_muted || now - m_last < kMinGap) return;
    m_last = now;
    if (!Open()) return;
    m_sink->stop();
    m_buffer.close();
    m_samples = Beeps(level == AlarmLevel::Danger ? 2 : 1);
    m_buffer.setData(m_samples);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink->start(&m_buffer);
    if (m_sink->error() != QAudio::NoError) {
        m_sink.reset();
        m_failed = true;
        Report("the audio device could not be opened");
    }
}

}  // namespace quarn
