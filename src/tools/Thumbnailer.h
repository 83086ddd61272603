#pragma once

#include "model/MediaItem.h"

#include <QImage>
#include <QUrl>

namespace Thumbnailer {

// Longest side at most maxPixel, orientation applied; the file's icon for videos and for
// anything that cannot be decoded. Never null. Safe to call from a worker thread.
QImage thumbnail(const QUrl& file, MediaKind kind, double maxPixel);

} // namespace Thumbnailer
