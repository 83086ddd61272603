#include "FileIcon.h"

#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <utility>

namespace {

// Theme icons are drawn once at this size at most, then scaled down for each request.
constexpr int renderedSide = 512;
// How long a worker waits for the main thread to look an icon up before it draws the glyph.
constexpr auto mainThreadWait = std::chrono::seconds(2);

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

// QIcon's theme lookup is neither thread-safe nor usable without a QGuiApplication, so only the
// main thread fills this; a null image records a name no installed theme has.
struct RenderedIcons {
    std::mutex lock;
    QHash<QString, QImage> byName;
};

RenderedIcons& rendered() {
    static RenderedIcons icons;
    return icons;
}

// The offscreen platform and a bare X server set no icon theme, or only hicolor, which has no
// file-type icons; Adwaita, where installed, stands in.
void adoptFallbackTheme() {
    static bool adopted = false;
    if (std::exchange(adopted, true))
        return;
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
    const QString fallback = QIcon::fallbackThemeName();
    if (fallback.isEmpty() || fallback == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& root :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (const QString icons = root + QStringLiteral("/icons"); !paths.contains(icons))
            paths << icons;
    QIcon::setThemeSearchPaths(paths);
}

// Main thread only: the smallest installed size of at least renderedSide, else the largest.
QImage render(const QString& name) {
    const QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull())
        return {};
    QSize pick(renderedSide, renderedSide);
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    if (!sizes.isEmpty()) {
        const auto fits = std::find_if(sizes.cbegin(), sizes.cend(),
                                       [](QSize s) { return s.width() >= renderedSide; });
        pick = fits != sizes.cend() ? *fits : sizes.last();
    }
    return icon.pixmap(pick, 1.0).toImage();
}

void renderMissing(const QStringList& names) {
    adoptFallbackTheme();
    for (const QString& name : names) {
        {
            const std::lock_guard guard(rendered().lock);
            if (rendered().byName.contains(name))
                continue;
        }
        const QImage image = render(name);
        const std::lock_guard guard(rendered().lock);
        rendered().byName.insert(name, image);
    }
}

bool allRendered(const QStringList& names) {
    const std::lock_guard guard(rendered().lock);
    return std::all_of(names.cbegin(), names.cend(),
                       [](const QString& name) { return rendered().byName.contains(name); });
}

// A worker hands the lookup to the main thread and waits a little; a main thread that is
// itself waiting for the worker lets the wait run out, and the worker goes on with what is known.
void renderOnMainThread(const QStringList& names) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    if (QThread::currentThread() == app->thread()) {
        renderMissing(names);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    QMetaObject::invokeMethod(
        app,
        [names, done] {
            renderMissing(names);
            done->set_value();
        },
        Qt::QueuedConnection);
    finished.wait_for(mainThreadWait);
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
    const QStringList names = iconNames(path, kind);
    if (!allRendered(names))
        renderOnMainThread(names);
    QImage icon;
    {
        const std::lock_guard guard(rendered().lock);
        for (const QString& name : names)
            if (icon = rendered().byName.value(name); !icon.isNull())
                break;
    }
    return icon.isNull() ? glyph(kind, maxSide) : fitted(icon, maxSide);
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
