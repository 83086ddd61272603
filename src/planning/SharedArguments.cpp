#include "CommandBuilder.h"
#include "PlanPieces.h"

#include <algorithm>
#include <cmath>

QString PostStep::name() const {
    QString text;
    switch (kind) {
    case Kind::jpegRepack:
        text = QStringLiteral("jpeg-lossless-progressive");
        break;
    case Kind::pngPalette:
        text = QStringLiteral("png-palette");
        break;
    case Kind::pngSqueeze:
        text = QStringLiteral("png-lossless-squeeze");
        break;
    case Kind::sourceIfSmaller:
        text = QStringLiteral("source-if-smaller");
        break;
    }
    if (grey)
        text += QStringLiteral("-grey");
    if (keepMetadata)
        text += QStringLiteral("-keep-metadata");
    return text;
}

namespace CommandBuilder {

QStringList header(const QUrl& source, bool withProgress) {
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                          QStringLiteral("-y"), QStringLiteral("-loglevel"),
                          QStringLiteral("error")};
    if (withProgress)
        arguments << QStringLiteral("-progress") << QStringLiteral("pipe:1")
                  << QStringLiteral("-nostats");
    arguments << QStringLiteral("-i") << PlanPieces::localPath(source);
    return arguments;
}

int crf(double quality, int best, int worst) {
    const double f = (std::isnan(quality) || quality < 0) ? 0.0 : std::min(quality, 100.0) / 100.0;
    const double value = worst - (worst - best) * f;
    return static_cast<int>(PlanPieces::roundHalfAway(value));
}

QStringList audioArguments(const MediaItem& item, const TersioSettings& settings,
                           const QString& codec) {
    if (!item.hasAudio || settings.audio == AudioMode::remove)
        return {QStringLiteral("-an")};
    return {QStringLiteral("-c:a"),
            codec,
            QStringLiteral("-b:a"),
            QString::number(settings.audioKbps) + QLatin1Char('k'),
            QStringLiteral("-ac"),
            settings.audio == AudioMode::mono ? QStringLiteral("1") : QStringLiteral("2")};
}

} // namespace CommandBuilder
