#pragma once

#include <QImage>
#include <QString>
#include <QThreadPool>

#include <functional>

class QQuickImageResponse;

// The answer of an asynchronous image provider, made on a worker thread so the interface never
// waits for a decoder.
namespace WorkerImage {

struct Result {
    QImage image;
    QString error; // shown as the Image's error; empty when the picture was made
};

// Runs `make` on `pool` and returns the response that delivers its result. The engine may
// delete the response (at shutdown, or when the Image lets go) while `make` still runs; the
// result is then dropped. A response cancelled before its turn skips `make`.
QQuickImageResponse* start(QThreadPool& pool, std::function<Result()> make);

} // namespace WorkerImage
