#include "ItemPipeline.h"

#include "engine/ProgressRelay.h"
#include "engine/QueueModel.h"
#include "engine/RunNames.h"
#include "engine/SourceReading.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

ItemPipeline::ItemPipeline(const QUuid& id, std::shared_ptr<const RunSnapshot> run,
                           QueueModel* queue, RunControl* control, RunNames* names,
                           QThreadPool* workers, QObject* parent)
    : QObject(parent), id_(id), run_(std::move(run)), queue_(queue), control_(control),
      names_(names), workers_(workers) {}

void ItemPipeline::start() {
    const MediaItem* item = queue_->find(id_);
    if (control_->stopRequested || !item) {
        finish();
        return;
    }
    item_ = *item;
    if (!namedOnly())
        queue_->update(id_, [](MediaItem& it) {
            it.status = ItemStatus::reading();
            it.progress = 0;
            it.outputs.clear();
            it.currentTask = QStringLiteral("Reading");
        });
    // A poster's time never changes a name, so an item only named spares the frame search.
    const QString posterLook =
        namedOnly() ? QString() : SourceReading::posterLookTool(run_->settings, run_->tools.ffmpeg);
    QtConcurrent::run(workers_, &SourceReading::readUnlessCurrent, item_, run_->tools.ffprobe,
                      posterLook)
        .then(this, [this](const SourceReading::SourceFacts& facts) { sourceRead(facts); });
}

void ItemPipeline::sourceRead(const SourceReading::SourceFacts& facts) {
    // Removed while its source was read: nothing is encoded for it.
    if (!queue_->find(id_)) {
        finish();
        return;
    }
    if (!facts.failure.isEmpty())
        return fail(facts.failure);
    if (namedOnly()) {
        SourceReading::apply(facts, item_);
    } else {
        queue_->update(id_, [&facts](MediaItem& it) { SourceReading::apply(facts, it); });
        item_ = *queue_->find(id_);
    }

    SourceReading::ItemPlan planned =
        SourceReading::plan(item_, run_->settings, run_->caps, /*createFolder=*/!namedOnly());
    if (!planned.failure.isEmpty())
        return fail(planned.failure);
    names_->settle(id_, std::move(planned),
                   [this](const SourceReading::ItemPlan& settled) { named(settled); });
}

void ItemPipeline::named(const SourceReading::ItemPlan& planned) {
    if (namedOnly())
        return finish();
    if (!planned.failure.isEmpty())
        return fail(planned.failure);
    plan_ = planned.outputs;

    queue_->update(id_, [](MediaItem& it) { it.status = ItemStatus::working(); });
    nextOutput();
}

void ItemPipeline::nextOutput() {
    const int n = int(plan_.size());
    for (; next_ < n; ++next_) {
        if (control_->stopRequested)
            return cancelled();
        if (!queue_->find(id_))
            return finish();
        const PlannedOutput& output = plan_.at(next_);
        const QFileInfo existing(output.destination.toLocalFile());
        if (!run_->settings.overwriteExisting && existing.exists()) {
            produced_.append({QUuid::createUuid(),
                              output.label,
                              output.destination,
                              qMax<qint64>(0, existing.size()),
                              {}});
            continue;
        }
        if (item_.kind == MediaKind::image && !prepared_)
            return prepareSource();
        queue_->update(id_, [&output](MediaItem& it) { it.currentTask = output.label; });

        auto job = std::make_shared<FFmpegJob>();
        control_->activeJobs.insert(id_, job);
        encoding_ = next_;
        const int index = next_;
        // The job calls back on its worker thread; the value is applied here, on the main one.
        const auto onProgress = ProgressRelay::toThreadOf(
            this, [this, index](double fraction) { applyProgress(index, fraction); });
        // The encode holds the intermediate too, so it outlives the pipeline while ffmpeg reads.
        const PackSteps::Context packing{run_->tools, item_.url.toLocalFile(),
                                         preparedFile_ != nullptr, item_.hasAlpha};
        QtConcurrent::run(workers_, [job, ffmpeg = run_->tools.ffmpeg, output, onProgress,
                                     prepared = preparedFile_, packing] {
            return StagedEncode::run(*job, ffmpeg, output, onProgress,
                                     prepared ? prepared->path() : QString(), packing);
        }).then(this, [this, index, job](const StagedEncode::Outcome& outcome) {
            encoded(index, job, outcome);
        });
        return;
    }

    queue_->update(id_, [this](MediaItem& it) {
        it.outputs = produced_;
        it.progress = 1.0;
        it.currentTask.clear();
        it.status = ItemStatus::done();
    });
    finish();
}

void ItemPipeline::prepareSource() {
    // If the pipeline is gone when the worker returns, the result is dropped with the future and
    // the intermediate with it.
    QtConcurrent::run(workers_, &SourcePreparer::prepare, item_.url.toLocalFile())
        .then(this, [this](const SourcePreparer::Preparation& preparation) {
            prepared_ = true;
            preparedFile_ = preparation.file;
            if (!preparation.error.isEmpty())
                return fail(preparation.error);
            nextOutput();
        });
}

void ItemPipeline::encoded(int index, const std::shared_ptr<FFmpegJob>& job,
                           const StagedEncode::Outcome& outcome) {
    encoding_ = -1;
    if (control_->activeJobs.value(id_) == job)
        control_->activeJobs.remove(id_);

    if (outcome.status == 0) {
        const PlannedOutput& output = plan_.at(index);
        produced_.append(
            {QUuid::createUuid(), output.label, output.destination, outcome.bytes, outcome.note});
        progress_ = double(index + 1) / double(plan_.size());
        queue_->update(id_, [this](MediaItem& it) { it.progress = progress_; });
        ++next_;
        return nextOutput();
    }
    if (outcome.status == 130 || control_->stopRequested || job->cancelled())
        return cancelled();
    fail(outcome.message);
}

void ItemPipeline::applyProgress(int index, double fraction) {
    // A report that lands after its output has finished would pull the bar back: dropped.
    if (index != encoding_)
        return;
    const double n = double(plan_.size());
    const double value = double(index) / n + fraction / n;
    if (value <= progress_)
        return;
    progress_ = value;
    queue_->update(id_, [value](MediaItem& it) { it.progress = value; });
}

bool ItemPipeline::namedOnly() const {
    return run_->namedOnly.contains(id_);
}

void ItemPipeline::fail(const QString& message) {
    if (namedOnly())
        return finish();
    queue_->update(id_, [&message](MediaItem& it) {
        it.status = ItemStatus::failed(message);
        it.currentTask.clear();
    });
    finish();
}

void ItemPipeline::cancelled() {
    queue_->update(id_, [](MediaItem& it) {
        it.status = ItemStatus::cancelled();
        it.currentTask.clear();
    });
    finish();
}

void ItemPipeline::finish() {
    preparedFile_.reset();
    if (finished_)
        return;
    finished_ = true;
    names_->pass(id_);
    emit finished();
}
