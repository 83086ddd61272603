#include "SourceReading.h"

#include "tools/PosterFrame.h"
#include "tools/SourcePreparer.h"

#include <QFileInfo>

namespace SourceReading {

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
    for (const PlannedOutput& output : std::as_const(result.outputs)) {
        if (CommandBuilder::writesOverSource(output, item.url)) {
            result.outputs.clear();
            result.failure = QStringLiteral(
                "This output would replace the original file. Choose another output folder.");
            break;
        }
    }
    return result;
}

} // namespace SourceReading
