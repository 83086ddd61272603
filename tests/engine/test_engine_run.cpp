#include "EngineSupport.h"
#include "engine/BatchRun.h"
#include "engine/StagedEncode.h"
#include "model/Preferences.h"

#include <QTemporaryDir>
#include <QTest>

using namespace EngineSupport;

// The batch run against a stand-in ffmpeg that logs its runs and can be held open, with real
// ffprobe and small real sources.
class TestEngineRun : public QObject {
    Q_OBJECT

    QTemporaryDir media_; // sources made once: eight images and a one-second video
    QTemporaryDir work_;  // per test: a copy of the sources, the log, the fake tool
    QString log_, hold_, fake_;

    QString src(const QString& name) const { return work_.filePath("src/" + name); }
    QString out(const QString& name = {}) const { return work_.filePath("src/optimised/" + name); }

    std::unique_ptr<AppModel> modelWith(TersioSettings settings, const QStringList& names) {
        auto model = makeModel(settings);
        model->setTools(FFmpegTools{fake_, QStringLiteral("/usr/bin/ffprobe")}, debianCaps());
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << QUrl::fromLocalFile(src(name));
        model->add(urls);
        return model;
    }

    static QStringList images(int count) {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names << QStringLiteral("img%1.jpg").arg(i);
        return names;
    }

    void hold() { QVERIFY(TestSupport::writeFile(hold_, "hold")); }
    void release() { QFile::remove(hold_); }
    QStringList log() const { return logLines(log_); }

    static QByteArray contents(const QUrl& url) {
        QFile file(url.toLocalFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

  private slots:
    void initTestCase() {
        QString error;
        for (const QString& name : images(8))
            QVERIFY2(makeImage(media_.filePath(name), QStringLiteral("64x48"), &error),
                     qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i",
                                      "testsrc=size=160x120:rate=10:duration=1", "-c:v", "libx264",
                                      "-pix_fmt", "yuv420p", media_.filePath("clip.mp4")},
                                     &error),
                 qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg(
                     {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1", "-c:v",
                      "libx264", "-pix_fmt", "yuv420p", "-color_primaries", "bt2020", "-color_trc",
                      "smpte2084", "-colorspace", "bt2020nc", media_.filePath("hdr.mp4")},
                     &error),
                 qPrintable(error));
    }

    void probedFactsReachTheItem() {
        auto model = modelWith(TersioSettings{}, {"clip.mp4", "hdr.mp4", "img0.jpg"});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const MediaItem* clip = itemNamed(*model, "clip.mp4");
        const MediaItem* hdr = itemNamed(*model, "hdr.mp4");
        const MediaItem* image = itemNamed(*model, "img0.jpg");
        QCOMPARE(clip->width, 160);
        QCOMPARE(clip->height, 120);
        QVERIFY(!clip->hasAudio);
        QVERIFY(!clip->hdr);
        QVERIFY(hdr->hdr);
        QCOMPARE(image->width, 64);
        QCOMPARE(image->height, 48);
    }

