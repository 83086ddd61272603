#include "EngineSupport.h"
#include "engine/FactReader.h"
#include "engine/SourceReading.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using namespace EngineSupport;

// Facts read as soon as files are added, kept by a run while the file is unchanged, and read
// again when it is not.
class TestEngineFacts : public QObject {
    Q_OBJECT

    QTemporaryDir media_; // made once
    QTemporaryDir work_;  // per test: copies of the media, logs and stand-in tools
    QString probeLog_, fakeFFmpeg_, countingProbe_;

    QString src(const QString& name) const { return work_.filePath("src/" + name); }
    int probes() const { return int(logLines(probeLog_).size()); }

    std::unique_ptr<AppModel> modelWith(const QStringList& names, bool withTools = true) {
        AppModelOptions options;
        options.searchToolsAtStart = false;
        options.settings = TersioSettings{};
        options.readFactsAtLowestPriority = false;
        auto model = std::make_unique<AppModel>(options);
        if (withTools)
            model->setTools(FFmpegTools{fakeFFmpeg_, countingProbe_}, debianCaps());
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << QUrl::fromLocalFile(src(name));
        model->add(urls);
        return model;
    }

    static bool waitForFacts(const AppModel& model) {
        return QTest::qWaitFor([&] { return model.factReader()->outstanding() == 0; }, 60000);
    }

    static void setModified(const QString& path, qint64 seconds) {
        const struct utimbuf times { seconds, seconds };
        QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
    }

  private slots:
    void initTestCase() {
        QString error;
        auto make = [&](const QStringList& arguments) {
            QVERIFY2(TestSupport::ffmpeg(arguments, &error), qPrintable(error));
        };
        make({"-f", "lavfi", "-i", "testsrc=size=120x80:rate=1", "-frames:v", "1",
              media_.filePath("plain.jpg")});
        make({"-f", "lavfi", "-i", "testsrc=size=120x80:rate=1", "-frames:v", "1",
              media_.filePath("turned.jpg")});
        QVERIFY(TestSupport::runTool("exiftool", {"-q", "-Orientation#=6", "-overwrite_original",
                                                  media_.filePath("turned.jpg")}));
        make({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=1", "-vf", "format=rgba", "-frames:v",
              "1", media_.filePath("alpha.png")});
        make({"-f", "lavfi", "-i", "testsrc=size=200x100:rate=1", "-frames:v", "1",
              media_.filePath("wider.jpg")});
        make({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2", "-f", "lavfi", "-i",
              "sine=duration=2", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
              "-shortest", media_.filePath("sound.mp4")});
        make({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1", "-c:v", "libx264",
              "-pix_fmt", "yuv420p", "-color_primaries", "bt2020", "-color_trc", "smpte2084",
              "-colorspace", "bt2020nc", media_.filePath("hdr.mp4")});
        QVERIFY(TestSupport::writeFile(media_.filePath("empty.jpg"), {}));
    }

    void init() {
        QVERIFY(work_.remove());
        work_ = QTemporaryDir();
        QDir().mkpath(work_.filePath("src"));
        for (const QString& name : QDir(media_.path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(media_.filePath(name), src(name)));
        probeLog_ = work_.filePath("probes.log");
        countingProbe_ = TestSupport::writeScript(work_.filePath("ffprobe"),
                                                  "echo probe >> '" + probeLog_.toUtf8() +
                                                      "'\nexec /usr/bin/ffprobe \"$@\"\n");
        fakeFFmpeg_ =
            writeFakeFFmpeg(work_.path(), work_.filePath("ffmpeg.log"), work_.filePath("no-hold"));
    }

    void factsArriveBeforeAnyRun_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dimensions");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<bool>("hdr");
        QTest::addColumn<double>("duration");
        QTest::addColumn<bool>("stamped");
        QTest::newRow("jpeg") << "plain.jpg"
                              << "120 × 80" << false << false << false << 0.0 << true;
        QTest::newRow("on its side") << "turned.jpg"
                                     << "80 × 120" << false << false << false << 0.0 << true;
        QTest::newRow("alpha") << "alpha.png"
                               << "64 × 48" << true << false << false << 0.0 << true;
        QTest::newRow("video with sound") << "sound.mp4"
                                          << "160 × 120" << false << true << false << 2.0 << true;
        QTest::newRow("hdr video") << "hdr.mp4"
                                   << "160 × 120" << false << false << true << 1.0 << true;
        // Left for the run to report.
        QTest::newRow("empty file") << "empty.jpg"
                                    << "—" << false << false << false << 0.0 << false;
    }

