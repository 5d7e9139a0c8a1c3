#pragma once

#include <QString>

#include <cstdint>

namespace quarn {

// The file that remembers the serial port number between runs, relative to the
// working directory.
inline constexpr char kSettingsFileName[] = "quarnom.ini";

// Creates or replaces the settings file (a temporary file renamed into
// place, so the old one stays whole until the new one is) and writes the port number as one
// line: '-' for a negative number or else a space, the digits, a space, CR LF
// (port 3 is the bytes 20 33 20 0D 0A). Returns false when the file could not
// be written completely (for example a read-only directory).
bool WriteSettings(std::int16_t port, const QString& path = QString::fromLatin1(kSettingsFileName));

// The port number stored in the settings file. Leading blanks are skipped and
// the number ends at the first comma or line end; trailing blanks are allowed.
// A missing, unreadable or empty file, anything but a whole decimal number, or
// a number outside the 16-bit range reads as 0, and the file is then rewritten
// holding 0. When that rewrite fails, *rewriteFailed is set to true.
std::int16_t ReadSettings(const QString& path = QString::fromLatin1(kSettingsFileName),
                          bool* rewriteFailed = nullptr);

}  // namespace quarn
