#pragma once

#include "model/MediaItem.h"

#include <QImage>
#include <QString>

// The picture that stands for a file that has no thumbnail of its own.
namespace FileIcon {

// The file type's icon from the icon theme (QIcon::fromTheme with the MIME type's icon names), or
// a drawn document or film glyph when no theme has one. Longest side at most maxSide; never null.
// Any thread may call it: the theme is only ever read on the main thread.
QImage forFile(const QString& path, MediaKind kind, int maxSide);

// The drawn glyph alone: maxSide square, transparent around the shape.
QImage glyph(MediaKind kind, int maxSide);

} // namespace FileIcon
