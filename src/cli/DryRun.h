#pragma once

#include "PlanReport.h"

#include "model/MediaItem.h"
#include "model/TersioSettings.h"
#include "tools/EncoderCaps.h"
#include "tools/FFmpegLocator.h"

#include <QList>

// Plans items exactly as a run would (probe, image facts, placement, plan, refusals) but writes
// nothing: no folder is created and no encoder is started.
namespace DryRun {

// In queue order; sources are read in parallel, names are then settled in queue order.
QList<ItemPlan> planAll(const QList<MediaItem>& items, const FFmpegTools& tools,
                        const TersioSettings& settings, const EncoderCaps& caps);

} // namespace DryRun
