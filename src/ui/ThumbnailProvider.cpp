#include "ThumbnailProvider.h"

#include "model/MediaItem.h"
#include "tools/Thumbnailer.h"

#include <QImage>
#include <QQuickTextureFactory>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

class ThumbnailResponse;

// What the worker shares with its response: the response may be deleted by the engine (at
// shutdown) while the worker still runs, so the worker only reaches it under the lock.
struct Delivery {
    std::mutex lock;
    ThumbnailResponse* target = nullptr;
    std::atomic<bool> cancelled = false;
};

class ThumbnailResponse : public QQuickImageResponse {
  public:
    ThumbnailResponse() : delivery_(std::make_shared<Delivery>()) { delivery_->target = this; }
    ~ThumbnailResponse() override {
        const std::lock_guard guard(delivery_->lock);
        delivery_->target = nullptr;
    }

    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }
    // A cancelled response still reports finished, so the engine can let go of it.
    void cancel() override { delivery_->cancelled = true; }

    // Runs in the response's own thread once the worker is through.
    void deliver(const QImage& image) {
        image_ = image;
        emit finished();
    }

    std::shared_ptr<Delivery> delivery() const { return delivery_; }

  private:
    QImage image_;
    std::shared_ptr<Delivery> delivery_;
};

} // namespace

ThumbnailProvider::ThumbnailProvider() {
    // Decoding large photos is memory hungry; two at a time keeps scrolling smooth.
    pool_.setMaxThreadCount(2);
}

ThumbnailProvider::~ThumbnailProvider() {
    pool_.waitForDone();
}

QQuickImageResponse* ThumbnailProvider::requestImageResponse(const QString& id, const QSize&) {
    auto* response = new ThumbnailResponse;
    const qsizetype slash = id.indexOf(u'/');
    const auto kind = MediaKinds::fromRaw(id.left(slash)).value_or(MediaKind::image);
    const QString path = QUrl::fromPercentEncoding(id.mid(slash + 1).toUtf8());
    pool_.start([kind, path, delivery = response->delivery()] {
        const QImage image =
            delivery->cancelled ? QImage()
                                : Thumbnailer::thumbnail(QUrl::fromLocalFile(path), kind, maxPixel);
        const std::lock_guard guard(delivery->lock);
        if (ThumbnailResponse* target = delivery->target)
            QMetaObject::invokeMethod(
                target, [target, image] { target->deliver(image); }, Qt::QueuedConnection);
    });
    return response;
}