    void init() {
        work_.~QTemporaryDir();
        new (&work_) QTemporaryDir();
        QVERIFY(QDir().mkpath(work_.filePath("src")));
        for (const QString& name : QDir(media_.path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(media_.filePath(name), src(name)));
        log_ = work_.filePath("log");
        hold_ = work_.filePath("hold");
        fake_ = writeFakeFFmpeg(work_.path(), log_, hold_);
        QVERIFY(!fake_.isEmpty());
    }

    void concurrencyLimit_data() {
        QTest::addColumn<qint64>("maxConcurrent");
        QTest::addColumn<int>("limit");
        QTest::newRow("0 runs one") << qint64(0) << 1;
        QTest::newRow("negative runs one") << qint64(-3) << 1;
        QTest::newRow("3 runs three") << qint64(3) << 3;
        QTest::newRow("10 runs six") << qint64(10) << 6;
    }

    void concurrencyLimit() {
        QFETCH(qint64, maxConcurrent);
        QFETCH(int, limit);
        QCOMPARE(BatchRun::concurrencyLimit(maxConcurrent), limit);

        TersioSettings settings;
        settings.maxConcurrent = maxConcurrent;
        auto model = modelWith(settings, images(8));
        hold();
        model->start();
        QTRY_COMPARE_WITH_TIMEOUT(countPrefix(log(), "start"), limit, 30000);
        QTest::qWait(400);
        QCOMPARE(countPrefix(log(), "start"), limit); // held: no further encode may begin

        release();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 8);

        // Never more than the limit in flight, and started in queue order.
        int inFlight = 0, most = 0;
        QStringList startedOutputs;
        for (const QString& line : log()) {
            inFlight += line.startsWith("start") ? 1 : -1;
            most = qMax(most, inFlight);
            if (line.startsWith("start"))
                startedOutputs << line.section(' ', 2);
        }
        QCOMPARE(most, limit);
        QCOMPARE(startedOutputs.size(), 8);
        if (limit == 1)
            for (int i = 0; i < 8; ++i)
                QVERIFY2(startedOutputs.at(i).contains(QStringLiteral("img%1.").arg(i)),
                         qPrintable(startedOutputs.at(i)));
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    void stopAndResume() {
        TersioSettings settings;
        settings.maxConcurrent = 2;
        auto model = modelWith(settings, images(4));
        hold();
        model->start();
        QTRY_COMPARE_WITH_TIMEOUT(countPrefix(log(), "start"), 2, 30000);
        model->start(); // already running: nothing changes
        model->cancel();
        QVERIFY(waitForRunEnd(*model));
        QVERIFY(!model->isRunning());

        QCOMPARE(statusOf(*model, "img0.jpg"), QStringLiteral("cancelled"));
        QCOMPARE(statusOf(*model, "img1.jpg"), QStringLiteral("cancelled"));
        QCOMPARE(statusOf(*model, "img2.jpg"), QStringLiteral("queued"));
        QCOMPARE(statusOf(*model, "img3.jpg"), QStringLiteral("queued"));
        QCOMPARE(countPrefix(log(), "start"), 2);
        QCOMPARE(model->pendingCount(), 4);
        for (const MediaItem& item : model->items()) {
            QVERIFY(item.outputs.isEmpty());
            QCOMPARE(item.currentTask, QString());
        }
        // The stand-in had written part of its output: nothing of it is left anywhere.
        QCOMPARE(allFiles(out()), QStringList{});

        release();
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 4);
        QCOMPARE(allFiles(out()).size(), 4);
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    void removeWhileEncoding() {
        TersioSettings settings;
        settings.maxConcurrent = 2;
        auto model = modelWith(settings, images(3));
        const QString doomed = model->items().first().id.toString();
        hold();
        model->start();
        QTRY_COMPARE_WITH_TIMEOUT(countPrefix(log(), "start"), 2, 30000);
        model->remove(doomed);
        QCOMPARE(model->itemCount(), 2);
        // Its slot is freed once its encode has been stopped.
        QTRY_COMPARE_WITH_TIMEOUT(countPrefix(log(), "start"), 3, 30000);
        release();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->itemCount(), 2);
        QCOMPARE(model->doneCount(), 2);
        QVERIFY(!itemNamed(*model, "img0.jpg"));
        QCOMPARE(allFiles(out()), (QStringList{"img1.jpg", "img2.jpg"}));
    }

    void removeWhileReading() {
        auto model = modelWith(TersioSettings{}, {"img0.jpg"});
        model->start();
        model->remove(model->items().first().id.toString());
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(countPrefix(log(), "start"), 0);
        QCOMPARE(model->itemCount(), 0);
    }

    void existingOutputsAreKept() {
        auto model = modelWith(TersioSettings{}, images(2) + QStringList{"clip.mp4"});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 3);
        QCOMPARE(countPrefix(log(), "start"), 3); // one process per item, the clip's included

