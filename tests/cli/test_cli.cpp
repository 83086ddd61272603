#include "CliHarness.h"
#include "CommandLine.h"
#include "OutputFolders.h"
#include "PlanReport.h"
#include "RunReport.h"
#include "Shard.h"
#include "SummaryMerge.h"

#include <QDirIterator>
#include <QRegularExpression>

#include <csignal>

using namespace CliTest;
using TestSupport::row;
using TestSupport::words;
using In = QList<SummaryMerge::Input>;

namespace {

// A done item of 1000 bytes with outputs of the given sizes.
MediaItem item(const QString& path, QList<qint64> outputBytes) {
    MediaItem m;
    m.url = QUrl::fromLocalFile(path);
    m.status = ItemStatus::done();
    m.sourceBytes = 1000;
    for (qint64 b : outputBytes)
        m.outputs << ProducedFile{{}, u"JPEG"_s, QUrl::fromLocalFile(path + ".out.jpg"), b, {}};
    return m;
}

// A part's summary as --summary writes it, from "index:status:bytes" per item.
SummaryMerge::Input part(const QString& name, qint64 queueSize, const QString& shard,
                         const QString& entries) {
    QJsonArray items;
    QJsonObject totals{{"done", 0}, {"failed", 0}, {"sourceBytes", 0}};
    for (const QString& entry : words(entries)) {
        const QStringList f = entry.split(':');
        items.append(
            QJsonObject{{"index", f[0].toLongLong()}, {"source", "/m/" + f[0]}, {"status", f[1]}});
        const QString key = f[1] == "done"_L1 ? u"done"_s : u"failed"_s;
        totals[key] = totals[key].toInteger() + 1;
        totals["sourceBytes"] = totals["sourceBytes"].toInteger() + f[2].toLongLong();
    }
    QJsonObject summary{{"queueSize", queueSize}, {"items", items}, {"totals", totals}};
    if (!shard.isEmpty())
        summary["shard"] = shard;
    return {name, summary};
}

} // namespace

// The real executable (what it plans without touching anything, what a run writes and says,
// what it refuses, how a signal stops it), and its pieces where the golden texts do not reach:
// strict values, where previous outputs lie, report lines, merging the parts' summaries.
class TestCli : public CliHarness {
    Q_OBJECT

    std::optional<QTemporaryDir> work_; // per test

    QString at(const QString& name) const { return work_->filePath(name); }

    QTemporaryDir shards_; // the shards' media, runs, logs and tools, kept across tests
    QString whole_;        // one unsharded run
    QString sharded_;      // the same files, four shards
    QString cliWithTools_;
    QJsonObject wholeSummary_;
    QMap<QString, QString> wholePixels_; // relative output path -> decoded frame hashes

    QString logPath(const QString& name) const { return shards_.filePath(name + u".log"_s); }

    // The n-th sh block of the README's "Many machines" section, every change applied, so a
    // recipe edited out of shape fails here rather than silently.
    static QString recipe(int n, const QList<std::pair<QString, QString>>& changes) {
        const QString text = QString::fromUtf8(
            TestSupport::readFile(qEnvironmentVariable("TERSIO_SOURCE_DIR") + u"/README.md"_s));
        qsizetype at = text.indexOf("## Many machines");
        for (int i = 0; at >= 0 && i <= n; ++i)
            at = text.indexOf("```sh\n", at + 1);
        if (at < 0)
            return u"exit 98 # no such recipe"_s;
        QString script = text.mid(at + 6, text.indexOf("```", at + 6) - at - 6);
        for (const auto& [from, to] : changes) {
            if (!script.contains(from))
                return u"exit 99 # the recipe no longer contains: "_s + from;
            script.replace(from, to);
        }
        return script;
    }

    // Runs a shell script with the logging ffmpeg logging to `log`; its status, stderr in `err`.
    int sh(const QString& script, const QString& log, QString* err = nullptr,
           const QStringList& extra = {}) {
        QProcess p;
        QProcessEnvironment e = environment();
        e.insert("HOME", shards_.filePath("home")); // holds parallel's citation notice
        e.insert("FFMPEG_LOG", log);
        for (const QString& pair : extra)
            e.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        p.setProcessEnvironment(e);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start("/bin/sh", {"-c", script});
        p.waitForFinished(120000);
        if (err)
            *err = script + u'\n' + QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // Outputs and hidden files under `root`, relative, leaving out the sources and .tersio.
    static QStringList written(const QString& root) {
        QStringList files;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString path = QDir(root).relativeFilePath(it.next());
                path.contains("optimised/") || path.contains(".tersio-"))
                files << path;
        files.sort();
        return files;
    }

