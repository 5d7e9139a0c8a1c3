#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/VehicleData.h"
#include "logging/ExportFormats.h"
#include "logging/LogExport.h"

namespace quarn {

// A CSV export of a whole log, run on a worker thread so that the window
// thread, and with it the monitoring loop and a recording, never waits for
// it. The worker gets its own copies of the names and the car; the window
// reads the progress and gets the result through finished, on its own
// thread. The output is written as ExportCsvFile writes it: a temporary file
// renamed into place once whole, removed on a cancel or a failure.
class ExportJob final : public QObject {
    Q_OBJECT
public:
    explicit ExportJob(QObject* parent = nullptr);
    // Abandons an export still running.
    ~ExportJob() override;

    // Starts the export; false while one is running.
    bool Start(const std::string& logPath, const std::string& csvPath,
               const VehicleData& vehicle, std::int64_t firstRecord = 1,
               std::int64_t lastRecord = INT64_MAX, const ExportOptions& options = {});
    bool Running() const { return m_state != nullptr; }
    // Records read so far by the running export.
    std::int64_t RecordsDone() const;
    // Asks the worker to stop at its next block of records; finished follows
    // with the outcome Cancelled (or Written, had it just finished).
    void Cancel();
    // For the program's end: stops the worker and waits for it, so that its
    // temporary file is gone when this returns. finished is not emitted.
    void Abandon();

signals:
    // On the thread that called Start. damaged counts the records left out.
    void finished(const ExportResult& result, std::int64_t damaged);

private:
    struct State {
        std::atomic<bool> cancel{false};
        std::atomic<std::int64_t> done{0};
        // Written by the worker before it ends, read after.
        ExportResult result;
        std::int64_t damaged = 0;
    };

    void Finish();

    std::shared_ptr<State> m_state;
    // The export's own thread, which gives way to the window thread (see
    // Start); declared before the watcher so that it outlives it.
    QThreadPool m_pool;
    QFutureWatcher<void> m_watcher;
};

}  // namespace quarn
