#pragma once

#include "model/MediaItem.h"

#include <QImage>
#include <QString>

// The picture that stands for a file that has no thumbnail of its own.
namespace FileIcon {

// The file type's icon from the installed freedesktop icon themes, or a drawn document or film
// glyph when none is installed. Longest side at most maxSide; never null. Uses QImage only, so
// any thread may call it.
QImage forFile(const QString& path, MediaKind kind, int maxSide);

// The drawn glyph alone: maxSide square, transparent around the shape.
QImage glyph(MediaKind kind, int maxSide);

} // namespace FileIcon
