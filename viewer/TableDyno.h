#pragma once

#include "dyno/DynoInput.h"

namespace quarn {

class LogTable;

// The dyno's columns of a log table, by the names the viewer gives its
// channels, with the table's times and warm-up: what the Dyno tab and
// quarn-log's pulls and dyno both compute from.
DynoInput DynoInputOf(const LogTable& table);

}  // namespace quarn
