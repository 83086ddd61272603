#pragma once

#include "engine/FusedEncode.h"
#include "engine/RunControl.h"
#include "engine/SourceReading.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"
#include "planning/QualitySearch.h"
#include "tools/SourcePreparer.h"

#include <QList>
#include <QObject>
#include <QThreadPool>
#include <QUuid>

#include <memory>
#include <optional>

class QueueModel;
class RunNames;

// One item's way through a run: read the source, place and plan the outputs, write them with
// as few ffmpeg processes as possible (one, when they can share it), and record the result. Lives
// on the main thread and only ever waits for worker results, so several pipelines interleave there.
// Every change to the item goes through QueueModel::update by id, so a removed item is simply no
// longer touched.
class ItemPipeline : public QObject {
    Q_OBJECT

  public:
    ItemPipeline(const QUuid& id, std::shared_ptr<const RunSnapshot> run, QueueModel* queue,
                 RunControl* control, RunNames* names, QThreadPool* workers,
                 QObject* parent = nullptr);

    // May finish before it returns (a stopped run, an item no longer queued).
    void start();

  signals:
    void finished();

  private:
    void sourceRead(const SourceReading::SourceFacts& facts);
    void named(const SourceReading::ItemPlan& planned);
    void nextInvocation();
    void prepareSource();
    bool scoring() const; // whether outputs are scored
    void scoreKept();
    void encoded(int index, const std::shared_ptr<FFmpegJob>& job,
                 const FusedEncode::Outcome& outcome);
    bool namedOnly() const;
    void fail(const QString& message);
    void cancelled();
    void finish();
    void applyProgress(int index, double fraction);

    QUuid id_;
    std::shared_ptr<const RunSnapshot> run_;
    QueueModel* queue_;
    RunControl* control_;
    RunNames* names_;
    QThreadPool* workers_;

    MediaItem item_; // the local copy the planners see
    QList<PlannedOutput> plan_;
    QList<std::optional<ProducedFile>> produced_; // by plan index: written or kept
    QList<int> kept_;                             // plan indices of the outputs kept as they were
    bool keptScored_ = false;
    QList<FusedPlan::Invocation> invocations_; // their indices point into plan_
    // By invocation: the quality search of its one output, when the quality is automatic.
    QList<std::optional<QualitySearch::Range>> searches_;
    int next_ = 0;
    int encoding_ = -1;   // index of the invocation running, -1 between them
    int toWrite_ = 0;     // outputs not kept: what the progress bar spans
    int outputsDone_ = 0; // of those, written
    qint64 memoryHeld_ = 0;
    double progress_ = 0;
    bool finished_ = false;
    // The decoded copy of a photo ffmpeg would misread, made before the first encode and shared
    // by all outputs; released (and so deleted) when the item ends.
    bool prepared_ = false;
    std::shared_ptr<SourcePreparer::PreparedFile> preparedFile_;
};
