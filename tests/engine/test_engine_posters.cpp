#include "EngineSupport.h"
#include "engine/SourceReading.h"
#include "tools/PosterClips.h"
#include "tools/PosterFrame.h"

#include <QImage>
#include <QTemporaryDir>

using namespace EngineSupport;

// Posters of clips that open on black, made by a real run with real ffmpeg.
class TestEnginePosters : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static TersioSettings postersOnly() {
        TersioSettings settings;
        settings.makeH264 = settings.makeHEVC = settings.makeWebM = false;
        settings.makePoster = true;
        settings.cropVariants.clear();
        return settings;
    }

    static PosterFrame::LumaStats lumaOf(const QString& jpeg) {
        const QImage grey = QImage(jpeg).convertToFormat(QImage::Format_Grayscale8);
        QByteArray samples;
        for (int y = 0; y < grey.height(); ++y)
            samples.append(reinterpret_cast<const char*>(grey.constScanLine(y)), grey.width());
        return PosterFrame::measure(samples);
    }

    MediaItem queued(const QString& name) const {
        MediaItem item;
        item.kind = MediaKind::video;
        item.url = QUrl::fromLocalFile(dir_.filePath(name));
        return item;
    }

    static PlannedOutput posterOf(const SourceReading::ItemPlan& plan) {
        for (const PlannedOutput& output : plan.outputs)
            if (output.label == QLatin1String("Poster frame"))
                return output;
        return {};
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QString error;
        for (const PosterClips::Clip& clip :
             {PosterClips::fadeIn, PosterClips::card, PosterClips::normal})
            QVERIFY2(PosterClips::make(dir_.path(), clip, QStringLiteral("yuv420p"), &error),
                     qPrintable(error));
    }

    void runTakesThePosterWhereThePictureIs_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("time");
        for (const PosterClips::Clip& clip :
             {PosterClips::fadeIn, PosterClips::card, PosterClips::normal})
            QTest::newRow(qPrintable(clip.name)) << clip.name << clip.posterTime;
    }
    void runTakesThePosterWhereThePictureIs() {
        QFETCH(QString, name);
        QFETCH(double, time);
        auto model = makeModel(postersOnly());
        model->setTools(realTools(), debianCaps());
        model->add({QUrl::fromLocalFile(dir_.filePath(name))});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const MediaItem* item = itemNamed(*model, name);
        QCOMPARE(item->status.name(), QStringLiteral("done"));
        QCOMPARE(item->posterTime, std::optional(time));
        QCOMPARE(item->outputs.size(), 1);
        const QString poster = item->outputs.first().url.toLocalFile();
        QVERIFY2(PosterFrame::showsPicture(lumaOf(poster)), qPrintable(poster));
    }

    // What a clip that opens on its picture is given must not change at all.
    void normalClipKeepsTheUsualArguments() {
        const TersioSettings settings = TersioSettings{};
        MediaItem item = queued(PosterClips::normal.name);
        SourceReading::apply(SourceReading::read(item, QStringLiteral("/usr/bin/ffprobe"),
                                                 QStringLiteral("/usr/bin/ffmpeg")),
                             item);
        const auto looked = SourceReading::plan(item, settings, debianCaps(), false);
        item.posterTime.reset();
        const auto usual = SourceReading::plan(item, settings, debianCaps(), false);
        QCOMPARE(looked.outputs.size(), usual.outputs.size());
        for (qsizetype i = 0; i < usual.outputs.size(); ++i)
            QCOMPARE(looked.outputs[i].arguments, usual.outputs[i].arguments);
        const QStringList poster = posterOf(looked).arguments;
        QCOMPARE(poster.mid(poster.indexOf("-ss"), 2), (QStringList{"-ss", "1.000"}));
    }

    void unprobedClipHasNoSeek() {
        MediaItem item = queued(PosterClips::fadeIn.name);
        const auto facts =
            SourceReading::read(item, std::nullopt, QStringLiteral("/usr/bin/ffmpeg"));
        QVERIFY(!facts.posterTime);
        SourceReading::apply(facts, item);
        const auto plan = SourceReading::plan(item, postersOnly(), debianCaps(), false);
        const QStringList poster = posterOf(plan).arguments;
        QVERIFY(poster.contains("mjpeg"));
        QVERIFY(!poster.contains("-ss"));
    }
};

QTEST_MAIN(TestEnginePosters)
#include "test_engine_posters.moc"
