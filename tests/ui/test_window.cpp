#include "TestSupport.h"
#include "WindowTest.h"

using TestSupport::row;

using namespace WindowTest;

class TestWindow : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { UiFixture::prepareApplication(); }

    // The header and the run button follow the model; their words are ViewText's.
    void headerAndRunButtonFollowTheModel() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        QCOMPARE(window.window()->minimumSize(), QSize(1060, 680));
        auto* headline = window.find(u"headline"_s);
        auto* subhead = window.find(u"subhead"_s);
        auto* run = window.find(u"runButton"_s);
        QVERIFY(!run->isEnabled());
        QCOMPARE(run->opacity(), 0.45);

        model->queue()->append(UiFixture::queuedItem());
        model->queue()->append(UiFixture::doneSmallerItem());
        QCOMPARE(textOf(headline), u"2 files loaded"_s);
        QCOMPARE(textOf(subhead), u"1.5 MB saved this session"_s);
        QCOMPARE(textOf(run), u"Optimise 1"_s);
        QVERIFY(run->isEnabled());
        QCOMPARE(run->opacity(), 1.0);
        QCOMPARE(window.find(u"doneMetric"_s)->property("value").toString(), u"1"_s);
        QCOMPARE(window.find(u"queuedMetric"_s)->property("value").toString(), u"1"_s);

        // Missing tools outrank everything and keep the button disabled.
        model->setTools(std::nullopt, EncoderCaps{});
        QCOMPARE(textOf(subhead), u"FFmpeg needs to be installed first."_s);
        QVERIFY(!run->isEnabled());
        QVERIFY(hidden(window, u"stopButton"_s));
    }

    // Headline and status each keep to one whole line, never overlapping, at any width.
    void headerFitsTheWindow_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("tools");
        QTest::addColumn<bool>("stacked");
        row("smallest window, tagline", 1060, true, true);
        row("smallest window, tools missing", 1060, false, false);
        row("wide window, tagline", 1500, true, false);
    }

    void headerFitsTheWindow() {
        QFETCH(int, width);
        QFETCH(bool, tools);
        auto model = UiFixture::makeModel(tools);
        UiFixture::Window window(*model);
        window.window()->resize(width, 720);
        window.settle();
        const QQuickItem* headline = window.find(u"headline"_s);
        const QQuickItem* subhead = window.find(u"subhead"_s);
        const QQuickItem* header = headline->parentItem();
        for (const QQuickItem* text : {headline, subhead}) {
            QCOMPARE(text->property("lineCount").toInt(), 1);
            QVERIFY2(!text->property("truncated").toBool(), qPrintable(textOf(text)));
            QVERIFY(text->x() + text->width() <= header->width() - 18 + 0.5);
        }
        const QRectF head = headline->mapRectToScene(headline->boundingRect());
        const QRectF sub = subhead->mapRectToScene(subhead->boundingRect());
        QVERIFY(!head.intersects(sub));
        QFETCH(bool, stacked);
        QCOMPARE(sub.top() >= head.bottom(), stacked);
        if (!stacked) // side by side on one baseline
            QCOMPARE(headline->y() + headline->baselineOffset(),
                     subhead->y() + subhead->baselineOffset());
    }

    void badgeOnlyOnTheMediaTab() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        QVERIFY(visible(window, u"badge"_s).isEmpty());
        for (int i = 0; i < 3; ++i) {
            MediaItem item = UiFixture::queuedItem();
            item.url = QUrl::fromLocalFile(u"/srv/shoot/%1.jpg"_s.arg(i));
            model->queue()->append(item);
        }
        const auto badges = visible(window, u"badge"_s);
        QCOMPARE(badges.size(), 1);
        QCOMPARE(textOf(badges.first()), u"3"_s);
        QVERIFY(window.find(u"nav_media"_s)->isAncestorOf(badges.first()));
    }

    void selectingATabMovesTheMarkerAndThePanel() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        auto* video = window.find(u"nav_video"_s);
        click(window.window(), video);
        QCOMPARE(model->tab(), u"video"_s);
        const auto markers = visible(window, u"selectionMarker"_s);
        QCOMPARE(markers.size(), 1);
        QVERIFY(video->isAncestorOf(markers.first()));
        QCOMPARE(textOf(window.find(u"inspectorTitle"_s)), u"Video"_s);
        QVERIFY(window.find(u"audioPicker"_s));
    }

    void queueRowsShowEveryStatus() {
        auto model = UiFixture::makeModel(true);
        UiFixture::appendEveryStatus(*model);
        UiFixture::Window window(*model);
        window.window()->resize(1060, 1400);
        window.settle();

        QStringList pills;
        for (QQuickItem* pill : visible(window, u"statusPill"_s))
            pills << textOf(pill);
        QCOMPARE(pills, (QStringList{u"Queued"_s, u"Reading"_s, u"Optimising"_s, u"60% smaller"_s,
                                     u"Done"_s, u"Failed"_s, u"Stopped"_s}));

        QStringList captions;
        for (QQuickItem* caption : visible(window, u"progressCaption"_s))
            captions << textOf(caption);
        QCOMPARE(captions, (QStringList{u"Reading \u00B7 0%"_s,
                                        u"MP4 \u00B7 H.264, WebM \u00B7 VP9 +5 \u00B7 40%"_s}));

        const auto failures = visible(window, u"failureText"_s);
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.first()->property("lineCount").toInt(), 3);
        QVERIFY(failures.first()->property("truncated").toBool());

        QCOMPARE(visible(window, u"results"_s).size(), 2); // both done items
        QVERIFY(textOf(visible(window, u"metaLine"_s).at(5)).endsWith(u"60:00"_s));
    }

    void removeButtonRemovesThatItem() {
        auto model = UiFixture::makeModel(true);
        model->queue()->append(UiFixture::workingItem());
        model->queue()->append(UiFixture::queuedItem());
        UiFixture::Window window(*model);
        const auto removes = visible(window, u"removeButton"_s);
        QCOMPARE(removes.size(), 2);
        QCOMPARE(removes.first()->property("text").toString(), u"Remove from queue"_s);
        click(window.window(), removes.first());
        QCOMPARE(model->itemCount(), 1);
        QCOMPARE(model->items().first().url.fileName(), u"harbour-sunrise.jpg"_s);
    }

    // Dropped files and folders all reach the model; the highlight follows the drag.
    void dropAddsEveryUrl() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"shoot"_s);
        QDir().mkpath(folder);
        for (const QString& path : {dir.filePath(u"a.jpg"_s), dir.filePath(u"b.mp4"_s),
                                    folder + u"/c.png"_s, folder + u"/d.webm"_s}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not really media");
        }
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        QQuickItem* queue = window.find(u"queueView"_s);
        const QPoint inside = centreOf(queue).toPoint();

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir.filePath(u"a.jpg"_s)),
                      QUrl::fromLocalFile(dir.filePath(u"b.mp4"_s)), QUrl::fromLocalFile(folder)});
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

        QMimeData text;
        text.setText(u"just words"_s);
        QDragEnterEvent words(inside, Qt::CopyAction, &text, Qt::LeftButton, {});
        QCoreApplication::sendEvent(window.window(), &words);
        QVERIFY(!queue->property("isTargeted").toBool());
    }

    // Only the rows on screen exist, however long the queue.
    void longQueuesBuildRowsLazily() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        for (int i = 0; i < 10000; ++i) {
            MediaItem item = UiFixture::queuedItem();
            item.url = QUrl::fromLocalFile(u"/srv/many/%1.jpg"_s.arg(i));
            model->queue()->append(item);
        }
        window.settle();
        auto* list = window.find(u"queueList"_s);
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        window.settle();
        const auto rows = window.findAll(u"fileName"_s);
        QVERIFY2(rows.size() < 60, qPrintable(QString::number(rows.size())));
        QStringList names;
        for (QQuickItem* row : rows)
            if (shown(row))
                names << textOf(row);
        QVERIFY2(names.contains(u"9999.jpg"_s), qPrintable(names.join(u", ")));
    }

    // The row asks the worker-thread provider for its picture, even for awkward file names.
    void thumbnailArrivesForAnAwkwardPath() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"summer #2 100% ünïcode.png"_s);
        QImage picture(400, 200, QImage::Format_RGB32);
        picture.fill(QColor(u"#3DD68C"_s));
        QVERIFY(picture.save(path));
        auto model = UiFixture::makeModel(true);
        MediaItem item = UiFixture::queuedItem();
        item.url = QUrl::fromLocalFile(path);
        model->queue()->append(item);
        UiFixture::Window window(*model);
        QQuickItem* image = window.find(u"thumbnailImage"_s);
        QVERIFY(image);
        QTRY_COMPARE(image->property("status").toInt(), 1); // Image.Ready
        QCOMPARE(image->property("sourceSize").toSize(), QSize(128, 64));
    }

    void updateAlertsShowTheCheckersWords() {
        auto model = UiFixture::makeModel(true);
        UiFixture::Window window(*model);
        emit window.updates().alertRequested(
            u"update"_s, u"Update Available"_s, u"Version 9.0 is available.\n\nFaster."_s,
            {u"Download"_s, u"Later"_s}, u"https://example.invalid/get"_s);
        window.settle();
        auto* title = window.find(u"alertTitle"_s);
        QVERIFY(title && shown(title));
        QCOMPARE(textOf(title), u"Update Available"_s);
        QCOMPARE(textOf(window.find(u"alertText"_s)), u"Version 9.0 is available.\n\nFaster."_s);
        auto* download = window.find(u"defaultButton"_s);
        QCOMPARE(textOf(download), u"Download"_s);
        QQuickItem* later = nullptr;
        for (QQuickItem* candidate : window.findAll(QString()))
            if (candidate->property("text").toString() == u"Later"_s && shown(candidate))
                later = candidate;
        QVERIFY(later);
        QVERIFY(later->mapToScene({0, 0}).x() < download->mapToScene({0, 0}).x());
        click(window.window(), later);
        window.settle();
        QVERIFY(!shown(window.find(u"alertTitle"_s))); // a closed popup leaves the tree
    }

    // Tab walks every control of the window, and each one tells a screen reader its name.
    void everyControlIsReachableAndNamed() {
        auto model = UiFixture::makeModel(true);
        EncoderCaps withoutWebP = UiFixture::debianCaps();
        withoutWebP.names.remove(u"libwebp"_s);
        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, withoutWebP);
        model->queue()->append(UiFixture::doneSmallerItem());
        model->queue()->append(UiFixture::queuedItem());
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
            QVERIFY2(accessible, qPrintable(focused->metaObject()->className()));
            const QString name = accessible->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(focused->metaObject()->className()));
            names << name;
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
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
