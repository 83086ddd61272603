#include "TimeLeft.h"

#include <algorithm>
#include <cmath>

namespace {

// How quickly the estimate takes up a new raw figure: about two thirds of the way in this
// many seconds.
constexpr double settleSeconds = 6.0;

bool finished(const MediaItem& item) {
    // One run takes every item once, so a failed or cancelled item has finished its turn.
    return !item.status.isActive() && item.status.value != ItemStatus::Case::queued;
}

} // namespace

double TimeLeft::batchFraction(const QList<MediaItem>& items) {
    if (items.isEmpty())
        return 0;
    double sum = 0;
    for (const auto& item : items)
        sum += finished(item) ? 1.0 : std::clamp(item.progress, 0.0, 1.0);
    return sum / static_cast<double>(items.size());
}

std::optional<double> TimeLeft::update(double fraction, double elapsedSeconds) {
    if (fraction >= 1.0) {
        estimate_ = 0.0;
        lastElapsed_ = elapsedSeconds;
        return estimate_;
    }
    // Below 2 % or in the first two seconds the figure is noise.
    if (!(fraction >= 0.02) || !(elapsedSeconds >= 2.0))
        return estimate_;
    const double raw = elapsedSeconds * (1.0 - fraction) / fraction;
    if (!estimate_) {
        estimate_ = raw;
    } else {
        const double step = std::max(0.0, elapsedSeconds - lastElapsed_);
        // The previous estimate, counted down by the time gone since, moves towards the raw
        // figure; on a steady run the two agree and the estimate falls with the clock.
        const double counted = *estimate_ - step;
        const double weight = 1.0 - std::exp(-step / settleSeconds);
        estimate_ = counted + weight * (raw - counted);
    }
    estimate_ = std::max(0.0, *estimate_);
    lastElapsed_ = elapsedSeconds;
    return estimate_;
}

QString TimeLeft::text(std::optional<double> seconds) {
    if (!seconds)
        return {};
    if (*seconds < 60.0)
        return QStringLiteral("Less than a minute left");
    const auto minutes = qint64(std::llround(*seconds / 60.0));
    if (minutes < 90)
        return QStringLiteral("About %1 min left").arg(minutes);
    const double hours = *seconds / 3600.0;
    return QStringLiteral("About %1 h left").arg(QString::number(hours, 'f', 1));
}
