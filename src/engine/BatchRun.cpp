#include "BatchRun.h"

#include "engine/ItemPipeline.h"

#include <algorithm>

int BatchRun::concurrencyLimit(qint64 maxConcurrent) {
    return int(std::max<qint64>(1, std::min<qint64>(maxConcurrent, 6)));
}

BatchRun::BatchRun(QList<QUuid> ids, std::shared_ptr<const RunSnapshot> run, QueueModel* queue,
                   RunControl* control, QThreadPool* workers, QObject* parent)
    : QObject(parent), ids_(std::move(ids)), run_(std::move(run)), queue_(queue), control_(control),
      names_(ids_, queue), workers_(workers),
      limit_(concurrencyLimit(run_->settings.maxConcurrent)) {}

void BatchRun::start() {
    fill();
}

void BatchRun::fill() {
    // Pipelines that end at once call back into fill(); the outer loop carries on instead of
    // recursing once per item.
    if (filling_)
        return;
    filling_ = true;
    while (live_ < limit_ && next_ < ids_.size()) {
        auto* pipeline =
            new ItemPipeline(ids_.at(next_++), run_, queue_, control_, &names_, workers_, this);
        ++live_;
        connect(pipeline, &ItemPipeline::finished, this, [this, pipeline] {
            pipeline->deleteLater();
            --live_;
            fill();
        });
        pipeline->start();
    }
    filling_ = false;
    if (live_ == 0 && next_ == ids_.size() && !finished_) {
        finished_ = true;
        emit finished();
    }
}
