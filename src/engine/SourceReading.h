#pragma once

#include "model/MediaItem.h"
#include "model/TersioSettings.h"
#include "planning/CommandBuilder.h"
#include "planning/OutputNames.h"
#include "planning/SourceSet.h"
#include "tools/EncoderCaps.h"
#include "tools/ImageInspector.h"
#include "tools/Prober.h"

#include <QList>
#include <QString>

#include <optional>

// The first two steps of every item, shared by the batch run and the dry run: read what the
// source is, then place and plan its outputs. Each step gives a failure text instead of
// throwing.
namespace SourceReading {

struct SourceFacts {
    QString failure; // the file is gone, empty, or cannot be decoded at all
    std::optional<ProbeResult> probe;
    std::optional<ImageFacts> image;
    std::optional<double> posterTime;
    // Set by readUnlessCurrent: the file these facts describe, when it held still while read.
    std::optional<FileStamp> stamp;
    bool current = false; // the item's facts still describe the file: nothing was read
};

// Blocking (ffprobe for videos, image headers, poster frames): call it on a worker thread. Given an
// ffmpeg, a probed video's poster time is chosen by looking at its frames.
SourceFacts read(const MediaItem& item, const std::optional<QString>& ffprobe,
                 const QString& posterLookWith = {});

// The ffmpeg to look at poster frames with: none when the settings make no poster.
QString posterLookTool(const TersioSettings& settings, const QString& ffmpeg);

// As read(), but nothing is read when the item's facts were read from the file as it is now
// (a poster look included when one is asked for); otherwise everything is read afresh.
SourceFacts readUnlessCurrent(const MediaItem& item, const std::optional<QString>& ffprobe,
                              const QString& posterLookWith = {});

// Stores what was read in the item; a probe without a size keeps the size already known.
void apply(const SourceFacts& facts, MediaItem& item);

// Absent when the path cannot be examined.
std::optional<FileStamp> stamp(const QString& path);

struct ItemPlan {
    QList<PlannedOutput> outputs;
    QString failure;
};

// createFolder false: the folder is only named, for a plan that writes nothing.
ItemPlan plan(const MediaItem& item, const TersioSettings& settings, const EncoderCaps& caps,
              bool createFolder);

// The third step, taken in queue order: the plan's outputs get their final names from the
// run's claims, and an item is refused when an output would replace a queued original or has
// a name the file system cannot store. Only an item that goes ahead claims its names.
ItemPlan settle(ItemPlan plan, OutputNames::Claims& claims, const SourceSet& sources);

} // namespace SourceReading
