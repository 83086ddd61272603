#pragma once

#include "engine/PackSteps.h"
#include "planning/FusedPlan.h"
#include "tools/FFmpegJob.h"

#include <QList>
#include <QString>

#include <optional>

// One ffmpeg process writing several outputs, each staged as a lone encode is: every output
// goes to a hidden file beside its destination, gets its own post-steps there, and all of them
// are renamed into place after a clean exit, or all removed otherwise.
namespace FusedEncode {

struct Outcome {
    int status = 0;      // 0 written, 130 stopped, anything else failed
    QString message;     // the failure text shown on the item
    QList<qint64> bytes; // per output of the invocation, in its order, when written
    QStringList notes;   // per output: the post-steps that were skipped, for the user
    QList<std::optional<double>> scores; // per output, when scored and the score could be taken
    QList<std::optional<int>> qualities; // per output, when the automatic search chose it
};

// Whether the outputs are scored against the source once their post-steps are done.
struct Scoring {
    bool enabled = false;
    bool alpha = false; // the source is transparent: both sides are flattened to compare
};

// The share of the process's progress that ffmpeg's own reports cover; the rest is left to the
// post-steps and scores, so the bar keeps moving while they run.
double encodeShare(const FusedPlan::Invocation& invocation, const QList<PlannedOutput>& plan,
                   bool scored = false);

// Blocking; run it on a worker thread. `plan` is what the invocation's indices point into;
// `readPath`, when given, is read in place of the source (a prepared copy). Each output's
// post-steps run with `packing`, in the invocation's order, each followed by its score when
// `scoring` asks for one (through `job`, so a stop ends it too).
Outcome run(FFmpegJob& job, const QString& ffmpeg, const FusedPlan::Invocation& invocation,
            const QList<PlannedOutput>& plan, const FFmpegJob::ProgressCallback& onProgress,
            const QString& readPath = {}, const PackSteps::Context& packing = {},
            const Scoring& scoring = {});

} // namespace FusedEncode