    static QString pixels(const QString& path) {
        QProcess p;
        p.start("/usr/bin/ffmpeg", {"-v", "error", "-i", path, "-f", "framemd5", "-"});
        p.waitForFinished(60000);
        QStringList hashes;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n'))
            if (!line.startsWith(u'#') && !line.isEmpty())
                hashes << line.section(u',', -1).trimmed();
        return hashes.join(u' ');
    }

    // The destinations the logging ffmpeg was started to write, relative to `root`: every
    // hidden file a process names counts, as one process may write several outputs.
    static QStringList encodes(const QString& log, const QString& root) {
        static const QRegularExpression staged("(\\S*)/\\.(\\S+)\\.tersio-\\S+");
        QStringList destinations;
        for (const QString& line : QString::fromUtf8(TestSupport::readFile(log)).split(u'\n')) {
            if (line.contains(u"ssim="_s)) // a score reads the hidden file, it does not write it
                continue;
            // An output's score reference is one more hidden file of the same destination.
            QSet<QString> written;
            for (const auto& m : staged.globalMatch(line))
                written.insert(QDir(root).relativeFilePath(m.captured(1) + u'/' + m.captured(2)));
            destinations << written.values();
        }
        destinations.sort();
        return destinations;
    }

    static QJsonObject readJson(const QString& path, const QString& root = {},
                                const QString& as = {}) {
        QString text = QString::fromUtf8(TestSupport::readFile(path));
        if (!root.isEmpty())
            text.replace(root + u'/', as + u'/');
        return QJsonDocument::fromJson(text.toUtf8()).object();
    }

    void compareWithWholeRun() {
        const QStringList outputs = written(sharded_);
        QCOMPARE(outputs, wholePixels_.keys());
        for (const QString& path : outputs)
            QVERIFY2(pixels(sharded_ + u'/' + path) == wholePixels_.value(path), qPrintable(path));
    }

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

    void valuesAreReadStrictly_data() {
        TestSupport::columns<QStringList, QString>("args", "needle");
        row("switch with value", words("--json=1"), u"takes no value"_s);
        row("blank", QStringList{"--image-quality", " 80"}, u"from 0 to 100"_s);
        row("nan", words("--video-quality=nan"), u"0 to 100"_s);
        row("group separator", words("--image-max-width 1,200"), u"whole number"_s);
        row("shard, negative", words("--shard -1/4"), u"not K/N"_s);
        row("shard, no parts", words("--shard=1/0"), u"at least 1"_s);
        row("shard, sign", words("--shard=+1/2"), u"not K/N"_s);
        row("shard, too big", words("--shard=0/99999999999"), u"not K/N"_s);
        row("summary, no path", words("--summary="), u"needs a path"_s);
    }
    void valuesAreReadStrictly() {
        QFETCH(QStringList, args);
        QFETCH(QString, needle);
        const auto parsed = CommandLine::parse(args << u"dir"_s);
        TersioSettings s;
        const QString error =
            parsed.error.isEmpty() ? CommandLine::applyEdits(parsed.request, s) : parsed.error;
        QVERIFY2(error.contains(needle), qPrintable(error));
    }

    void validForms() {
        const auto p =
            CommandLine::parse(words("--shard=3/4 --output rel/../out --crops=4x5,1x1 d"));
        QCOMPARE(p.request.shard, (Shard{3, 4}));
        TersioSettings s;
        QCOMPARE(CommandLine::applyEdits(p.request, s), QString());
        QCOMPARE(s.customFolderPath, QDir::current().absoluteFilePath(u"out"_s));
        QCOMPARE(s.activeCrops().size(), 2);
        QCOMPARE(s.activeCrops()[0].ratioText() + s.activeCrops()[1].ratioText(), u"1x14x5"_s);
    }

