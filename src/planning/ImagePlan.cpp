#include "CommandBuilder.h"
#include "EncoderRules.h"
#include "PlanPieces.h"

#include <optional>

namespace {

struct Encoding {
    QString label;
    QString extension;
    QStringList arguments;
    QStringList packing = {}; // directly before the destination
};

ImageFormat formatMatching(const QString& sourceExtension) {
    if (sourceExtension == QLatin1String("png"))
        return ImageFormat::png;
    if (sourceExtension == QLatin1String("webp"))
        return ImageFormat::webp;
    if (sourceExtension == QLatin1String("avif"))
        return ImageFormat::avif;
    return ImageFormat::jpeg;
}

bool sameFormat(ImageFormat format, const QString& sourceExtension) {
    if (format == ImageFormat::jpeg)
        return sourceExtension == QLatin1String("jpg") || sourceExtension == QLatin1String("jpeg");
    return format == ImageFormat::png && sourceExtension == QLatin1String("png");
}

// The width of the scale filter, when the cap applies to this item.
std::optional<qint64> cappedWidth(const MediaItem& item, const TersioSettings& settings) {
    if (!settings.imageLimitWidth || settings.imageMaxWidth <= 0)
        return std::nullopt;
    if (item.width != 0 && item.width <= settings.imageMaxWidth)
        return std::nullopt;
    return PlanPieces::evenAtLeastTwo(settings.imageMaxWidth);
}

// SVT-AV1 rejects pictures with an odd side or one under 64 pixels, so it is only trusted
// when the size it will receive is known to suit it.
bool svtTakes(const MediaItem& item, std::optional<qint64> scaledWidth) {
    if (item.width <= 0 || item.height <= 0)
        return false;
    if (scaledWidth) {
        const double height = double(item.height) * double(*scaledWidth) / double(item.width);
        return *scaledWidth >= 64 && height >= 64;
    }
    return item.width % 2 == 0 && item.height % 2 == 0 && item.width >= 64 && item.height >= 64;
}

std::optional<Encoding> encoding(ImageFormat format, const MediaItem& item,
                                 const TersioSettings& settings, const EncoderCaps& caps,
                                 std::optional<qint64> scaledWidth) {
    const double q = settings.imageQuality;
    switch (format) {
    case ImageFormat::matchSource:
    case ImageFormat::jpeg:
        return Encoding{QStringLiteral("JPEG"),
                        QStringLiteral("jpg"),
                        {QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-c:v"),
                         QStringLiteral("mjpeg"), QStringLiteral("-q:v"),
                         QString::number(CommandBuilder::crf(q, 2, 31))},
                        PlanPieces::jpegChroma()};
    case ImageFormat::png:
        return Encoding{QStringLiteral("PNG"),
                        QStringLiteral("png"),
                        {QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-c:v"),
                         QStringLiteral("png"), QStringLiteral("-compression_level"),
                         QStringLiteral("9")},
                        {QStringLiteral("-pred"), QStringLiteral("mixed")}};
    case ImageFormat::webp:
        if (!EncoderRules::canWrite(format, caps))
            return std::nullopt;
        return Encoding{QStringLiteral("WebP"),
                        QStringLiteral("webp"),
                        {QStringLiteral("-c:v"), QStringLiteral("libwebp"),
                         QStringLiteral("-quality"), QString::number(PlanPieces::roundHalfAway(q)),
                         QStringLiteral("-compression_level"), QStringLiteral("6"),
                         QStringLiteral("-preset"), QStringLiteral("picture")}};
    case ImageFormat::avif: {
        if (!EncoderRules::canWrite(format, caps))
            return std::nullopt;
        const bool svt = caps.has("libsvtav1");
        const bool aom = caps.has("libaom-av1");
        const QString value = QString::number(CommandBuilder::crf(q, 20, 46));
        const QStringList lead{QStringLiteral("-frames:v"), QStringLiteral("1"),
                               QStringLiteral("-c:v")};
        if (svt && (svtTakes(item, scaledWidth) || !aom))
            return Encoding{QStringLiteral("AVIF"), QStringLiteral("avif"),
                            lead + QStringList{QStringLiteral("libsvtav1"), QStringLiteral("-crf"),
                                               value, QStringLiteral("-preset"),
                                               QStringLiteral("6")}};
        return Encoding{QStringLiteral("AVIF"), QStringLiteral("avif"),
                        lead + QStringList{QStringLiteral("libaom-av1"), QStringLiteral("-crf"),
                                           value, QStringLiteral("-b:v"), QStringLiteral("0"),
                                           QStringLiteral("-cpu-used"), QStringLiteral("6"),
                                           QStringLiteral("-still-picture"), QStringLiteral("1")}};
    }
    }
    return std::nullopt;
}

// The lossless steps after ffmpeg. An output of the source's own format and size may fall back
// on the source itself; the engine still checks what the plan cannot see (orientation, a
// prepared copy).
QList<PostStep> postSteps(ImageFormat format, const MediaItem& item, const TersioSettings& settings,
                          bool sameFormat, bool filtered) {
    const bool keep = !settings.stripMetadata;
    const bool grey = item.grey && format == ImageFormat::jpeg; // the JPEG transform's option
    QList<PostStep> steps;
    if (format == ImageFormat::jpeg)
        steps << PostStep{PostStep::Kind::jpegRepack, grey, keep};
    else if (format == ImageFormat::png)
        steps << PostStep{PostStep::Kind::pngPalette, false, keep}
              << PostStep{PostStep::Kind::pngSqueeze, false, keep};
    else
        return steps;
    if (sameFormat && !filtered)
        steps << PostStep{PostStep::Kind::sourceIfSmaller, grey, keep};
    return steps;
}

} // namespace

