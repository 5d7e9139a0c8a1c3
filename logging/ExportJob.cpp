#include "logging/ExportJob.h"

#include "logging/TravelExport.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quarn {

ExportJob::ExportJob(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
    connect(&m_watcher, &QFutureWatcher<void>::finished, this, &ExportJob::Finish);
}

ExportJob::~ExportJob() { Abandon(); }

bool ExportJob::Start(const std::string& logPath, const std::string& csvPath,
                      const VehicleData& vehicle, std::int64_t firstRecord,
                      std::int64_t lastRecord, const ExportOptions& options) {
    if (m_state) return false;
    auto state = std::make_shared<State>();
    m_state = state;
    // Everything the worker touches is its own copy or the shared state.
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [state, logPath, csvPath, vehicle,
                                                     firstRecord, lastRecord, options] {
        // When both want the CPU, the window thread, which requests and
        // records the frames, goes first. The thread is this job's own, so
        // the lower priority, which cannot be raised again without
        // privileges, stays with it.
        const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
        ::setpriority(PRIO_PROCESS, thread, std::max(::getpriority(PRIO_PROCESS, thread), 10));
        if (state->cancel) {
            state->result.outcome = ExportOutcome::Cancelled;
            return;
        }
        std::int64_t damaged = 0;
        state->result = ExportLogFile(
            logPath, csvPath, options, vehicle, [&](std::int64_t, const std::string&) { ++damaged; },
            [&](std::int64_t done) {
                state->done.store(done, std::memory_order_relaxed);
                return !state->cancel.load(std::memory_order_relaxed);
            },
            firstRecord, lastRecord);
        state->damaged = damaged;
    }));
    return true;
}

std::int64_t ExportJob::RecordsDone() const {
    return m_state ? m_state->done.load(std::memory_order_relaxed) : 0;
}

void ExportJob::Cancel() {
    if (m_state) m_state->cancel = true;
}

void ExportJob::Abandon() {
    if (!m_state) return;
    m_state->cancel = true;
    // Bounded: the worker looks at the flag every few thousand records.
    m_watcher.waitForFinished();
    m_state.reset();
}

void ExportJob::Finish() {
    // A finished signal still queued after Abandon finds nothing to report.
    if (!m_state) return;
    const std::shared_ptr<State> state = std::move(m_state);
    emit finished(state->result, state->damaged);
}

}  // namespace quarn
