#pragma once

#include <QByteArray>
#include <QBuffer>

#include <chrono>
#include <memory>

#include "decode/Alarms.h"

class QAudioSink;

namespace quarn {

// The alarms' audible alert: a short beep (two for a danger) made here as
// 16-bit mono PCM and played through the desktop's default audio output.
// Nothing is opened until the first alarm sounds. Without an audio device
// the alarms still show; one line on standard error says why they are
// silent, once.
class AlarmSound {
public:
    AlarmSound();
    ~AlarmSound();

    void SetMuted(bool muted) { m_muted = muted; }
    bool muted() const { return m_muted; }

    // Sounds the alert for an alarm of this level, unless muted or an alert
    // sounded less than kMinGap ago.
    void Play(AlarmLevel level);
    // Alerts asked to sound (muted or not, device or not), for tests.
    int requested() const { return m_requested; }

    static constexpr int kSampleRate = 22050;
    static constexpr std::chrono::milliseconds kMinGap{1000};
    // The samples of the alert: beeps of 880 Hz, 120 ms each with soft ends,
    // 80 ms apart.
    static QByteArray Beeps(int count);

private:
    bool Open();

    bool m_muted = false;
    bool m_failed = false;
    int m_requested = 0;
    std::chrono::steady_clock::time_point m_last{};
    std::unique_ptr<QAudioSink> m_sink;
    QByteArray m_samples;
    QBuffer m_buffer;
};

}  // namespace quarn
