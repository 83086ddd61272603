#pragma once

#include <QByteArray>
#include "tools/RgbPlanes.h"

// A JPEG decoded to RGB as ffmpeg reads one into planar RGB for its ssim filter: the decoder's
// YCbCr planes, the chroma brought to full size by ffmpeg's default cubic (Keys, a = -0.6,
// samples centred, spread over the whole picture), then the full-range conversion. A score taken
// on it matches one taken by ffmpeg to about 0.0001, without starting a process. At the edges,
// which ffmpeg's scaler treats its own way, a few samples differ by more than rounding.
namespace JpegRgb {

// Null for a damaged JPEG or a chroma layout other than 4:4:4, 4:2:2, 4:4:0, 4:2:0 and
// grey.
RgbPlanes decode(const QByteArray& jpeg);

} // namespace JpegRgb
