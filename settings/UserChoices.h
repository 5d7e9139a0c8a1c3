#pragma once

namespace quarn {

// Switches of the View menu remembered for the next start, in the per-user
// settings file (UserSettingsPath in LastVehicle.h).
inline constexpr char kNightChoice[] = "view/night";
inline constexpr char kMuteChoice[] = "view/mute-alarms";

bool RememberedChoice(const char* key, bool fallback = false);
void RememberChoice(const char* key, bool on);

}  // namespace quarn
