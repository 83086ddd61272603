#include "CliHarness.h"

#include <QJsonArray>
#include <QtTest>

#include <csignal>

using TestSupport::row;

using namespace CliTest;

// Real runs: outputs checked with ffprobe, failures, and stops by signal.
class TestCliRun : public CliHarness {
    Q_OBJECT

  private slots:
    void initTestCase() { QVERIFY(media_.isValid() && config_.isValid()); }

    void init() { QFile::remove(storeFile()); }

    void realRunWritesCheckedOutputsAndLeavesTheStoreAlone() {
        QTemporaryDir work;
        makeClip(work.filePath(u"clip.mp4"_s), u"320x240"_s, 1, 10);
        QDir(work.path()).mkpath(u"stills"_s);
        makeImage(work.filePath(u"stills/pic.png"_s), u"64x48"_s);

        TersioSettings stored;
        stored.imageFormat = ImageFormat::webp;
        stored.cropVariants[0].enabled = false; // only the square crop
        storeSettings(stored);
        QFile store(storeFile());
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray before = store.readAll();
        store.close();

        const Outcome o = cli({u"--json"_s, work.path()});
        QCOMPARE(o.status, 0);
        const QJsonObject summary = o.json();
        QCOMPARE(summary[u"totals"_s][u"done"_s].toInt(), 2);
        QCOMPARE(summary[u"totals"_s][u"failed"_s].toInt(), 0);
        for (const auto& item : summary[u"items"_s].toArray()) {
            QCOMPARE(item[u"status"_s].toString(), u"done"_s);
            for (const auto& output : item[u"outputs"_s].toArray()) {
                const QFileInfo file(output[u"path"_s].toString());
                QVERIFY2(file.exists(), qPrintable(file.filePath()));
                QCOMPARE(output[u"bytes"_s].toInteger(), file.size());
            }
        }

        const QString out = work.filePath(u"optimised/"_s);
        QJsonObject stream = probeVideo(out + u"clip.mp4"_s);
        QCOMPARE(stream[u"codec_name"_s].toString(), u"h264"_s);
        QCOMPARE(stream[u"width"_s].toInt(), 320);
        QCOMPARE(probeVideo(out + u"clip.webm"_s)[u"codec_name"_s].toString(), u"vp9"_s);
        stream = probeVideo(out + u"clip-1x1.mp4"_s);
        QCOMPARE(stream[u"width"_s].toInt(), 240);
        QCOMPARE(stream[u"height"_s].toInt(), 240);
        QCOMPARE(probeVideo(out + u"clip-poster.jpg"_s)[u"codec_name"_s].toString(), u"mjpeg"_s);
        QVERIFY(!QFileInfo::exists(out + u"clip-9x16.mp4"_s));
        stream = probeVideo(work.filePath(u"stills/optimised/pic.webp"_s));
        QCOMPARE(stream[u"codec_name"_s].toString(), u"webp"_s);
        QCOMPARE(stream[u"width"_s].toInt(), 64);

        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll(), before);

