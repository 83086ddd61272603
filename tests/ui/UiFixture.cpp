#include "UiFixture.h"

#include "UiSetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
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
    if (withTools)
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, u"/usr/bin/ffprobe"_s}, debianCaps());
    else
        model->setTools(std::nullopt, EncoderCaps{});
    return model;
}

namespace {

MediaItem item(const QString& path, MediaKind kind, qint64 bytes, qint64 width, qint64 height,
               double duration = 0) {
    MediaItem media;
    media.url = QUrl::fromLocalFile(path);
    media.kind = kind;
    media.sourceBytes = bytes;
    media.width = width;
    media.height = height;
    media.duration = duration;
    return media;
}

ProducedFile produced(const QString& label, const QString& path, qint64 bytes) {
    ProducedFile file;
    file.label = label;
    file.url = QUrl::fromLocalFile(path);
    file.bytes = bytes;
    return file;
}

} // namespace

MediaItem queuedItem() {
    return item(u"/srv/shoot/harbour-sunrise.jpg"_s, MediaKind::image, 4'820'000, 6000, 4000);
}

MediaItem readingItem() {
    MediaItem media = item(u"/srv/shoot/drone-pass.mov"_s, MediaKind::video, 182'400'000, 0, 0);
    media.status = ItemStatus::reading();
    media.currentTask = u"Reading"_s;
    return media;
}

MediaItem workingItem() {
    MediaItem media =
        item(u"/srv/shoot/launch-teaser.mp4"_s, MediaKind::video, 96'300'000, 3840, 2160, 75.4);
    media.status = ItemStatus::working();
    media.progress = 0.4;
    media.currentTask = u"MP4 \u00B7 H.264, WebM \u00B7 VP9 +5"_s; // one process, seven outputs
    return media;
}

MediaItem doneSmallerItem() {
    MediaItem media =
        item(u"/srv/shoot/studio-portrait.png"_s, MediaKind::image, 2'500'000, 2400, 3000);
    media.status = ItemStatus::done();
    media.progress = 1;
    media.outputs = {produced(u"JPEG"_s, u"/srv/shoot/optimised/studio-portrait.jpg"_s, 1'000'000),
                     produced(u"WebP"_s, u"/srv/shoot/optimised/studio-portrait.webp"_s, 640'000)};
    return media;
}

MediaItem doneLargerItem() {
    MediaItem media = item(u"/srv/shoot/logo-mark.webp"_s, MediaKind::image, 18'000, 512, 512);
    media.status = ItemStatus::done();
    media.progress = 1;
    media.outputs = {produced(u"WebP"_s, u"/srv/shoot/optimised/logo-mark.webp"_s, 21'000)};
    return media;
}

MediaItem failedItem() {
    MediaItem media = item(u"/srv/shoot/interview-raw-take-03.mkv"_s, MediaKind::video,
                           1'240'000'000, 1920, 1080, 3599.6);
    media.status = ItemStatus::failed(
        u"Error while decoding stream #0:0: Invalid data found when processing input. The file "
        "ends early, probably because the recording was interrupted before the camera could "
        "finish writing it, so nothing after the first minutes can be read or converted."_s);
    return media;
}

MediaItem cancelledItem() {
    MediaItem media =
        item(u"/srv/shoot/b-roll-market.mp4"_s, MediaKind::video, 58'700'000, 1920, 1080, 42);
    media.status = ItemStatus::cancelled();
    return media;
}

void appendEveryStatus(AppModel& model) {
    for (const MediaItem& media : {queuedItem(), readingItem(), workingItem(), doneSmallerItem(),
                                   doneLargerItem(), failedItem(), cancelledItem()})
        model.queue()->append(media);
}

Window::Window(AppModel& model) {
    UiSetup::prepareEngine(engine_);
    engine_.setInitialProperties({{u"model"_s, QVariant::fromValue(&model)},
                                  {u"updates"_s, QVariant::fromValue(&updates_)}});
    engine_.load(QUrl(u"qrc:/Tersio/Main.qml"_s));
    if (!engine_.rootObjects().isEmpty())
        window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().constFirst());
    if (window_)
        QTest::qWaitForWindowExposed(window_);
}

Window::~Window() = default;

QQuickItem* Window::find(const QString& objectName) const {
    const auto all = findAll(objectName);
    return all.isEmpty() ? nullptr : all.constFirst();
}

QList<QQuickItem*> Window::findAll(const QString& objectName) const {
    if (!window_)
        return {};
    // Walk the visual tree: delegates of views and repeaters are not always QObject children.
    QList<QQuickItem*> found;
    QList<QQuickItem*> pending{window_->contentItem()};
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
    if (!item)
        return false;
    for (; item; item = item->parentItem())
        if (!item->isVisible())
            return false;
    return true;
}

} // namespace UiFixture
