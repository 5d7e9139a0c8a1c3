#include "link/LinkStatus.h"

#include <cstdio>
#include <cstdlib>

namespace quarn {

void ConsoleLinkAlerts::ShowCritical(const QString& title, const QString& text,
                                     const QString& detail) {
    std::fprintf(stderr, "%s: %s %s\n", qPrintable(title), qPrintable(text), qPrintable(detail));
}

void ConsoleLinkAlerts::ShowSettingsNotSaved(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

void ConsoleLinkAlerts::EndProgram() {
    // The call comes from deep inside nested handlers; returning to the event
    // loop first would let the suspended operations run on.
    std::fflush(stderr);
    std::exit(EXIT_FAILURE);
}

}  // namespace quarn
