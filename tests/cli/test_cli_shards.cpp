#include "CliHarness.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>
#include <QtTest>

using namespace CliTest;

// Four shards of one folder run at once through the README's GNU parallel recipe, one of them
// killed and rerun through its Slurm recipe: together they must write exactly what one run
// writes, encode each output once, and report the same summary.
class TestCliShards : public CliHarness {
    Q_OBJECT

    QTemporaryDir work_;
    QString whole_;   // one unsharded run
    QString sharded_; // the same files, four shards
    QString tools_;   // the logging ffmpeg
    QJsonObject wholeSummary_;
    QMap<QString, QString> wholePixels_; // relative output path -> decoded frame hashes

    QString logPath(const QString& name) const { return work_.filePath(name + u".log"_s); }

    QProcessEnvironment env(const QString& log, bool slow = false) const {
        QProcessEnvironment e = environment();
        e.insert(u"HOME"_s, work_.filePath(u"home"_s)); // holds parallel's citation notice
        e.insert(u"FFMPEG_LOG"_s, log);
        if (slow)
            e.insert(u"FFMPEG_SLOW"_s, u"1"_s);
        return e;
    }

    static QString readme() {
        QFile file(qEnvironmentVariable("TERSIO_SOURCE_DIR") + u"/README.md"_s);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The n-th sh block of the README's "Many machines" section.
    static QString recipe(int n) {
        const QString text = readme();
        qsizetype at = text.indexOf(u"## Many machines"_s);
        for (int i = 0; at >= 0 && i <= n; ++i)
            at = text.indexOf(u"```sh\n"_s, at + 1);
        if (at < 0)
            return {};
        at += 6;
        return text.mid(at, text.indexOf(u"```"_s, at) - at);
    }

    // Every replacement must apply, so a recipe edited out of shape fails here, not silently.
    static QString adapted(QString script, const QList<std::pair<QString, QString>>& changes) {
        for (const auto& [from, to] : changes) {
            if (!script.contains(from))
                return u"exit 99 # the recipe no longer contains: "_s + from;
            script.replace(from, to);
        }
        return script;
    }

    QString cliWithTools() const {
        return QStringLiteral(TERSIO_CLI_PATH) + u" --ffmpeg "_s + tools_ + u"/ffmpeg"_s;
    }

    int shell(const QString& program, const QStringList& args, const QProcessEnvironment& e,
              QString* err = nullptr) {
        QProcess p;
        p.setProcessEnvironment(e);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(program, args);
        p.waitForFinished(120000);
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // Outputs and hidden files under `root`, relative, leaving out the sources and .tersio.
    static QStringList written(const QString& root) {
        QStringList files;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = QDir(root).relativeFilePath(it.next());
            if (path.contains(u"optimised/"_s) || path.contains(u".tersio-"_s))
                files << path;
        }
        files.sort();
        return files;
    }

    static QString pixels(const QString& path) {
        QProcess p;
        p.start(u"/usr/bin/ffmpeg"_s,
                {u"-v"_s, u"error"_s, u"-i"_s, path, u"-f"_s, u"framemd5"_s, u"-"_s});
        p.waitForFinished(60000);
        QStringList hashes;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n'))
            if (!line.startsWith(u'#') && !line.isEmpty())
                hashes << line.section(u',', -1).trimmed();
        return hashes.join(u' ');
    }

    // The destinations the logging ffmpeg was started to write, relative to `root`.
    static QStringList encodes(const QString& log, const QString& root) {
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        // One process may write several outputs: every hidden file it names counts.
        static const QRegularExpression staged(u"(\\S*)/\\.(\\S+)\\.tersio-\\S+"_s);
        QStringList destinations;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.contains(u"ssim="_s))
                continue; // a score reads the hidden file, it does not write it
            for (const auto& m : staged.globalMatch(line))
                destinations << QDir(root).relativeFilePath(m.captured(1) + u'/' + m.captured(2));
        }
        destinations.sort();
        return destinations;
    }

    QJsonObject merged(const QString& root) {
        QFile file(root + u"/.tersio/summary.json"_s);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(file.readAll());
        text.replace(root + u'/', whole_ + u'/');
        return QJsonDocument::fromJson(text.toUtf8()).object();
    }

    void compareWithWholeRun() {
        const QStringList outputs = written(sharded_);
        QCOMPARE(outputs, wholePixels_.keys());
        for (const QString& path : outputs)
            QVERIFY2(pixels(sharded_ + u'/' + path) == wholePixels_.value(path), qPrintable(path));
    }

    void mergeAndCompare() {
        QString err;
        QCOMPARE(shell(u"/bin/sh"_s,
                       {u"-c"_s, adapted(recipe(0).section(u'\n', -2),
                                         {{u"/srv/media"_s, sharded_},
                                          {u"tersio-cli "_s, cliWithTools() + u' '}})},
                       env(logPath(u"merge"_s)), &err),
                 0);
        QCOMPARE(merged(sharded_), wholeSummary_);
    }

  private slots:
    void initTestCase() {
        QVERIFY(work_.isValid() && config_.isValid());
        QVERIFY2(QFileInfo::exists(u"/usr/bin/parallel"_s),
                 "GNU parallel is missing: run scripts/install-deps.sh");
        QVERIFY(!recipe(0).isEmpty() && !recipe(1).isEmpty());
        QVERIFY(TestSupport::writeFile(work_.filePath(u"home/.parallel/will-cite"_s), {}));

        tools_ = work_.filePath(u"tools"_s);
        QDir().mkpath(tools_);
        // Logs every start with the arguments; FFMPEG_SLOW holds each encode back a little, with
        // its hidden file already made, so a run can be cut off in the middle of one.
        TestSupport::writeScript(tools_ + u"/ffmpeg"_s,
                                 "echo \"$PPID $*\" >> \"${FFMPEG_LOG:-/dev/null}\"\n"
                                 "if [ -n \"$FFMPEG_SLOW\" ]; then\n"
                                 "  case \"$*\" in *.tersio-*) sleep 1 ;; esac\n"
                                 "fi\n"
                                 "exec /usr/bin/ffmpeg \"$@\"\n");
        TestSupport::writeScript(tools_ + u"/ffprobe"_s, "exec /usr/bin/ffprobe \"$@\"\n");

        // Two sources that want the same output name land in different shards.
        const QString media = work_.filePath(u"media"_s);
        QDir().mkpath(media + u"/sub/deeper"_s);
        const QStringList sources{u"a.jpg"_s,     u"a.png"_s,     u"b.png"_s,           u"c.png"_s,
                                  u"sub/d.png"_s, u"sub/e.jpg"_s, u"sub/deeper/f.png"_s};
        for (const QString& name : sources)
            makeImage(media + u'/' + name, u"64x48"_s);
        makeClip(media + u"/clip.mp4"_s, u"64x48"_s, 1, 10);
        makeClip(media + u"/sub/clip.mov"_s, u"64x48"_s, 1, 10);

        whole_ = work_.filePath(u"whole"_s);
        sharded_ = work_.filePath(u"sharded"_s);
        for (const QString& copy : {whole_, sharded_}) {
            QCOMPARE(shell(u"/bin/cp"_s, {u"-a"_s, media, copy}, environment()), 0);
            const Outcome settings = cli({u"--print-settings"_s, u"--image-format"_s, u"jpeg"_s,
                                          u"--no-hevc"_s, u"--no-webm"_s, u"--crops"_s, u"1x1"_s});
            QCOMPARE(settings.status, 0);
            QVERIFY(TestSupport::writeFile(copy + u"/.tersio/settings.json"_s, settings.out));
        }

        QString err;
        const int status = shell(QStringLiteral(TERSIO_CLI_PATH),
                                 {u"--ffmpeg"_s, tools_ + u"/ffmpeg"_s, u"--no-overwrite"_s,
                                  u"--settings"_s, whole_ + u"/.tersio/settings.json"_s,
                                  u"--summary"_s, whole_ + u"/.tersio/summary.json"_s, whole_},
                                 env(logPath(u"whole"_s)), &err);
        QVERIFY2(status == 0, qPrintable(err));
        QFile summary(whole_ + u"/.tersio/summary.json"_s);
        QVERIFY(summary.open(QIODevice::ReadOnly));
        wholeSummary_ = QJsonDocument::fromJson(summary.readAll()).object();
        QCOMPARE(wholeSummary_[u"totals"_s][u"done"_s].toInt(), 9);
        for (const QString& path : written(whole_))
            wholePixels_.insert(path, pixels(whole_ + u'/' + path));
        QVERIFY(wholePixels_.contains(u"optimised/a-2.jpg"_s));
    }

    void fourShardsWriteWhatOneRunWrites() {
        const QString script = adapted(recipe(0), {{u"host1,host2,host3,host4"_s, u":"_s},
                                                   {u"-j 1"_s, u"-j 4"_s},
                                                   {u"{}/8"_s, u"{}/4"_s},
                                                   {u"$(seq 0 7)"_s, u"$(seq 0 3)"_s},
                                                   {u"/srv/media"_s, sharded_},
                                                   {u"tersio-cli "_s, cliWithTools() + u' '}});
        QString err;
        QVERIFY2(shell(u"/bin/sh"_s, {u"-c"_s, script}, env(logPath(u"sharded"_s)), &err) == 0,
                 qPrintable(script + u'\n' + err));
        compareWithWholeRun();
        // Each output was encoded once, by one shard, as one run encodes it.
        const QStringList once = encodes(logPath(u"whole"_s), whole_);
        QCOMPARE(once.size(), wholePixels_.size());
        QCOMPARE(encodes(logPath(u"sharded"_s), sharded_), once);
        QCOMPARE(merged(sharded_), wholeSummary_);
    }

    void aShardCutOffResumesWhereItStopped() {
        // Shard 1 starts again from nothing and is killed once it has finished an output and
        // holds a half-made one.
        QFile own(sharded_ + u"/.tersio/shard-1.json"_s);
        QVERIFY(own.open(QIODevice::ReadOnly));
        QStringList mine;
        for (const auto& item : QJsonDocument::fromJson(own.readAll())[u"items"_s].toArray())
            for (const auto& output : item[u"outputs"_s].toArray())
                mine << QDir(sharded_).relativeFilePath(output[u"path"_s].toString());
        own.close();
        QVERIFY(mine.size() >= 3);
        for (const QString& path : std::as_const(mine))
            QVERIFY(QFile::remove(sharded_ + u'/' + path));
        QVERIFY(own.remove());

        QProcess cut;
        cut.setProcessEnvironment(env(logPath(u"cut"_s), /*slow=*/true));
        cut.setStandardInputFile(QProcess::nullDevice());
        cut.start(QStringLiteral(TERSIO_CLI_PATH),
                  {u"--ffmpeg"_s, tools_ + u"/ffmpeg"_s, u"--shard"_s, u"1/4"_s, u"--jobs"_s,
                   u"1"_s, u"--no-overwrite"_s, u"--settings"_s,
                   sharded_ + u"/.tersio/settings.json"_s, sharded_});
        QVERIFY(cut.waitForStarted());
        const auto done = [&] {
            QStringList paths;
            for (const QString& path : std::as_const(mine))
                if (QFileInfo::exists(sharded_ + u'/' + path))
                    paths << path;
            return paths;
        };
        const auto staged = [&] { return !written(sharded_).filter(u".tersio-"_s).isEmpty(); };
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 60000 && cut.state() == QProcess::Running &&
               (done().isEmpty() || !staged()))
            QTest::qWait(20);
        QVERIFY2(cut.state() == QProcess::Running, "the shard ended before it could be cut off");
        cut.kill(); // SIGKILL: no clean-up of any kind
        QVERIFY(cut.waitForFinished());
        const QStringList finished = done();
        QVERIFY(!finished.isEmpty() && finished.size() < mine.size());
        QTest::qWait(200); // the held-back encode sees its parent gone and ends
        QVERIFY2(staged(), "the cut run left no hidden file to clean up");

        // The rerun through the Slurm recipe writes only what is missing and leaves nothing
        // hidden behind.
        const QString script =
            adapted(recipe(1), {{u"$SLURM_ARRAY_TASK_ID/32"_s, u"$SLURM_ARRAY_TASK_ID/4"_s},
                                {u"/srv/media"_s, sharded_},
                                {u"tersio-cli "_s, cliWithTools() + u' '}});
        QProcessEnvironment e = env(logPath(u"rerun"_s));
        e.insert(u"SLURM_ARRAY_TASK_ID"_s, u"1"_s);
        QString err;
        QVERIFY2(shell(u"/bin/sh"_s, {u"-c"_s, script}, e, &err) == 0, qPrintable(err));
        const QStringList again = encodes(logPath(u"rerun"_s), sharded_);
        for (const QString& path : std::as_const(finished))
            QVERIFY2(!again.contains(path), qPrintable(path + u" was encoded again"_s));
        QCOMPARE(again.size() + finished.size(), mine.size());
        QVERIFY(!staged());
        compareWithWholeRun();
        mergeAndCompare();
    }

    void dryRunsOfTheShardsShowTheWholePlan() {
        const QStringList common{u"--ffmpeg"_s,   tools_ + u"/ffmpeg"_s,
                                 u"--dry-run"_s,  u"--json"_s,
                                 u"--settings"_s, whole_ + u"/.tersio/settings.json"_s,
                                 whole_};
        const auto destinations = [](const Outcome& o, QMap<qint64, QStringList>& into) {
            for (const auto& item : o.json()[u"items"_s].toArray()) {
                QStringList paths;
                for (const auto& output : item[u"outputs"_s].toArray())
                    paths << output[u"destination"_s].toString();
                QVERIFY(!into.contains(item[u"index"_s].toInteger()));
                into.insert(item[u"index"_s].toInteger(), paths);
            }
        };
        QMap<qint64, QStringList> whole;
        destinations(cli(common), whole);
        QCOMPARE(whole.size(), 9);
        QMap<qint64, QStringList> parts;
        for (int k = 0; k < 4; ++k) {
            const Outcome part = cli(QStringList{u"--shard"_s, u"%1/4"_s.arg(k)} + common);
            QCOMPARE(part.status, 0);
            destinations(part, parts);
            for (const qint64 index : parts.keys())
                QVERIFY(index % 4 <= k);
        }
        QCOMPARE(parts, whole);
    }

    void emptyPartsAndClashingSummaries() {
        // More parts than files: the spare ones succeed with nothing to do.
        const Outcome spare =
            cli({u"--ffmpeg"_s, tools_ + u"/ffmpeg"_s, u"--shard"_s, u"40/41"_s, u"--json"_s,
                 u"--settings"_s, sharded_ + u"/.tersio/settings.json"_s, sharded_});
        QCOMPARE(spare.status, 0);
        QCOMPARE(spare.json()[u"items"_s].toArray().size(), 0);
        QCOMPARE(spare.json()[u"queueSize"_s].toInt(), 9);

        const QString part = sharded_ + u"/.tersio/shard-2.json"_s;
        const Outcome twice = cli({u"--merge-summaries"_s, part, part});
        QCOMPARE(twice.status, 2);
        QVERIFY(twice.out.isEmpty());
        QVERIFY2(twice.err.contains(u"reported by both"_s), qPrintable(twice.err));
        const Outcome partial = cli({u"--merge-summaries"_s, part});
        QCOMPARE(partial.status, 1);
        QVERIFY2(partial.err.contains(u"a shard has not reported"_s), qPrintable(partial.err));
    }
};

QTEST_GUILESS_MAIN(TestCliShards)
#include "test_cli_shards.moc"
