#include "DryRun.h"

#include "engine/SourceReading.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

using namespace Qt::StringLiterals;

namespace DryRun {
ItemPlan plan(const MediaItem& queued, const FFmpegTools& tools, const TersioSettings& settings,
              const EncoderCaps& caps) {
    ItemPlan result{queued, {}, {}};
    MediaItem& item = result.item;
    const SourceReading::SourceFacts facts = SourceReading::read(
        item, tools.ffprobe, SourceReading::posterLookTool(settings, tools.ffmpeg));
    if (!facts.failure.isEmpty()) {
        result.error = facts.failure;
        return result;
    }
    SourceReading::apply(facts, item);
    const SourceReading::ItemPlan planned =
        SourceReading::plan(item, settings, caps, /*createFolder=*/false);
    if (!planned.failure.isEmpty()) {
        result.error = planned.failure;
        return result;
    }
    for (const PlannedOutput& output : planned.outputs) {
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
