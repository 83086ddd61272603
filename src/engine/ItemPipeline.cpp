#include "ItemPipeline.h"

#include "engine/AutoEncode.h"
#include "engine/ProgressRelay.h"
#include "engine/QualityScore.h"
#include "engine/QueueModel.h"
#include "engine/RunNames.h"
#include "engine/SourceReading.h"
#include "tools/DecodedCopies.h"

#include <QFileInfo>
#include <QSize>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

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

    // Outputs already there with overwriting off are kept and left out of every process.
    const int n = int(plan_.size());
    produced_ = QList<std::optional<ProducedFile>>(n);
    QList<int> toWrite;
    for (int i = 0; i < n; ++i) {
        const PlannedOutput& output = plan_.at(i);
        const QFileInfo existing(output.destination.toLocalFile());
        if (!run_->settings.overwriteExisting && existing.exists()) {
            produced_[i] = ProducedFile{QUuid::createUuid(),
                                        output.label,
                                        output.destination,
                                        qMax<qint64>(0, existing.size()),
                                        {},
                                        {},
                                        {}};
            kept_ << i;
            continue;
        }
        toWrite << i;
    }
    toWrite_ = int(toWrite.size());
    auto processes =
        QualitySearch::processes(plan_, toWrite, item_, run_->settings, control_->memoryBudget);
    invocations_ = std::move(processes.invocations);
    searches_ = std::move(processes.searches);

    queue_->update(id_, [](MediaItem& it) { it.status = ItemStatus::working(); });
    nextInvocation();
}

void ItemPipeline::nextInvocation() {
    if (control_->stopRequested)
        return cancelled();
    if (!queue_->find(id_))
        return finish();
    if (next_ >= invocations_.size() && !keptScored_ && scoring() && !kept_.isEmpty()) {
        if (item_.kind == MediaKind::image && !prepared_)
            return prepareSource();
        return scoreKept();
    }
    if (next_ >= invocations_.size()) {
        queue_->update(id_, [this](MediaItem& it) {
            it.outputs.clear();
            for (const auto& file : std::as_const(produced_))
                if (file)
                    it.outputs.append(*file);
            it.progress = 1.0;
            it.currentTask.clear();
            it.status = ItemStatus::done();
        });
        DecodedCopies::keep(item_.url.toLocalFile(), std::move(preparedFile_));
        return finish();
    }
    if (item_.kind == MediaKind::image && !prepared_)
        return prepareSource();

    const FusedPlan::Invocation invocation = invocations_.at(next_);
    QList<PlannedOutput> writes;
    QStringList labels;
    for (const int index : invocation.outputs) {
        writes << plan_.at(index);
        labels << plan_.at(index).label;
    }
    const qint64 memory =
        MemoryEstimate::processBytes(writes, QSize(int(item_.width), int(item_.height)));
    if (!control_->reserveMemory(memory)) {
        control_->waitForMemory(this, [this] { nextInvocation(); });
        return;
    }
    memoryHeld_ = memory;
    const QString task = FusedPlan::taskText(labels);
    queue_->update(id_, [&task](MediaItem& it) { it.currentTask = task; });

    auto job = std::make_shared<FFmpegJob>();
    control_->activeJobs.insert(id_, job);
    encoding_ = next_;
    const int index = next_;
    // The job calls back on its worker thread; the value is applied here, on the main one.
    const auto onProgress = ProgressRelay::toThreadOf(
        this, [this, index](double fraction) { applyProgress(index, fraction); });
    // The encode holds the intermediate too, so it outlives the pipeline while ffmpeg reads.
    const PackSteps::Context packing{run_->tools, item_.url.toLocalFile(), preparedFile_ != nullptr,
                                     item_.hasAlpha};
    const FusedEncode::Scoring scoring{this->scoring(), item_.hasAlpha};
    const auto search = searches_.value(index);
    // The search plans each trial from the item and settings as they were planned.
    const AutoEncode::PlanAt planAt = [output = plan_.value(invocation.outputs.first()),
                                       item = item_, settings = run_->settings,
                                       caps = run_->caps](int quality) {
        return QualitySearch::at(output, item, settings, caps, quality);
    };
    QtConcurrent::run(workers_, [job, ffmpeg = run_->tools.ffmpeg, invocation, plan = plan_,
                                 onProgress, prepared = preparedFile_, packing, scoring, search,
                                 planAt] {
        const QString readPath = prepared ? prepared->path() : QString();
        if (!search)
            return FusedEncode::run(*job, ffmpeg, invocation, plan, onProgress, readPath, packing,
                                    scoring);
        const AutoEncode::Outcome found = AutoEncode::run(*job, ffmpeg, *search, planAt, onProgress,
                                                          readPath, packing, scoring.alpha);
        FusedEncode::Outcome outcome{found.status, found.message, {}, {}, {}, {}};
        if (found.status == 0) {
            outcome.bytes << found.bytes;
            outcome.notes << found.note;
            outcome.scores << found.score;
            outcome.qualities << found.quality;
        }
        return outcome;
    }).then(this, [this, index, job](const FusedEncode::Outcome& outcome) {
        encoded(index, job, outcome);
    });
}

