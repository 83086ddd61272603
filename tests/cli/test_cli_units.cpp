#include "CliUnitSupport.h"
#include "CommandLine.h"
#include "EffectiveSettings.h"
#include "HelpText.h"
#include "OutputFolders.h"
#include "PlanReport.h"
#include "ProgressView.h"
#include "RunReport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Parses and applies to a default record; the error of either step, or the edited record.
std::pair<TersioSettings, QString> applied(const QStringList& args) {
    const auto parsed = CommandLine::parse(args);
    TersioSettings s;
    if (!parsed.error.isEmpty())
        return {s, parsed.error};
    return {s, CommandLine::applyEdits(parsed.request, s) + QString()};
}

TersioSettings edited(const QStringList& args) {
    const auto parsed = CommandLine::parse(args);
    TersioSettings s;
    CommandLine::applyEdits(parsed.request, s);
    return s;
}

} // namespace

class TestCliUnits : public QObject {
    Q_OBJECT

  private slots:
    void parsesPathsSwitchesAndBothValueForms() {
        const auto p =
            CommandLine::parse({u"a.jpg"_s, u"--dry-run"_s, u"--json"_s, u"--settings=s.json"_s,
                                u"--ffmpeg"_s, u"/x/ffmpeg"_s, u"--"_s, u"--odd-name.mov"_s});
        QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
        QCOMPARE(p.request.paths, (QStringList{u"a.jpg"_s, u"--odd-name.mov"_s}));
        QVERIFY(p.request.dryRun && p.request.json && !p.request.quiet);
        QCOMPARE(p.request.settingsFile, u"s.json"_s);
        QCOMPARE(p.request.ffmpegPath, u"/x/ffmpeg"_s);
    }

