#pragma once

#include <QByteArray>

#include <optional>

// PNG files at the chunk level, without decoding any pixels.
namespace PngChunks {

// The file without its ancillary chunks (text, time, EXIF, physical size, …), keeping the
// critical ones, transparency and the colour chunks (gAMA, cHRM, sRGB, iCCP, sBIT, cICP) that
// change how the pixels look. No value when the bytes are not a well-formed PNG.
std::optional<QByteArray> withoutMetadata(const QByteArray& png);

} // namespace PngChunks
