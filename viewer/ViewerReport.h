#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace quarn {

class LogTable;

// File → Drive report…: asks where to save (PDF or HTML), works out the
// figures on a worker, then draws the charts and writes the file on the
// window thread. Messages open as children of parent, never blocking.
void StartDriveReport(QWidget* parent, const std::shared_ptr<LogTable>& table,
                      const QString& carName, const QString& carDescription);

}  // namespace quarn
