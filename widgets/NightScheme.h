#pragma once

#include <QPalette>

class QCustomPlot;

namespace quarn {

// The night scheme of the whole program. A dark palette on the application
// reaches every window, menu and dialog that keeps the standard palette;
// every plot gets a dark ground, dark red ink and dimmed traces. Day puts
// back the palette the program had and each plot's own colours. The dials
// keep their own night faces (DialScheme).
void ApplyNightScheme(bool night);
bool NightSchemeOn();

// The palette windows take at night.
QPalette NightPalette();

// Brings plot in line with the scheme now. Plots follow the scheme by
// themselves (before each replot, once a plot was shown after the scheme was
// first switched on); this is for a plot drawn before it was ever shown,
// such as one saved straight to a file.
void FollowNightScheme(QCustomPlot& plot);

}  // namespace quarn
