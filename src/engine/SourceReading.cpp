#include "SourceReading.h"

#include "tools/PosterFrame.h"
#include "tools/SourcePreparer.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace SourceReading {

std::optional<FileStamp> stamp(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileStamp{qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
                     quint64(status.st_ino)};
}

SourceFacts readUnlessCurrent(const MediaItem& item, const std::optional<QString>& ffprobe,
                              const QString& posterLookWith) {
    const QString path = item.url.toLocalFile();
    const auto before = stamp(path);
    // Read when posters were off: the frames were never looked at.
    const bool posterMissing = !posterLookWith.isEmpty() && item.kind == MediaKind::video &&
                               item.duration > 0 && !item.posterTime;
    if (before && item.factsStamp == before && !posterMissing) {
        SourceFacts facts;
        facts.current = true;
        return facts;
    }
    // Facts from an earlier state of the file would stop the image from being read again.
    MediaItem fresh = item;
    fresh.width = 0;
    fresh.height = 0;
    SourceFacts facts = read(fresh, ffprobe, posterLookWith);
    // A video probed without ffprobe is only zeros: read it again once there is one.
    const bool complete = item.kind == MediaKind::image || ffprobe.has_value();
    if (facts.failure.isEmpty() && complete && before && stamp(path) == before)
        facts.stamp = before;
    return facts;
}

SourceFacts read(const MediaItem& item, const std::optional<QString>& ffprobe,
                 const QString& posterLookWith) {
    SourceFacts facts;
    const QFileInfo file(item.url.toLocalFile());
    if (!file.isFile())
        facts.failure = QStringLiteral("The file is no longer there.");
    else if (file.size() == 0)
        facts.failure = QStringLiteral("The file is empty.");
    else if (item.kind == MediaKind::video)
        facts.probe = Prober::probe(item.url, ffprobe);
    else if ((facts.failure = SourcePreparer::refusal(file.filePath())).isEmpty() &&
             item.width == 0)
        facts.image = ImageInspector::facts(item.url);
    if (facts.probe && facts.probe->duration > 0 && !posterLookWith.isEmpty())
        facts.posterTime = PosterFrame::choose(item.url, posterLookWith, facts.probe->duration);
    return facts;
}

QString posterLookTool(const TersioSettings& settings, const QString& ffmpeg) {
    return settings.makePoster ? ffmpeg : QString();
}

void apply(const SourceFacts& facts, MediaItem& item) {
    if (facts.current)
        return;
    if (item.factsStamp) {
        // Read before from a file that has changed since: its old size says nothing now.
        item.width = 0;
        item.height = 0;
    }
    item.factsStamp = facts.stamp;
    if (facts.stamp)
        item.sourceBytes = facts.stamp->bytes;
    if (facts.probe) {
        const ProbeResult& probe = *facts.probe;
        if (probe.width > 0) {
            item.width = probe.width;
            item.height = probe.height;
        }
        item.duration = probe.duration;
        item.hasAudio = probe.hasAudio;
        item.hdr = probe.hdr;
        item.posterTime = facts.posterTime;
    } else if (facts.image) {
        item.width = qint64(facts.image->size.width());
        item.height = qint64(facts.image->size.height());
        item.hasAlpha = facts.image->hasAlpha;
        item.grey = facts.image->grey;
        item.turned = facts.image->turned;
    }
}

ItemPlan plan(const MediaItem& item, const TersioSettings& settings, const EncoderCaps& caps,
              bool createFolder) {
    ItemPlan result;
    try {
        const QUrl directory = createFolder
                                   ? CommandBuilder::outputDirectory(item, settings)
                                   : CommandBuilder::plannedOutputDirectory(item, settings);
        result.outputs = item.kind == MediaKind::image
                             ? CommandBuilder::imagePlan(item, settings, caps, directory)
                             : CommandBuilder::videoPlan(item, settings, caps, directory);
    } catch (const TersioError& error) {
        result.failure = error.message();
    } catch (const std::exception& error) {
        result.failure = QString::fromLocal8Bit(error.what());
    }
    if (!result.failure.isEmpty())
        return result;
    if (result.outputs.isEmpty()) {
        result.failure = QStringLiteral(
            "No output formats are available for this file. Check the format toggles.");
        return result;
    }
    return result;
}

ItemPlan settle(ItemPlan plan, OutputNames::Claims& claims, const SourceSet& sources) {
    if (!plan.failure.isEmpty())
        return plan;
    const auto refuse = [&plan](const QString& failure) {
        plan.outputs.clear();
        plan.failure = failure;
        return plan;
    };
    const QString overSource = QStringLiteral(
        "This output would replace the original file. Choose another output folder.");
    QList<OutputNames::Slot> wanted;
    for (const PlannedOutput& output : std::as_const(plan.outputs)) {
        const QFileInfo file(output.destination.toLocalFile());
        if (sources.holds(file.filePath()))
            return refuse(overSource);
        wanted.append({SourceSet::canonicalFolder(file.path()), file.fileName()});
    }
    const QStringList names = claims.names(wanted);
    for (qsizetype i = 0; i < plan.outputs.size(); ++i) {
        PlannedOutput& output = plan.outputs[i];
        if (names.at(i) != wanted.at(i).name)
            output = CommandBuilder::renamed(output, names.at(i));
        const qsizetype bytes = QFile::encodeName(names.at(i)).size();
        if (bytes > OutputNames::nameLimit)
            return refuse(QStringLiteral("The output name \u201C%1\u201D is too long: %2 bytes, "
                                         "where the file system allows %3.")
                              .arg(names.at(i))
                              .arg(bytes)
                              .arg(OutputNames::nameLimit));
        if (sources.holds(output.destination.toLocalFile()))
            return refuse(overSource);
    }
    claims.take(wanted, names);
    return plan;
}

} // namespace SourceReading
