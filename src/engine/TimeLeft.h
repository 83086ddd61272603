#pragma once

#include "model/MediaItem.h"

#include <QList>
#include <QString>

#include <optional>

// The time a batch still needs, from the share of it done so far. One estimator serves the
// window and the terminal. The raw figure (elapsed time scaled by the share left) jumps as
// items finish; the estimate follows it smoothly, counting down with the clock in between.
class TimeLeft {
  public:
    // Finished items count as whole, running ones by their progress; in [0, 1].
    static double batchFraction(const QList<MediaItem>& items);

    // Takes the batch's share done at `elapsedSeconds` since it started, and gives the
    // seconds left: never negative, none until there is enough to go on.
    std::optional<double> update(double fraction, double elapsedSeconds);
    std::optional<double> current() const { return estimate_; }

    // "About 3 min left", "Less than a minute left"; empty without an estimate.
    static QString text(std::optional<double> seconds);

  private:
    std::optional<double> estimate_;
    double lastElapsed_ = 0;
};
