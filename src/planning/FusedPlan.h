#pragma once

#include "planning/CommandBuilder.h"

#include <QList>
#include <QString>
#include <QStringList>

// An item's planned outputs written by as few ffmpeg processes as possible: the source is
// decoded once and the frames are split into one filter branch per output. Each invocation is
// derived from the planned argument lists themselves, so it follows any change to the plans.
namespace FusedPlan {

// One ffmpeg process writing one or more planned outputs.
struct Invocation {
    QStringList arguments;
    QList<int> outputs;          // indices into the list given to group(), in that order
    QList<qsizetype> writeSlots; // where each output's destination sits in `arguments`
    qsizetype inputSlot = -1;    // the source path after "-i"
    double progressDuration = 0; // the longest of its outputs; 0: no progress reports
    // Per output, where the path of its score's reference picture sits; -1: none is written.
    // Empty until ScoreReference::addAll.
    QList<qsizetype> referenceSlots;

    friend bool operator==(const Invocation&, const Invocation&) = default;
};

// Why this output has to run in a process of its own; empty when it can share one.
QString aloneBecause(const PlannedOutput& output);

// Every output lands in exactly one invocation, in plan order of its first output. Outputs that
// can share a process (same source, same global options) share one as long as the estimated
// memory of the group stays within `memoryLimit` (0: no limit); the others run alone with their
// planned arguments unchanged. `sourceWidth`/`sourceHeight` feed the estimate (0: unknown).
QList<Invocation> group(const QList<PlannedOutput>& outputs, qint64 memoryLimit = 0,
                        qint64 sourceWidth = 0, qint64 sourceHeight = 0);

// The invocation of one output alone: its planned arguments.
Invocation alone(const PlannedOutput& output, int index);

// "MP4 · H.264, WebM · VP9 +5": the first two labels, then how many more.
QString taskText(const QStringList& labels);

} // namespace FusedPlan
