#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

// Embedded ICC profiles and their conversion to sRGB through Little CMS: relative colorimetric
// with black point compensation, the rendering browsers give a tagged photo.
namespace ColourProfile {

// The ICC profile embedded in a JPEG (APP2), PNG (iCCP) or WebP (ICCP) file, read from the
// headers without decoding any pixels; empty when the file has none, declares sRGB, or is of
// another format.
QByteArray embeddedIcc(const QString& path);

// False for sRGB itself, for a profile that moves no 8-bit level by more than one on the way to
// sRGB, and for an empty or unusable one (nothing can be done with it); true otherwise.
bool changesColours(const QByteArray& icc);

// `image` converted from the RGB or grey profile `icc` to sRGB: RGB888, or RGBA8888 with the
// alpha kept, tagged sRGB. Null when the profile is unusable or does not fit the pixels.
QImage toSrgb(const QImage& image, const QByteArray& icc);

// Rows of 8-bit CMYK into packed 8-bit sRGB through a CMYK profile.
class CmykConverter {
  public:
    CmykConverter() = default;
    // `inverted`: 255 means no ink, as in the JPEGs Adobe's software writes.
    CmykConverter(const QByteArray& icc, bool inverted);
    bool isValid() const { return transform_ != nullptr; }
    void convert(const uchar* cmyk, uchar* rgb, int pixels) const;

  private:
    std::shared_ptr<void> transform_;
};

} // namespace ColourProfile
