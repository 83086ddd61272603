#pragma once

#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"

#include <QList>
#include <QString>
#include <QStringList>

// The picture an output's score compares it with: the source read as the output reads it (its
// -vf chain), flattened onto white for a transparent source, in planar RGB. The process that
// encodes a still can write it as a file of its own, so the score need not decode the source again.
namespace ScoreReference {

// The filters from the decoded source to the reference; `pick` (a frame choice) goes first when
// the chain keeps every frame, else just before the conversion to RGB. Labels of their own keep
// it apart from any graph it joins.
QString filters(const PlannedOutput& output, bool alpha, const QString& pick = {});

// Whether the source as it is decoded is this output's reference: a still JPEG written from a JPEG
// with no filters, which the score decodes in-process as ffmpeg would (or reads from the source's
// prepared copy). The encode then writes no reference: it would be the whole decoded source. A
// source stored turned (EXIF orientation) is not decoded upright in-process, so it needs one.
bool sourceServes(const PlannedOutput& output, bool alpha);

// Why the process that encodes this output cannot write its reference; empty when it can.
QString unwritableBecause(const PlannedOutput& output);

// Puts the arguments that write the reference to `path` right after the slot `after` (the input
// path or an earlier reference's), so the outputs stay last, as readers of the last argument
// expect. `index` keeps the graph's labels apart from other references of the same process.
// Returns the path's slot.
qsizetype insert(QStringList& arguments, qsizetype after, const PlannedOutput& output, bool alpha,
                 int index, const QString& path);

// A reference for every output of the invocation that can have one and is not served by its
// source (`plan` is what its indices point into); outputs with the same look share one, and one
// served by its source takes a reference written for another anyway. Its path stands in at plan
// time as each destination stands for its staged file.
void addAll(FusedPlan::Invocation& invocation, const QList<PlannedOutput>& plan, bool alpha,
            bool turned = false);

} // namespace ScoreReference
