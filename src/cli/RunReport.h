#pragma once

#include "Shard.h"

#include "model/MediaItem.h"

#include <QJsonDocument>
#include <QList>
#include <QString>

// What a finished run says about its items.
namespace RunReport {

struct Totals {
    int done = 0;
    int failed = 0;
    int cancelled = 0;
    qint64 sourceBytes = 0; // of the done items
    qint64 savedBytes = 0;  // source minus primary output, over the done items
};

Totals totals(const QList<MediaItem>& items);

// "done  /a/b.jpg -> /a/optimised/b.jpg  saved 1.2 MB"; for failed items the message.
QString finishedLine(const MediaItem& item);

// The items of `queue` that belong to `shard` (all without one), with their queue indices.
QList<MediaItem> part(const QList<MediaItem>& queue, const std::optional<Shard>& shard,
                      QList<qsizetype>* indices = nullptr);

// {"queueSize":n, "shard":"K/N" (only with one), "items":[{index, source, status, message,
// outputs:[{label, path, bytes[, note][, ssim][, quality]}]}], "totals":{…}}: the part's
// items, in queue order; "ssim" is the output's score, "quality" the one an automatic search
// chose.
QJsonDocument summary(const QList<MediaItem>& queue,
                      const std::optional<Shard>& shard = std::nullopt);

// 0 all done, 1 any failed, 128 + signal after a stop.
int exitStatus(const QList<MediaItem>& items, int stopSignal);

} // namespace RunReport
