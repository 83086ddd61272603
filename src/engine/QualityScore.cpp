#include "QualityScore.h"

#include "engine/PackSteps.h"

#include "planning/FusedArguments.h"
#include "planning/PlanPieces.h"
#include "planning/ScoreReference.h"

#include "tools/ImageSsim.h"
#include "tools/JpegRgb.h"
#include "tools/RgbPlanes.h"
#include "tools/SourcePreparer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>
#include <future>

namespace QualityScore {

namespace {

// Frames of a video output at even steps of its length, numbered alike on both sides so that
// ssim pairs them; a still passes as it is.
QString sampling(double duration) {
    if (!(duration > 0))
        return {};
    const double step = duration / double(maxVideoFrames);
    return QStringLiteral("setpts=PTS-STARTPTS,select='isnan(prev_selected_t)+gte(t-prev_selected_"
                          "t,%1)',setpts=N/TB")
        .arg(step, 0, 'f', 3);
}

// ffmpeg reads "%d" in an image file name as a frame number unless told otherwise.
QStringList literalInput(const QString& path) {
    const QString ext = PlanPieces::extension(QUrl::fromLocalFile(path));
    if (ext == QLatin1String("jpg") || ext == QLatin1String("png") || ext == QLatin1String("webp"))
        return {QStringLiteral("-f"), QStringLiteral("image2"), QStringLiteral("-pattern_type"),
                QStringLiteral("none")};
    return {};
}

// The reference of a JPEG output as the score compares it: the one its encode wrote, or else the
// source itself where that is the reference (its prepared copy, or the JPEG decoded as ffmpeg
// would); null when neither is to hand.
RgbPlanes referenceOf(const PlannedOutput& output, const Request& request) {
    if (!request.reference.isEmpty())
        return RgbPlanes::readFits(request.reference);
    if (!ScoreReference::sourceServes(output, request.alpha))
        return {};
    if (!request.readPath.isEmpty())
        return RgbPlanes::fromImage(SourcePreparer::readPam(request.readPath));
    const FusedArguments::Parsed parsed = FusedArguments::parse(output);
    // ffmpeg turns a JPEG by its EXIF orientation as it reads it; it then measures.
    if (!PackSteps::storedUpright(parsed.source))
        return {};
    QFile source(parsed.source);
    return source.open(QIODevice::ReadOnly) ? JpegRgb::decode(source.readAll()) : RgbPlanes{};
}

// A JPEG against its reference, taken here: the same figure as ffmpeg's (see JpegRgb) without the
// cost of starting it, which is most of what a score costs. No value when the files cannot be
// read that way; ffmpeg then measures.
std::optional<double> jpegInProcess(const PlannedOutput& output, const Request& request) {
    if (request.duration > 0 ||
        PlanPieces::extension(QUrl::fromLocalFile(request.written)) != QLatin1String("jpg"))
        return std::nullopt;
    QFile written(request.written);
    if (!written.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The two decodes side by side: each starts with a stretch on one core.
    auto referenceRead = std::async(std::launch::async,
                                    [&output, &request] { return referenceOf(output, request); });
    const RgbPlanes decoded = JpegRgb::decode(written.readAll());
    const RgbPlanes reference = referenceRead.get();
    if (reference.isNull())
        return std::nullopt;
    // On a small picture the few samples at its edges, which ffmpeg's scaler treats its own way,
    // would weigh in the figure.
    constexpr int smallest = 64;
    if (decoded.isNull() || decoded.width() < smallest || decoded.height() < smallest)
        return std::nullopt;
    return ImageSsim::rgb(reference.planes, decoded.planes);
}

} // namespace

QStringList arguments(const PlannedOutput& output, const Request& request) {
    const QStringList& planned = output.arguments;
    const qsizetype input = planned.indexOf(QStringLiteral("-i"));
    if (input < 0 || input + 2 >= planned.size())
        return {};

    // The planned input options (a poster's seek among them), without the progress stream.
    QStringList arguments = FusedArguments::withoutProgress(planned.mid(0, input));
    const QString pick = sampling(request.duration);
    QString reference;
    if (request.reference.isEmpty()) {
        arguments << QStringLiteral("-i")
                  << (request.readPath.isEmpty() ? planned.at(input + 1) : request.readPath);
        reference =
            QStringLiteral("[0:V:0]") + ScoreReference::filters(output, request.alpha, pick);
    } else {
        arguments << QStringLiteral("-f") << QStringLiteral("fits") << QStringLiteral("-i")
                  << request.reference;
        reference = QStringLiteral("[0:V:0]format=gbrp");
    }
    arguments << literalInput(request.written) << QStringLiteral("-i") << request.written;

    // The written side's labels get a prefix of their own: the reference may flatten too.
    QStringList written;
    if (request.alpha)
        written << PlanPieces::flattenOntoWhite().replace(QStringLiteral("["),
                                                          QStringLiteral("[w_"));
    else
        written << PlanPieces::noPaletteToPlanar();
    if (!pick.isEmpty())
        written << pick;
    written << QStringLiteral("format=gbrp");
    // Statistics go to standard error: the job reads standard output for progress.
    arguments << QStringLiteral("-filter_complex")
              << reference + QStringLiteral("[ref];[1:V:0]") + written.join(QLatin1Char(',')) +
                     QStringLiteral("[out];[ref][out]ssim=stats_file=/dev/stderr")
              << QStringLiteral("-frames:v")
              << QString::number(request.duration > 0 ? maxVideoFrames : 1) << QStringLiteral("-f")
              << QStringLiteral("null") << QStringLiteral("-");
    return arguments;
}

std::optional<double> meanAll(const QString& statistics) {
    static const QRegularExpression all(QStringLiteral("^n:\\d+ .*All:([0-9.]+)"),
                                        QRegularExpression::MultilineOption);
    double sum = 0;
    int count = 0;
    for (auto it = all.globalMatch(statistics); it.hasNext();) {
        bool ok = false;
        const double value = it.next().captured(1).toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return std::nullopt;
        sum += value;
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    return sum / double(count);
}

std::optional<double> measure(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
                              const Request& request) {
    if (const auto score = jpegInProcess(output, request))
        return score;
    const QStringList args = arguments(output, request);
    if (args.isEmpty() || !QFileInfo::exists(request.written))
        return std::nullopt;
    const ShellResult result = job.run(ffmpeg, args, 0, {});
    if (result.status != 0)
        return std::nullopt;
    return meanAll(result.stderrText);
}

QString text(double score) {
    return QString::number(std::floor(score * 1000.0 + 1e-6) / 1000.0, 'f', 3);
}

} // namespace QualityScore
