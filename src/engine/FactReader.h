#pragma once

#include "engine/SourceReading.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QUuid>

#include <deque>
#include <functional>
#include <optional>

class QueueModel;

// Reads the facts of items as soon as they join the queue, in queue order, at most two at a
// time on threads of the lowest priority, and stores each result in its row as it arrives. An item
// that leaves the queue is dropped from the line; a read already under way finishes and is thrown
// away. Items a run has taken are left to the run. Main thread only, apart from the reads.
class FactReader : public QObject {
    Q_OBJECT

  public:
    // lowestPriority false: reads compete evenly, for tests on a loaded machine.
    explicit FactReader(QueueModel* queue, bool lowestPriority = true, QObject* parent = nullptr);
    ~FactReader() override; // waits for the reads under way

    // Videos wait until an ffprobe is known: a probe without one learns nothing.
    void setProbe(const std::optional<QString>& ffprobe);
    // The ffmpeg to look at poster frames with, asked as each video's read starts.
    void setPosterLook(std::function<QString()> posterLookWith);
    void enqueue(const QList<QUuid>& ids);
    // Items waiting or being read; videos held back for want of an ffprobe are not counted.
    int outstanding() const;

  signals:
    void idle(); // the last outstanding read has ended

  private:
    void rowsLeaving(int first, int last);
    void dispatch();
    void arrived(const QUuid& id, const SourceReading::SourceFacts& facts);

    QueueModel* queue_;
    std::deque<QUuid> pending_;
    QList<QUuid> waitingForProbe_;
    QSet<QUuid> reading_;
    std::optional<QString> ffprobe_;
    std::function<QString()> posterLookWith_;
    bool lowestPriority_;
    QThreadPool pool_;
};
