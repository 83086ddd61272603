#include "ThumbnailProvider.h"

#include "model/MediaItem.h"
#include "tools/Thumbnailer.h"

#include <QImage>
#include <QQuickTextureFactory>
#include <QUrl>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class ThumbnailResponse : public QQuickImageResponse {
  public:
    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }
    void cancel() override { *cancelled_ = true; }

    // Runs in the response's own thread once the worker is through.
    void deliver(const QImage& image) {
        image_ = image;
        emit finished();
    }

    std::shared_ptr<std::atomic<bool>> cancelled() const { return cancelled_; }

  private:
    QImage image_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace

ThumbnailProvider::ThumbnailProvider() {
    // Decoding large photos is memory hungry; two at a time keeps scrolling smooth.
    pool_.setMaxThreadCount(2);
}

ThumbnailProvider::~ThumbnailProvider() {
    pool_.waitForDone();
}

QString ThumbnailProvider::sourceFor(const QString& kind, const QString& path) {
    return "image://thumb/"_L1 + kind + u'/' + QString::fromLatin1(QUrl::toPercentEncoding(path));
}

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    auto* response = new ThumbnailResponse;
    const qsizetype slash = id.indexOf(u'/');
    const auto kind = MediaKinds::fromRaw(id.left(slash)).value_or(MediaKind::image);
    const QString path = QUrl::fromPercentEncoding(id.mid(slash + 1).toUtf8());
    auto cancelled = response->cancelled();
    // The engine keeps the response until it reports finished, even after cancel().
    pool_.start([kind, path, cancelled, response] {
        const QImage image =
            *cancelled ? QImage()
                       : Thumbnailer::thumbnail(QUrl::fromLocalFile(path), kind, maxPixel);
        QMetaObject::invokeMethod(
            response, [response, image] { response->deliver(image); }, Qt::QueuedConnection);
    });
    return response;
}
