#include "QualitySearch.h"

#include "PlanPieces.h"

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

QList<FusedPlan::Invocation> invocations(const QList<PlannedOutput>& outputs,
                                         const QList<std::optional<Range>>& searches,
                                         qint64 memoryLimit, qint64 sourceWidth,
                                         qint64 sourceHeight) {
    QList<PlannedOutput> shared;
    QList<int> sharedIndex;
    QList<int> searched;
    for (int i = 0; i < outputs.size(); ++i) {
        if (searches.value(i)) {
            searched << i;
        } else {
            shared << outputs.at(i);
            sharedIndex << i;
        }
    }
    QList<FusedPlan::Invocation> result =
        FusedPlan::group(shared, memoryLimit, sourceWidth, sourceHeight);
    for (FusedPlan::Invocation& invocation : result)
        for (int& index : invocation.outputs)
            index = sharedIndex.at(index);
    for (const int index : searched)
        result << FusedPlan::alone(outputs.at(index), index);
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
