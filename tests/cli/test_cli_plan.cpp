#include "CliHarness.h"
#include "planning/CommandBuilder.h"
#include "tools/EncoderCaps.h"

#include <QJsonArray>
#include <QtTest>

#include <csignal>

using namespace CliTest;

// Dry runs, overrides and bad usage: what the command line plans and refuses.
class TestCliPlan : public CliHarness {
    Q_OBJECT

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

        // The frame at a tenth of the clip shows its picture, so that is where the poster stays.
        QCOMPARE(item[u"posterTime"_s].toDouble(), 0.1);

        // Exactly the planner's outputs for what the dry run read; the planner's own tests hold
        // the argument lists.
        MediaItem read;
        read.url = QUrl::fromLocalFile(folder + u"/clip.mov"_s);
        read.kind = MediaKind::video;
        read.width = 3840;
        read.height = 2160;
        read.duration = item[u"duration"_s].toDouble();
        read.hasAudio = true;
        read.posterTime = 0.1;
        const QList<PlannedOutput> plan = CommandBuilder::videoPlan(
            read, TersioSettings{}, EncoderCaps::detect(u"/usr/bin/ffmpeg"_s),
            QUrl::fromLocalFile(out));
        const QJsonArray outputs = item[u"outputs"_s].toArray();
        QCOMPARE(outputs.size(), plan.size());
        for (qsizetype i = 0; i < plan.size(); ++i) {
            QCOMPARE(outputs[i][u"label"_s].toString(), plan[i].label);
            QCOMPARE(outputs[i][u"destination"_s].toString(), plan[i].destination.toLocalFile());
            QCOMPARE(arguments(outputs[i]), plan[i].arguments);
        }

        // One process writes all seven; each destination appears once, where the list says.
        const QJsonArray invocations = item[u"invocations"_s].toArray();
        QCOMPARE(invocations.size(), 1);
        const QStringList fused = arguments(invocations[0]);
        QCOMPARE(fused.count(u"-i"_s), 1);
        QVERIFY(fused.contains(u"-filter_complex"_s));
        QStringList destinations;
        for (const auto& d : invocations[0].toObject()[u"destinations"_s].toArray())
            destinations << d.toString();
        QCOMPARE(destinations.size(), 7);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(destinations[i], outputs[i].toObject()[u"destination"_s].toString());
            QCOMPARE(fused.count(destinations[i]), 1);
        }

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
        QCOMPARE(arguments(outputs[4]).last(), chosen + u"/uhd/clip-1x1-hevc.mp4"_s);
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
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=32x32"_s,
                                     u"-frames:v"_s, u"1"_s, u"-pix_fmt"_s, u"ya8"_s,
                                     folder + u"/grey.png"_s}));

        const Outcome o = cli({u"--dry-run"_s, u"--json"_s, folder});
        QHash<QString, QJsonObject> bySource;
        for (const auto& entry : o.json()[u"items"_s].toArray())
            bySource.insert(QFileInfo(entry[u"source"_s].toString()).fileName(), entry.toObject());
        QCOMPARE(bySource.size(), 5);
        for (const QJsonObject& item : std::as_const(bySource)) {
            QVERIFY(item.contains(u"hdr"_s));
            QVERIFY(item.contains(u"hasAlpha"_s));
            QVERIFY(item.contains(u"grey"_s));
        }
        QCOMPARE(bySource[u"grey.png"_s][u"grey"_s].toBool(), true);
        QCOMPARE(bySource[u"alpha.png"_s][u"grey"_s].toBool(true), false);
        QCOMPARE(
            bySource[u"grey.png"_s][u"outputs"_s][0][u"post"_s].toArray().toVariantList(),
            (QVariantList{u"png-palette"_s, u"png-lossless-squeeze"_s, u"source-if-smaller"_s}));
        QCOMPARE(o.json()[u"tools"_s][u"ffmpeg"_s].toString().isEmpty(), false);
        QCOMPARE(bySource[u"alpha.png"_s][u"hasAlpha"_s].toBool(), true);
        QCOMPARE(bySource[u"photo.heic"_s][u"hasAlpha"_s].toBool(), true);
        QCOMPARE(bySource[u"hlg.mp4"_s][u"hdr"_s].toBool(), true);
        QCOMPARE(bySource[u"hlg.mp4"_s][u"hasAlpha"_s].toBool(true), false);
        QCOMPARE(bySource[u"anim.webp"_s][u"error"_s].toString(),
                 u"Animated WebP is not supported by this FFmpeg build."_s);
        const QStringList heic = arguments(bySource[u"photo.heic"_s][u"outputs"_s][0]);
        QCOMPARE(argumentAfter(heic, u"-i"_s), folder + u"/photo.heic"_s);
    }

    void skippedOutputsStayOutOfTheProcesses() {
        const QString folder = media_.filePath(u"kept"_s);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(TestSupport::ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc2=s=320x240:d=1"_s,
                                     u"-pix_fmt"_s, u"yuv420p"_s, folder + u"/clip.mp4"_s}));
        const QString kept = folder + u"/optimised/clip.webm"_s;
        QVERIFY(TestSupport::writeFile(kept, "old"));
        const Outcome o = cli({u"--dry-run"_s, u"--json"_s, u"--no-overwrite"_s, folder});
        const QJsonObject item = o.json()[u"items"_s][0].toObject();
        QCOMPARE(item[u"outputs"_s].toArray().size(), 7);
        QCOMPARE(item[u"outputs"_s][1][u"skip"_s].toBool(), true);
        QStringList written;
        for (const auto& invocation : item[u"invocations"_s].toArray())
            for (const auto& d : invocation.toObject()[u"destinations"_s].toArray())
                written << d.toString();
        QCOMPARE(written.size(), 6);
        QVERIFY(!written.contains(kept));
        QVERIFY(!arguments(item[u"invocations"_s][0]).contains(kept));
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
};

QTEST_GUILESS_MAIN(TestCliPlan)
#include "test_cli_plan.moc"