        // Plain output when standard output is not a terminal: one line per finished item.
        const Outcome again = cli({u"--no-overwrite"_s, work.filePath(u"stills"_s)});
        QCOMPARE(again.status, 0);
        const QString line = QString::fromUtf8(again.out);
        QVERIFY2(line.startsWith(u"done      "_s + work.filePath(u"stills/pic.png"_s) + u" -> "_s +
                                 work.filePath(u"stills/optimised/pic.webp"_s) + u"  "_s),
                 qPrintable(line));
        QCOMPARE(line.count(u'\n'), 1);
    }

    void oneBrokenFileMakesTheRunFail() {
        QTemporaryDir work;
        makeImage(work.filePath(u"good.png"_s), u"32x32"_s);
        TestSupport::writeFile(work.filePath(u"broken.jpg"_s), QByteArray(2000, 'x'));
        const Outcome o = cli({u"--quiet"_s, work.path()});
        QCOMPARE(o.status, 1);
        QVERIFY(o.out.isEmpty());
        QVERIFY2(o.err.startsWith(u"failed    "_s + work.filePath(u"broken.jpg"_s) + u": "_s),
                 qPrintable(o.err));
        QCOMPARE(o.err.count(u'\n'), 1);
        QVERIFY(QFileInfo::exists(work.filePath(u"optimised/good.png"_s)));
    }

    void stopSignalCancelsWithoutPartialFiles_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        row("SIGINT", SIGINT, 130);
        row("SIGTERM", SIGTERM, 143);
    }
    void stopSignalCancelsWithoutPartialFiles() {
        QFETCH(int, signal);
        QFETCH(int, status);
        QTemporaryDir work;
        makeClip(work.filePath(u"a.mp4"_s), u"160x120"_s, 6, 10);
        QVERIFY(QFile::copy(work.filePath(u"a.mp4"_s), work.filePath(u"b.mp4"_s)));
        // Real ffmpeg reading its input at the clip's own pace, so the encode is still running
        // when the signal comes.
        const QString tools = work.filePath(u"tools"_s);
        QDir().mkpath(tools);
        TestSupport::writeScript(tools + u"/ffmpeg"_s,
                                 "case \" $* \" in *\" -i \"*) exec /usr/bin/ffmpeg -re \"$@\";; "
                                 "esac\nexec /usr/bin/ffmpeg \"$@\"\n");

        QProcess process;
        startCli(process, {u"--json"_s, u"--jobs=1"_s, u"--no-crops"_s, u"--no-webm"_s,
                           u"--no-poster"_s, u"--ffmpeg"_s, tools + u"/ffmpeg"_s, work.path()});
        const QDir out(work.filePath(u"optimised"_s));
        // Wait until the first encode is under way (its staging file exists).
        for (int i = 0; i < 300 && out.entryList(QDir::Files | QDir::Hidden).isEmpty(); ++i)
            QTest::qWait(50);
        QVERIFY(!out.entryList(QDir::Files | QDir::Hidden).isEmpty());
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(out.entryList(QDir::Files | QDir::Hidden), QStringList());

        const QJsonArray items =
            QJsonDocument::fromJson(process.readAllStandardOutput()).object()[u"items"_s].toArray();
        QStringList statuses;
        for (const auto& item : items)
            statuses << item[u"status"_s].toString();
        QCOMPARE(statuses, (QStringList{u"cancelled"_s, u"queued"_s}));
    }
    // A queue whose outputs collide: the dry run names exactly what a run writes, and the
    // names stay put when the same queue runs again.
    void dryRunNamesWhatTheRunWrites() {
        QTemporaryDir work;
        const QString in = work.filePath(u"in"_s);
        QDir().mkpath(in + u"/a"_s);
        QDir().mkpath(in + u"/b"_s);
        for (const QString& name :
             {u"photo.png"_s, u"photo.jpg"_s, u"a/DSC_0001.JPG"_s, u"b/DSC_0001.JPG"_s})
            makeImage(in + u'/' + name, u"64x48"_s);
        makeClip(in + u"/clip.mov"_s, u"96x96"_s, 1, 5);
        makeClip(in + u"/clip.mp4"_s, u"96x96"_s, 1, 5);
        const QStringList args{u"--image-format=jpeg"_s, u"--no-webm"_s,
                               u"--crops=9x16"_s,        u"--output"_s,
                               work.filePath(u"out"_s),  in};

        const Outcome plan = cli(QStringList{u"--dry-run"_s, u"--json"_s} + args);
        QCOMPARE(plan.status, 0);
        QStringList planned;
        for (const auto& item : plan.json()[u"items"_s].toArray())
            for (const auto& output : item[u"outputs"_s].toArray())
                planned << output[u"destination"_s].toString();
        QCOMPARE(QSet<QString>(planned.begin(), planned.end()).size(), planned.size());
        QVERIFY(planned.contains(work.filePath(u"out/in/photo-2.jpg"_s)));
        QVERIFY(planned.contains(work.filePath(u"out/in/clip-poster-2.jpg"_s)));
        QVERIFY(planned.contains(work.filePath(u"out/in/b/DSC_0001.jpg"_s)));

        const auto written = [&](const QStringList& extra) {
            const Outcome o = cli(QStringList{u"--json"_s} + extra + args);
            QStringList paths;
            for (const auto& item : o.json()[u"items"_s].toArray())
                for (const auto& output : item[u"outputs"_s].toArray())
                    paths << output[u"path"_s].toString();
            return std::pair(o.status, paths);
        };
        QCOMPARE(written({}), std::pair(0, planned));
        QFileInfo first(planned.first());
        const QDateTime modified = first.lastModified();
        QCOMPARE(written({u"--no-overwrite"_s}), std::pair(0, planned));
        first.refresh();
        QCOMPARE(first.lastModified(), modified);
    }

    void outputFolderMayBeTheInputFolder() {
        QTemporaryDir work;
        const QString dir = work.filePath(u"site"_s);
        QDir().mkpath(dir);
        makeImage(dir + u"/hero.png"_s, u"64x48"_s);
        const QStringList args{u"--image-format=jpeg"_s, u"--output"_s, dir};

        Outcome o = cli(args + QStringList{dir});
        QCOMPARE(o.status, 0);
        QVERIFY(QFileInfo::exists(dir + u"/site/hero.jpg"_s));
        // Again: the previous output is told apart, the source is processed again.
        o = cli(args + QStringList{u"--json"_s, dir});
        QCOMPARE(o.status, 0);
        const QJsonArray items = o.json()[u"items"_s].toArray();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0][u"source"_s].toString(), dir + u"/hero.png"_s);
        QVERIFY(!QFileInfo::exists(dir + u"/site/site/hero.jpg"_s));
        // Only previous outputs given: said in words that match.
        o = cli(args + QStringList{dir + u"/site"_s});
        QCOMPARE(o.status, 2);
        QVERIFY2(o.err.contains(u"all given files are inside the output folder "_s + dir),
                 qPrintable(o.err));
    }
};

QTEST_GUILESS_MAIN(TestCliRun)
#include "test_cli_run.moc"
