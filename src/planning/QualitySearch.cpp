#include "QualitySearch.h"

#include "PlanPieces.h"
#include "ScoreReference.h"

#include <QFileInfo>

namespace QualitySearch {

double targetScore(QualityTarget target) {
    switch (target) {
    case QualityTarget::same:
        return 0.98;
    case QualityTarget::close:
        return 0.96;
    case QualityTarget::small:
        return 0.94;
    }
    return 0.96;
}

std::optional<Range> rangeFor(const PlannedOutput& output, MediaKind kind,
                              const TersioSettings& settings) {
    if (!settings.imageQualityAuto || kind != MediaKind::image)
        return std::nullopt;
    if (PlanPieces::extension(output.destination) == QLatin1String("png"))
        return std::nullopt;
    Range range;
    range.target = targetScore(settings.imageQualityTarget);
    return range;
}

Processes processes(const QList<PlannedOutput>& plan, const QList<int>& toRun,
                    const MediaItem& item, const TersioSettings& settings, qint64 memoryLimit) {
    QList<PlannedOutput> shared;
    QList<int> sharedIndex;
    QList<std::pair<int, Range>> searched;
    for (const int i : toRun) {
        if (const auto range = rangeFor(plan.at(i), item.kind, settings)) {
            searched.append({i, *range});
        } else {
            shared << plan.at(i);
            sharedIndex << i;
        }
    }
    Processes result;
    result.invocations = FusedPlan::group(shared, memoryLimit, item.width, item.height);
    for (FusedPlan::Invocation& invocation : result.invocations)
        for (int& index : invocation.outputs)
            index = sharedIndex.at(index);
    result.searches.resize(result.invocations.size());
    for (const auto& [index, range] : searched) {
        result.invocations << FusedPlan::alone(plan.at(index), index);
        result.searches << range;
    }
    if (item.kind == MediaKind::image)
        for (FusedPlan::Invocation& invocation : result.invocations)
            ScoreReference::addAll(invocation, plan, item.hasAlpha, item.turned);
    return result;
}

PlannedOutput at(const PlannedOutput& output, const MediaItem& item, TersioSettings settings,
                 const EncoderCaps& caps, int quality) {
    settings.imageQuality = double(quality);
    const QUrl folder =
        QUrl::fromLocalFile(QFileInfo(output.destination.toLocalFile()).path() + QLatin1Char('/'));
    const QString name = QFileInfo(output.destination.toLocalFile()).fileName();
    // The planner names outputs after the source; the run may have given this one another name.
    for (const PlannedOutput& planned : CommandBuilder::imagePlan(item, settings, caps, folder))
        if (planned.label == output.label)
            return CommandBuilder::renamed(planned, name);
    return output;
}

Bisection::Bisection(const Range& range)
    : range_(range), low_(range.from - 1), high_(range.to + 1) {}

std::optional<int> Bisection::next() const {
    if (tried_ >= range_.encodes || high_ - low_ <= 1)
        return std::nullopt;
    // The last encode goes to the top when nothing has passed yet, so the search always ends
    // with a result that passes or with the best the encoder can do.
    if (!best_ && tried_ == range_.encodes - 1)
        return topTried_ ? std::nullopt : std::optional<int>(range_.to);
    return (low_ + high_) / 2;
}

void Bisection::record(int quality, std::optional<double> score) {
    ++tried_;
    if (quality >= range_.to)
        topTried_ = true;
    if (score && *score >= range_.target) {
        high_ = std::min(high_, quality);
        if (!best_ || quality < *best_)
            best_ = quality;
    } else {
        low_ = std::max(low_, quality);
    }
}

} // namespace QualitySearch
