#include "CompareImageProvider.h"

#include "tools/DecodedCopies.h"
#include "tools/SourcePreparer.h"

#include <QUrl>

CompareImageProvider::CompareImageProvider() {
    pool_.setMaxThreadCount(2);
}

CompareImageProvider::~CompareImageProvider() {
    pool_.waitForDone();
}

QQuickImageResponse* CompareImageProvider::requestImageResponse(const QString& id, const QSize&) {
    const QString path = QUrl::fromPercentEncoding(id.toUtf8());
    return WorkerImage::start(pool_, [path] { return picture(path); });
}

WorkerImage::Result CompareImageProvider::picture(const QString& path) {
    SourcePreparer::Decoded decoded;
    if (const auto copy = DecodedCopies::find(path))
        decoded.image = SourcePreparer::readPam(copy->path());
    if (decoded.image.isNull())
        decoded = SourcePreparer::decode(path);
    QImage& image = decoded.image;
    if (image.width() > largestSide || image.height() > largestSide)
        image =
            image.scaled(largestSide, largestSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), std::move(decoded.error)};
}
