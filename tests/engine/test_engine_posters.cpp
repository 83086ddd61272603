#include "EngineSupport.h"
#include "PosterClips.h"
#include "tools/PosterFrame.h"

#include <QImage>
#include <QTemporaryDir>

using namespace EngineSupport;

// Posters of clips that open on black or on a title card, made by a real run.
class TestEnginePosters : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

  private slots:
    void runTakesThePosterWhereThePictureIs_data() {
        QTest::addColumn<PosterClips::Clip>("clip");
        QTest::newRow("fade in") << PosterClips::fadeIn;
        QTest::newRow("title card") << PosterClips::card;
    }
    void runTakesThePosterWhereThePictureIs() {
        QFETCH(PosterClips::Clip, clip);
        QString error;
        QVERIFY2(PosterClips::make(dir_.path(), clip, "yuv420p", &error), qPrintable(error));
        TersioSettings settings;
        settings.makeH264 = settings.makeHEVC = settings.makeWebM = false;
        settings.cropVariants.clear();
        auto model = makeModel(settings);
        model->setTools(realTools(), debianCaps());
        model->add({QUrl::fromLocalFile(dir_.filePath(clip.name))});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const MediaItem* item = itemNamed(*model, clip.name);
        QCOMPARE(item->status, ItemStatus::done());
        QCOMPARE(item->posterTime, std::optional(clip.posterTime));
        const QImage poster = QImage(item->outputs.value(0).url.toLocalFile())
                                  .convertToFormat(QImage::Format_Grayscale8);
        QByteArray luma;
        for (int y = 0; y < poster.height(); ++y)
            luma.append(reinterpret_cast<const char*>(poster.constScanLine(y)), poster.width());
        QVERIFY(PosterFrame::showsPicture(PosterFrame::measure(luma)));
    }
};

QTEST_MAIN(TestEnginePosters)
#include "test_engine_posters.moc"
