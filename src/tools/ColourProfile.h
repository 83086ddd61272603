#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QString>

// Embedded colour profiles, read from the file headers without decoding any pixels.
namespace ColourProfile {

// The ICC profile embedded in a JPEG (APP2), PNG (iCCP) or WebP (ICCP) file; empty when the file
// has none, declares sRGB, or is of another format.
QByteArray embeddedIcc(const QString& path);

// Qt reads RGB profiles; a grey profile (which Qt 6.4 rejects) becomes an RGB space with sRGB
// primaries and the profile's tone curve, so grey stays grey. Invalid when neither works.
QColorSpace fromIcc(const QByteArray& icc);

// True for sRGB itself; false for an invalid space, which callers take as "unknown".
bool isSrgb(const QColorSpace& space);

} // namespace ColourProfile