        TersioSettings keep;
        keep.overwriteExisting = false;
        auto again = modelWith(keep, images(2) + QStringList{"clip.mp4"});
        again->start();
        QVERIFY(waitForRunEnd(*again));
        QCOMPARE(countPrefix(log(), "start"), 3); // not one process more
        for (const MediaItem& item : again->items()) {
            QCOMPARE(item.status, ItemStatus::done());
            QCOMPARE(item.progress, 1.0);
            QVERIFY(!item.outputs.isEmpty());
            for (const ProducedFile& file : item.outputs)
                QCOMPARE(file.bytes, QFileInfo(file.url.toLocalFile()).size());
        }

        // With one output gone, only that one is written; the others are neither rewritten
        // nor named to the process.
        const QList<ProducedFile> before = itemNamed(*again, "clip.mp4")->outputs;
        QVERIFY(before.size() >= 3);
        QList<QByteArray> kept; // the stand-in writes its pid into every file it is handed
        for (const ProducedFile& file : before)
            kept << contents(file.url);
        const QString gone = before.at(1).url.toLocalFile();
        QVERIFY(QFile::remove(gone));
        auto third = modelWith(keep, {"clip.mp4"});
        third->start();
        QVERIFY(waitForRunEnd(*third));
        QCOMPARE(countPrefix(log(), "start"), 4);
        QVERIFY(log().last(2).first().contains(QFileInfo(gone).fileName()));
        QCOMPARE(third->items().first().outputs.size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            QCOMPARE(third->items().first().outputs.at(i).url, before.at(i).url);
            QCOMPARE(contents(before.at(i).url) == kept.at(i), i != 1);
        }
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    // One process, one bar: the stand-in's quarter, half and three quarters of the clip move
    // it from 0 to 1, and the task names the outputs being written.
    void progressIsOneStreamPerItem() {
        auto model = modelWith(TersioSettings{}, {"clip.mp4"});
        QList<double> seen;
        QStringList tasks;
        connect(model->queue(), &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex& index) {
                    const double value = index.data(QueueModel::ProgressRole).toDouble();
                    if (seen.isEmpty() || seen.last() != value)
                        seen << value;
                    const QString task = index.data(QueueModel::CurrentTaskRole).toString();
                    if (!task.isEmpty() && !tasks.contains(task))
                        tasks << task;
                });
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const MediaItem& item = model->items().first();
        QCOMPARE(item.status, ItemStatus::done());
        const int n = int(item.outputs.size());
        QVERIFY(n >= 3);

