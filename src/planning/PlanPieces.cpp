#include "PlanPieces.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace PlanPieces {

QString localPath(const QUrl& url) {
    const QString path = url.toLocalFile();
    return QDir::isRelativePath(path) ? QDir::current().absoluteFilePath(path) : path;
}

QString extension(const QUrl& url) {
    const QString name = QFileInfo(url.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1).toLower() : QString();
}

qint64 evenAtLeastTwo(qint64 value) {
    return std::max<qint64>(value, 2) & ~qint64(1);
}

qint64 roundHalfAway(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = std::trunc(value + std::copysign(0.49999999999999994, value));
    constexpr double low = std::numeric_limits<int>::min();
    constexpr double high = std::numeric_limits<int>::max();
    return static_cast<qint64>(std::clamp(rounded, low, high));
}

QString scaleFilter(qint64 width) {
    return QStringLiteral("scale=%1:-2:flags=lanczos").arg(width);
}

QStringList hdrToneMap() {
    return {QStringLiteral("zscale=t=linear:npl=100"),
            QStringLiteral("format=gbrpf32le"),
            QStringLiteral("zscale=p=bt709"),
            QStringLiteral("tonemap=tonemap=hable:desat=0"),
            QStringLiteral("zscale=t=bt709:m=bt709:r=tv"),
            QStringLiteral("format=yuv420p")};
}

QStringList jpegChroma() {
    return {QStringLiteral("-pix_fmt"), QStringLiteral("yuvj420p")};
}

QString noPaletteToPlanar() {
    return QStringLiteral("noformat=pix_fmts=pal8|gbrp|gbrap");
}

// A white copy of the frame itself (rather than a colour source sized by scale2ref) keeps the
// sample aspect ratio, and drawbox crashes on RGBA in ffmpeg 5.1.
QString flattenOntoWhite() {
    return QStringLiteral("format=rgba,split[bg][fg];[bg]lutrgb=r=255:g=255:b=255:a=255[white];"
                          "[white][fg]overlay=format=auto");
}

QStringList literalNameArguments(const QString& destinationPath) {
    if (!QFileInfo(destinationPath).fileName().contains(QLatin1Char('%')))
        return {};
    const QString ext = extension(QUrl::fromLocalFile(destinationPath));
    if (ext == QLatin1String("jpg") || ext == QLatin1String("png"))
        return {QStringLiteral("-update"), QStringLiteral("1")};
    if (ext == QLatin1String("webp"))
        return {QStringLiteral("-f"), QStringLiteral("webp")};
    return {};
}

} // namespace PlanPieces
