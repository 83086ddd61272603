#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Small pieces the image and video planners share; not part of the planner's interface.
namespace PlanPieces {

// The local path ffmpeg is given: absolute, so it can never be read as an option or a protocol.
QString localPath(const QUrl& url);

// The text after the last dot of the file name, lower-cased; empty when there is none.
QString extension(const QUrl& url);

// Raised to at least 2, then rounded down to an even number.
qint64 evenAtLeastTwo(qint64 value);

// Nearest integer, halves away from zero; 0 for NaN, saturated at the int range.
qint64 roundHalfAway(double value);

// "scale=<width>:-2:flags=lanczos"
QString scaleFilter(qint64 width);

// Tone-maps PQ/HLG to SDR BT.709 before any crop or scale.
QStringList hdrToneMap();

// "-pix_fmt", "yuvj420p": ffmpeg's JPEG encoder otherwise keeps the source's chroma layout, and
// writes 4:4:4 colour even when asked for grey.
QStringList jpegChroma();

// Composites the picture onto opaque white, keeping its size and sample aspect ratio.
QString flattenOntoWhite();

// Keeps a palette picture from going straight to planar RGB: ffmpeg 5.1 rounds that conversion
// off by a level (exact by way of packed RGB), which a score reads as a loss in every dark area.
QString noPaletteToPlanar();

// ffmpeg reads "%d"-style patterns in image file names as frame numbers; these arguments make
// it write the file under exactly the planned name.
QStringList literalNameArguments(const QString& destinationPath);

} // namespace PlanPieces
