#pragma once

#include "WorkerImage.h"

#include <QQuickAsyncImageProvider>
#include <QThreadPool>

// "image://compare/<percent-encoded path>" (the path as encodeURIComponent writes it): a whole
// picture as the app shows it, upright and in sRGB (HEIC and AVIF through libheif), for the
// compare view. Decoded on a worker thread; a source and its output decode side by side.
class CompareImageProvider : public QQuickAsyncImageProvider {
  public:
    // Beyond what a GPU texture takes; such a picture is shown scaled down.
    static constexpr int largestSide = 16384;

    CompareImageProvider();
    ~CompareImageProvider() override;

    QQuickImageResponse* requestImageResponse(const QString& id,
                                              const QSize& requestedSize) override;

    // Blocking: what a response delivers for the file at `path`.
    static WorkerImage::Result picture(const QString& path);

  private:
    QThreadPool pool_;
};