    // Whether an item lies where an earlier run put the outputs of the folder it was found in.
    void outputFoldersAreRecognised() {
        // The chosen folder (none: a subfolder of the name), the file, the folder it was found
        // in (none: named outright), and whether it is taken for an output.
        const struct {
            const char *chosen, *subfolder, *file, *added;
            bool held;
        } cases[] = {{"", "", "/m/optimised/a.jpg", "/m", true},         // optimised beside
                     {"", "", "/m/x/optimised/a.jpg", "/m", true},       // optimised deeper
                     {"", "", "/m/a.jpg", "/m", false},                  // a source
                     {"", "", "/m/not-optimised/a.jpg", "/m", false},    // a similar name
                     {"", " web/min\t", "/m/web/min/a.jpg", "/m", true}, // a nested name
                     {"", "web/min", "/m/web/a.jpg", "/m", false},       // half the name
                     {"", ".", "/m/a.jpg", "/m", false},                 // beside the sources
                     {"", "", "/m/optimised/a.jpg", "", false},          // named outright
                     {"/out", "", "/out/m/a.jpg", "/m", true},           // the folder's copy
                     {"/out", "", "/out/m/d/a.jpg", "/m", true},         // deep in the copy
                     {"/m", "", "/m/a.jpg", "/m", false},       // chosen folder is the added one
                     {"/m", "", "/m/m/a.jpg", "/m", true},      // its copy inside it
                     {"/out", "", "/out/n/a.jpg", "/m", false}, // another folder's copy
                     {"/out", "", "/outside/m/a.jpg", "/m", false}}; // outside
        for (const auto& c : cases) {
            TersioSettings s;
            s.subfolderName = QString::fromUtf8(c.subfolder);
            if (*c.chosen) {
                s.outputMode = OutputMode::customFolder;
                s.customFolderPath = QString::fromUtf8(c.chosen);
            }
            MediaItem found;
            found.url = QUrl::fromLocalFile(QString::fromUtf8(c.file));
            found.addedFolder = QString::fromUtf8(c.added);
            QVERIFY2(OutputFolders::holds(found, s) == c.held, c.file);
        }
    }

    void reportAndProgressLines() {
        QVERIFY(RunReport::finishedLine(item("/a.jpg", {400, 100}))
                    .contains("/a.jpg -> /a.jpg.out.jpg  saved 1 KB"_L1));
        QVERIFY(RunReport::finishedLine(item("/b.jpg", {1200})).endsWith("1 KB larger"_L1));
        QCOMPARE(PlanReport::shellQuoted(u"it's here"_s), u"'it'\\''s here'"_s);
        QCOMPARE(PlanReport::shellQuoted(u"scale=720:-2"_s), u"scale=720:-2"_s);
    }

    // The merged queue indices, those no part reports, and the source bytes; or the error.
    void mergeSummaries_data() {
        TestSupport::columns<In, QString>("inputs", "merged");
        row("two parts, out of order",
            In{part("1.json", 4, "1/2", "1:done:10 3:failed:0"),
               part("0.json", 4, "0/2", "0:done:5 2:done:7")},
            u"0 1 2 3 / - / 22"_s);
        row("a part that has not reported",
            In{part("0.json", 5, "0/3", "0:done:1 3:done:1"), part("2.json", 5, "2/3", "2:done:1")},
            u"0 2 3 / 1 4 / 3"_s);
        row("empty part", In{part("0.json", 1, "0/2", "0:done:4"), part("1.json", 1, "1/2", {})},
            u"0 / - / 4"_s);
        row("different queues", In{part("0.json", 4, "0/2", {}), part("1.json", 5, "1/2", {})},
            u"different queues"_s);
        row("different splits", In{part("0.json", 4, "0/2", {}), part("1.json", 4, "1/3", {})},
            u"split the queue differently"_s);
        row("index beyond the queue", In{part("0.json", 2, "0/2", "2:done:1")},
            u"valid queue index"_s);
        row("not a summary", In{{u"plan.json"_s, QJsonObject{{"items", QJsonArray{}}}}},
            u"plan.json is not a run summary"_s);
    }
    void mergeSummaries() {
        QFETCH(In, inputs);
        QFETCH(QString, merged);
        const SummaryMerge::Result r = SummaryMerge::merge(inputs);
        if (!merged.contains('/')) {
            QVERIFY2(r.error.contains(merged), qPrintable(r.error));
            return;
        }
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QStringList indices, missing;
        for (const auto& item : r.summary["items"_L1].toArray())
            indices << QString::number(item["index"_L1].toInteger());
        for (qsizetype index : r.missing)
            missing << QString::number(index);
        const QJsonObject totals = r.summary["totals"_L1].toObject();
        QCOMPARE(
            u"%1 / %2 / %3"_s.arg(indices.join(' '), missing.isEmpty() ? u"-"_s : missing.join(' '))
                .arg(totals["sourceBytes"_L1].toInteger()),
            merged);
        QCOMPARE(totals["done"_L1].toInteger() + totals["failed"_L1].toInteger(),
                 qint64(indices.size()));
        QVERIFY(!r.summary.contains("shard"_L1));
    }

