// Renders the real window offscreen in the states worth looking at and writes one PNG each.
// Usage: tersio_screenshots [output folder]   (default: ./screenshots)
// Real pictures for the "just added" render come from Debian packages through
// bench/fetch-sample-media.sh (cached in $TMPDIR).

#include "UiFixture.h"
#include "engine/FactReader.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QQmlProperty>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

bool save(UiFixture::Window& window, const QDir& folder, const QString& name) {
    const QImage image = window.grab();
    const QString path = folder.filePath(name + u".png"_s);
    const bool ok = !image.isNull() && image.save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

QString samplePictures() {
    QProcess fetch;
    fetch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fetch.start(QStringLiteral(TERSIO_SOURCE_DIR "/bench/fetch-sample-media.sh"), {});
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
    const QList<MediaItem> kinds{UiFixture::queuedItem(), UiFixture::doneSmallerItem(),
                                 UiFixture::failedItem(), UiFixture::cancelledItem()};
    for (int i = 0; i < 300; ++i) {
        MediaItem item = kinds.at(i % kinds.size());
        item.id = QUuid::createUuid();
        item.url = QUrl::fromLocalFile(u"/srv/many/%1/%2"_s.arg(i).arg(names.at(i % names.size())));
        model.queue()->append(item);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);
    UiFixture::prepareApplication();

    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"screenshots"_s);
    QDir().mkpath(folder.path());
    bool ok = true;

    {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        ok &= save(window, folder, u"01-empty-tools-found"_s);

        auto* queueView = window.find(u"queueView"_s);
        QQmlProperty::write(queueView, u"isTargeted"_s, true);
        ok &= save(window, folder, u"09-drop-highlight"_s);
        QQmlProperty::write(queueView, u"isTargeted"_s, false);

        QObject* about = window.window()->findChild<QObject*>(u"aboutDialog"_s);
        QMetaObject::invokeMethod(about, "open");
        ok &= save(window, folder, u"12-about"_s);
        QMetaObject::invokeMethod(about, "close");

        emit window.updates().alertRequested(
            u"update"_s, u"Update Available"_s,
            u"Version 0.2.0 is available.\n\nFaster thumbnails and a calmer queue."_s,
            {u"Download"_s, u"Later"_s}, u"https://example.invalid/tersio"_s);
        ok &= save(window, folder, u"13-update-alert"_s);
    }
    {
        // Keyboard focus on the second navigation button shows the focus ring.
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        window.window()->requestActivate();
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(window.window(), Qt::Key_Tab);
        ok &= save(window, folder, u"14-keyboard-focus"_s);

        QQuickItem* choose = window.find(u"chooseFiles"_s);
        const QPointF centre = choose->mapToScene({choose->width() / 2, choose->height() / 2});
        QTest::mouseClick(window.window(), Qt::LeftButton, {}, centre.toPoint());
        ok &= save(window, folder, u"15-add-media-menu"_s);
        QTest::keyClick(window.window(), Qt::Key_Escape);

        QTest::mouseClick(window.window(), Qt::LeftButton, {}, QPoint(30, 14)); // "Tersio"
        ok &= save(window, folder, u"16-app-menu"_s);
    }
    {
        auto model = UiFixture::makeModel(false);
        UiFixture::Window window(*model);
        ok &= save(window, folder, u"02-tools-missing"_s);
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
            const QUuid id = model->items().at(row).id;
            const QString path = pictures.filePath(model->items().at(row).url.fileName());
            image.save(path);
            model->queue()->update(id,
                                   [&](MediaItem& item) { item.url = QUrl::fromLocalFile(path); });
        }
        UiFixture::Window window(*model);
        window.window()->resize(1060, 1100); // tall enough for every row at once
        ok &= save(window, folder, u"03-every-status-tall"_s);
        window.window()->resize(1060, 680);
        ok &= save(window, folder, u"03-every-status"_s);

        const QStringList tabs{u"media"_s, u"image"_s, u"video"_s, u"crops"_s, u"output"_s};
        for (int i = 0; i < tabs.size(); ++i) {
            model->setTab(tabs[i]);
            ok &= save(window, folder,
                       u"%1-inspector-%2"_s.arg(i + 4, 2, 10, QChar(u'0')).arg(tabs[i]));
        }
        model->setTab(u"image"_s);
        model->settingsModel()->setImageFormat(u"avif"_s);
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, EncoderCaps{});
        ok &= save(window, folder, u"10-image-without-encoders"_s);
        model->setTab(u"output"_s);
        model->settingsModel()->setOutputMode(u"customFolder"_s);
        ok &= save(window, folder, u"11-output-custom-folder"_s);
    }
    {
        // Scored outputs, one of them short of its automatic target, beside the image panel
        // with the automatic quality on.
        auto model = UiFixture::makeModel(true);
        MediaItem done = UiFixture::doneSmallerItem();
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
        ok &= save(window, folder, u"19-scores-and-automatic-quality"_s);
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
        ok &= save(window, folder, u"17-scrolled-long-queue"_s);
    }
    if (const QString pictures = samplePictures(); !pictures.isEmpty()) {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        model->add({QUrl::fromLocalFile(pictures)});
        QTest::qWaitFor([&] { return model->factReader()->outstanding() == 0; }, 120000);
        ok &= save(window, folder, u"18-real-pictures-just-added"_s);
    } else {
        QTextStream(stdout) << "FAILED no sample pictures for 18-real-pictures-just-added\n";
        ok = false;
    }
    return ok ? 0 : 1;
}
