#pragma once

#include <QSizeF>
#include <QUrl>

#include <optional>

// What the planners need to know about an image before encoding it.
struct ImageFacts {
    QSizeF size;            // as displayed: EXIF orientation and HEIF rotation applied
    bool hasAlpha = false;  // the first image has an alpha channel
    int frameCount = 1;     // more than one for an animation (GIF, WebP)
    bool wideGamut = false; // an embedded colour profile whose primaries are not sRGB's
    bool grey = false;      // a single colour channel, with or without alpha
    bool turned = false;    // stored turned or mirrored: decoders apply its EXIF orientation

    friend bool operator==(const ImageFacts&, const ImageFacts&) = default;
};

namespace ImageInspector {

// Displayed pixel size of the first image, read from the header alone; no value when it cannot
// be read. Handles every image extension the queue accepts (HEIC, HEIF and AVIF through libheif).
std::optional<QSizeF> pixelSize(const QUrl& image);

// Size and content facts. JPEG, PNG, WebP and HEIF are read from their headers; other formats
// and damaged files are decoded (the first image, at a reduced size), so call it off the
// interface thread.
std::optional<ImageFacts> facts(const QUrl& image);

} // namespace ImageInspector
