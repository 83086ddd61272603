#pragma once

#include "engine/SourceReading.h"
#include "planning/OutputNames.h"
#include "planning/SourceSet.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <functional>

class QueueModel;

// Settles the names of one run's items strictly in queue order, whatever order their sources
// finish reading in. An item waits here until every earlier item has either claimed its names
// or dropped out, so a run writes exactly the names a dry run of the same queue lists, and the
// names stay a function of the queue alone. Main thread only.
class RunNames {
  public:
    using Settled = std::function<void(const SourceReading::ItemPlan&)>;

    RunNames(QList<QUuid> order, const QueueModel* queue);

    // `then` runs once every item before `id` has settled: at once, or from a later call.
    void settle(const QUuid& id, SourceReading::ItemPlan plan, Settled then);

    // The item claims nothing (it failed, was stopped or removed first). Repeats are ignored.
    void pass(const QUuid& id);

  private:
    struct Entry {
        bool ready = false;
        bool claims = false;
        SourceReading::ItemPlan plan;
        Settled then;
    };

    void resolve();
    void learnSources();

    QList<QUuid> order_;
    QHash<QUuid, Entry> entries_;
    qsizetype next_ = 0;
    bool resolving_ = false;
    const QueueModel* queue_;
    QSet<QUuid> known_; // items whose sources are in sources_
    SourceSet sources_;
    OutputNames::Claims claims_;
};
