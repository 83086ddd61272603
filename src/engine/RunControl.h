#pragma once

#include "model/TersioSettings.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegJob.h"
#include "tools/FFmpegLocator.h"

#include <QHash>
#include <QSet>
#include <QUuid>

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
};
