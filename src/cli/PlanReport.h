#pragma once

#include "model/MediaItem.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"
#include "planning/QualitySearch.h"
#include "tools/FFmpegLocator.h"

#include <QJsonDocument>
#include <QList>
#include <QString>

// One planned invocation as a dry run shows it.
struct PlanStep {
    PlannedOutput output;
    bool skip = false; // overwriting is off and the destination exists: a run would not encode
    std::optional<QualitySearch::Range> search; // the automatic quality's search, when on
};

// What a run would do with one source: its media facts and its invocations, or why it fails.
struct ItemPlan {
    qsizetype index = -1; // in the queue
    MediaItem item;
    QList<PlanStep> steps;
    QString error;
    QList<FusedPlan::Invocation> invocations; // what really runs; `outputs` index into steps
};

namespace PlanReport {

// {"items":[{index, source, kind, width, height, duration, hdr, hasAlpha, grey,
//   outputs, invocations|error}]};
// each output: {label, destination, arguments, post[, skip][, qualitySearch]}, where
// qualitySearch is {from, to, target, encodes} for an output whose quality is searched;
// each invocation: {arguments, destinations}, the processes a run starts.
// With `tools`, a "tools" object names each program found (null for one that is missing).
QJsonDocument json(const QList<ItemPlan>& plans, const std::optional<FFmpegTools>& tools = {});

// A readable listing; each command is shell-quoted so it can be pasted as it is.
QString text(const QList<ItemPlan>& plans, const QString& ffmpeg);

QString shellQuoted(const QString& argument);

} // namespace PlanReport
