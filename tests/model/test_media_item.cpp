#include "model/MediaItem.h"

#include <QtTest>

class TestMediaItem : public QObject {
    Q_OBJECT
  private slots:
    void dimensionsLabel() {
        MediaItem item;
        QCOMPARE(item.dimensionsLabel(), QStringLiteral("\u2014"));
        item.width = 640;
        QCOMPARE(item.dimensionsLabel(), QStringLiteral("\u2014"));
        item.height = 480;
        QCOMPARE(item.dimensionsLabel(), QStringLiteral("640 \u00D7 480"));
    }

    void primaryOutputIsTheFirst() {
        MediaItem item;
        QVERIFY(!item.primaryOutputBytes());
        item.outputs = {ProducedFile{QUuid::createUuid(), "a", {}, 10},
                        ProducedFile{QUuid::createUuid(), "b", {}, 20}};
        QCOMPARE(item.primaryOutputBytes(), 10);
    }

    void statusEquality() {
        QCOMPARE(ItemStatus::failed("a"), ItemStatus::failed("a"));
        QVERIFY(ItemStatus::failed("a") != ItemStatus::failed("b"));
        QVERIFY(ItemStatus::failed("") != ItemStatus::cancelled());
        QVERIFY(ItemStatus::queued().needsWork() && ItemStatus::failed("x").needsWork() &&
                ItemStatus::cancelled().needsWork());
        QVERIFY(!ItemStatus::done().needsWork() && !ItemStatus::reading().needsWork());
    }

    void kinds() {
        QVERIFY(!MediaKinds::fromRaw("Image"));
        QCOMPARE(MediaKinds::fromRaw("video"), MediaKind::video);
        QCOMPARE(MediaKinds::imageExtensions().size(), 11);
        QCOMPARE(MediaKinds::videoExtensions().size(), 12);
        QVERIFY(!MediaKinds::imageExtensions().intersects(MediaKinds::videoExtensions()));
        QCOMPARE(MediaKinds::kindForPath("/a/PHOTO.JPG"), MediaKind::image);
        QCOMPARE(MediaKinds::kindForPath("/a/x.heic"), MediaKind::image);
        QCOMPARE(MediaKinds::kindForPath("/a/x.gif"), MediaKind::image);
        QCOMPARE(MediaKinds::kindForPath("/a/clip.M2TS"), MediaKind::video);
        QVERIFY(!MediaKinds::kindForPath("/a/notes.txt"));
        QVERIFY(!MediaKinds::kindForPath("/a/jpg"));
        QVERIFY(!MediaKinds::kindForPath("/a.jpg/file"));
    }
};

QTEST_GUILESS_MAIN(TestMediaItem)
#include "test_media_item.moc"
