#include "MediaItem.h"

#include <QFileInfo>
#include <QHashFunctions>

namespace MediaKinds {

QString rawValue(MediaKind kind) {
    return kind == MediaKind::image ? QStringLiteral("image") : QStringLiteral("video");
}

std::optional<MediaKind> fromRaw(const QString& raw) {
    if (raw == QLatin1String("image"))
        return MediaKind::image;
    if (raw == QLatin1String("video"))
        return MediaKind::video;
    return std::nullopt;
}

const QSet<QString>& imageExtensions() {
    static const QSet<QString> set{
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("png"),
        QStringLiteral("webp"), QStringLiteral("avif"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("tif"),  QStringLiteral("tiff"),
        QStringLiteral("bmp"),  QStringLiteral("gif"),
    };
    return set;
}

const QSet<QString>& videoExtensions() {
    static const QSet<QString> set{
        QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("m4v"), QStringLiteral("webm"),
        QStringLiteral("mkv"), QStringLiteral("avi"), QStringLiteral("mpg"), QStringLiteral("mpeg"),
        QStringLiteral("wmv"), QStringLiteral("flv"), QStringLiteral("mts"), QStringLiteral("m2ts"),
    };
    return set;
}

std::optional<MediaKind> kindForPath(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    const QString ext = name.mid(dot + 1).toLower();
    if (imageExtensions().contains(ext))
        return MediaKind::image;
    if (videoExtensions().contains(ext))
        return MediaKind::video;
    return std::nullopt;
}

} // namespace MediaKinds

QString ItemStatus::name() const {
    switch (value) {
    case Case::queued:
        return QStringLiteral("queued");
    case Case::reading:
        return QStringLiteral("reading");
    case Case::working:
        return QStringLiteral("working");
    case Case::done:
        return QStringLiteral("done");
    case Case::failed:
        return QStringLiteral("failed");
    case Case::cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

size_t qHash(const ProducedFile& file, size_t seed) {
    return qHashMulti(seed, file.id, file.label, file.url, file.bytes);
}

QString MediaItem::dimensionsLabel() const {
    if (width < 1 || height < 1)
        return QStringLiteral("\u2014");
    return QString::number(width) + QStringLiteral(" \u00D7 ") + QString::number(height);
}

std::optional<qint64> MediaItem::primaryOutputBytes() const {
    if (outputs.isEmpty())
        return std::nullopt;
    return outputs.first().bytes;
}
