#pragma once

#include "PlanReport.h"

#include "model/MediaItem.h"
#include "model/TersioSettings.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegLocator.h"

#include <QList>
#include <QSet>
#include <QUuid>

// Plans items exactly as a run would (probe, image facts, placement, plan, refusals) but writes
// nothing: no folder is created and no encoder is started.
namespace DryRun {

// In queue order; sources are read in parallel, names are then settled in queue order. Items in
// `namedOnly` take part in the naming only and are left out of the result.
QList<ItemPlan> planAll(const QList<MediaItem>& items, const FFmpegTools& tools,
                        const TersioSettings& settings, const EncoderCaps& caps,
                        const QSet<QUuid>& namedOnly = {});

} // namespace DryRun