bool ItemPipeline::scoring() const {
    return item_.kind == MediaKind::image || run_->settings.measureVideoQuality;
}

// Outputs kept from an earlier run are scored as written ones are, so a resumed run reports
// what one whole run reports.
void ItemPipeline::scoreKept() {
    keptScored_ = true;
    QList<PlannedOutput> outputs;
    for (const int index : std::as_const(kept_))
        outputs << plan_.at(index);
    auto job = std::make_shared<FFmpegJob>();
    control_->activeJobs.insert(id_, job);
    QtConcurrent::run(workers_, [job, ffmpeg = run_->tools.ffmpeg, outputs,
                                 prepared = preparedFile_, alpha = item_.hasAlpha] {
        QList<std::optional<double>> scores;
        for (const PlannedOutput& output : outputs)
            scores << QualityScore::measure(*job, ffmpeg, output,
                                            {output.destination.toLocalFile(),
                                             prepared ? prepared->path() : QString(),
                                             alpha,
                                             output.progressDuration,
                                             {}});
        return scores;
    }).then(this, [this, job](const QList<std::optional<double>>& scores) {
        if (control_->activeJobs.value(id_) == job)
            control_->activeJobs.remove(id_);
        if (control_->stopRequested || job->cancelled())
            return cancelled();
        for (qsizetype k = 0; k < kept_.size(); ++k)
            if (auto& file = produced_[kept_.at(k)])
                file->ssim = scores.value(k);
        nextInvocation();
    });
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
            nextInvocation();
        });
}

void ItemPipeline::encoded(int index, const std::shared_ptr<FFmpegJob>& job,
                           const FusedEncode::Outcome& outcome) {
    encoding_ = -1;
    control_->releaseMemory(std::exchange(memoryHeld_, 0));
    if (control_->activeJobs.value(id_) == job)
        control_->activeJobs.remove(id_);

    if (outcome.status == 0) {
        const FusedPlan::Invocation& invocation = invocations_.at(index);
        for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
            const PlannedOutput& output = plan_.at(invocation.outputs.at(k));
            produced_[invocation.outputs.at(k)] = ProducedFile{
                QUuid::createUuid(),       output.label,           output.destination,
                outcome.bytes.value(k),    outcome.notes.value(k), outcome.scores.value(k),
                outcome.qualities.value(k)};
        }
        outputsDone_ += int(invocation.outputs.size());
        progress_ = std::max(progress_, double(outputsDone_) / double(toWrite_));
        queue_->update(id_, [this](MediaItem& it) { it.progress = progress_; });
        ++next_;
        return nextInvocation();
    }
    if (outcome.status == 130 || control_->stopRequested || job->cancelled())
        return cancelled();
    fail(outcome.message);
}

void ItemPipeline::applyProgress(int index, double fraction) {
    // A report that lands after its process has finished would pull the bar back: dropped.
    if (index != encoding_)
        return;
    // One bar for the item across what it writes: the outputs already written plus this
    // process's share; a single process takes the bar from 0 to 1.
    const double share = double(invocations_.at(index).outputs.size());
    const double value = (double(outputsDone_) + fraction * share) / double(toWrite_);
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
