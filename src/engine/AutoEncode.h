#pragma once

#include "engine/PackSteps.h"
#include "planning/QualitySearch.h"
#include "tools/FFmpegJob.h"

#include <QString>

#include <functional>
#include <optional>

// One image output encoded at the lowest quality whose score reaches the target. Every trial is
// a staged encode of its own (post-steps included, then scored); the one kept is renamed into
// place and the others removed, so the destination is never half-written.
namespace AutoEncode {

struct Outcome {
    int status = 0;  // 0 written, 130 stopped, anything else failed
    QString message; // the failure text shown on the item
    qint64 bytes = 0;
    QString note; // skipped post-steps, or why the target was not reached
    std::optional<double> score;
    std::optional<int> quality;
    int encodes = 0;
};

using PlanAt = std::function<PlannedOutput(int quality)>;

// Blocking; run it on a worker thread. `readPath`, `packing`: as StagedEncode::run; `alpha`:
// the source is transparent (the score flattens both sides).
Outcome run(FFmpegJob& job, const QString& ffmpeg, const QualitySearch::Range& range,
            const PlanAt& planAt, const FFmpegJob::ProgressCallback& onProgress,
            const QString& readPath = {}, const PackSteps::Context& packing = {},
            bool alpha = false);

} // namespace AutoEncode
