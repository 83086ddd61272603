#include "UiFixture.h"

#include "UiSetup.h"

#include <QCoreApplication>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(TersioPlugin)

namespace UiFixture {

void prepareApplication() {
    QCoreApplication::setApplicationName(u"Tersio"_s);
    QCoreApplication::setOrganizationName(u"Veltrane"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(TERSIO_VERSION));
    UiSetup::applyStyle();
}

EncoderCaps debianCaps() {
    EncoderCaps caps;
    for (const char* name : {"libx264", "libx265", "libvpx-vp9", "libwebp", "libsvtav1",
                             "libaom-av1", "libopus", "mjpeg", "png", "aac"})
        caps.names.insert(QString::fromLatin1(name));
    return caps;
}

std::unique_ptr<AppModel> makeModel(bool withTools) {
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = TersioSettings{};
    auto model = std::make_unique<AppModel>(options);
    model->setTools(withTools
                        ? std::optional(FFmpegTools{u"/usr/bin/ffmpeg"_s, u"/usr/bin/ffprobe"_s})
                        : std::nullopt,
                    withTools ? debianCaps() : EncoderCaps{});
    return model;
}

QList<MediaItem> everyStatus() {
    const auto item = [](const QString& name, MediaKind kind, qint64 bytes, qint64 width,
                         qint64 height, double duration, ItemStatus status) {
        MediaItem media;
        media.url = QUrl::fromLocalFile(u"/srv/shoot/"_s + name);
        media.kind = kind;
        media.sourceBytes = bytes;
        media.width = width;
        media.height = height;
        media.duration = duration;
        media.status = status;
        media.progress = status == ItemStatus::done()      ? 1
                         : status == ItemStatus::working() ? 0.4
                                                           : 0;
        return media;
    };
    const auto produced = [](const QString& label, const QString& name, qint64 bytes) {
        return ProducedFile{.label = label,
                            .url = QUrl::fromLocalFile(u"/srv/shoot/optimised/"_s + name),
                            .bytes = bytes};
    };
    const auto image = MediaKind::image, video = MediaKind::video;
    QList<MediaItem> items{
        item(u"harbour-sunrise.jpg"_s, image, 4'820'000, 6000, 4000, 0, ItemStatus::queued()),
        item(u"drone-pass.mov"_s, video, 182'400'000, 0, 0, 0, ItemStatus::reading()),
        item(u"launch-teaser.mp4"_s, video, 96'300'000, 3840, 2160, 75.4, ItemStatus::working()),
        item(u"studio-portrait.png"_s, image, 2'500'000, 2400, 3000, 0, ItemStatus::done()),
        item(u"logo-mark.webp"_s, image, 18'000, 512, 512, 0, ItemStatus::done()),
        item(u"interview-raw-take-03.mkv"_s, video, 1'240'000'000, 1920, 1080, 3599.6,
             ItemStatus::failed(
                 u"Error while decoding stream #0:0: Invalid data found when processing input. "
                 "The file ends early, probably because the recording was interrupted before "
                 "the camera could finish writing it, so nothing after the first minutes can "
                 "be read or converted."_s)),
        item(u"b-roll-market.mp4"_s, video, 58'700'000, 1920, 1080, 42, ItemStatus::cancelled())};
    items[1].currentTask = u"Reading"_s;
    items[2].currentTask = u"MP4 \u00B7 H.264, WebM \u00B7 VP9 +5"_s;
    items[3].outputs = {produced(u"JPEG"_s, u"studio-portrait.jpg"_s, 1'000'000),
                        produced(u"WebP"_s, u"studio-portrait.webp"_s, 640'000)};
    items[4].outputs = {produced(u"WebP"_s, u"logo-mark.webp"_s, 21'000)};
    return items;
}

void appendEveryStatus(AppModel& model) {
    for (const MediaItem& media : everyStatus())
        model.queue()->append(media);
}

Window::Window(AppModel& model) {
    UiSetup::prepareEngine(engine_);
    engine_.setInitialProperties({{u"model"_s, QVariant::fromValue(&model)},
                                  {u"updates"_s, QVariant::fromValue(&updates_)}});
    engine_.load(QUrl(u"qrc:/Tersio/Main.qml"_s));
    if (!engine_.rootObjects().isEmpty())
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().constFirst());
    if (window_ && !QTest::qWaitForWindowExposed(window_))
        qWarning("the window was not shown within the wait");
}

QQuickItem* Window::find(const QString& objectName) const {
    const auto all = findAll(objectName);
    return all.isEmpty() ? nullptr : all.constFirst();
}

// Walks the visual tree: delegates of views and repeaters are not always QObject children.
QList<QQuickItem*> Window::findAll(const QString& objectName) const {
    QList<QQuickItem*> found;
    QList<QQuickItem*> pending;
    if (window_)
        pending << window_->contentItem();
    while (!pending.isEmpty()) {
        QQuickItem* item = pending.takeFirst();
        if (item->objectName() == objectName)
            found << item;
        pending << item->childItems();
    }
    return found;
}

void Window::settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

QImage Window::grab() {
    settle();
    return window_ ? window_->grabWindow() : QImage();
}

bool shown(const QQuickItem* item) {
    for (const QQuickItem* at = item; at; at = at->parentItem())
        if (!at->isVisible())
            return false;
    return item;
}

} // namespace UiFixture
