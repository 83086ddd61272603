#include "TestSupport.h"

#include "model/TersioSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

QStringList labels(const QJsonArray& outputs) {
    QStringList list;
    for (const auto& output : outputs)
        list << output.toObject()[u"label"_s].toString();
    return list;
}

QStringList arguments(const QJsonValue& output) {
    QStringList list;
    for (const auto& a : output.toObject()[u"arguments"_s].toArray())
        list << a.toString();
    return list;
}

QString argumentAfter(const QStringList& args, const QString& flag) {
    const qsizetype i = args.indexOf(flag);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : QString();
}

// One stream of an output file, as ffprobe reports it.
QJsonObject probeVideo(const QString& path) {
    QProcess p;
    p.start(u"/usr/bin/ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s,
                                    u"-show_streams"_s, u"-of"_s, u"json"_s, path});
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput())
        .object()[u"streams"_s]
        .toArray()
        .first()
        .toObject();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir media_;  // generated once: test sources are read, never written
    QTemporaryDir config_; // this test's own preferences store
    QString storeFile() const { return config_.filePath(u"Veltrane/Tersio.conf"_s); }

    QProcessEnvironment environment() const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, config_.path());
        return env;
    }

    void startCli(QProcess& process, const QStringList& args) const {
        process.setProcessEnvironment(environment());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(TERSIO_CLI_PATH), args);
        QVERIFY(process.waitForStarted());
    }

    Outcome cli(const QStringList& args) const {
        QProcess process;
        startCli(process, args);
        process.waitForFinished(240000);
        Outcome o;
        o.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        o.out = process.readAllStandardOutput();
        o.err = QString::fromUtf8(process.readAllStandardError());
        return o;
    }

    void storeSettings(const TersioSettings& settings) {
        QSettings store(storeFile(), QSettings::NativeFormat);
        settings.save(store);
        store.sync();
    }

    static void makeClip(const QString& path, const QString& size, int seconds, int rate) {
        QString error;
        QVERIFY2(
            TestSupport::ffmpeg(
                {u"-f"_s, u"lavfi"_s, u"-i"_s,
                 u"testsrc2=size=%1:rate=%2:duration=%3"_s.arg(size).arg(rate).arg(seconds),
                 u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=frequency=440:duration=%1"_s.arg(seconds),
                 u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s, u"-pix_fmt"_s, u"yuv420p"_s,
                 u"-c:a"_s, u"aac"_s, u"-shortest"_s, path},
                &error),
            qPrintable(error));
    }

    static void makeImage(const QString& path, const QString& size) {
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=size="_s + size,
                                     u"-frames:v"_s, u"1"_s, path}));
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && config_.isValid());
        QDir(media_.path()).mkpath(u"uhd"_s);
        makeClip(media_.filePath(u"uhd/clip.mov"_s), u"3840x2160"_s, 1, 2);
    }

    void init() { QFile::remove(storeFile()); }

    void dryRunPrintsTheCompleteVideoPlan() {
        const QString folder = media_.filePath(u"uhd"_s);
        const QString out = folder + u"/optimised/"_s;
        const Outcome o = cli({u"--dry-run"_s, u"--json"_s, folder});
        QCOMPARE(o.status, 0);
        const QJsonArray items = o.json()[u"items"_s].toArray();
        QCOMPARE(items.size(), 1);
        const QJsonObject item = items[0].toObject();
        QCOMPARE(item[u"source"_s].toString(), folder + u"/clip.mov"_s);
        QCOMPARE(item[u"kind"_s].toString(), u"video"_s);
        QCOMPARE(item[u"width"_s].toInt(), 3840);
        QCOMPARE(item[u"height"_s].toInt(), 2160);
        QVERIFY(item[u"duration"_s].toDouble() > 0.5);
        QCOMPARE(item[u"hdr"_s].toBool(true), false);

        const QJsonArray outputs = item[u"outputs"_s].toArray();
        QCOMPARE(labels(outputs),
                 (QStringList{u"MP4 · H.264"_s, u"WebM · VP9"_s, u"Poster frame"_s, u"MP4 · 9x16"_s,
                              u"WebM · 9x16"_s, u"MP4 · 1x1"_s, u"WebM · 1x1"_s}));
        QCOMPARE(arguments(outputs[0]), (QStringList{u"-hide_banner"_s,
                                                     u"-nostdin"_s,
                                                     u"-y"_s,
                                                     u"-loglevel"_s,
                                                     u"error"_s,
                                                     u"-progress"_s,
                                                     u"pipe:1"_s,
                                                     u"-nostats"_s,
                                                     u"-i"_s,
                                                     folder + u"/clip.mov"_s,
                                                     u"-vf"_s,
                                                     u"scale=1920:-2:flags=lanczos"_s,
                                                     u"-c:v"_s,
                                                     u"libx264"_s,
                                                     u"-preset"_s,
                                                     u"medium"_s,
                                                     u"-crf"_s,
                                                     u"24"_s,
                                                     u"-profile:v"_s,
                                                     u"high"_s,
                                                     u"-pix_fmt"_s,
                                                     u"yuv420p"_s,
                                                     u"-movflags"_s,
                                                     u"+faststart"_s,
                                                     u"-c:a"_s,
                                                     u"aac"_s,
                                                     u"-b:a"_s,
                                                     u"128k"_s,
                                                     u"-ac"_s,
                                                     u"2"_s,
                                                     out + u"clip.mp4"_s}));
        const QStringList poster = arguments(outputs[2]);
        QVERIFY(!poster.contains(u"-progress"_s));
        QVERIFY(poster.indexOf(u"-ss"_s) >= 0 &&
                poster.indexOf(u"-ss"_s) < poster.indexOf(u"-i"_s));
        QCOMPARE(argumentAfter(poster, u"-q:v"_s), u"3"_s);
        QCOMPARE(poster.last(), out + u"clip-poster.jpg"_s);
        QCOMPARE(argumentAfter(arguments(outputs[3]), u"-vf"_s),
                 u"crop=1214:2160:1313:0,scale=720:-2:flags=lanczos"_s);
        QCOMPARE(arguments(outputs[4]).last(), out + u"clip-9x16.webm"_s);
        QCOMPARE(argumentAfter(arguments(outputs[5]), u"-vf"_s),
                 u"crop=2160:2160:840:0,scale=800:-2:flags=lanczos"_s);
        QCOMPARE(arguments(outputs[6]).last(), out + u"clip-1x1.webm"_s);

        QVERIFY2(!QFileInfo::exists(out), "a dry run must not create folders");
        QVERIFY(!QFileInfo::exists(storeFile()));

        const Outcome listing = cli({u"--dry-run"_s, folder});
        QCOMPARE(listing.status, 0);
        QVERIFY(listing.out.contains("crop=1214:2160:1313:0,scale=720:-2:flags=lanczos"));
        QVERIFY(listing.out.contains(("-> " + out + "clip-1x1.webm").toUtf8()));
    }

    void overridesAndStoredSettingsChangeThePlan() {
        const QString folder = media_.filePath(u"uhd"_s);
        TersioSettings stored;
        stored.speed = SpeedPreset::faster;
        stored.videoQuality = 50;
        storeSettings(stored);

        Outcome o = cli({u"--dry-run"_s, u"--json"_s, folder});
        QStringList h264 = arguments(o.json()[u"items"_s][0][u"outputs"_s][0]);
        QCOMPARE(argumentAfter(h264, u"-preset"_s), u"faster"_s);
        QCOMPARE(argumentAfter(h264, u"-crf"_s), u"26"_s);

        const QString chosen = media_.filePath(u"chosen"_s);
        o = cli({u"--dry-run"_s, u"--json"_s, u"--hevc"_s, u"--crops=1x1"_s, u"--speed=slow"_s,
                 u"--audio"_s, u"remove"_s, u"--video-quality"_s, u"100"_s, u"--no-poster"_s,
                 u"--video-max-width=1280"_s, u"--output"_s, chosen, folder});
        QCOMPARE(o.status, 0);
        const QJsonArray outputs = o.json()[u"items"_s][0][u"outputs"_s].toArray();
        QCOMPARE(labels(outputs),
                 (QStringList{u"MP4 · H.264"_s, u"MP4 · HEVC"_s, u"WebM · VP9"_s, u"MP4 · 1x1"_s,
                              u"MP4 · HEVC · 1x1"_s, u"WebM · 1x1"_s}));
        h264 = arguments(outputs[0]);
        QCOMPARE(argumentAfter(h264, u"-preset"_s), u"slow"_s);
        QCOMPARE(argumentAfter(h264, u"-crf"_s), u"18"_s);
        QCOMPARE(argumentAfter(h264, u"-vf"_s), u"scale=1280:-2:flags=lanczos"_s);
        QVERIFY(h264.contains(u"-an"_s) && !h264.contains(u"-c:a"_s));
        QCOMPARE(argumentAfter(arguments(outputs[2]), u"-cpu-used"_s), u"1"_s);
        QCOMPARE(arguments(outputs[4]).last(), chosen + u"/clip-1x1-hevc.mp4"_s);
        QVERIFY(!QFileInfo::exists(chosen));

        // The effective document: stored values, then the overrides.
        o = cli({u"--print-settings"_s, u"--jobs=4"_s});
        QCOMPARE(o.status, 0);
        const auto printed = TersioSettings::fromJsonBytes(o.out);
        QVERIFY(printed);
        QCOMPARE(printed->speed, SpeedPreset::faster);
        QCOMPARE(printed->maxConcurrent, 4);

        o = cli({u"--help"_s, u"--video-quality=40"_s});
        QCOMPARE(o.status, 0);
        QVERIFY(o.out.contains("video quality 0\u2013100 (now 40)"));
        QVERIFY(o.out.contains("(now faster)"));
    }

    // Media facts for every item; a prepared photo keeps its own path after "-i"; an
    // animated WebP is refused as a run would refuse it.
    void dryRunReportsMediaFactsAndRefusals() {
        const QString folder = media_.filePath(u"facts"_s);
        QDir(media_.path()).mkpath(u"facts"_s);
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=red@0.4:s=32x32"_s,
                                     u"-frames:v"_s, u"1"_s, u"-pix_fmt"_s, u"rgba"_s,
                                     folder + u"/alpha.png"_s}));
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=32x32:r=3:d=1"_s,
                                     u"-loop"_s, u"0"_s, folder + u"/anim.webp"_s}));
        QVERIFY(TestSupport::ffmpeg(
            {u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=64x36:r=5:d=0.4"_s, u"-c:v"_s, u"libx265"_s,
             u"-x265-params"_s, u"log-level=error"_s, u"-pix_fmt"_s, u"yuv420p10le"_s,
             u"-color_primaries"_s, u"bt2020"_s, u"-color_trc"_s, u"arib-std-b67"_s,
             u"-colorspace"_s, u"bt2020nc"_s, folder + u"/hlg.mp4"_s}));
        QVERIFY(TestSupport::runTool(u"heif-enc"_s, {u"-q"_s, u"50"_s, folder + u"/alpha.png"_s,
                                                     u"-o"_s, folder + u"/photo.heic"_s}));

        const Outcome o = cli({u"--dry-run"_s, u"--json"_s, folder});
        QHash<QString, QJsonObject> bySource;
        for (const auto& entry : o.json()[u"items"_s].toArray())
            bySource.insert(QFileInfo(entry[u"source"_s].toString()).fileName(), entry.toObject());
        QCOMPARE(bySource.size(), 4);
        for (const QJsonObject& item : std::as_const(bySource)) {
            QVERIFY(item.contains(u"hdr"_s));
            QVERIFY(item.contains(u"hasAlpha"_s));
        }
        QCOMPARE(bySource[u"alpha.png"_s][u"hasAlpha"_s].toBool(), true);
        QCOMPARE(bySource[u"photo.heic"_s][u"hasAlpha"_s].toBool(), true);
        QCOMPARE(bySource[u"hlg.mp4"_s][u"hdr"_s].toBool(), true);
        QCOMPARE(bySource[u"hlg.mp4"_s][u"hasAlpha"_s].toBool(true), false);
        QCOMPARE(bySource[u"anim.webp"_s][u"error"_s].toString(),
                 u"Animated WebP is not supported by this FFmpeg build."_s);
        const QStringList heic = arguments(bySource[u"photo.heic"_s][u"outputs"_s][0]);
        QCOMPARE(argumentAfter(heic, u"-i"_s), folder + u"/photo.heic"_s);
    }

    void badUsageExitsTwoWithTheReason_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("needle");
        const QString folder = media_.filePath(u"uhd"_s);
        TestSupport::writeFile(media_.filePath(u"notes/readme.txt"_s), "text");
        TestSupport::writeFile(media_.filePath(u"bad-settings.json"_s), "{\"speed\":\"fast\"}");
        QTest::newRow("speed") << QStringList{u"--speed"_s, u"fast"_s, folder}
                               << u"'fast' is not one of veryfast, faster, medium, slow"_s;
        QTest::newRow("missing path")
            << QStringList{media_.filePath(u"gone.mov"_s)}
            << u"no such file or folder: "_s + media_.filePath(u"gone.mov"_s);
        QTest::newRow("unreadable settings")
            << QStringList{u"--settings"_s, media_.filePath(u"none.json"_s), folder}
            << u"--settings: cannot read"_s;
        QTest::newRow("invalid settings")
            << QStringList{u"--settings"_s, media_.filePath(u"bad-settings.json"_s), folder}
            << u"is not a valid settings document"_s;
        QTest::newRow("no paths") << QStringList{u"--dry-run"_s} << u"no paths given"_s;
        QTest::newRow("unknown flag")
            << QStringList{u"--turbo"_s, folder} << u"unknown option --turbo"_s;
        QTest::newRow("nothing to do")
            << QStringList{media_.filePath(u"notes"_s)} << u"nothing to process"_s;
        QTest::newRow("bad ffmpeg")
            << QStringList{u"--ffmpeg"_s, media_.filePath(u"notes/readme.txt"_s), folder}
            << u"is not an executable file"_s;
    }
    void badUsageExitsTwoWithTheReason() {
        QFETCH(QStringList, args);
        QFETCH(QString, needle);
        const Outcome o = cli(args);
        QCOMPARE(o.status, 2);
        QVERIFY2(o.err.contains(needle), qPrintable(o.err));
        QVERIFY(o.out.isEmpty());
    }

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
        QTest::newRow("SIGINT") << SIGINT << 130;
        QTest::newRow("SIGTERM") << SIGTERM << 143;
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
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
