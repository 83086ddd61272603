// Writes a PNG of the real window, offscreen, in each state worth looking at, into the folder
// given (./screenshots by default); real pictures come from bench/fetch-sample-media.sh, the
// photograph of the compare view from bench/fetch-sample-photos.sh.

#include "UiFixture.h"
#include "engine/FactReader.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QQmlProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

// The folder a bench/fetch-sample-*.sh script prints; empty when it fails.
QString fetched(const QString& script) {
    QProcess fetch;
    fetch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fetch.start(QStringLiteral(TERSIO_SOURCE_DIR "/bench/") + script, {});
    fetch.waitForFinished(600000);
    return fetch.exitCode() == 0 ? QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed()
                                 : QString();
}

// Names of every length, so the list reuses rows for very different titles while scrolling.
void appendLongQueue(AppModel& model) {
    const QStringList names{
        u"a.png"_s,
        u"ui-dolphin-default.png"_s,
        u"ill-milkyway-portrait.png"_s,
        u"icon-adwaita-folder-pictures.png"_s,
        u"IMG_0001.JPG"_s,
        u"a-very-long-holiday-photo-name-from-the-second-week-at-dusk-v3.jpeg"_s,
        u"clip.mp4"_s};
    const auto every = UiFixture::everyStatus();
    const QList<MediaItem> kinds{every[0], every[3], every[5], every[6]};
    for (int i = 0; i < 300; ++i) {
        MediaItem item = kinds.at(i % kinds.size());
        item.id = QUuid::createUuid();
        item.url = QUrl::fromLocalFile(u"/srv/many/%1/%2"_s.arg(i).arg(names.at(i % names.size())));
        model.queue()->append(item);
    }
}

