#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// Pictures of few colours written as palette PNGs in-process, pixel for pixel: no quantiser and
// no look check needed.
namespace PalettePng {

// At most this many colours fit a palette.
constexpr int maxColours = 256;

// `image` (8 bits a channel at most) as a palette PNG of its own colours when it has at most
// maxColours of them, every fully transparent pixel counting as one: 1, 2, 4 or 8 bits a pixel,
// transparency in tRNS, rows unfiltered, deflated at `level`. The ancillary chunks of
// `original`, the PNG it was decoded from, come along except those tied to its old pixel layout.
// No value with more colours, deeper channels, or when `original` is not a PNG.
std::optional<QByteArray> exact(const QImage& image, const QByteArray& original, int level);

} // namespace PalettePng