    // One run of the whole folder. Then four shards of it run at once through the README's GNU
    // parallel recipe, one of them killed and rerun through its Slurm recipe: together they
    // must write exactly what this run writes, encode each output once, report the same summary.
    void wholeRunForTheShards() {
        QVERIFY(shards_.isValid());
        QVERIFY2(QFileInfo::exists("/usr/bin/parallel"),
                 "GNU parallel is missing: run scripts/install-deps.sh");
        QVERIFY(TestSupport::writeFile(shards_.filePath("home/.parallel/will-cite"), {}));
        // Logs every start with the arguments; FFMPEG_SLOW holds each encode back a little, with
        // its hidden file already made, so a run can be cut off in the middle of one.
        const QString tools = shards_.filePath("tools");
        TestSupport::writeScript(tools + u"/ffmpeg"_s,
                                 "echo \"$PPID $*\" >> \"${FFMPEG_LOG:-/dev/null}\"\n"
                                 "if [ -n \"$FFMPEG_SLOW\" ]; then\n"
                                 "  case \"$*\" in *.tersio-*) sleep 1 ;; esac\n"
                                 "fi\n"
                                 "exec /usr/bin/ffmpeg \"$@\"\n");
        TestSupport::writeScript(tools + u"/ffprobe"_s, "exec /usr/bin/ffprobe \"$@\"\n");
        cliWithTools_ = QStringLiteral(TERSIO_CLI_PATH) + u" --ffmpeg "_s + tools + u"/ffmpeg"_s;

        // Two sources that want the same output name land in different shards.
        const QString media = shards_.filePath("media");
        for (const QString& name :
             words("a.jpg a.png b.png c.png sub/d.png sub/e.jpg sub/deeper/f.png"))
            makeImage(media + u'/' + name, "64x48");
        makeClip(media + u"/clip.mp4"_s, "64x48", 1, 10);
        makeClip(media + u"/sub/clip.mov"_s, "64x48", 1, 10);
        const Outcome settings =
            cli(words(u"--print-settings --image-format jpeg --no-hevc --no-webm --crops 1x1"_s));
        QCOMPARE(settings.status, 0);
        whole_ = shards_.filePath("whole");
        sharded_ = shards_.filePath("sharded");
        for (const QString& copy : {whole_, sharded_}) {
            QCOMPARE(sh(u"cp -a %1 %2"_s.arg(media, copy), {}), 0);
            QVERIFY(TestSupport::writeFile(copy + u"/.tersio/settings.json"_s, settings.out));
        }
        QString err;
        QVERIFY2(sh(u"%1 --no-overwrite --settings %2/.tersio/settings.json --summary "
                    "%2/.tersio/summary.json %2"_s.arg(cliWithTools_, whole_),
                    logPath("whole"), &err) == 0,
                 qPrintable(err));
        wholeSummary_ = readJson(whole_ + u"/.tersio/summary.json"_s);
        QCOMPARE(wholeSummary_["totals"_L1]["done"_L1].toInt(), 9);
        for (const QString& path : written(whole_))
            wholePixels_.insert(path, pixels(whole_ + u'/' + path));
        QVERIFY(wholePixels_.contains("optimised/a-2.jpg"));
    }

    void fourShardsWriteWhatOneRunWrites() {
        QString err;
        QVERIFY2(sh(recipe(0, {{"host1,host2,host3,host4", ":"},
                               {"-j 1", "-j 4"},
                               {"{}/8", "{}/4"},
                               {"$(seq 0 7)", "$(seq 0 3)"},
                               {"/srv/media", sharded_},
                               {"tersio-cli ", cliWithTools_ + u' '}}),
                    logPath("sharded"), &err) == 0,
                 qPrintable(err));
        compareWithWholeRun();
        // Each output was encoded once, by one shard, as one run encodes it.
        const QStringList once = encodes(logPath("whole"), whole_);
        QCOMPARE(once.size(), wholePixels_.size());
        QCOMPARE(encodes(logPath(u"sharded"_s), sharded_), once);
        QCOMPARE(readJson(sharded_ + u"/.tersio/summary.json"_s, sharded_, whole_), wholeSummary_);
    }

