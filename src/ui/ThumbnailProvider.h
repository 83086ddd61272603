#pragma once

#include <QQuickAsyncImageProvider>
#include <QThreadPool>

// "image://thumb/<kind>/<percent-encoded path>" (the path as encodeURIComponent writes it): the
// queue row's thumbnail, made on a worker thread so that scrolling never waits for a decoder.
class ThumbnailProvider : public QQuickAsyncImageProvider {
  public:
    static constexpr double maxPixel = 128;

    ThumbnailProvider();
    ~ThumbnailProvider() override;

    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;

  private:
    QThreadPool pool_;
};
