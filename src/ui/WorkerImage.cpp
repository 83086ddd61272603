#include "WorkerImage.h"

#include <QQuickImageProvider>
#include <QQuickTextureFactory>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

class Response;

// What the worker shares with its response: the worker only reaches the response under the lock.
struct Delivery {
    std::mutex lock;
    Response* target = nullptr;
    std::atomic<bool> cancelled = false;
};

class Response : public QQuickImageResponse {
  public:
    Response() : delivery_(std::make_shared<Delivery>()) { delivery_->target = this; }
    ~Response() override {
        const std::lock_guard guard(delivery_->lock);
        delivery_->target = nullptr;
    }

    QQuickTextureFactory* textureFactory() const override {
        return QQuickTextureFactory::textureFactoryForImage(result_.image);
    }
    QString errorString() const override { return result_.error; }
    // A cancelled response still reports finished, so the engine can let go of it.
    void cancel() override { delivery_->cancelled = true; }

    // Runs in the response's own thread once the worker is through.
    void deliver(const WorkerImage::Result& result) {
        result_ = result;
        emit finished();
    }

    std::shared_ptr<Delivery> delivery() const { return delivery_; }

  private:
    WorkerImage::Result result_;
    std::shared_ptr<Delivery> delivery_;
};

} // namespace

namespace WorkerImage {

QQuickImageResponse* start(QThreadPool& pool, std::function<Result()> make) {
    auto* response = new Response;
    pool.start([make = std::move(make), delivery = response->delivery()] {
        const Result result = delivery->cancelled ? Result{} : make();
        const std::lock_guard guard(delivery->lock);
        if (Response* target = delivery->target)
            QMetaObject::invokeMethod(
                target, [target, result] { target->deliver(result); }, Qt::QueuedConnection);
    });
    return response;
}

} // namespace WorkerImage
