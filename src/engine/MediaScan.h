#pragma once

#include "model/MediaItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

// What add(urls) appends: folders walked recursively, media kept by extension, duplicates gone.
namespace MediaScan {

// Absolute, with "." and ".." resolved; symlinks are not resolved.
QString standardPath(const QString& path);

// New queued items, in argument order; a folder's files sorted by their UTF-8 path below it,
// each remembering that folder. Entries whose name starts with "." are skipped with everything
// under them; directory symlinks are not followed, so a link loop ends the walk. Paths in
// `alreadyQueued` (standard form) and repeats within the call are dropped.
QList<MediaItem> collect(const QList<QUrl>& urls, const QSet<QString>& alreadyQueued);

} // namespace MediaScan