    void rejectsBadUsageWithTheReason_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("needle");
        QTest::newRow("unknown") << QStringList{u"--fast"_s} << u"unknown option --fast"_s;
        QTest::newRow("missing value") << QStringList{u"--speed"_s} << u"--speed needs a value"_s;
        QTest::newRow("switch with value") << QStringList{u"--json=1"_s} << u"takes no value"_s;
        QTest::newRow("speed not raw")
            << QStringList{u"--speed"_s, u"Fast"_s} << u"veryfast, faster, medium, slow"_s;
        QTest::newRow("format label")
            << QStringList{u"--image-format=JPEG"_s} << u"matchSource, jpeg, webp, avif, png"_s;
        QTest::newRow("audio") << QStringList{u"--audio"_s, u"stereo"_s} << u"keep, mono, remove"_s;
        QTest::newRow("trailing text")
            << QStringList{u"--image-quality"_s, u"80x"_s} << u"from 0 to 100"_s;
        QTest::newRow("blank") << QStringList{u"--image-quality"_s, u" 80"_s} << u"from 0 to 100"_s;
        QTest::newRow("group separator")
            << QStringList{u"--image-max-width"_s, u"1,200"_s} << u"whole number"_s;
        QTest::newRow("quality range") << QStringList{u"--video-quality=101"_s} << u"0 to 100"_s;
        QTest::newRow("nan") << QStringList{u"--video-quality=nan"_s} << u"0 to 100"_s;
        QTest::newRow("fraction width")
            << QStringList{u"--video-max-width=1280.5"_s} << u"whole number"_s;
        QTest::newRow("jobs") << QStringList{u"--jobs=0"_s} << u"from 1 to 6"_s;
        QTest::newRow("crop syntax") << QStringList{u"--crops=9:16"_s} << u"ratio like 9x16"_s;
        QTest::newRow("crop unknown")
            << QStringList{u"--crops=3x4"_s}
            << u"no stored crop has the ratio 3x4 (stored: 9x16,1x1,4x5)"_s;
        QTest::newRow("empty output") << QStringList{u"--output="_s} << u"needs a folder"_s;
    }
    void rejectsBadUsageWithTheReason() {
        QFETCH(QStringList, args);
        QFETCH(QString, needle);
        const QString error = applied(args).second;
        QVERIFY2(error.contains(needle), qPrintable(error));
    }

    void editsOverrideTheirFieldsInOrder() {
        const TersioSettings s =
            edited({u"--image-format=webp"_s, u"--image-quality=55.5"_s, u"--speed"_s, u"slow"_s,
                    u"--hevc"_s, u"--no-webm"_s, u"--no-poster"_s, u"--audio=mono"_s,
                    u"--audio-kbps=96"_s, u"--jobs=3"_s, u"--no-overwrite"_s, u"--webp-copy"_s,
                    u"--keep-metadata"_s, u"--h264"_s, u"--no-h264"_s});
        QCOMPARE(s.imageFormat, ImageFormat::webp);
        QCOMPARE(s.imageQuality, 55.5);
        QCOMPARE(s.speed, SpeedPreset::slow);
        QVERIFY(s.makeHEVC && !s.makeWebM && !s.makePoster && !s.makeH264);
        QCOMPARE(s.audio, AudioMode::mono);
        QCOMPARE(s.audioKbps, 96);
        QCOMPARE(s.maxConcurrent, 3);
        QVERIFY(!s.overwriteExisting && s.alsoEmitWebP && !s.stripMetadata);
        TersioSettings untouched;
        untouched.imageFormat = s.imageFormat; // everything not named stays as it was
        QCOMPARE(edited({u"--image-format=webp"_s}), untouched);
    }

    void widthCapsAndOutputPlacement() {
        TersioSettings s = edited({u"--no-width-cap"_s, u"--video-max-width=1280"_s});
        QVERIFY(!s.imageLimitWidth);
        QVERIFY(s.videoLimitWidth);
        QCOMPARE(s.videoMaxWidth, 1280);

        s = edited({u"--output"_s, u"rel/../out"_s});
        QCOMPARE(s.outputMode, OutputMode::customFolder);
        QCOMPARE(s.customFolderPath, QDir::current().absoluteFilePath(u"out"_s));
        s = edited({u"--output=/tmp/x"_s, u"--subfolder"_s, u"web"_s});
        QCOMPARE(s.outputMode, OutputMode::subfolder);
        QCOMPARE(s.subfolderName, u"web"_s);
    }

    void cropsEnableExactlyTheListedStoredRatios() {
        TersioSettings s = edited({u"--crops=4x5,1x1"_s});
        QCOMPARE(s.activeCrops().size(), 2);
        QCOMPARE(s.activeCrops()[0].ratioText(), u"1x1"_s);
        QCOMPARE(s.activeCrops()[1].ratioText(), u"4x5"_s);
        QCOMPARE(s.cropVariants.size(), 3); // none added or removed
        QVERIFY(edited({u"--no-crops"_s}).activeCrops().isEmpty());
    }

    // Where a folder's outputs go, given the folder the item was found in ("" for a file
    // named outright).
    void outputFoldersAreRecognised_data() {
        QTest::addColumn<QString>("chosen"); // empty: subfolder mode with `subfolder`
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("addedFolder");
        QTest::addColumn<bool>("held");
        QTest::newRow("optimised beside") << ""
                                          << ""
                                          << "/m/optimised/a.jpg"
                                          << "/m" << true;
        QTest::newRow("optimised deeper") << ""
                                          << ""
                                          << "/m/x/optimised/a.jpg"
                                          << "/m" << true;
        QTest::newRow("source") << ""
                                << ""
                                << "/m/a.jpg"
                                << "/m" << false;
        QTest::newRow("similar name") << ""
                                      << ""
                                      << "/m/not-optimised/a.jpg"
                                      << "/m" << false;
        QTest::newRow("nested name") << ""
                                     << " web/min\t"
                                     << "/m/web/min/a.jpg"
                                     << "/m" << true;
        QTest::newRow("half the name") << ""
                                       << "web/min"
                                       << "/m/web/a.jpg"
                                       << "/m" << false;
        QTest::newRow("beside the sources") << ""
                                            << "."
                                            << "/m/a.jpg"
                                            << "/m" << false;
        QTest::newRow("named outright") << ""
                                        << ""
                                        << "/m/optimised/a.jpg"
                                        << "" << false;
        QTest::newRow("copy of the folder") << "/out"
                                            << ""
                                            << "/out/m/a.jpg"
                                            << "/m" << true;
        QTest::newRow("deep in the copy") << "/out"
                                          << ""
                                          << "/out/m/d/a.jpg"
                                          << "/m" << true;
        QTest::newRow("chosen folder is the added one") << "/m"
                                                        << ""
                                                        << "/m/a.jpg"
                                                        << "/m" << false;
        QTest::newRow("its copy inside it") << "/m"
                                            << ""
                                            << "/m/m/a.jpg"
                                            << "/m" << true;
        QTest::newRow("another folder's copy") << "/out"
                                               << ""
                                               << "/out/n/a.jpg"
                                               << "/m" << false;
        QTest::newRow("outside") << "/out"
                                 << ""
                                 << "/outside/m/a.jpg"
                                 << "/m" << false;
    }

    void outputFoldersAreRecognised() {
        QFETCH(QString, chosen);
        QFETCH(QString, subfolder);
        QFETCH(QString, file);
        QFETCH(QString, addedFolder);
        TersioSettings s;
        s.subfolderName = subfolder;
        if (!chosen.isEmpty()) {
            s.outputMode = OutputMode::customFolder;
            s.customFolderPath = chosen;
        }
        MediaItem found;
        found.url = QUrl::fromLocalFile(file);
        found.addedFolder = addedFolder;
        QTEST(OutputFolders::holds(found, s), "held");
    }

    void settingsFileIsStrictAndNamedInTheError() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"s.json"_s);
        CliRequest request;
        request.settingsFile = path;
        QVERIFY(EffectiveSettings::resolve(request).error.contains(u"cannot read"_s));

        QJsonObject object = TersioSettings{}.toJson();
        object.remove(u"overwriteExisting"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(object).toJson());
        file.close();
        const auto invalid = EffectiveSettings::resolve(request);
        QVERIFY(invalid.error.contains(path) && invalid.error.contains(u"not a valid"_s));

        TersioSettings stored;
        stored.imageQuality = 40;
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(stored.toJsonBytes());
        file.close();
        request.edits = CommandLine::parse({u"--video-quality=50"_s}).request.edits;
        const auto good = EffectiveSettings::resolve(request);
        QVERIFY(good.error.isEmpty());
        QCOMPARE(good.settings.imageQuality, 40.0);
        QCOMPARE(good.settings.videoQuality, 50.0);
    }

    void helpListsEveryFlagWithTheEffectiveValue() {
        TersioSettings s;
        const QString help = HelpText::usage(s);
        QVERIFY(help.contains(u"--image-quality Q"_s));
        QVERIFY(help.contains(u"image quality 0–100 (now 78)"_s));
        QVERIFY(help.contains(u"(now 9x16,1x1)"_s));
        for (const auto& flag : CliFlags::settingFlags())
            QVERIFY2(help.contains(flag.name), qPrintable(flag.name));
        for (const char* name : {"--dry-run", "--json", "--quiet", "--settings FILE",
                                 "--print-settings", "--ffmpeg PATH", "--version"})
            QVERIFY(help.contains(QLatin1String(name)));
        s.imageQuality = 64.5;
        s.speed = SpeedPreset::slow;
        QVERIFY(HelpText::usage(s).contains(u"image quality 0–100 (now 64.5)"_s));
        QVERIFY(HelpText::usage(s).contains(u"(now slow)"_s));
    }

    void planJsonCarriesFactsOutputsAndErrors() {
        ItemPlan planned;
        planned.item.url = QUrl::fromLocalFile(u"/m/clip.mov"_s);
        planned.item.kind = MediaKind::video;
        planned.item.width = 640;
        planned.item.height = 360;
        planned.item.duration = 1.5;
        planned.steps << PlanStep{{u"MP4 · H.264"_s,
                                   QUrl::fromLocalFile(u"/m/o/clip.mp4"_s),
                                   {u"-i"_s, u"/m/clip.mov"_s, u"/m/o/clip.mp4"_s},
                                   1.5},
                                  true};
        ItemPlan broken;
        broken.item.url = QUrl::fromLocalFile(u"/m/a.jpg"_s);
        broken.error = u"Choose an output folder in Output settings."_s;

        const QJsonArray items = PlanReport::json({planned, broken}).object()[u"items"_s].toArray();
        QCOMPARE(items.size(), 2);
        const QJsonObject first = items[0].toObject();
        QCOMPARE(first[u"source"_s].toString(), u"/m/clip.mov"_s);
        QCOMPARE(first[u"kind"_s].toString(), u"video"_s);
        QCOMPARE(first[u"width"_s].toInt(), 640);
        QCOMPARE(first[u"duration"_s].toDouble(), 1.5);
        QVERIFY(first.contains(u"hdr"_s) && first.contains(u"hasAlpha"_s));
        const QJsonObject out = first[u"outputs"_s].toArray()[0].toObject();
        QCOMPARE(out[u"label"_s].toString(), u"MP4 · H.264"_s);
        QCOMPARE(out[u"destination"_s].toString(), u"/m/o/clip.mp4"_s);
        QCOMPARE(out[u"arguments"_s].toArray().size(), 3);
        QCOMPARE(out[u"skip"_s].toBool(), true);
        QVERIFY(!items[1].toObject().contains(u"outputs"_s));
        QCOMPARE(items[1].toObject()[u"error"_s].toString(), broken.error);

        const QString listing = PlanReport::text({planned, broken}, u"/usr/bin/ffmpeg"_s);
        QVERIFY(listing.contains(u"/usr/bin/ffmpeg -i /m/clip.mov /m/o/clip.mp4"_s));
        QVERIFY(listing.contains(u"fails: Choose an output folder"_s));
        QCOMPARE(PlanReport::shellQuoted(u"it's here"_s), u"'it'\\''s here'"_s);
        QCOMPARE(PlanReport::shellQuoted(u"scale=720:-2:flags=lanczos"_s),
                 u"scale=720:-2:flags=lanczos"_s);
    }

    void runReportTotalsLinesAndExitStatus() {
        const QList<MediaItem> items{
            item(u"/a.jpg"_s, ItemStatus::done(), 1000, {400, 100}),
            item(u"/b.jpg"_s, ItemStatus::done(), 1000, {1200}),
            item(u"/c.mov"_s, ItemStatus::failed(u"moov atom not found"_s), 5000),
            item(u"/d.mov"_s, ItemStatus::cancelled()),
        };
        const auto t = RunReport::totals(items);
        QCOMPARE(t.done, 2);
        QCOMPARE(t.failed, 1);
        QCOMPARE(t.cancelled, 1);
        QCOMPARE(t.sourceBytes, 2000);
        QCOMPARE(t.savedBytes, 600 - 200);

        QVERIFY(
            RunReport::finishedLine(items[0]).contains(u"/a.jpg -> /a.jpg.out.jpg  saved 1 KB"_s));
        QVERIFY(RunReport::finishedLine(items[1]).endsWith(u"1 KB larger"_s));
        QVERIFY(RunReport::finishedLine(items[2]).endsWith(u"/c.mov: moov atom not found"_s));

        const QJsonObject summary = RunReport::summary(items).object();
        QCOMPARE(summary[u"totals"_s].toObject()[u"savedBytes"_s].toInteger(), 400);
        const QJsonObject a = summary[u"items"_s].toArray()[0].toObject();
        QCOMPARE(a[u"status"_s].toString(), u"done"_s);
        QCOMPARE(a[u"outputs"_s].toArray()[1].toObject()[u"bytes"_s].toInteger(), 100);
        QCOMPARE(summary[u"items"_s].toArray()[2].toObject()[u"message"_s].toString(),
                 u"moov atom not found"_s);

        QCOMPARE(RunReport::exitStatus(items.mid(0, 2), 0), 0);
        QCOMPARE(RunReport::exitStatus(items, 0), 1);
        QCOMPARE(RunReport::exitStatus(items, 2), 130);
    }

    void progressLinesAndEstimate() {
        QCOMPARE(ProgressView::clock(7), u"0:07"_s);
        QCOMPARE(ProgressView::clock(723), u"12:03"_s);
        QCOMPARE(ProgressView::clock(3723), u"1:02:03"_s);

        MediaItem running = item(u"/m/clip.mov"_s, ItemStatus::working());
        running.progress = 0.5;
        running.currentTask = u"WebM · VP9"_s;
        const QList<MediaItem> items{running, item(u"/m/a.jpg"_s, ItemStatus::done()),
                                     item(u"/m/b.jpg"_s, ItemStatus::failed(u"x"_s)),
                                     item(u"/m/c.jpg"_s, ItemStatus::queued())};
        QCOMPARE(ProgressView::batchFraction(items), 2.5 / 4);
        const QStringList lines = ProgressView::lines(items, 10, 200, 6.0);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], u" 50%  clip.mov  WebM · VP9"_s);
        QVERIFY2(lines[1].contains(u" 62%  2/4 files  0:10 elapsed, about 0:06 left"_s),
                 qPrintable(lines[1]));
        for (const auto& line : ProgressView::lines(items, 10, 30, std::nullopt))
            QVERIFY(line.size() <= 29);
    }

    void terminalFrameReplacesThePreviousBlock() {
        TerminalFrame frame;
        const QByteArray first = frame.next({}, {u"a"_s, u"b"_s});
        QVERIFY(!first.contains("\x1b[2A"));
        const QByteArray second = frame.next({u"done x"_s}, {u"c"_s});
        QVERIFY(second.startsWith("\x1b[2A\r\x1b[2Kdone x\n\x1b[2Kc\n"));
        QVERIFY(second.endsWith("\x1b[J"));
        QVERIFY(frame.next({}, {}).startsWith("\x1b[1A"));
    }
};

QTEST_GUILESS_MAIN(TestCliUnits)
#include "test_cli_units.moc"
