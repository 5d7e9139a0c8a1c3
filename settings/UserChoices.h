#pragma once

#include <QString>

#include <optional>

#include "decode/Alarms.h"

namespace quarn {

// Switches of the View menu remembered for the next start, in the per-user
// settings file (UserSettingsPath in LastVehicle.h).
inline constexpr char kNightChoice[] = "view/night";
inline constexpr char kMuteChoice[] = "view/mute-alarms";

bool RememberedChoice(const char* key, bool fallback = false);
void RememberChoice(const char* key, bool on);

// The Datalogging tab of the session properties, kept in the same file.
struct DataloggingChoices {
    enum class Start { Manual, TriggerInput, TpsOver4V, Keyboard };
    Start start = Start::Manual;
    // A lost link is retried until it comes back; off, monitoring stops.
    bool reconnect = true;
    // Where recordings go (and the log name box starts).
    QString directory;
    // Records written per second at most; 0 writes every frame.
    int maxRate = 0;

    bool operator==(const DataloggingChoices&) const = default;
};

// The alarm limits last in force, whether edited in the Limits window or
// loaded with a car; none before the first change.
std::optional<AlarmLimitSet> RememberedLimits();
void RememberLimits(const AlarmLimitSet& limits);

// A folder under the user's documents.
QString DefaultDatalogDirectory();
DataloggingChoices RememberedDataloggingChoices();
void RememberDataloggingChoices(const DataloggingChoices& choices);

}  // namespace quarn
