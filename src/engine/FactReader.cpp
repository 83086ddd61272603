#include "FactReader.h"

#include "engine/QueueModel.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int readersAtOnce = 2;

SourceReading::SourceFacts readAtLowestPriority(const MediaItem& item,
                                                const std::optional<QString>& ffprobe,
                                                const QString& posterLookWith) {
    // Nice 19 for this thread alone, inherited by ffprobe: the window and the encodes come
    // first, yet an idle moment on a busy machine still gets the reads done.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
    return SourceReading::readUnlessCurrent(item, ffprobe, posterLookWith);
}

} // namespace

FactReader::FactReader(QueueModel* queue, bool lowestPriority, QObject* parent)
    : QObject(parent), queue_(queue), lowestPriority_(lowestPriority) {
    pool_.setMaxThreadCount(readersAtOnce);
    connect(queue_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { rowsLeaving(first, last); });
}

FactReader::~FactReader() {
    pending_.clear();
    pool_.waitForDone();
}

void FactReader::setProbe(const std::optional<QString>& ffprobe) {
    ffprobe_ = ffprobe;
    if (!ffprobe_ || waitingForProbe_.isEmpty())
        return;
    const QList<QUuid> waiting = std::exchange(waitingForProbe_, {});
    enqueue(waiting);
}

void FactReader::setPosterLook(std::function<QString()> posterLookWith) {
    posterLookWith_ = std::move(posterLookWith);
}

void FactReader::enqueue(const QList<QUuid>& ids) {
    pending_.insert(pending_.end(), ids.begin(), ids.end());
    dispatch();
}

int FactReader::outstanding() const {
    return int(pending_.size()) + int(reading_.size());
}

void FactReader::rowsLeaving(int first, int last) {
    if (first == 0 && last == queue_->rowCount() - 1) {
        pending_.clear();
        waitingForProbe_.clear();
        return;
    }
    QSet<QUuid> leaving;
    for (int row = first; row <= last; ++row)
        leaving.insert(queue_->items().at(row).id);
    std::erase_if(pending_, [&](const QUuid& id) { return leaving.contains(id); });
    waitingForProbe_.removeIf([&](const QUuid& id) { return leaving.contains(id); });
}

void FactReader::dispatch() {
    while (reading_.size() < readersAtOnce && !pending_.empty()) {
        const QUuid id = pending_.front();
        pending_.pop_front();
        const MediaItem* item = queue_->find(id);
        // Gone, already known, or taken by a run, which reads for itself.
        if (!item || item->factsStamp || !item->status.needsWork())
            continue;
        if (item->kind == MediaKind::video && !ffprobe_) {
            waitingForProbe_.append(id);
            continue;
        }
        reading_.insert(id);
        QtConcurrent::run(
            &pool_, lowestPriority_ ? &readAtLowestPriority : &SourceReading::readUnlessCurrent,
            *item, ffprobe_, posterLookWith_ ? posterLookWith_() : QString())
            .then(this,
                  [this, id](const SourceReading::SourceFacts& facts) { arrived(id, facts); });
    }
}

void FactReader::arrived(const QUuid& id, const SourceReading::SourceFacts& facts) {
    reading_.remove(id);
    const MediaItem* item = queue_->find(id);
    // A failure is left for the run to report; a run under way has read for itself.
    if (item && facts.stamp && item->status.needsWork())
        queue_->update(id, [&facts](MediaItem& it) { SourceReading::apply(facts, it); });
    dispatch();
    if (reading_.isEmpty() && pending_.empty())
        emit idle();
}
