#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// HEIC, HEIF and AVIF through libheif, which Qt cannot read. Only the primary image is looked at;
// its size is the displayed one, with the file's rotation and mirroring (irot/imir) applied.
namespace HeifReader {

struct Info {
    QSize size;
    bool hasAlpha = false;
    bool wideGamut = false; // an ICC or nclx profile with primaries other than sRGB/BT.709
};

bool handlesExtension(const QString& path);

std::optional<Info> inspect(const QString& path);

// The primary image decoded to 8-bit RGB(A) with its transformations applied; null on failure.
QImage decode(const QString& path);

} // namespace HeifReader
