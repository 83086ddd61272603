#include "AutoEncode.h"

#include "engine/QualityScore.h"
#include "engine/StagedEncode.h"
#include "planning/ScoreReference.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace AutoEncode {

namespace {

struct Trial {
    int quality = 0;
    QString path;
    std::optional<double> score;
    QString notes;
};

void removeFile(const QString& path) {
    ::unlink(QFile::encodeName(path).constData());
}

void removeAll(const QList<Trial>& trials, const QString& except = {}) {
    for (const Trial& trial : trials)
        if (trial.path != except)
            removeFile(trial.path);
}

} // namespace

Outcome run(FFmpegJob& job, const QString& ffmpeg, const QualitySearch::Range& range,
            const PlanAt& planAt, const FFmpegJob::ProgressCallback& onProgress,
            const QString& readPath, const PackSteps::Context& packing, bool alpha) {
    const Outcome cancelled{130, QStringLiteral("Cancelled"), 0, {}, {}, {}, 0};
    const auto failed = [](int status, const QString& message, int encodes) {
        return Outcome{status, message, 0, {}, {}, {}, encodes};
    };
    if (job.cancelled())
        return cancelled;
    const PlannedOutput top = planAt(range.to);
    const QString destination = top.destination.toLocalFile();
    StagedEncode::removeStale(destination);

    QualitySearch::Bisection search(range);
    QList<Trial> trials;
    // The first encode writes the score's reference; every trial shares its chain, so all
    // their scores compare with it. Empty when it cannot be written.
    QString reference;
    QString reason;
    if (ScoreReference::unwritableBecause(top).isEmpty()) {
        reference = StagedEncode::reserveTemporary(destination, &reason);
        if (reference.isEmpty())
            return failed(-1, StagedEncode::unwritableMessage(destination, reason), 0);
    }
    // Removed on every way out, as the trials are.
    const auto clearUp = [&reference](const QList<Trial>& trials, const QString& except = {}) {
        removeFile(reference);
        removeAll(trials, except);
    };
    bool unmeasured = false;
    while (const auto quality = search.next()) {
        const PlannedOutput output = planAt(*quality);
        const QString staged = StagedEncode::reserveTemporary(destination, &reason);
        if (staged.isEmpty()) {
            clearUp(trials);
            return failed(-1, StagedEncode::unwritableMessage(destination, reason), search.tried());
        }
        trials << Trial{*quality, staged, {}, {}};
        QStringList arguments = StagedEncode::launchArguments(output.arguments, staged, readPath);
        if (!reference.isEmpty() && trials.size() == 1)
            ScoreReference::insert(arguments, arguments.indexOf(QStringLiteral("-i")) + 1, output,
                                   alpha, 0, reference);
        const ShellResult result = job.run(ffmpeg, arguments, 0, {});
        if (result.status != 0 || job.cancelled()) {
            clearUp(trials);
            if (result.status == 130 || job.cancelled())
                return cancelled;
            QString message = StagedEncode::failureMessage(result);
            message.replace(staged, destination);
            if (!reference.isEmpty())
                message.replace(reference, destination);
            return failed(result.status, message, search.tried() + 1);
        }
        trials.last().notes = PackSteps::run(job, output, staged, packing).join(QLatin1Char(' '));
        trials.last().score =
            QualityScore::measure(job, ffmpeg, output, {staged, readPath, alpha, 0, reference});
        if (job.cancelled()) {
            clearUp(trials);
            return cancelled;
        }
        search.record(*quality, trials.last().score);
        if (onProgress)
            onProgress(double(search.tried()) / double(range.encodes));
        // Without a score there is nothing to steer by: the search stops with what it has.
        if (!trials.last().score) {
            unmeasured = true;
            break;
        }
    }

    // The lowest passing quality; otherwise the last try (the top of the range, or the one that
    // could not be scored).
    const Trial* kept = &trials.last();
    for (const Trial& trial : std::as_const(trials))
        if (search.best() && trial.quality == *search.best())
            kept = &trial;
    QString note = kept->notes;
    const auto addNote = [&note](const QString& text) {
        note = note.isEmpty() ? text : note + QLatin1Char(' ') + text;
    };
    if (unmeasured && !search.best())
        addNote(
            QStringLiteral("The score could not be measured: kept quality %1.").arg(kept->quality));
    else if (!search.best())
        addNote(QStringLiteral("Even quality %1 scores %2, short of the target %3.")
                    .arg(kept->quality)
                    .arg(kept->score ? QualityScore::text(*kept->score) : QStringLiteral("less"),
                         QualityScore::text(range.target)));

    const Trial chosen = *kept;
    clearUp(trials, chosen.path);
    if (const QString failure = StagedEncode::moveIntoPlace(chosen.path, destination);
        !failure.isEmpty())
        return failed(-1, failure, search.tried());
    return {0,
            {},
            qMax<qint64>(0, QFileInfo(destination).size()),
            note,
            chosen.score,
            chosen.quality,
            search.tried()};
}

} // namespace AutoEncode
