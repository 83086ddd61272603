#pragma once

#include <QImage>
#include <QString>

#include <optional>

// JPEGs stored as CMYK or YCCK (print work put on the web). Qt 6.4 turns them into RGB with a
// plain formula that ignores their profile, so they are decoded here through libjpeg and
// converted with the embedded CMYK profile; the formula serves only when there is none.
namespace CmykJpeg {

// The picture upright and in sRGB; nullopt when the file is not a CMYK JPEG; a null image with
// `reason` set when it is one that cannot be decoded.
std::optional<QImage> decode(const QString& path, QString* reason);

} // namespace CmykJpeg
