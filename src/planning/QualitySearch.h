#pragma once

#include "model/MediaItem.h"
#include "model/Options.h"
#include "model/TersioSettings.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"

#include <QList>

#include <optional>

// The automatic image quality: the lowest value of the image quality scale whose output still
// scores the target, found by bisection. Pure: the engine runs the encodes it asks for.
namespace QualitySearch {

// The score an output must reach for each target.
double targetScore(QualityTarget target);

// The part of the 0–100 scale searched, and how many encodes an output may take.
struct Range {
    int from = 10;
    int to = 100;
    double target = 0.96;
    int encodes = 5;

    friend bool operator==(const Range&, const Range&) = default;
};

// The search an output gets: none unless the automatic quality is on and the output is a
// picture of an image item with a quality to choose (a PNG is lossless: nothing to search).
std::optional<Range> rangeFor(const PlannedOutput& output, MediaKind kind,
                              const TersioSettings& settings);

// The processes that write an item's outputs, as a run starts them and the dry run lists them.
struct Processes {
    QList<FusedPlan::Invocation> invocations; // their outputs index the item's whole plan
    QList<std::optional<Range>> searches;     // per invocation: the search it runs, if any
};

// `plan` is every planned output of `item`, `toRun` the indices of those to write. A searched
// output (rangeFor) runs alone, because each of its encodes is scored before the next quality is
// chosen, which one shared process writing every output at once cannot do; the others are
// grouped as FusedPlan::group groups them. Every image output is scored, so each invocation of
// an image also writes its score's references (ScoreReference).
Processes processes(const QList<PlannedOutput>& plan, const QList<int>& toRun,
                    const MediaItem& item, const TersioSettings& settings, qint64 memoryLimit);

// The same output planned at another image quality, keeping its settled destination.
PlannedOutput at(const PlannedOutput& output, const MediaItem& item, TersioSettings settings,
                 const EncoderCaps& caps, int quality);

// The qualities to try, one after another, from the scores of those tried so far.
class Bisection {
  public:
    explicit Bisection(const Range& range);

    // The next quality to encode at; none when the search is over.
    std::optional<int> next() const;
    // A missing score counts as a miss.
    void record(int quality, std::optional<double> score);

    // The lowest quality that reached the target, if any did.
    std::optional<int> best() const { return best_; }
    int tried() const { return tried_; }

  private:
    Range range_;
    int low_;  // every quality up to here misses (or is below the range)
    int high_; // the lowest quality known to pass (or above the range)
    int tried_ = 0;
    bool topTried_ = false;
    std::optional<int> best_;
};

} // namespace QualitySearch
