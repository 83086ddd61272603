#include "QualityScore.h"

#include "planning/FusedArguments.h"
#include "planning/PlanPieces.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace QualityScore {

namespace {

// Labels inside a chain (the flattening names its branches) made unique to one side.
QString labelled(QString chain, const QString& side) {
    static const QRegularExpression label(QStringLiteral("\\[([A-Za-z0-9_]+)\\]"));
    return chain.replace(label, QStringLiteral("[%1_\\1]").arg(side));
}

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

QString join(const QStringList& filters) {
    QStringList kept;
    for (const QString& filter : filters)
        if (!filter.isEmpty())
            kept << filter;
    return kept.join(QLatin1Char(','));
}

} // namespace

QStringList arguments(const PlannedOutput& output, const Request& request) {
    const QStringList& planned = output.arguments;
    const qsizetype input = planned.indexOf(QStringLiteral("-i"));
    if (input < 0 || input + 2 >= planned.size())
        return {};
    QString chain;
    const qsizetype vf = planned.indexOf(QStringLiteral("-vf"), input);
    if (vf > 0 && vf + 1 < planned.size() - 1)
        chain = planned.at(vf + 1);

    // The planned input options (a poster's seek among them), without the progress stream.
    QStringList arguments = FusedArguments::withoutProgress(planned.mid(0, input));
    arguments << QStringLiteral("-i")
              << (request.readPath.isEmpty() ? planned.at(input + 1) : request.readPath);
    arguments << literalInput(request.written) << QStringLiteral("-i") << request.written;

    // Each piece's own labels get a prefix of their own: the planned chain may flatten too.
    const QString flatten = request.alpha ? PlanPieces::flattenOntoWhite() : QString();
    const QString pick = sampling(request.duration);
    const QString toRgb = QStringLiteral("format=gbrp");
    const QString reference = QStringLiteral("[0:V:0]") +
                              join({labelled(chain, QStringLiteral("p")),
                                    labelled(flatten, QStringLiteral("r")), pick, toRgb}) +
                              QStringLiteral("[ref]");
    const QString written = QStringLiteral("[1:V:0]") +
                            join({labelled(flatten, QStringLiteral("w")), pick, toRgb}) +
                            QStringLiteral("[out]");
    // Statistics go to standard error: the job reads standard output for progress.
    arguments << QStringLiteral("-filter_complex")
              << reference + QLatin1Char(';') + written +
                     QStringLiteral(";[ref][out]ssim=stats_file=/dev/stderr")
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
    const QStringList args = arguments(output, request);
    if (args.isEmpty() || !QFileInfo::exists(request.written))
        return std::nullopt;
    const ShellResult result = job.run(ffmpeg, args, 0, {});
    if (result.status != 0)
        return std::nullopt;
    return meanAll(result.stderrText);
}

} // namespace QualityScore
