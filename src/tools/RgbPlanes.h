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

    // Three planes of `width` × `height`, not yet filled, one row after another (stride
    // `width`); null when the memory is not there.
    static RgbPlanes allocate(int width, int height);

    // Where plane `c` (0 red, 1 green, 2 blue) is written, on planes from allocate().
    uchar* bits(int c) { return const_cast<uchar*>(planes[size_t(c)].data); }

    // An opaque picture's colours, copied; null for a null picture.
    static RgbPlanes fromImage(const QImage& image);

    // The picture ffmpeg's FITS encoder writes from planar RGB (8 bits, three planes, rows from
    // the bottom up), mapped rather than read; null for any other file.
    static RgbPlanes readFits(const QString& path);
};
