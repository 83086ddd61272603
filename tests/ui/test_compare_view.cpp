#include "PhotoSources.h"
#include "WindowTest.h"

using namespace WindowTest;

// The compare view in the real window: opened from a result line, driven from the keyboard.
class TestCompareView : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { UiFixture::prepareApplication(); }

    void opensMovesItsDividerAndCloses() {
        QTemporaryDir dir;
        MediaItem item = UiFixture::doneSmallerItem(); // JPEG and WebP results
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
        click(w, button);
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

QTEST_MAIN(TestCompareView)
#include "test_compare_view.moc"
