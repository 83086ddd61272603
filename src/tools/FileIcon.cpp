#include "FileIcon.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QStringList themes{QStringLiteral("Adwaita"), QStringLiteral("hicolor")};
constexpr int iconSides[] = {16, 22, 24, 32, 48, 64, 96, 128, 256, 512};

QStringList iconNames(const QString& path, MediaKind kind) {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path);
    QStringList names;
    if (mime.isValid())
        names << mime.iconName() << mime.genericIconName();
    names << (kind == MediaKind::video ? QStringLiteral("video-x-generic")
                                       : QStringLiteral("image-x-generic"));
    names.removeAll(QString());
    names.removeDuplicates();
    return names;
}

// The smallest installed size that is at least as big as wanted, else the biggest one.
QString themeIconFile(const QString& name, int wantedSide) {
    const QStringList roots =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& root : roots) {
        for (const QString& theme : themes) {
            QString best;
            for (int side : iconSides) {
                const QString file = QStringLiteral("%1/icons/%2/%3x%3/mimetypes/%4.png")
                                         .arg(root, theme, QString::number(side), name);
                if (!QFileInfo::exists(file))
                    continue;
                best = file;
                if (side >= wantedSide)
                    break;
            }
            if (!best.isEmpty())
                return best;
        }
    }
    return {};
}

QImage fitted(const QImage& image, int maxSide) {
    if (image.width() <= maxSide && image.height() <= maxSide)
        return image;
    return image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

namespace FileIcon {

QImage forFile(const QString& path, MediaKind kind, int maxSide) {
    maxSide = std::max(1, maxSide);
    for (const QString& name : iconNames(path, kind)) {
        const QString file = themeIconFile(name, maxSide);
        if (file.isEmpty())
            continue;
        const QImage icon = QImageReader(file).read();
        if (!icon.isNull())
            return fitted(icon, maxSide);
    }
    return glyph(kind, maxSide);
}

QImage glyph(MediaKind kind, int maxSide) {
    const int side = std::max(1, maxSide);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0xb8, 0xbc, 0xc4);
    const qreal unit = side / 16.0;

    // A sheet of paper with its top right corner folded over.
    const QRectF page(3 * unit, 1 * unit, 10 * unit, 14 * unit);
    const qreal fold = 3 * unit;
    QPainterPath outline;
    outline.moveTo(page.topLeft());
    outline.lineTo(page.right() - fold, page.top());
    outline.lineTo(page.right(), page.top() + fold);
    outline.lineTo(page.bottomRight());
    outline.lineTo(page.bottomLeft());
    outline.closeSubpath();
    painter.fillPath(outline, QColor(0x3a, 0x3d, 0x44));
    painter.setPen(QPen(ink, std::max<qreal>(1, unit * 0.6)));
    painter.drawPath(outline);

    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const QPointF centre = page.center() + QPointF(0, unit);
    if (kind == MediaKind::video) {
        QPolygonF play;
        play << centre + QPointF(-2 * unit, -2.5 * unit) << centre + QPointF(2.5 * unit, 0)
             << centre + QPointF(-2 * unit, 2.5 * unit);
        painter.drawPolygon(play);
    } else {
        // Two hills under a sun: the usual sign for a picture.
        QPolygonF hills;
        hills << centre + QPointF(-3.5 * unit, 3 * unit) << centre + QPointF(-1 * unit, 0)
              << centre + QPointF(0.5 * unit, 1.5 * unit)
              << centre + QPointF(1.5 * unit, 0.5 * unit) << centre + QPointF(3.5 * unit, 3 * unit);
        painter.drawPolygon(hills);
        painter.drawEllipse(centre + QPointF(1.5 * unit, -2.5 * unit), unit, unit);
    }
    return image;
}

} // namespace FileIcon
