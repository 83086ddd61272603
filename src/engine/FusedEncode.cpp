#include "FusedEncode.h"

#include "engine/QualityScore.h"
#include "engine/StagedEncode.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <unistd.h>

namespace {

void removeAll(const QStringList& paths) {
    for (const QString& path : paths)
        ::unlink(QFile::encodeName(path).constData());
}

FusedEncode::Outcome cancelledOutcome() {
    return {130, QStringLiteral("Cancelled"), {}, {}, {}, {}};
}

} // namespace

namespace FusedEncode {

double encodeShare(const FusedPlan::Invocation& invocation, const QList<PlannedOutput>& plan,
                   bool scored) {
    const bool post =
        scored || std::any_of(invocation.outputs.begin(), invocation.outputs.end(),
                              [&plan](int index) { return !plan.at(index).post.isEmpty(); });
    if (!post)
        return 1.0;
    // A timed encode dwarfs a poster's re-pack; a still's packing can take as long as its encode.
    return invocation.progressDuration > 0 ? 0.95 : 0.5;
}

Outcome run(FFmpegJob& job, const QString& ffmpeg, const FusedPlan::Invocation& invocation,
            const QList<PlannedOutput>& plan, const FFmpegJob::ProgressCallback& onProgress,
            const QString& readPath, const PackSteps::Context& packing, const Scoring& scoring) {
    if (job.cancelled())
        return cancelledOutcome();
    QStringList destinations;
    QStringList staged;
    // Per output, the hidden file its score's reference goes to; empty: none.
    QStringList references;
    QStringList arguments = invocation.arguments;
    for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
        const QString destination = plan.at(invocation.outputs.at(k)).destination.toLocalFile();
        // Leftovers of a run that was killed outright would otherwise stay beside the outputs.
        StagedEncode::removeStale(destination);
        const qsizetype referenceSlot = invocation.referenceSlots.value(k, -1);
        QString reason;
        const QString temporary = StagedEncode::reserveTemporary(destination, &reason);
        QString reference;
        if (referenceSlot >= 0 && !temporary.isEmpty()) {
            // Outputs that look alike share a reference, written once.
            const qsizetype first = invocation.referenceSlots.indexOf(referenceSlot);
            reference = first < k ? references.at(first)
                                  : StagedEncode::reserveTemporary(destination, &reason);
        }
        if (temporary.isEmpty() || (referenceSlot >= 0 && reference.isEmpty())) {
            removeAll(staged + references + QStringList{temporary});
            return {-1, StagedEncode::unwritableMessage(destination, reason), {}, {}, {}, {}};
        }
        destinations << destination;
        staged << temporary;
        references << reference;
        arguments[invocation.writeSlots.at(k)] = temporary;
        if (referenceSlot >= 0)
            arguments[referenceSlot] = reference;
    }
    QString source;
    if (invocation.inputSlot >= 0) {
        source = arguments.at(invocation.inputSlot);
        if (!readPath.isEmpty())
            arguments[invocation.inputSlot] = readPath;
    }

    const double share = encodeShare(invocation, plan, scoring.enabled);
    const auto report = [&onProgress](double fraction) {
        if (onProgress)
            onProgress(fraction);
    };
    const ShellResult result = job.run(ffmpeg, arguments, invocation.progressDuration,
                                       [&](double fraction) { report(fraction * share); });
    if (result.status != 0) {
        removeAll(staged + references);
        // ffmpeg names the files it was writing; the user knows only the destinations.
        QString message = StagedEncode::failureMessage(result);
        for (qsizetype k = 0; k < staged.size(); ++k) {
            message.replace(staged.at(k), destinations.at(k));
            if (!references.at(k).isEmpty())
                message.replace(references.at(k), destinations.at(k));
        }
        if (!readPath.isEmpty() && !source.isEmpty())
            message.replace(readPath, source);
        return {result.status, message, {}, {}, {}, {}};
    }

    Outcome outcome;
    const qsizetype n = staged.size();
    for (qsizetype k = 0; k < n; ++k) {
        const PlannedOutput& output = plan.at(invocation.outputs.at(k));
        outcome.notes << PackSteps::run(job, output, staged.at(k), packing).join(QLatin1Char(' '));
        outcome.scores << (scoring.enabled
                               ? QualityScore::measure(job, ffmpeg, output,
                                                       {staged.at(k), readPath, scoring.alpha,
                                                        output.progressDuration, references.at(k)})
                               : std::nullopt);
        // A stop during the post-steps leaves nothing behind either.
        if (job.cancelled()) {
            removeAll(staged + references);
            return cancelledOutcome();
        }
        if (share < 1.0)
            report(share + (1.0 - share) * double(k + 1) / double(n));
    }
    removeAll(references);
    for (qsizetype k = 0; k < n; ++k) {
        if (const QString failure = StagedEncode::moveIntoPlace(staged.at(k), destinations.at(k));
            !failure.isEmpty()) {
            removeAll(staged.mid(k + 1));
            return {-1, failure, {}, {}, {}, {}};
        }
        outcome.bytes << qMax<qint64>(0, QFileInfo(destinations.at(k)).size());
    }
    return outcome;
}

} // namespace FusedEncode
