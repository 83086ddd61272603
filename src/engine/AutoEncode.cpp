#include "AutoEncode.h"

#include "engine/QualityScore.h"
#include "engine/StagedEncode.h"
#include "planning/ScoreReference.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// Cut, not rounded, so a score just short of the target never reads as the target.
QString scoreText(double score) {
    return QString::number(std::floor(score * 1000.0 + 1e-6) / 1000.0, 'f', 3);
}

} // namespace

Outcome run(FFmpegJob& job, const QString& ffmpeg, const QualitySearch::Range& range,
            const PlanAt& planAt, const FFmpegJob::ProgressCallback& onProgress,
            const QString& readPath, const PackSteps::Context& packing, bool alpha) {
    const Outcome cancelled{130, QStringLiteral("Cancelled"), 0, {}, {}, {}, 0};
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
            return {
                -1,
                QStringLiteral("Cannot write in %1: %2").arg(QFileInfo(destination).path(), reason),
                0,
                {},
                {},
                {},
                0};
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
            return {
                -1,
                QStringLiteral("Cannot write in %1: %2").arg(QFileInfo(destination).path(), reason),
                0,
                {},
                {},
                {},
                search.tried()};
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
            return {result.status, message, 0, {}, {}, {}, search.tried() + 1};
        }
        trials.last().notes = PackSteps::run(output, staged, packing).join(QLatin1Char(' '));
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
                    .arg(kept->score ? scoreText(*kept->score) : QStringLiteral("less"),
                         scoreText(range.target)));

    const Trial chosen = *kept;
    clearUp(trials, chosen.path);
    if (::rename(QFile::encodeName(chosen.path).constData(),
                 QFile::encodeName(destination).constData()) != 0) {
        const int error = errno;
        removeFile(chosen.path);
        return {-1,
                QStringLiteral("Cannot save %1: %2")
                    .arg(QFileInfo(destination).fileName(),
                         QString::fromLocal8Bit(std::strerror(error))),
                0,
                {},
                {},
                {},
                search.tried()};
    }
    return {0,
            {},
            qMax<qint64>(0, QFileInfo(destination).size()),
            note,
            chosen.score,
            chosen.quality,
            search.tried()};
}

} // namespace AutoEncode
