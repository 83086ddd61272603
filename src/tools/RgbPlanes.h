#pragma once

#include "tools/ImageSsim.h"

#include <QImage>
#include <QString>

#include <memory>

// A picture as three 8-bit planes, R, G and B: the form ffmpeg's ssim compares, so a score taken
// in-process reads no more than it needs. Copies share the bytes.
struct RgbPlanes {
    ImageSsim::Planes planes{};
    std::shared_ptr<const void> storage; // what the planes point into

    bool isNull() const { return !storage; }
    int width() const { return planes[0].width; }
    int height() const { return planes[0].height; }

    // An opaque picture's colours, copied; null for a null picture.
    static RgbPlanes fromImage(const QImage& image);

    // The picture ffmpeg's FITS encoder writes from planar RGB (8 bits, three planes, rows from
    // the bottom up), mapped rather than read; null for any other file.
    static RgbPlanes readFits(const QString& path);
};
