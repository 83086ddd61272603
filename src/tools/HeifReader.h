#pragma once

#include <QColorSpace>
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

// Judged by the file's first bytes (its ftyp box), whatever its name.
bool hasHeifContent(const QString& path);

std::optional<Info> inspect(const QString& path);

// The primary image decoded to 8-bit RGB(A) with its transformations applied and tagged with
// the colour space its pixels are in (none when the file declares none, meaning sRGB); null on
// failure, with libheif's reason in `reason` when given.
QImage decode(const QString& path, QString* reason = nullptr);

} // namespace HeifReader
