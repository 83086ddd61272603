#include "DryRun.h"

#include "engine/SourceReading.h"
#include "planning/FusedPlan.h"
#include "planning/MemoryEstimate.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

using namespace Qt::StringLiterals;

namespace DryRun {
namespace {

struct Read {
    MediaItem item;
    SourceReading::ItemPlan planned;
};

Read readAndPlan(const MediaItem& queued, const FFmpegTools& tools, const TersioSettings& settings,
                 const EncoderCaps& caps, bool namedOnly) {
    Read read{queued, {}};
    const SourceReading::SourceFacts facts = SourceReading::read(
        read.item, tools.ffprobe,
        namedOnly ? QString() : SourceReading::posterLookTool(settings, tools.ffmpeg));
    if (!facts.failure.isEmpty()) {
        read.planned.failure = facts.failure;
        return read;
    }
    SourceReading::apply(facts, read.item);
    read.planned = SourceReading::plan(read.item, settings, caps, /*createFolder=*/false);
    return read;
}

ItemPlan report(const Read& read, const TersioSettings& settings) {
    ItemPlan result{-1, read.item, {}, read.planned.failure, {}};
    for (const PlannedOutput& output : read.planned.outputs) {
        const bool exists = QFileInfo::exists(output.destination.toLocalFile());
        result.steps << PlanStep{output, !settings.overwriteExisting && exists,
                                 QualitySearch::rangeFor(output, read.item.kind, settings)};
    }
    // Skipped outputs are left out of the processes, as a run leaves them out.
    QList<int> toRun;
    for (int i = 0; i < result.steps.size(); ++i)
        if (!result.steps.at(i).skip)
            toRun << i;
    static const qint64 budget = MemoryEstimate::budget(MemoryEstimate::physicalMemory());
    result.invocations =
        QualitySearch::processes(read.planned.outputs, toRun, read.item, settings, budget)
            .invocations;
    return result;
}

} // namespace

QList<ItemPlan> planAll(const QList<MediaItem>& items, const FFmpegTools& tools,
                        const TersioSettings& settings, const EncoderCaps& caps,
                        const QSet<QUuid>& namedOnly) {
    QList<Read> reads =
        QtConcurrent::blockingMapped<QList<Read>>(items, [&](const MediaItem& item) {
            return readAndPlan(item, tools, settings, caps, namedOnly.contains(item.id));
        });
    // Names are settled afterwards in queue order, exactly as a run settles them.
    SourceSet sources;
    for (const MediaItem& item : items)
        sources.add(item.url);
    OutputNames::Claims claims(sources.paths());
    QList<ItemPlan> plans;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        Read& read = reads[i];
        read.planned = SourceReading::settle(std::move(read.planned), claims, sources);
        if (namedOnly.contains(read.item.id))
            continue;
        plans << report(read, settings);
        plans.last().index = i;
    }
    return plans;
}

} // namespace DryRun