        for (int i = 1; i < seen.size(); ++i)
            QVERIFY2(seen.at(i) >= seen.at(i - 1) || seen.at(i) == 0,
                     qPrintable(QStringLiteral("%1 after %2").arg(seen.at(i)).arg(seen.at(i - 1))));
        // Its three reports are three steps inside the bar, the first within its first quarter
        // (one process spans the whole bar, not one output's share of it).
        const auto inside =
            std::count_if(seen.begin(), seen.end(), [](double v) { return v > 0 && v < 1; });
        QVERIFY2(inside >= 3, qPrintable(QString::number(inside)));
        QVERIFY(
            std::any_of(seen.begin(), seen.end(), [](double v) { return v > 0.2 && v <= 0.25; }));
        QCOMPARE(seen.last(), 1.0);
        QCOMPARE(tasks.last(), QStringLiteral("MP4 \u00B7 H.264, WebM \u00B7 VP9 +%1").arg(n - 2));
    }

    void settingsAreSavedOnlyWhenARunStarts() {
        auto stored = [] { return Preferences::openStore()->contains(Preferences::settingsKey); };
        Preferences::openStore()->remove(Preferences::settingsKey);

        TersioSettings settings;
        settings.videoQuality = 41;
        auto model = modelWith(settings, {});
        model->settingsModel()->setImageQuality(55);
        model->start(); // nothing queued
        QVERIFY(!stored());

        model->add({QUrl::fromLocalFile(src("img0.jpg"))});
        model->setTools(std::nullopt, {});
        model->start(); // no tools
        QVERIFY(!stored());
        QVERIFY(!model->isRunning());

        model->setTools(FFmpegTools{fake_, QStringLiteral("/usr/bin/ffprobe")}, debianCaps());
        model->cancel(); // a stop with no run is forgotten by the next start
        model->start();
        QVERIFY(model->isRunning());
        QVERIFY(stored());
        QCOMPARE(TersioSettings::load(), model->settings());
        QCOMPARE(TersioSettings::load().imageQuality, 55.0);
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 1);

        Preferences::openStore()->remove(Preferences::settingsKey);
        model->start(); // only done items: no run, nothing written
        QVERIFY(!model->isRunning());
        QVERIFY(!stored());
    }

    void failedEncodes_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("message");
        QTest::newRow("last non-empty line")
            << QByteArray("for last; do :; done\nprintf partial > \"$last\"\nprintf 'a\\n\\nb\\n' "
                          ">&2\nexit 1\n")
            << "b";
        QTest::newRow("silent failure")
            << QByteArray("for last; do :; done\nprintf partial > \"$last\"\nexit 1\n")
            << "FFmpeg exited with code 1.";
        QTest::newRow("the destination is named, not the hidden file")
            << QByteArray("for last; do :; done\nprintf partial > \"$last\"\necho \"$last: No "
                          "space left on device\" >&2\nexit 1\n")
            << "@dest: No space left on device";
        QTest::newRow("not startable") << QByteArray() << "";
    }

    void failedEncodes() {
        QFETCH(QByteArray, script);
        QFETCH(QString, message);
        if (script.isEmpty())
            QVERIFY(QFile::remove(fake_));
        else
            QVERIFY(!TestSupport::writeScript(fake_, script).isEmpty());
        auto model = modelWith(TersioSettings{}, images(2));
        model->start();
        QVERIFY(waitForRunEnd(*model));
        for (const MediaItem& item : model->items()) {
            QCOMPARE(item.status.name(), QStringLiteral("failed"));
            QVERIFY(!item.status.message.isEmpty());
            QCOMPARE(item.currentTask, QString());
            QVERIFY(item.outputs.isEmpty());
            if (message.startsWith('@'))
                QCOMPARE(item.status.message,
                         QString(message).replace("@dest", out(item.url.fileName())));
            else if (!message.isEmpty())
                QCOMPARE(item.status.message, message);
        }
        QCOMPARE(allFiles(out()), QStringList{});
    }

    // A clip's outputs share one process: a stop or a failure takes every staged file with it.
    void fusedItemEndsCleanly_data() {
        QTest::addColumn<bool>("stop");
        QTest::newRow("stopped") << true;
        QTest::newRow("encoder fails") << false;
    }
    void fusedItemEndsCleanly() {
        QFETCH(bool, stop);
        if (!stop)
            QVERIFY(!TestSupport::writeScript(
                         fake_, "for a; do case \"$a\" in */optimised/*) printf partial > \"$a\"; "
                                "w=$a ;; esac; done\necho \"$w: Invalid argument\" >&2\nexit 1\n")
                         .isEmpty());
        auto model = modelWith(TersioSettings{}, {"clip.mp4"});
        hold();
        model->start();
        if (stop) {
            QTRY_COMPARE_WITH_TIMEOUT(countPrefix(log(), "start"), 1, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(hiddenFiles(out()).size() >= 3, 10000);
            model->cancel();
        }
        QVERIFY(waitForRunEnd(*model));
        const MediaItem& item = model->items().first();
        if (stop) {
            QCOMPARE(item.status, ItemStatus::cancelled());
        } else {
            QCOMPARE(item.status.name(), QStringLiteral("failed"));
            // The last output the stand-in named, under its real name.
            QVERIFY2(item.status.message.startsWith(out("clip-")) &&
                         item.status.message.endsWith(": Invalid argument"),
                     qPrintable(item.status.message));
        }
        QVERIFY(item.outputs.isEmpty());
        QCOMPARE(allFiles(out()), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestEngineRun)
#include "test_engine_run.moc"
