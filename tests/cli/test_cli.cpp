#include "CliHarness.h"

#include <csignal>

using namespace CliTest;
using TestSupport::row;
using TestSupport::words;

// The real executable: what it plans without touching anything, what a run writes and says,
// what it refuses, how a signal stops it. Its pieces are in test_cli_pieces, shards in
// test_cli_shards.
class TestCli : public CliHarness {
    Q_OBJECT

    std::optional<QTemporaryDir> work_; // per test

    QString at(const QString& name) const { return work_->filePath(name); }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && config_.isValid());
        makeClip(media_.filePath("uhd/clip.mov"), "3840x2160", 1, 2);
    }

    void init() {
        QFile::remove(storeFile());
        work_.emplace();
    }

    // One process writes all seven outputs, each destination once, where the list says; a
    // kept output stays out of it; nothing is written.
    void dryRunPlansOneProcessAndTouchesNothing() {
        const QString folder = media_.filePath("uhd"), kept = folder + u"/optimised/clip.webm"_s;
        for (const bool keep : {false, true}) {
            const Outcome o = cli({"--dry-run", "--json", "--no-overwrite", folder});
            QCOMPARE(o.status, 0);
            const QJsonObject item = o.json()["items"_L1][0].toObject();
            // The frame at a tenth of the clip shows its picture, so the poster stays there.
            QCOMPARE(item["posterTime"_L1].toDouble(), 0.1);
            QCOMPARE(item["outputs"_L1][1]["skip"_L1].toBool(), keep);
            const QJsonArray invocations = item["invocations"_L1].toArray();
            QCOMPARE(invocations.size(), 1);
            const QStringList fused = arguments(invocations[0]);
            QCOMPARE(fused.count(u"-i"_s), 1);
            QVERIFY(fused.contains("-filter_complex"));
            QStringList destinations = outputsField(o.json(), "destination");
            QCOMPARE(destinations.size(), 7);
            if (keep)
                destinations.removeOne(kept);
            QCOMPARE(strings(invocations[0]["destinations"_L1]), destinations);
            for (const QString& destination : destinations)
                QCOMPARE(fused.count(destination), 1);
            QCOMPARE(fused.contains(kept), !keep);
            QVERIFY2(QFileInfo::exists(folder + u"/optimised"_s) == keep,
                     "a dry run made a folder");
            QVERIFY(!QFileInfo::exists(storeFile()));
            QVERIFY(TestSupport::writeFile(kept, "old"));
        }
        QVERIFY(QDir(folder + u"/optimised"_s).removeRecursively());
        QVERIFY(cli({"--dry-run", folder})
                    .out.contains("crop=1214:2160:1313:0,scale=720:-2:flags=lanczos"));
    }

    // Stored values, then the flags over them, in plans, the settings document and the help.
    void storedSettingsUnderTheFlags() {
        TersioSettings stored;
        stored.speed = SpeedPreset::faster;
        stored.videoQuality = 50;
        storeSettings(stored);
        const auto h264 = [&](const QStringList& flags) {
            const QStringList args =
                arguments(cli(words("--dry-run --json") + flags << media_.filePath("uhd"))
                              .json()["items"_L1][0]["outputs"_L1][0]);
            return args.value(args.indexOf("-preset") + 1) + ' ' +
                   args.value(args.indexOf("-crf") + 1);
        };
        QCOMPARE(h264({}), u"faster 26"_s);
        QCOMPARE(h264(words(u"--speed=slow --video-quality 100"_s)), u"slow 18"_s);
        const QByteArray help = cli(words("--help --video-quality=40")).out;
        QVERIFY(help.contains("video quality 0\u2013100 (now 40)") &&
                help.contains("(now faster)"));
    }

    void badUsageExitsTwoWithTheReason_data() {
        TestSupport::columns<QString, QString>("args", "needle"); // $M: the media folder
        TestSupport::writeFile(media_.filePath("notes/readme.txt"), "text");
        row("unreadable settings", u"--settings $M/none.json $M/uhd"_s,
            u"--settings: cannot read"_s);
        row("nothing to do", u"$M/notes"_s, u"nothing to process"_s);
        row("bad ffmpeg", u"--ffmpeg $M/notes/readme.txt $M/uhd"_s, u"is not an executable file"_s);
    }
    void badUsageExitsTwoWithTheReason() {
        QFETCH(QString, args);
        QFETCH(QString, needle);
        const Outcome o = cli(words(args.replace("$M", media_.path())));
        QCOMPARE(o.status, 2);
        QVERIFY2(o.err.contains(needle), qPrintable(o.err));
        QVERIFY(o.out.isEmpty());
    }

    void realRunWritesCheckedOutputsAndLeavesTheStoreAlone() {
        makeClip(at("clip.mp4"), "320x240", 1, 10);
        makeImage(at("stills/pic.png"), "64x48");
        TersioSettings stored;
        stored.imageFormat = ImageFormat::webp;
        stored.cropVariants[0].enabled = false; // only the square crop
        storeSettings(stored);
        const QByteArray before = TestSupport::readFile(storeFile());

        const Outcome o = cli({"--json", work_->path()});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.json()["totals"_L1]["done"_L1].toInt(), 2);
        for (const auto& item : o.json()["items"_L1].toArray()) {
            QCOMPARE(item["status"_L1].toString(), u"done"_s);
            for (const auto& output : item["outputs"_L1].toArray())
                QCOMPARE(output["bytes"_L1].toInteger(),
                         QFileInfo(output["path"_L1].toString()).size());
        }
        QStringList probed;
        for (const char* name :
             {"optimised/clip.mp4", "optimised/clip.webm", "optimised/clip-1x1.mp4",
              "optimised/clip-poster.jpg", "stills/optimised/pic.webp"}) {
            const QJsonObject s = TestSupport::probeVideo(at(name));
            probed << u"%1 %2x%3"_s.arg(s["codec_name"_L1].toString())
                          .arg(s["width"_L1].toInt())
                          .arg(s["height"_L1].toInt());
        }
        QCOMPARE(probed.join(", "),
                 u"h264 320x240, vp9 320x240, h264 240x240, mjpeg 320x240, webp 64x48"_s);
        QVERIFY(!QFileInfo::exists(at("optimised/clip-9x16.mp4")));
        QCOMPARE(TestSupport::readFile(storeFile()), before);

        // Plain output when standard output is not a terminal: one line per finished item.
        const Outcome again = cli({"--no-overwrite", at("stills")});
        QCOMPARE(again.status, 0);
        QVERIFY2(
            again.out.startsWith(
                u"done      %1 -> %2  "_s.arg(at("stills/pic.png"), at("stills/optimised/pic.webp"))
                    .toUtf8()),
            again.out.constData());
        QCOMPARE(again.out.count('\n'), 1);
    }

    void oneBrokenFileMakesTheRunFail() {
        makeImage(at("good.png"), "32x32");
        TestSupport::writeFile(at("broken.jpg"), QByteArray(2000, 'x'));
        const Outcome o = cli({"--quiet", work_->path()});
        QCOMPARE(o.status, 1);
        QVERIFY(o.out.isEmpty());
        QVERIFY2(o.err.startsWith(u"failed    "_s + at("broken.jpg") + u": "_s), qPrintable(o.err));
        QCOMPARE(o.err.count(u'\n'), 1);
        QVERIFY(QFileInfo::exists(at("optimised/good.png")));
    }

    void stopSignalCancelsWithoutPartialFiles_data() {
        TestSupport::columns<int, int>("signal", "status");
        row("SIGINT", SIGINT, 130);
        row("SIGTERM", SIGTERM, 143);
    }
    void stopSignalCancelsWithoutPartialFiles() {
        QFETCH(int, signal);
        QFETCH(int, status);
        makeClip(at("media/a.mp4"), "160x120", 6, 10);
        QVERIFY(QFile::copy(at("media/a.mp4"), at("media/b.mp4")));
        // Real ffmpeg reading its input at the clip's own pace, so the encode is still running
        // when the signal comes.
        TestSupport::writeScript(at("tools/ffmpeg"),
                                 "case \" $* \" in *\" -i \"*) exec /usr/bin/ffmpeg -re \"$@\";; "
                                 "esac\nexec /usr/bin/ffmpeg \"$@\"\n");
        QProcess process;
        startCli(process, words("--json --jobs=1 --no-crops --no-webm --no-poster --ffmpeg")
                              << at("tools/ffmpeg") << at("media"));
        const QDir out(at("media/optimised"));
        // Wait until the first encode is under way (its staging file exists).
        QTRY_VERIFY_WITH_TIMEOUT(!out.entryList(QDir::Files | QDir::Hidden).isEmpty(), 15000);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(out.entryList(QDir::Files | QDir::Hidden), QStringList());
        QStringList statuses;
        for (const auto& item :
             QJsonDocument::fromJson(process.readAllStandardOutput())["items"_L1].toArray())
            statuses << item["status"_L1].toString();
        QCOMPARE(statuses, (QStringList{u"cancelled"_s, u"queued"_s}));
    }

    // A queue whose outputs collide: the dry run names exactly what a run writes, and the
    // names stay put when the same queue runs again.
    void dryRunNamesWhatTheRunWrites() {
        for (const QString& name : words("photo.png photo.jpg a/DSC_0001.JPG b/DSC_0001.JPG"))
            makeImage(at(u"in/"_s + name), "64x48");
        makeClip(at("in/clip.mov"), "96x96", 1, 5);
        makeClip(at("in/clip.mp4"), "96x96", 1, 5);
        const QStringList args = words("--json --image-format=jpeg --no-webm --crops=9x16 --output")
                                 << at("out") << at("in");
        const Outcome plan = cli(QStringList{"--dry-run"} + args);
        QCOMPARE(plan.status, 0);
        const QStringList planned = outputsField(plan.json(), "destination");
        QCOMPARE(QSet<QString>(planned.begin(), planned.end()).size(), planned.size());
        for (const char* name :
             {"out/in/photo-2.jpg", "out/in/clip-poster-2.jpg", "out/in/b/DSC_0001.jpg"})
            QVERIFY2(planned.contains(at(QString::fromLatin1(name))), name);
        QCOMPARE(outputsField(cli(args).json(), u"path"_s), planned);
        const QDateTime modified = QFileInfo(planned.first()).lastModified();
        QCOMPARE(outputsField(cli(QStringList{u"--no-overwrite"_s} + args).json(), u"path"_s),
                 planned);
        QCOMPARE(QFileInfo(planned.first()).lastModified(), modified);
    }

    void outputFolderMayBeTheInputFolder() {
        const QString dir = at("site");
        makeImage(dir + u"/hero.png"_s, "64x48");
        const QStringList args{"--image-format=jpeg", "--output", dir};
        QCOMPARE(cli(args + QStringList{dir}).status, 0);
        // Again: the previous output is told apart, the source is processed again.
        const Outcome o = cli(args + QStringList{"--json", dir});
        QCOMPARE(o.status, 0);
        QCOMPARE(outputsField(o.json(), u"path"_s), QStringList{dir + u"/site/hero.jpg"_s});
        // Only previous outputs given: said in words that match.
        const Outcome refused = cli(args + QStringList{dir + u"/site"_s});
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.err.contains(u"all given files are inside the output folder "_s + dir),
                 qPrintable(refused.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
