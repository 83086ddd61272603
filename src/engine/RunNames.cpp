#include "RunNames.h"

#include "engine/QueueModel.h"

RunNames::RunNames(QList<QUuid> order, const QueueModel* queue)
    : order_(std::move(order)), queue_(queue) {}

void RunNames::settle(const QUuid& id, SourceReading::ItemPlan plan, Settled then) {
    Entry& entry = entries_[id];
    if (entry.ready)
        return;
    entry = {true, true, std::move(plan), std::move(then)};
    resolve();
}

void RunNames::pass(const QUuid& id) {
    Entry& entry = entries_[id];
    if (entry.ready)
        return;
    entry.ready = true;
    resolve();
}

// Originals added while the run goes on are protected from the next item on.
void RunNames::learnSources() {
    bool added = false;
    for (const MediaItem& item : queue_->items()) {
        if (known_.contains(item.id))
            continue;
        known_.insert(item.id);
        sources_.add(item.url);
        added = true;
    }
    if (added)
        claims_.reserve(sources_.paths());
}

void RunNames::resolve() {
    // A callback may end its pipeline and so start the next one, which can pass at once.
    if (resolving_)
        return;
    resolving_ = true;
    while (next_ < order_.size()) {
        const auto found = entries_.find(order_.at(next_));
        if (found == entries_.end() || !found->ready)
            break;
        ++next_;
        if (!found->claims)
            continue;
        learnSources();
        const Settled then = std::move(found->then);
        const SourceReading::ItemPlan settled =
            SourceReading::settle(std::move(found->plan), claims_, sources_);
        entries_.erase(found);
        then(settled);
    }
    resolving_ = false;
}
