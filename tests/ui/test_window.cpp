#include "PhotoSources.h"
#include "TestSupport.h"
#include "UiFixture.h"
#include "planning/CommandBuilder.h"

#include <QAccessible>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using UiFixture::shown;

// The whole window over a real model: what it shows follows the model, and what the user does
// reaches it.
class TestWindow : public QObject {
    Q_OBJECT

    static QString textOf(const QQuickItem* item) {
        return item ? item->property("text").toString() : u"<missing>"_s;
    }
    // Present in the window but not drawn.
    static bool hidden(const UiFixture::Window& window, const QString& name) {
        const QQuickItem* item = window.find(name);
        return item && !shown(item);
    }
    static void click(const UiFixture::Window& window, const QQuickItem* item) {
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window.window(), Qt::LeftButton, {}, centre.toPoint());
    }
    static void type(const UiFixture::Window& window, const QString& text) {
        for (QChar c : text)
            QTest::keyClick(window.window(), c.toLatin1());
    }
    // The texts of the visible items with that objectName, in tree order.
    static QStringList visibleTexts(const UiFixture::Window& window, const QString& name) {
        QStringList texts;
        for (QQuickItem* item : visible(window, name))
            texts << textOf(item);
        return texts;
    }
    static QList<QQuickItem*> visible(const UiFixture::Window& window, const QString& name) {
        QList<QQuickItem*> result = window.findAll(name);
        result.removeIf([](QQuickItem* item) { return !shown(item); });
        return result;
    }
  private slots:
    void initTestCase() { UiFixture::prepareApplication(); }

    // The header, the badge and the run button follow the model; their words are ViewText's.
    void headerAndRunButtonFollowTheModel() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        auto* subhead = window.find(u"subhead"_s);
        auto* run = window.find(u"runButton"_s);
        QVERIFY(!run->isEnabled());
        QVERIFY(visible(window, u"badge"_s).isEmpty());

        const auto items = UiFixture::everyStatus();
        model->queue()->append(items[0]);
        model->queue()->append(items[3]);
        QCOMPARE(textOf(window.find(u"headline"_s)), u"2 files loaded"_s);
        QCOMPARE(textOf(subhead), u"1.5 MB saved this session"_s);
        QCOMPARE(textOf(run), u"Optimise 1"_s);
        QVERIFY(run->isEnabled());
        QCOMPARE(window.find(u"doneMetric"_s)->property("value").toString(), u"1"_s);
        const auto badges = visible(window, u"badge"_s);
        QCOMPARE(badges.size(), 1);
        QCOMPARE(textOf(badges.first()), u"2"_s);
        QVERIFY(window.find(u"nav_media"_s)->isAncestorOf(badges.first()));

        // Missing tools outrank everything and keep the button disabled.
        model->setTools(std::nullopt, EncoderCaps{});
        QCOMPARE(textOf(subhead), u"FFmpeg needs to be installed first."_s);
        QVERIFY(!run->isEnabled());
        QVERIFY(hidden(window, u"stopButton"_s));
    }

    void queueRowsShowEveryStatus() {
        auto model = UiFixture::makeModel(true);
        UiFixture::appendEveryStatus(*model);
        UiFixture::Window window(*model);
        window.window()->resize(1060, 1400);
        window.settle();
        QCOMPARE(visibleTexts(window, u"statusPill"_s),
                 (QStringList{u"Queued"_s, u"Reading"_s, u"Optimising"_s, u"60% smaller"_s,
                              u"Done"_s, u"Failed"_s, u"Stopped"_s}));
        QCOMPARE(visibleTexts(window, u"progressCaption"_s),
                 (QStringList{u"Reading \u00B7 0%"_s,
                              u"MP4 \u00B7 H.264, WebM \u00B7 VP9 +5 \u00B7 40%"_s}));
        const auto failures = visible(window, u"failureText"_s);
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.first()->property("lineCount").toInt(), 3);
        QVERIFY(failures.first()->property("truncated").toBool());
        QCOMPARE(visible(window, u"results"_s).size(), 2); // both done items
        QVERIFY(visibleTexts(window, u"metaLine"_s).at(5).endsWith(u"60:00"_s));

        // Each row's remove button removes that row's item.
        const auto removes = visible(window, u"removeButton"_s);
        click(window, removes.at(2));
        QCOMPARE(model->itemCount(), 6);
        for (const MediaItem& item : model->items())
            QVERIFY(item.url.fileName() != u"launch-teaser.mp4"_s);
    }

    // The row's picture comes from the worker-thread provider, whatever the file is called.
    void thumbnailArrivesForAnAwkwardPath() {
        QTemporaryDir dir;
        QImage picture(400, 200, QImage::Format_RGB32);
        picture.fill(Qt::green);
        MediaItem item = UiFixture::everyStatus().first();
        item.url = QUrl::fromLocalFile(dir.filePath(u"summer #2 100% ünïcode.png"_s));
        QVERIFY(picture.save(item.url.toLocalFile()));
        auto model = UiFixture::makeModel(true);
        model->queue()->append(item);
        UiFixture::Window window(*model);
        QTRY_COMPARE(window.find(u"thumbnailImage"_s)->property("status").toInt(), 1); // Ready
        QCOMPARE(window.find(u"thumbnailImage"_s)->property("sourceSize").toSize(), QSize(128, 64));
    }

    // Dropped files and folders all reach the model; the highlight follows the drag.
    void dropAddsEveryUrl() {
        QTemporaryDir dir;
        for (const char* name : {"a.jpg", "b.mp4", "shoot/c.png", "shoot/d.webm"})
            QVERIFY(TestSupport::writeFile(dir.filePath(QLatin1String(name)), "not really media"));
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        QQuickItem* queue = window.find(u"queueView"_s);
        const QPoint inside =
            queue->mapToScene(QPointF(queue->width() / 2, queue->height() / 2)).toPoint();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir.filePath(u"a.jpg"_s)),
                      QUrl::fromLocalFile(dir.filePath(u"b.mp4"_s)),
                      QUrl::fromLocalFile(dir.filePath(u"shoot"_s))});
        QDragEnterEvent enter(inside, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.window(), &enter);
        QDragMoveEvent move(inside, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.window(), &move);
        QVERIFY(queue->property("isTargeted").toBool());
        QVERIFY(shown(window.find(u"dropHighlight"_s)));
        QDropEvent drop(inside, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.window(), &drop);
        QVERIFY(!queue->property("isTargeted").toBool());
        QVERIFY(hidden(window, u"dropHighlight"_s));
        QCOMPARE(model->itemCount(), 4);
    }

    void updateAlertsShowTheCheckersWords() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        emit window.updates().alertRequested(
            u"update"_s, u"Update Available"_s, u"Version 9.0 is available.\n\nFaster."_s,
            {u"Download"_s, u"Later"_s}, u"https://example.invalid/get"_s);
        window.settle();
        QCOMPARE(textOf(window.find(u"alertTitle"_s)), u"Update Available"_s);
        QCOMPARE(textOf(window.find(u"alertText"_s)), u"Version 9.0 is available.\n\nFaster."_s);
        auto* download = window.find(u"defaultButton"_s);
        QCOMPARE(textOf(download), u"Download"_s);
        const auto buttons = visible(window, QString());
        const auto later = *std::find_if(buttons.begin(), buttons.end(),
                                         [](QQuickItem* b) { return textOf(b) == u"Later"_s; });
        QVERIFY(later->mapToScene({0, 0}).x() < download->mapToScene({0, 0}).x());
        click(window, later);
        window.settle();
        QVERIFY(!shown(window.find(u"alertTitle"_s))); // a closed popup leaves the tree
    }

    // Tab walks every control of the window, and each one tells a screen reader its name.
    void everyControlIsReachableAndNamed() {
        auto model = UiFixture::makeModel(true);
        EncoderCaps withoutWebP = UiFixture::debianCaps();
        withoutWebP.names.remove(u"libwebp"_s);
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, withoutWebP);
        model->queue()->append(UiFixture::everyStatus().at(3));
        model->queue()->append(UiFixture::everyStatus().at(0));
        model->setTab(u"image"_s);
        UiFixture::Window window(*model);
        QQuickWindow* w = window.window();
        w->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QStringList names;
        QSet<QQuickItem*> seen;
        for (int i = 0; i < 80; ++i) {
            QTest::keyClick(w, Qt::Key_Tab);
            QQuickItem* focused = w->activeFocusItem();
            QVERIFY(focused);
            if (seen.contains(focused))
                break;
            seen.insert(focused);
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(focused);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(),
                     focused->metaObject()->className());
            names << accessible->text(QAccessible::Name);
        }
        for (const QString& expected :
             {u"Media, 2"_s, u"Output"_s, u"Locate\u2026"_s, u"Recheck"_s, u"Remove from queue"_s,
              u"Show JPEG in the file manager"_s, u"Optimise 1"_s, u"Format"_s, u"Quality"_s,
              u"Cap the width"_s, u"Maximum width"_s, u"Strip metadata"_s})
            QVERIFY2(names.contains(expected),
                     qPrintable(expected + u" not in "_s + names.join(u", ")));
        // A disabled switch is passed over rather than being a stop that does nothing.
        QVERIFY(!names.contains(u"Also write a WebP copy"_s));
    }

    void selectingATabShowsItsPanel() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        auto* video = window.find(u"nav_video"_s);
        click(window, video);
        QCOMPARE(model->tab(), u"video"_s);
        const auto markers = visible(window, u"selectionMarker"_s);
        QCOMPARE(markers.size(), 1);
        QVERIFY(video->isAncestorOf(markers.first()));
        QCOMPARE(textOf(window.find(u"inspectorTitle"_s)), u"Video"_s);
        QVERIFY(shown(window.find(u"audioBitrate"_s)));
        SettingsModel* settings = model->settingsModel();
        settings->setAudio(u"remove"_s);
        QVERIFY(hidden(window, u"audioBitrate"_s));

        model->setTab(u"output"_s);
        QVERIFY(hidden(window, u"customFolderBlock"_s));
        settings->setOutputMode(u"customFolder"_s);
        settings->setCustomFolderPath(u"/srv/web/media"_s);
        QVERIFY(hidden(window, u"subfolderRow"_s));
        QCOMPARE(textOf(window.find(u"customFolderPath"_s)), u"/srv/web/media"_s);

        model->setTab(u"image"_s);
        settings->setImageLimitWidth(false);
        QVERIFY(hidden(window, u"imageMaxWidth"_s));
        settings->setImageLimitWidth(true);
        settings->setImageFormat(u"webp"_s);
        QVERIFY(hidden(window, u"webpWarning"_s));
        QVERIFY(window.find(u"webpCopyToggle"_s)->isEnabled());
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, EncoderCaps{});
        QVERIFY(shown(window.find(u"webpWarning"_s)));
        QVERIFY(!window.find(u"webpCopyToggle"_s)->isEnabled());
        settings->setImageFormat(u"avif"_s);
        QVERIFY(hidden(window, u"webpWarning"_s));
        QVERIFY(shown(window.find(u"avifWarning"_s)));

        // Letters typed into a number field never reach the stored width.
        auto* field = window.find(u"imageMaxWidth"_s);
        QQuickItem* input = nullptr;
        for (QQuickItem* candidate : window.findAll(u"numberInput"_s))
            if (field->isAncestorOf(candidate))
                input = candidate;
        QVERIFY(input);
        input->forceActiveFocus();
        QMetaObject::invokeMethod(input, "selectAll");
        type(window, u"wide"_s);
        QCOMPARE(model->settings().imageMaxWidth, 2400);
        QMetaObject::invokeMethod(input, "selectAll");
        type(window, u"1600"_s);
        QCOMPARE(model->settings().imageMaxWidth, 1600);
    }

    void cropsAreAddedAndDeletedById() {
        TersioSettings settings;
        settings.cropVariants = {
            CropVariant::make(u"Story"_s, 9, 16, 1080, CropAnchor::center, true),
            CropVariant::make(u"Story"_s, 4, 5, 1080, CropAnchor::top, false)};
        auto model = UiFixture::makeModel(true);
        model->setSettings(settings);
        model->setTab(u"crops"_s);
        UiFixture::Window window(*model);
        const auto rows = window.findAll(u"deleteCrop"_s);
        QCOMPARE(rows.size(), 2);
        click(window, rows.at(1));
        QCOMPARE(model->settings().cropVariants.size(), 1);
        QCOMPARE(model->settings().cropVariants.first().id, settings.cropVariants.first().id);

        click(window, window.find(u"addCrop"_s));
        window.settle();
        const auto crops = model->settings().cropVariants;
        QVERIFY(crops.size() == 2 && crops.last().id != crops.first().id);
        QCOMPARE(window.findAll(u"deleteCrop"_s).size(), 2);
    }

    // Opened from a result line, driven from the keyboard, closed with Escape.
    void compareView() {
        QTemporaryDir dir;
        MediaItem item = UiFixture::everyStatus().at(3); // done: a JPEG and a WebP, smaller
        item.url = QUrl::fromLocalFile(dir.filePath(u"portrait.png"_s));
        const QImage picture = PhotoSources::quadrants(QSize(240, 300));
        QVERIFY(picture.save(item.url.toLocalFile()));
        item.outputs[0].url = QUrl::fromLocalFile(dir.filePath(u"portrait.jpg"_s));
        QVERIFY(picture.scaled(120, 150).save(item.outputs[0].url.toLocalFile()));
        auto model = UiFixture::makeModel(true);
        model->queue()->append(item);
        UiFixture::Window window(*model);
        QQuickWindow* w = window.window();
        w->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(w));

        QQuickItem* button = window.find(u"compareButton"_s);
        click(window, button);
        QVERIFY(shown(window.find(u"compareView"_s)));
        QVERIFY(!shown(window.find(u"queueList"_s)));
        QCOMPARE(textOf(window.find(u"compareCaption"_s)),
                 u"Original 2.5 MB  \u00B7  JPEG 1 MB  \u00B7  60% smaller"_s);
        const QQuickItem* divider = window.find(u"compareDivider"_s);
        QTRY_VERIFY(shown(divider)); // both pictures decoded
        // The output, drawn at the source's size, covers the original exactly.
        const QQuickItem* original = window.find(u"compareOriginal"_s);
        const QQuickItem* output = window.find(u"compareOutput"_s);
        QCOMPARE(output->mapRectToScene(output->boundingRect()),
                 original->mapRectToScene(original->boundingRect()));

        const qreal middle = divider->x();
        QTest::keyClick(w, Qt::Key_Right);
        QVERIFY(divider->x() > middle);
        QTest::keyClick(w, Qt::Key_Left);
        QCOMPARE(divider->x(), middle);
        QTest::keyClick(w, Qt::Key_Plus); // the 240 × 300 picture fits at 100%
        QCOMPARE(textOf(window.find(u"zoomText"_s)), u"150%"_s);
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!shown(window.find(u"compareView"_s)));
        QVERIFY(shown(window.find(u"queueList"_s)));
        QCOMPARE(w->activeFocusItem(), button);
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
