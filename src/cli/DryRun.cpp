#include "DryRun.h"

#include "planning/CommandBuilder.h"
#include "tools/ImageInspector.h"
#include "tools/Prober.h"
#include "tools/SourcePreparer.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

using namespace Qt::StringLiterals;

namespace DryRun {
namespace {

// The texts the batch run gives the same failures.
const QString missingText = u"The file is no longer there."_s;
const QString emptyText = u"The file is empty."_s;
const QString noOutputsText =
    u"No output formats are available for this file. Check the format toggles."_s;
const QString overSourceText =
    u"This output would replace the original file. Choose another output folder."_s;

// Fills in what reading the source tells; an error text when it cannot be read at all.
QString readSource(MediaItem& item, const FFmpegTools& tools) {
    const QFileInfo file(item.url.toLocalFile());
    if (!file.isFile())
        return missingText;
    if (file.size() == 0)
        return emptyText;
    if (item.kind == MediaKind::image)
        if (QString refusal = SourcePreparer::refusal(file.filePath()); !refusal.isEmpty())
            return refusal;
    if (item.kind == MediaKind::video) {
        const ProbeResult probe = Prober::probe(item.url, tools.ffprobe);
        if (probe.width > 0) {
            item.width = probe.width;
            item.height = probe.height;
        }
        item.duration = probe.duration;
        item.hasAudio = probe.hasAudio;
        item.hdr = probe.hdr;
    } else if (item.width == 0) {
        if (const auto facts = ImageInspector::facts(item.url)) {
            item.width = qint64(facts->size.width());
            item.height = qint64(facts->size.height());
            item.hasAlpha = facts->hasAlpha;
        }
    }
    return {};
}

} // namespace

ItemPlan plan(const MediaItem& queued, const FFmpegTools& tools, const TersioSettings& settings,
              const EncoderCaps& caps) {
    ItemPlan result{queued, {}, {}};
    MediaItem& item = result.item;
    if (QString error = readSource(item, tools); !error.isEmpty()) {
        result.error = error;
        return result;
    }
    QList<PlannedOutput> outputs;
    try {
        const QUrl directory = CommandBuilder::plannedOutputDirectory(item, settings);
        outputs = item.kind == MediaKind::image
                      ? CommandBuilder::imagePlan(item, settings, caps, directory)
                      : CommandBuilder::videoPlan(item, settings, caps, directory);
    } catch (const TersioError& error) {
        result.error = error.message();
        return result;
    }
    if (outputs.isEmpty()) {
        result.error = noOutputsText;
        return result;
    }
    for (const PlannedOutput& output : std::as_const(outputs)) {
        if (CommandBuilder::writesOverSource(output, item.url)) {
            result.error = overSourceText;
            return result;
        }
    }
    for (const PlannedOutput& output : std::as_const(outputs)) {
        const bool exists = QFileInfo::exists(output.destination.toLocalFile());
        result.steps << PlanStep{output, !settings.overwriteExisting && exists};
    }
    return result;
}

QList<ItemPlan> planAll(const QList<MediaItem>& items, const FFmpegTools& tools,
                        const TersioSettings& settings, const EncoderCaps& caps) {
    return QtConcurrent::blockingMapped<QList<ItemPlan>>(
        items, [&](const MediaItem& item) { return plan(item, tools, settings, caps); });
}

} // namespace DryRun
