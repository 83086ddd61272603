#include "CliHarness.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QRegularExpression>

using namespace CliTest;
using TestSupport::words;

// Shards of one queue run through the README's many-machines recipes with GNU parallel on this
// machine, against one unsharded run of the same files.
class TestCliShards : public CliHarness {
    Q_OBJECT

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

    // A summary without its scores, once they agree with `whole`'s to 0.001: an output a rerun
    // finds done is scored by ffmpeg from the source, a new one in-process, a hair apart.
    static QJsonObject scoresSetAside(QJsonObject summary, const QJsonObject& whole) {
        QJsonArray items = summary.value("items"_L1).toArray();
        const QJsonArray wholeItems = whole.value("items"_L1).toArray();
        for (qsizetype i = 0; i < items.size(); ++i) {
            QJsonObject item = items[i].toObject();
            QJsonArray outputs = item.value("outputs"_L1).toArray();
            const QJsonArray wholeOutputs =
                wholeItems.at(i).toObject().value("outputs"_L1).toArray();
            for (qsizetype k = 0; k < outputs.size(); ++k) {
                QJsonObject output = outputs[k].toObject();
                const double score = output.take("ssim"_L1).toDouble(-1);
                const double wholeScore =
                    wholeOutputs.at(k).toObject().value("ssim"_L1).toDouble(-2);
                if (std::abs(score - wholeScore) <= 0.001)
                    outputs[k] = output;
            }
            item.insert("outputs"_L1, outputs);
            items[i] = item;
        }
        summary.insert("items"_L1, items);
        return summary;
    }

    QJsonObject wholeWithoutScores() const { return scoresSetAside(wholeSummary_, wholeSummary_); }

    void compareWithWholeRun() {
        const QStringList outputs = written(sharded_);
        QCOMPARE(outputs, wholePixels_.keys());
        for (const QString& path : outputs)
            QVERIFY2(pixels(sharded_ + u'/' + path) == wholePixels_.value(path), qPrintable(path));
    }

  private slots:
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
        QCOMPARE(scoresSetAside(readJson(sharded_ + u"/.tersio/summary.json"_s, sharded_, whole_),
                                wholeSummary_),
                 wholeWithoutScores());
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
        QCOMPARE(scoresSetAside(readJson(sharded_ + u"/.tersio/summary.json"_s, sharded_, whole_),
                                wholeSummary_),
                 wholeWithoutScores());
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

QTEST_GUILESS_MAIN(TestCliShards)
#include "test_cli_shards.moc"