    void aShardCutOffResumesWhereItStopped() {
        // Shard 1 starts again from nothing and is killed once it has finished an output and
        // holds a half-made one.
        const QString own = sharded_ + u"/.tersio/shard-1.json"_s;
        QStringList mine;
        for (const QString& path : outputsField(readJson(own), "path"))
            mine << QDir(sharded_).relativeFilePath(path);
        QVERIFY(mine.size() >= 3);
        for (const QString& path : std::as_const(mine))
            QVERIFY(QFile::remove(sharded_ + u'/' + path));
        QVERIFY(QFile::remove(own));

        QProcess cut;
        QProcessEnvironment e = environment();
        e.insert("FFMPEG_SLOW", "1");
        cut.setProcessEnvironment(e);
        cut.setStandardInputFile(QProcess::nullDevice());
        cut.start("/bin/sh", {"-c", u"exec %1 --shard 1/4 --jobs 1 --no-overwrite --settings "
                                    "%2/.tersio/settings.json %2"_s.arg(cliWithTools_, sharded_)});
        QVERIFY(cut.waitForStarted());
        const auto done = [&] {
            QStringList paths;
            for (const QString& path : std::as_const(mine))
                if (QFileInfo::exists(sharded_ + u'/' + path))
                    paths << path;
            return paths;
        };
        const auto staged = [&] { return !written(sharded_).filter(".tersio-").isEmpty(); };
        QTRY_VERIFY_WITH_TIMEOUT(
            cut.state() != QProcess::Running || (!done().isEmpty() && staged()), 60000);
        QVERIFY2(cut.state() == QProcess::Running, "the shard ended before it could be cut off");
        cut.kill(); // SIGKILL: no clean-up of any kind
        QVERIFY(cut.waitForFinished());
        const QStringList finished = done();
        QVERIFY(!finished.isEmpty() && finished.size() < mine.size());
        QTest::qWait(200); // the held-back encode sees its parent gone and ends
        QVERIFY2(staged(), "the cut run left no hidden file to clean up");

        // The rerun through the Slurm recipe writes only what is missing and leaves nothing
        // hidden behind; the parts' summaries merge into the whole run's.
        QString err;
        QVERIFY2(sh(recipe(1, {{"$SLURM_ARRAY_TASK_ID/32", "$SLURM_ARRAY_TASK_ID/4"},
                               {"/srv/media", sharded_},
                               {"tersio-cli ", cliWithTools_ + u' '}}),
                    logPath("rerun"), &err, {"SLURM_ARRAY_TASK_ID=1"}) == 0,
                 qPrintable(err));
        const QStringList again = encodes(logPath("rerun"), sharded_);
        for (const QString& path : finished)
            QVERIFY2(!again.contains(path), qPrintable(path + u" was encoded again"_s));
        QCOMPARE(again.size() + finished.size(), mine.size());
        QVERIFY(!staged());
        compareWithWholeRun();
        QCOMPARE(sh(recipe(0, {{"/srv/media", sharded_}, {"tersio-cli ", cliWithTools_ + u' '}})
                        .section(u'\n', -2),
                    logPath("merge"), &err),
                 0);
        QCOMPARE(readJson(sharded_ + u"/.tersio/summary.json"_s, sharded_, whole_), wholeSummary_);
    }

    void dryRunsOfTheShardsShowTheWholePlan() {
        const QStringList common = words(cliWithTools_ + " --dry-run --json --settings " + whole_ +
                                         "/.tersio/settings.json " + whole_)
                                       .mid(1);
        QMap<qint64, QByteArray> whole, parts;
        for (int k = -1; k < 4; ++k) {
            const Outcome o =
                cli(k < 0 ? common : QStringList{"--shard", u"%1/4"_s.arg(k)} + common);
            QCOMPARE(o.status, 0);
            for (const auto& item : o.json()["items"_L1].toArray()) {
                const qint64 index = item["index"_L1].toInteger();
                QVERIFY(k < 0 || index % 4 == k);
                QVERIFY(!(k < 0 ? whole : parts).contains(index));
                (k < 0 ? whole : parts)[index] =
                    QJsonDocument(item["outputs"_L1].toArray()).toJson();
            }
        }
        QCOMPARE(whole.size(), 9);
        QCOMPARE(parts, whole);
    }

    // More parts than files: the spare ones succeed with nothing to do. Summaries that do not
    // make one queue are refused, a missing part is reported.
    void emptyPartsAndClashingSummaries() {
        const Outcome spare =
            cli(words(cliWithTools_).mid(1) + words("--shard 40/41 --json --settings")
                << sharded_ + u"/.tersio/settings.json"_s << sharded_);
        QCOMPARE(spare.status, 0);
        QCOMPARE(spare.json()["items"_L1].toArray().size(), 0);
        QCOMPARE(spare.json()["queueSize"_L1].toInt(), 9);
        const QString part = sharded_ + u"/.tersio/shard-2.json"_s;
        const Outcome twice = cli({"--merge-summaries", part, part}),
                      partial = cli({"--merge-summaries", part});
        QVERIFY2(twice.status == 2 && twice.out.isEmpty() && twice.err.contains("reported by both"),
                 qPrintable(twice.err));
        QVERIFY2(partial.status == 1 && partial.err.contains("a shard has not reported"),
                 qPrintable(partial.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
