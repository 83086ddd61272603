#pragma once

#include <QSizeF>
#include <QUrl>

#include <optional>

namespace ImageInspector {

// Pixel size of the first image; no value when it cannot be read. Handles every image
// extension the queue accepts (HEIC, HEIF and AVIF through libheif).
std::optional<QSizeF> pixelSize(const QUrl& image);

} // namespace ImageInspector
