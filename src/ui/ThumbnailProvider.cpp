#include "ThumbnailProvider.h"

#include "WorkerImage.h"
#include "model/MediaItem.h"
#include "tools/Thumbnailer.h"

#include <QUrl>

ThumbnailProvider::ThumbnailProvider() {
    // Decoding large photos is memory hungry; two at a time keeps scrolling smooth.
    pool_.setMaxThreadCount(2);
}

ThumbnailProvider::~ThumbnailProvider() {
    pool_.waitForDone();
}

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    const qsizetype slash = id.indexOf(u'/');
    const auto kind = MediaKinds::fromRaw(id.left(slash)).value_or(MediaKind::image);
    const QString path = QUrl::fromPercentEncoding(id.mid(slash + 1).toUtf8());
    return WorkerImage::start(pool_, [kind, path] {
        return WorkerImage::Result{
            Thumbnailer::thumbnail(QUrl::fromLocalFile(path), kind, maxPixel), {}};
    });
}
