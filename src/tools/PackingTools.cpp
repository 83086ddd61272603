#include "PackingTools.h"

#include "Shell.h"

#include <QRegularExpression>

#include <algorithm>

namespace PackingTools {

namespace {

QString failure(const QString& tool, const ShellResult& result) {
    const QStringList lines = result.stderrText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QStringLiteral("%1 exited with code %2.").arg(tool).arg(result.status)
                           : lines.last().trimmed();
}

// Flattening onto white is flattening the negative onto black, then negating back.
const QString ontoBlack = QStringLiteral("premultiply=inplace=1,format=gbrp");
const QString ontoWhite = QStringLiteral("lutrgb=r=negval:g=negval:b=negval,premultiply=inplace=1,"
                                         "lutrgb=r=negval:g=negval:b=negval,format=gbrp");

} // namespace

QString quantise(const QString& pngquant, const QString& input, const QString& output,
                 bool keepMetadata, bool alpha) {
    QStringList arguments{QStringLiteral("--force"), QStringLiteral("--output"), output};
    if (alpha)
        arguments << QStringLiteral("--nofs");
    if (!keepMetadata)
        arguments << QStringLiteral("--strip");
    arguments << QStringLiteral("--") << input;
    const ShellResult result = Shell::run(pngquant, arguments);
    return result.status == 0 ? QString() : failure(QStringLiteral("pngquant"), result);
}

QString squeeze(const QString& optipng, const QString& path) {
    const ShellResult result = Shell::run(
        optipng, {QStringLiteral("-quiet"), QStringLiteral("-o1"), QStringLiteral("--"), path});
    return result.status == 0 ? QString() : failure(QStringLiteral("optipng"), result);
}

std::optional<double> lowestSsim(const QString& statistics) {
    static const QRegularExpression all(QStringLiteral("All:([0-9.]+)"));
    std::optional<double> lowest;
    for (auto it = all.globalMatch(statistics); it.hasNext();) {
        bool ok = false;
        const double value = it.next().captured(1).toDouble(&ok);
        if (ok)
            lowest = lowest ? std::min(*lowest, value) : value;
    }
    return lowest;
}

std::optional<double> flattenedSsim(const QString& ffmpeg, const QString& reference,
                                    const QString& candidate, bool alpha) {
    QString graph;
    if (alpha)
        graph = QStringLiteral("[0:v]format=gbrap,split[rw][rk];[1:v]format=gbrap,split[cw][ck];"
                               "[rw]%1[rw2];[cw]%1[cw2];[rw2][cw2]ssim=stats_file=-[white];"
                               "[rk]%2[rk2];[ck]%2[ck2];[rk2][ck2]ssim=stats_file=-[black]")
                    .arg(ontoWhite, ontoBlack);
    else
        graph = QStringLiteral("[0:v]format=gbrp[r];[1:v]format=gbrp[c];"
                               "[r][c]ssim=stats_file=-[white]");
    // "%" in a file name is a frame number to ffmpeg's image reader unless told otherwise.
    const QStringList literal{QStringLiteral("-f"), QStringLiteral("image2"),
                              QStringLiteral("-pattern_type"), QStringLiteral("none"),
                              QStringLiteral("-i")};
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                          QStringLiteral("-loglevel"), QStringLiteral("error")};
    arguments << literal << reference << literal << candidate << QStringLiteral("-filter_complex")
              << graph << QStringLiteral("-map") << QStringLiteral("[white]")
              << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
    if (alpha)
        arguments << QStringLiteral("-map") << QStringLiteral("[black]") << QStringLiteral("-f")
                  << QStringLiteral("null") << QStringLiteral("-");
    const ShellResult result = Shell::run(ffmpeg, arguments);
    if (result.status != 0)
        return std::nullopt;
    const QStringList lines = result.stdoutText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() != (alpha ? 2 : 1))
        return std::nullopt;
    return lowestSsim(result.stdoutText);
}

} // namespace PackingTools