namespace CommandBuilder {

QList<PlannedOutput> imagePlan(const MediaItem& item, const TersioSettings& settings,
                               const EncoderCaps& caps, const QUrl& directory) {
    const QString name = stem(item.url);
    const QString sourceExtension = PlanPieces::extension(item.url);
    QList<ImageFormat> formats{settings.imageFormat == ImageFormat::matchSource
                                   ? formatMatching(sourceExtension)
                                   : settings.imageFormat};
    if (settings.alsoEmitWebP && !formats.contains(ImageFormat::webp))
        formats.append(ImageFormat::webp);

    const std::optional<qint64> scaledWidth = cappedWidth(item, settings);
    QList<PlannedOutput> plan;
    for (const ImageFormat format : formats) {
        const auto encoder = encoding(format, item, settings, caps, scaledWidth);
        if (!encoder)
            continue;
        QStringList filters;
        if (scaledWidth)
            filters << PlanPieces::scaleFilter(*scaledWidth);
        // JPEG and AVIF as written here keep no alpha: transparent pixels would turn black.
        if (item.hasAlpha && (format == ImageFormat::jpeg || format == ImageFormat::avif))
            filters << PlanPieces::flattenOntoWhite();

        PlannedOutput output;
        output.label = encoder->label;
        output.destination = destination(directory, name, QString(), encoder->extension);
        const QString path = PlanPieces::localPath(output.destination);
        output.arguments = header(item.url, false);
        if (!filters.isEmpty())
            output.arguments << QStringLiteral("-vf") << filters.join(QLatin1Char(','));
        if (settings.stripMetadata)
            output.arguments << QStringLiteral("-map_metadata") << QStringLiteral("-1");
        output.arguments << encoder->arguments << PlanPieces::literalNameArguments(path);
        if (format == ImageFormat::webp && sourceExtension == QLatin1String("gif"))
            output.arguments << QStringLiteral("-loop") << QStringLiteral("0");
        output.arguments << encoder->packing << path;
        output.post = postSteps(format, item, settings, sameFormat(format, sourceExtension),
                                !filters.isEmpty());
        plan.append(output);
    }
    return plan;
}

} // namespace CommandBuilder
