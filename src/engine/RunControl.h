#pragma once

#include "model/TersioSettings.h"
#include "planning/MemoryEstimate.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegJob.h"
#include "tools/FFmpegLocator.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <utility>

#include <memory>

// What one run works with: copies taken when it starts, so later edits do not reach it.
struct RunSnapshot {
    FFmpegTools tools;
    TersioSettings settings;
    EncoderCaps caps;
    // Items that are read and named with the rest, so that the others get the names a run of
    // the whole queue gives them, but are neither encoded nor changed.
    QSet<QUuid> namedOnly;
};

// The stop flag and the job running for each item. Main thread only; a job itself may be
// stopped from here while its worker thread is blocked in it.
struct RunControl {
    bool stopRequested = false;
    QHash<QUuid, std::shared_ptr<FFmpegJob>> activeJobs;

    void stopJob(const QUuid& id) {
        if (const auto job = activeJobs.take(id))
            job->stop();
    }

    void stopAll() {
        for (const auto& job : std::as_const(activeJobs))
            job->stop();
        activeJobs.clear();
    }

    // What the running processes are estimated to hold. A process that would take the total
    // past the budget waits until one ends; alone, any process may start.
    qint64 memoryBudget = MemoryEstimate::budget(MemoryEstimate::physicalMemory());
    qint64 memoryInUse = 0;

    bool reserveMemory(qint64 bytes) {
        if (!MemoryEstimate::mayStart(memoryInUse, bytes, memoryBudget))
            return false;
        memoryInUse += bytes;
        return true;
    }

    // `retry` runs on `context`'s thread after the next release, unless the context is gone.
    void waitForMemory(QObject* context, std::function<void()> retry) {
        memoryWaiters.append({QPointer<QObject>(context), std::move(retry)});
    }

    void releaseMemory(qint64 bytes) {
        memoryInUse = std::max<qint64>(0, memoryInUse - bytes);
        const auto waiters = std::exchange(memoryWaiters, {});
        for (const auto& [context, retry] : waiters)
            if (context)
                QTimer::singleShot(0, context.data(), retry);
    }

  private:
    QList<std::pair<QPointer<QObject>, std::function<void()>>> memoryWaiters;
};
