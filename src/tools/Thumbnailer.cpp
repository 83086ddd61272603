#include "Thumbnailer.h"

#include "FileIcon.h"
#include "HeifReader.h"

#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

// Beyond any row or preview the interface shows; keeps a bogus request from allocating gigabytes.
constexpr double largestSide = 4096;

int boundFor(double maxPixel) {
    if (!std::isfinite(maxPixel) || maxPixel < 1)
        return 1;
    return int(std::min(maxPixel, largestSide));
}

QImage fitted(const QImage& image, int bound) {
    if (image.isNull() || (image.width() <= bound && image.height() <= bound))
        return image;
    return image.scaled(bound, bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QImage qtThumbnail(const QString& path, int bound) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // Scaling inside the decoder keeps a big JPEG from being decoded at full size.
    const QSize stored = reader.size();
    if (!stored.isEmpty() && (stored.width() > bound || stored.height() > bound))
        reader.setScaledSize(stored.scaled(bound, bound, Qt::KeepAspectRatio).expandedTo({1, 1}));
    return fitted(reader.read(), bound);
}

QImage heifThumbnail(const QString& path, int bound) {
    return fitted(HeifReader::decode(path), bound);
}

} // namespace

namespace Thumbnailer {

QImage thumbnail(const QUrl& file, MediaKind kind, double maxPixel) {
    const int bound = boundFor(maxPixel);
    const QString path = file.toLocalFile();
    if (kind == MediaKind::image && file.isLocalFile()) {
        const bool heifFirst = HeifReader::handlesExtension(path);
        QImage image = heifFirst ? heifThumbnail(path, bound) : qtThumbnail(path, bound);
        if (image.isNull())
            image = heifFirst ? qtThumbnail(path, bound) : heifThumbnail(path, bound);
        if (!image.isNull())
            return image;
    }
    return FileIcon::forFile(path, kind, bound);
}

} // namespace Thumbnailer