// A real photograph through a real run with the default settings, then its JPEG output beside it
// in the compare view: fitted, then at 200 % with the divider across the ladybird.
template <typename Save> bool compareShots(const QString& photo, const Save& save) {
    QTemporaryDir outputs;
    auto model = UiFixture::makeModel(true);
    model->settingsModel()->setOutputMode(u"customFolder"_s);
    model->settingsModel()->setCustomFolderPath(outputs.path());
    UiFixture::Window window(*model);
    model->add({QUrl::fromLocalFile(photo)});
    QSignalSpy finished(model.get(), &AppModel::runFinished);
    model->start();
    if (!finished.wait(120000) || model->items().first().outputs.isEmpty())
        return false;
    window.settle();
    QQuickItem* compare = window.find(u"compareButton"_s);
    const QPointF centre = compare->mapToScene({compare->width() / 2, compare->height() / 2});
    QTest::mouseClick(window.window(), Qt::LeftButton, {}, centre.toPoint());
    if (!QTest::qWaitFor([&] { return UiFixture::shown(window.find(u"compareDivider"_s)); }, 30000))
        return false;
    save(window, u"19-compare-fit"_s);
    QObject* viewport = window.window()->findChild<QObject*>(u"compareViewport"_s);
    const QRectF picture = viewport->property("picture").toRectF();
    const QPointF ladybird =
        picture.topLeft() + QPointF(0.70 * picture.width(), 0.52 * picture.height());
    const double factor = 2 / viewport->property("zoom").toDouble();
    QMetaObject::invokeMethod(viewport, "zoomBy", Q_ARG(double, factor), Q_ARG(QPointF, ladybird));
    QMetaObject::invokeMethod(viewport, "setDivider", Q_ARG(double, ladybird.x()));
    save(window, u"20-compare-200"_s);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);
    UiFixture::prepareApplication();

    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"screenshots"_s);
    QDir().mkpath(folder.path());
    bool ok = true;
    const auto save = [&](UiFixture::Window& window, const QString& name) {
        const QImage image = window.grab();
        const QString path = folder.filePath(name + u".png"_s);
        const bool saved = !image.isNull() && image.save(path);
        QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << '\n';
        ok &= saved;
    };

    {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        save(window, u"01-empty-tools-found"_s);
        auto* queueView = window.find(u"queueView"_s);
        QQmlProperty::write(queueView, u"isTargeted"_s, true);
        save(window, u"09-drop-highlight"_s);
        QQmlProperty::write(queueView, u"isTargeted"_s, false);
        QObject* about = window.window()->findChild<QObject*>(u"aboutDialog"_s);
        QMetaObject::invokeMethod(about, "open");
        save(window, u"12-about"_s);
        QMetaObject::invokeMethod(about, "close");
        emit window.updates().alertRequested(
            u"update"_s, u"Update Available"_s,
            u"Version 0.2.0 is available.\n\nFaster thumbnails and a calmer queue."_s,
            {u"Download"_s, u"Later"_s}, u"https://example.invalid/tersio"_s);
        save(window, u"13-update-alert"_s);
    }
    {
        // Keyboard focus on the second navigation button shows the focus ring.
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        window.window()->requestActivate();
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(window.window(), Qt::Key_Tab);
        save(window, u"14-keyboard-focus"_s);
        QQuickItem* choose = window.find(u"chooseFiles"_s);
        const QPointF centre = choose->mapToScene({choose->width() / 2, choose->height() / 2});
        QTest::mouseClick(window.window(), Qt::LeftButton, {}, centre.toPoint());
        save(window, u"15-add-media-menu"_s);
        QTest::keyClick(window.window(), Qt::Key_Escape);
        QTest::mouseClick(window.window(), Qt::LeftButton, {}, QPoint(30, 14)); // "Tersio"
        save(window, u"16-app-menu"_s);
    }
    {
        auto model = UiFixture::makeModel(false);
        UiFixture::Window window(*model);
        save(window, u"02-tools-missing"_s);
    }
    {
        auto model = UiFixture::makeModel(true);
        UiFixture::appendEveryStatus(*model);
        // Two rows get real pictures, so the thumbnail path is part of the render.
        QTemporaryDir pictures;
        for (int row : {0, 3}) {
            QImage image(600, 400, QImage::Format_RGB32);
            QPainter painter(&image);
            QLinearGradient sky(0, 0, 0, 400);
            sky.setColorAt(0, row == 0 ? QColor(0xF5, 0xB5, 0x44) : QColor(0x4C, 0x8D, 0xFF));
            sky.setColorAt(1, row == 0 ? QColor(0xF3, 0x70, 0x5A) : QColor(0x21, 0x25, 0x2D));
            painter.fillRect(image.rect(), sky);
            painter.end();
            const QString path = pictures.filePath(model->items().at(row).url.fileName());
            image.save(path);
            model->queue()->update(model->items().at(row).id,
                                   [&](MediaItem& item) { item.url = QUrl::fromLocalFile(path); });
        }
        UiFixture::Window window(*model);
        window.window()->resize(1060, 1100); // tall enough for every row at once
        save(window, u"03-every-status-tall"_s);
        window.window()->resize(1060, 680);
        save(window, u"03-every-status"_s);
        const QStringList tabs{u"media"_s, u"image"_s, u"video"_s, u"crops"_s, u"output"_s};
        for (int i = 0; i < tabs.size(); ++i) {
            model->setTab(tabs[i]);
            save(window, u"%1-inspector-%2"_s.arg(i + 4, 2, 10, QChar(u'0')).arg(tabs[i]));
        }
        model->setTab(u"image"_s);
        model->settingsModel()->setImageFormat(u"avif"_s);
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, EncoderCaps{});
        save(window, u"10-image-without-encoders"_s);
        model->setTab(u"output"_s);
        model->settingsModel()->setOutputMode(u"customFolder"_s);
        save(window, u"11-output-custom-folder"_s);
    }
    {
        // Scored outputs, one of them short of its automatic target, beside the image panel
        // with the automatic quality on.
        auto model = UiFixture::makeModel(true);
        MediaItem done = UiFixture::everyStatus().at(3); // done: a JPEG and a WebP, smaller
        done.outputs[0].ssim = 0.962;
        done.outputs[0].quality = 64;
        done.outputs[1].ssim = 0.9712;
        done.outputs[1].quality = 100;
        done.outputs[1].note = u"Even quality 100 scores 0.971, short of the target 0.980."_s;
        model->queue()->append(done);
        model->settingsModel()->setImageQualityAuto(true);
        model->settingsModel()->setImageQualityTarget(u"same"_s);
        model->setTab(u"image"_s);
        UiFixture::Window window(*model);
        save(window, u"21-scores-and-automatic-quality"_s);
    }
    {
        auto model = UiFixture::makeModel(true);
        appendLongQueue(*model);
        UiFixture::Window window(*model);
        auto* list = window.find(u"queueList"_s);
        const QPoint middle(list->mapToScene({list->width() / 2, list->height() / 2}).toPoint());
        for (int step = 0; step < 40; ++step) {
            QWheelEvent wheel(middle, window.window()->mapToGlobal(middle), {}, {0, -360},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(window.window(), &wheel);
            window.settle();
        }
        save(window, u"17-scrolled-long-queue"_s);
    }
    if (const QString pictures = fetched(u"fetch-sample-media.sh"_s); !pictures.isEmpty()) {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        model->add({QUrl::fromLocalFile(pictures)});
        if (!QTest::qWaitFor([&] { return model->factReader()->outstanding() == 0; }, 120000))
            std::fprintf(stderr, "some pictures were still being read after two minutes\n");
        save(window, u"18-real-pictures-just-added"_s);
    } else {
        QTextStream(stdout) << "FAILED no sample pictures for 18-real-pictures-just-added\n";
        ok = false;
    }
    const QString photos = fetched(u"fetch-sample-photos.sh"_s);
    if (photos.isEmpty() || !compareShots(photos + u"/mate-nature-LadyBird.jpg"_s, save)) {
        QTextStream(stdout) << "FAILED the compare view's shots\n";
        ok = false;
    }
    return ok ? 0 : 1;
}
