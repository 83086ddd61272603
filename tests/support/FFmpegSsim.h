#pragma once

#include "tools/Shell.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <optional>

// ffmpeg's own ssim filter, the yardstick for the in-process one and for the benchmarks.
namespace FFmpegSsim {

// The lowest "All:" figure of ffmpeg's ssim statistics lines; no value without one.
inline std::optional<double> lowest(const QString& statistics) {
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

// R, G and B of two pictures of one size, both flattened onto white and, when `alpha`, onto
// black too: the lower figure. Pictures are made packed RGB(A) before anything else, and
// flattened by laying them over a plain copy: ffmpeg 5.1 gives a palette picture wrong colours,
// and moves alpha by a level here and there, when it makes planar RGB of them directly. The
// filter runs its C code: its x86 vector code gives other figures, up to 0.016 higher on
// pictures far apart.
inline std::optional<double> flattened(const QString& ffmpeg, const QString& reference,
                                       const QString& candidate, bool alpha) {
    // Input `n` flattened onto `value` (0 or 255) as planar RGB, labelled `out`.
    const auto onto = [](int n, int value, const QString& out) {
        return QStringLiteral("[%1:v]format=rgba,split[%3f][%3b];[%3b]lutrgb=r=%2:g=%2:b=%2:a=255"
                              "[%3g];[%3g][%3f]overlay=format=rgb,format=rgb24,format=gbrp[%3]")
            .arg(n)
            .arg(value)
            .arg(out);
    };
    QString graph = onto(0, 255, QStringLiteral("rw")) + QLatin1Char(';') +
                    onto(1, 255, QStringLiteral("cw")) +
                    QStringLiteral(";[rw][cw]ssim=stats_file=-[white]");
    if (alpha)
        graph += QLatin1Char(';') + onto(0, 0, QStringLiteral("rk")) + QLatin1Char(';') +
                 onto(1, 0, QStringLiteral("ck")) +
                 QStringLiteral(";[rk][ck]ssim=stats_file=-[black]");
    // "%" in a file name is a frame number to ffmpeg's image reader unless told otherwise.
    const QStringList literal{QStringLiteral("-f"), QStringLiteral("image2"),
                              QStringLiteral("-pattern_type"), QStringLiteral("none"),
                              QStringLiteral("-i")};
    QStringList arguments{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                          QStringLiteral("-loglevel"),    QStringLiteral("error"),
                          QStringLiteral("-cpuflags"),    QStringLiteral("0")};
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
    return lowest(result.stdoutText);
}

} // namespace FFmpegSsim
