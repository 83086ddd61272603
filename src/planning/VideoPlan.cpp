#include "CommandBuilder.h"
#include "EncoderRules.h"
#include "PlanPieces.h"
#include "tools/PosterFrame.h"

#include <algorithm>

namespace {

const QString dot = QStringLiteral(" \u00B7 ");

// Builds the plan of one video item; addRenditions is called once per frame geometry.
struct VideoPlanner {
    const MediaItem& item;
    const TersioSettings& settings;
    const EncoderCaps& caps;
    const QUrl& directory;
    QString stem;
    QList<PlannedOutput> result;

    void add(const QString& label, const QString& suffix, const QString& ext, QStringList arguments,
             double progressDuration, const QStringList& packing = {},
             const QList<PostStep>& post = {}) {
        PlannedOutput output;
        output.label = label;
        output.destination = CommandBuilder::destination(directory, stem, suffix, ext);
        const QString path = PlanPieces::localPath(output.destination);
        output.arguments = std::move(arguments);
        output.arguments << PlanPieces::literalNameArguments(path) << packing << path;
        output.progressDuration = progressDuration;
        output.post = post;
        result.append(output);
    }

    void addRenditions(QStringList filters, const QString& suffix, bool includePoster) {
        if (item.hdr)
            filters = PlanPieces::hdrToneMap() + filters;
        QStringList vf;
        if (!filters.isEmpty())
            vf << QStringLiteral("-vf") << filters.join(QLatin1Char(','));
        const QString preset = Options::rawValue(settings.speed);
        const double q = settings.videoQuality;
        const bool crop = !suffix.isEmpty();

        if (settings.makeH264 && EncoderRules::canWrite(EncoderRules::Rendition::h264, caps)) {
            add(crop ? QStringLiteral("MP4") + dot + suffix
                     : QStringLiteral("MP4") + dot + QStringLiteral("H.264"),
                suffix, QStringLiteral("mp4"),
                CommandBuilder::header(item.url, true) + vf +
                    QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                QStringLiteral("-preset"), preset, QStringLiteral("-crf"),
                                QString::number(EncoderRules::h264Crf(q)),
                                QStringLiteral("-profile:v"), QStringLiteral("high"),
                                QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                QStringLiteral("-movflags"), QStringLiteral("+faststart")} +
                    CommandBuilder::audioArguments(item, settings, QStringLiteral("aac")),
                item.duration);
        }
        if (settings.makeHEVC && EncoderRules::canWrite(EncoderRules::Rendition::hevc, caps)) {
            const QString hevc = QStringLiteral("MP4") + dot + QStringLiteral("HEVC");
            add(crop ? hevc + dot + suffix : hevc,
                crop ? suffix + QStringLiteral("-hevc") : QStringLiteral("hevc"),
                QStringLiteral("mp4"),
                CommandBuilder::header(item.url, true) + vf +
                    QStringList{QStringLiteral("-c:v"), QStringLiteral("libx265"),
                                QStringLiteral("-preset"), preset, QStringLiteral("-crf"),
                                QString::number(CommandBuilder::crf(q, 20, 36)),
                                QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                QStringLiteral("-tag:v"), QStringLiteral("hvc1"),
                                QStringLiteral("-movflags"), QStringLiteral("+faststart")} +
                    CommandBuilder::audioArguments(item, settings, QStringLiteral("aac")),
                item.duration);
        }
        if (settings.makeWebM && EncoderRules::canWrite(EncoderRules::Rendition::webm, caps)) {
            const QString audioCodec =
                caps.has("libopus") ? QStringLiteral("libopus") : QStringLiteral("libvorbis");
            add(QStringLiteral("WebM") + dot + (crop ? suffix : QStringLiteral("VP9")), suffix,
                QStringLiteral("webm"),
                CommandBuilder::header(item.url, true) + vf +
                    QStringList{
                        QStringLiteral("-c:v"), QStringLiteral("libvpx-vp9"),
                        QStringLiteral("-crf"), QString::number(CommandBuilder::crf(q, 26, 44)),
                        QStringLiteral("-b:v"), QStringLiteral("0"), QStringLiteral("-row-mt"),
                        QStringLiteral("1"), QStringLiteral("-deadline"), QStringLiteral("good"),
                        QStringLiteral("-cpu-used"),
                        settings.speed == SpeedPreset::slow ? QStringLiteral("1")
                                                            : QStringLiteral("3"),
                        QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")} +
                    CommandBuilder::audioArguments(item, settings, audioCodec),
                item.duration);
        }
        if (includePoster && settings.makePoster)
            add(QStringLiteral("Poster frame"), QStringLiteral("poster"), QStringLiteral("jpg"),
                posterArguments(vf), 0, PlanPieces::jpegChroma(),
                {PostStep{PostStep::Kind::jpegRepack, false, false}});
    }