    void factsArriveBeforeAnyRun() {
        QFETCH(QString, name);
        auto model = modelWith({name});
        QVERIFY(waitForFacts(*model));
        const MediaItem* item = itemNamed(*model, name);
        QTEST(item->dimensionsLabel(), "dimensions");
        QTEST(item->hasAlpha, "alpha");
        QTEST(item->hasAudio, "audio");
        QTEST(item->hdr, "hdr");
        QFETCH(double, duration);
        QVERIFY2(qAbs(item->duration - duration) < 0.2,
                 qPrintable(QString::number(item->duration)));
        QTEST(item->factsStamp.has_value(), "stamped");
        QCOMPARE(item->status, ItemStatus::queued());
    }

    void videosWaitForAProbe() {
        auto model = modelWith({"sound.mp4", "plain.jpg"}, /*withTools=*/false);
        QVERIFY(waitForFacts(*model));
        QCOMPARE(itemNamed(*model, "plain.jpg")->width, 120);
        QVERIFY(!itemNamed(*model, "sound.mp4")->factsStamp);
        model->setTools(FFmpegTools{fakeFFmpeg_, countingProbe_}, debianCaps());
        QVERIFY(waitForFacts(*model));
        QCOMPARE(itemNamed(*model, "sound.mp4")->width, 160);
        QCOMPARE(probes(), 1);
    }

    // The run keeps what was read while the file is as it was, and reads a changed one again.
    void runReusesFactsOfUnchangedFiles_data() {
        QTest::addColumn<QString>("change"); // "", "touch", "replace"
        QTest::addColumn<int>("probes");
        QTest::addColumn<qint64>("width");
        QTest::newRow("unchanged") << "" << 1 << qint64(120);
        QTest::newRow("touched") << "touch" << 2 << qint64(120);
        QTest::newRow("replaced, same time") << "replace" << 2 << qint64(200);
    }

    void runReusesFactsOfUnchangedFiles() {
        QFETCH(QString, change);
        const QString image = src("plain.jpg");
        setModified(image, 1'600'000'000);
        auto model = modelWith({"plain.jpg", "sound.mp4"});
        QVERIFY(waitForFacts(*model));
        QCOMPARE(probes(), 1);
        if (change == "touch") {
            setModified(image, 1'700'000'000);
            setModified(src("sound.mp4"), 1'700'000'000);
        } else if (change == "replace") {
            // Another picture under the same name and time: only the inode and size tell.
            QVERIFY(QFile::remove(image));
            QVERIFY(QFile::copy(src("wider.jpg"), image));
            setModified(image, 1'600'000'000);
            QVERIFY(QFile::remove(src("sound.mp4")));
            QVERIFY(QFile::copy(src("hdr.mp4"), src("sound.mp4")));
        }
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 2);
        QTEST(probes(), "probes");
        const MediaItem* read = itemNamed(*model, "plain.jpg");
        QTEST(read->width, "width");
        QCOMPARE(read->sourceBytes, QFileInfo(image).size());
        QCOMPARE(itemNamed(*model, "sound.mp4")->hasAudio, change != "replace");
    }

    void leavingItemsAreNotRead() {
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            names << QStringLiteral("copy%1.mp4").arg(i);
            QVERIFY(QFile::copy(src("hdr.mp4"), src(names.last())));
        }
        auto model = modelWith(names);
        model->remove(model->items().last().id.toString());
        QVERIFY(model->factReader()->outstanding() <= 39);
        model->clearAll();
        // At most the two reads already under way finish; their results are dropped.
        QVERIFY(model->factReader()->outstanding() <= 2);
        QVERIFY(waitForFacts(*model));
        QVERIFY(probes() <= 2);
        QCOMPARE(model->itemCount(), 0);
    }

    void stampTellsChanges_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("current");
        QTest::newRow("unchanged") << "" << true;
        QTest::newRow("new time") << "touch" << false;
        QTest::newRow("replaced by rename") << "rename" << false;
        QTest::newRow("gone") << "remove" << false;
    }

    void stampTellsChanges() {
        QFETCH(QString, change);
        const QString path = src("plain.jpg");
        setModified(path, 1'600'000'000);
        MediaItem item;
        item.url = QUrl::fromLocalFile(path);
        item.factsStamp = SourceReading::stamp(path);
        QVERIFY(item.factsStamp);
        if (change == "touch") {
            setModified(path, 1'600'000'001);
        } else if (change == "rename") {
            QVERIFY(QFile::copy(path, path + ".new"));
            setModified(path + ".new", 1'600'000'000);
            QVERIFY(::rename(QFile::encodeName(path + ".new").constData(),
                             QFile::encodeName(path).constData()) == 0);
        } else if (change == "remove") {
            QVERIFY(QFile::remove(path));
        }
        const auto facts = SourceReading::readUnlessCurrent(item, std::nullopt);
        QTEST(facts.current, "current");
        QCOMPARE(facts.failure.isEmpty(), change != "remove");
    }
};

QTEST_GUILESS_MAIN(TestEngineFacts)
#include "test_engine_facts.moc"