    QStringList posterArguments(const QStringList& vf) const {
        const double seek = item.duration > 0
                                ? item.posterTime.value_or(PosterFrame::usualTime(item.duration))
                                : 0.0;
        QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                              QStringLiteral("-y"), QStringLiteral("-loglevel"),
                              QStringLiteral("error")};
        // Before "-i", so ffmpeg seeks in the input instead of decoding up to the frame.
        if (seek > 0)
            arguments << QStringLiteral("-ss") << QString::number(seek, 'f', 3);
        arguments << QStringLiteral("-i") << PlanPieces::localPath(item.url) << vf
                  << QStringLiteral("-frames:v") << QStringLiteral("1") << QStringLiteral("-c:v")
                  << QStringLiteral("mjpeg") << QStringLiteral("-q:v") << QStringLiteral("3");
        return arguments;
    }
};

} // namespace

namespace CommandBuilder {

std::optional<CropWindow> cropWindow(const CropVariant& crop, qint64 width, qint64 height) {
    // A ratio with a term that is not positive has no window (or is not a number at all).
    if (width <= 0 || height <= 0 || crop.aspectW <= 0 || crop.aspectH <= 0)
        return std::nullopt;
    const double w = double(width);
    const double h = double(height);
    const double ratio = double(crop.aspectW) / double(crop.aspectH);
    CropWindow window;
    if (h < w / ratio) {
        window.width = PlanPieces::evenAtLeastTwo(qint64(ratio * h));
        window.height = PlanPieces::evenAtLeastTwo(height);
    } else {
        window.width = PlanPieces::evenAtLeastTwo(width);
        window.height = PlanPieces::evenAtLeastTwo(qint64(w / ratio));
    }
    const qint64 dx = width - window.width;
    const qint64 dy = height - window.height;
    auto place = [&window](qint64 x, qint64 y) {
        window.x = std::max<qint64>(x, 0);
        window.y = std::max<qint64>(y, 0);
    };
    switch (crop.anchor) {
    case CropAnchor::center:
        place(dx / 2, dy / 2);
        break;
    case CropAnchor::top:
        place(dx / 2, 0);
        break;
    case CropAnchor::bottom:
        place(dx / 2, dy);
        break;
    case CropAnchor::left:
        place(0, dy / 2);
        break;
    case CropAnchor::right:
        place(dx, dy / 2);
        break;
    }
    window.scaledWidth = PlanPieces::evenAtLeastTwo(std::min(crop.targetWidth, window.width));
    return window;
}

QList<PlannedOutput> videoPlan(const MediaItem& item, const TersioSettings& settings,
                               const EncoderCaps& caps, const QUrl& directory) {
    VideoPlanner planner{item, settings, caps, directory, stem(item.url), {}};

    QStringList fullFrame;
    if (settings.videoLimitWidth && settings.videoMaxWidth > 0 &&
        (item.width == 0 || item.width > settings.videoMaxWidth))
        fullFrame << PlanPieces::scaleFilter(PlanPieces::evenAtLeastTwo(settings.videoMaxWidth));
    planner.addRenditions(fullFrame, QString(), true);

    for (const CropVariant& crop : settings.activeCrops()) {
        const auto window = cropWindow(crop, item.width, item.height);
        if (!window)
            continue;
        const QStringList filters{QStringLiteral("crop=%1:%2:%3:%4")
                                      .arg(window->width)
                                      .arg(window->height)
                                      .arg(window->x)
                                      .arg(window->y),
                                  PlanPieces::scaleFilter(window->scaledWidth)};
        planner.addRenditions(filters, crop.ratioText(), false);
    }
    return planner.result;
}

} // namespace CommandBuilder
