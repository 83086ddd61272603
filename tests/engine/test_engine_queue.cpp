#include "EngineSupport.h"
#include "engine/BatchRun.h"
#include "engine/FactReader.h"
#include "model/Preferences.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <utime.h>

using namespace EngineSupport;
using namespace Qt::StringLiterals;
using TestSupport::row;

namespace {

void setModified(const QString& path, qint64 seconds) {
    const struct utimbuf times { seconds, seconds };
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QStringList images(int count) {
    return TestSupport::words("img0.jpg img1.jpg img2.jpg img3.jpg img4.jpg img5.jpg img6.jpg "
                              "img7.jpg")
        .first(count);
}

} // namespace

// The queue and its models, and the batch run, against a stand-in ffmpeg that logs its runs
// and can be held open, with a real ffprobe that counts its runs, on small real sources.
class TestEngineQueue : public QObject {
    Q_OBJECT

    QTemporaryDir media_;               // made once
    std::optional<QTemporaryDir> work_; // per test: media copied, logs, stand-in tools
    QString log_, hold_, fake_, probe_;

    QString src(const QString& name) const { return work_->filePath("src/" + name); }
    QString out(const QString& name = {}) const { return work_->filePath("src/optimised/" + name); }
    QStringList log() const { return logLines(log_); }
    int started() const { return int(log().filter(QRegularExpression(u"^start "_s)).size()); }
    int probes() const { return int(logLines(work_->filePath("probes")).size()); }
    void hold() { QVERIFY(TestSupport::writeFile(hold_, "hold")); }
    void release() { QFile::remove(hold_); }
    std::optional<FFmpegTools> tools() const { return FFmpegTools{fake_, probe_, {}}; }

    auto modelWith(const QStringList& names, TersioSettings settings = {}, bool withTools = true) {
        QStringList paths;
        for (const QString& name : names)
            paths << src(name);
        return makeModel(settings, withTools ? tools() : std::nullopt, paths);
    }
    QStringList queued(const AppModel& model) const {
        QStringList paths;
        for (const MediaItem& item : model.items())
            paths << QDir(work_->path()).relativeFilePath(item.url.toLocalFile());
        return paths;
    }
    static bool waitForFacts(const AppModel& model) {
        return QTest::qWaitFor([&] { return model.factReader()->outstanding() == 0; }, 60000);
    }

  private slots:
    void initTestCase() {
        QString error;
        const auto make = [&](const QString& source, const QString& options, const QString& name) {
            QVERIFY2(TestSupport::lavfi(source, options, media_.filePath(name), &error),
                     qPrintable(error));
        };
        for (const QString& name : images(8) + QStringList{"plain.jpg", "turned.jpg"})
            make("testsrc=size=120x80:rate=1", "-frames:v 1", name);
        QVERIFY(TestSupport::runTool("exiftool", {"-q", "-Orientation#=6", "-overwrite_original",
                                                  media_.filePath("turned.jpg")}));
        make("testsrc=size=64x48:rate=1", "-vf format=rgba -frames:v 1", "alpha.png");
        make("testsrc=size=200x100:rate=1", "-frames:v 1", "wider.jpg");
        make("testsrc=size=160x120:rate=10:duration=2",
             "-f lavfi -i sine=duration=2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest",
             "sound.mp4");
        make("testsrc=size=160x120:rate=10:duration=1", "-c:v libx264 -pix_fmt yuv420p",
             "clip.mp4");
        make("testsrc=size=160x120:rate=10:duration=1",
             "-c:v libx264 -pix_fmt yuv420p -color_primaries bt2020 -color_trc smpte2084 "
             "-colorspace bt2020nc",
             "hdr.mp4");
        QVERIFY(TestSupport::writeFile(media_.filePath("empty.jpg"), {}));
    }

    void init() {
        work_.emplace();
        QDir().mkpath(src({}));
        for (const QString& name : QDir(media_.path()).entryList(QDir::Files))
            QVERIFY(QFile::copy(media_.filePath(name), src(name)));
        log_ = work_->filePath("log");
        hold_ = work_->filePath("hold");
        fake_ = writeFakeFFmpeg(work_->path(), log_, hold_);
        probe_ = TestSupport::writeScript(work_->filePath("ffprobe"),
                                          "echo probe >> '" + work_->filePath("probes").toUtf8() +
                                              "'\nexec /usr/bin/ffprobe \"$@\"\n");
    }

    void foldersAreWalked() {
        for (const char* name : {"loose.jpg", "tree/PHOTO.JPG", "tree/clip.MOV", "tree/notes.txt",
                                 "tree/noextension", "tree/.hidden.jpg", "tree/.secret/in.jpg",
                                 "tree/sub/deep/b.heic", "tree/sub/c.m2ts", "tree/sub/d.gif"})
            QVERIFY(TestSupport::writeFile(src(name), "x"));
        QVERIFY(TestSupport::writeFile(src("tree/a.jpg"), "12345"));
        QVERIFY(QDir().mkpath(src("tree/emptyfolder")));
        // A link back to the tree's root: following it would never end.
        QVERIFY(QFile::link(src("tree"), src("tree/sub/loop")));
        QVERIFY(QFile::link(src("tree/a.jpg"), src("tree/sub/alias.jpg")));
        auto model = modelWith({"tree"}, {}, false);
        // In byte order of the path below the folder, whatever order the disk lists them in.
        QCOMPARE(queued(*model), TestSupport::words("src/tree/PHOTO.JPG src/tree/a.jpg "
                                                    "src/tree/clip.MOV src/tree/sub/alias.jpg "
                                                    "src/tree/sub/c.m2ts src/tree/sub/d.gif "
                                                    "src/tree/sub/deep/b.heic"));
        for (const MediaItem& item : model->items())
            QCOMPARE(item.addedFolder, src("tree"));
        QCOMPARE(itemNamed(*model, "clip.MOV")->kind, MediaKind::video);
        QCOMPARE(itemNamed(*model, "c.m2ts")->kind, MediaKind::video);
        QCOMPARE(itemNamed(*model, "b.heic")->kind, MediaKind::image);

        // Dropped again, in other spellings, or not media: nothing is queued twice.
        model->add(urls({src("loose.jpg"), src("tree/sub/../a.jpg"), src("tree/./a.jpg"),
                         src("tree/sub/c.m2ts"), src("tree/nothing.jpg"), src("tree/notes.txt"),
                         src("tree/noextension"), src("tree/emptyfolder"), src("tree/.hidden.jpg"),
                         src("tree/.hidden.jpg")}));
        QCOMPARE(queued(*model).mid(7), TestSupport::words("src/loose.jpg src/tree/.hidden.jpg"));
        QCOMPARE(model->items().last().addedFolder, QString());
        QCOMPARE(::mkfifo(QFile::encodeName(src("pipe.mp4")).constData(), 0600), 0);
        model->add(
            {QUrl(u"https://example.invalid/a.jpg"_s), QUrl::fromLocalFile(src("pipe.mp4"))});
        QCOMPARE(model->itemCount(), 9);
    }

    void factsArriveBeforeAnyRun_data() {
        TestSupport::columns<QString, QString, bool, bool, bool, double>(
            "name", "dimensions", "alpha", "audio", "hdr", "duration");
        row("jpeg", u"plain.jpg"_s, u"120 × 80"_s, false, false, false, 0.0);
        row("on its side", u"turned.jpg"_s, u"80 × 120"_s, false, false, false, 0.0);
        row("alpha", u"alpha.png"_s, u"64 × 48"_s, true, false, false, 0.0);
        row("video with sound", u"sound.mp4"_s, u"160 × 120"_s, false, true, false, 2.0);
        row("hdr video", u"hdr.mp4"_s, u"160 × 120"_s, false, false, true, 1.0);
        row("empty file, left for the run", u"empty.jpg"_s, u"—"_s, false, false, false, 0.0);
    }
    void factsArriveBeforeAnyRun() {
        QFETCH(QString, name);
        QFETCH(double, duration);
        auto model = modelWith({name});
        QVERIFY(waitForFacts(*model));
        const MediaItem* item = itemNamed(*model, name);
        QTEST(item->dimensionsLabel(), "dimensions");
        QTEST(item->hasAlpha, "alpha");
        QTEST(item->hasAudio, "audio");
        QTEST(item->hdr, "hdr");
        QVERIFY2(qAbs(item->duration - duration) < 0.2,
                 qPrintable(QString::number(item->duration)));
        QCOMPARE(item->factsStamp.has_value(), name != "empty.jpg");
    }

    // The run keeps what was read while the file is as it was, and reads a changed one again.
    void runReusesFactsOfUnchangedFiles_data() {
        TestSupport::columns<QString, int, qint64>("change", "probes", "width");
        row("unchanged", QString(), 1, 120ll);
        row("touched", u"touch"_s, 2, 120ll);
        row("copied over, same size and time", u"rename"_s, 2, 120ll);
        row("replaced, same time", u"replace"_s, 2, 200ll);
    }
    void runReusesFactsOfUnchangedFiles() {
        QFETCH(QString, change);
        const QString image = src("plain.jpg");
        for (const QString& file : {image, src("sound.mp4")})
            setModified(file, 1'600'000'000);
        auto model = modelWith({"plain.jpg", "sound.mp4"});
        QVERIFY(waitForFacts(*model));
        QCOMPARE(probes(), 1);
        if (change == "touch") {
            setModified(image, 1'700'000'000);
            setModified(src("sound.mp4"), 1'700'000'000);
        } else if (change == "rename") {
            // The same bytes under a new inode: only the inode tells.
            for (const QString& file : {image, src("sound.mp4")}) {
                QVERIFY(QFile::copy(file, file + ".new"));
                setModified(file + ".new", 1'600'000'000);
                QCOMPARE(::rename(QFile::encodeName(file + ".new"), QFile::encodeName(file)), 0);
            }
        } else if (change == "replace") {
            // Another picture under the same name and time: only the inode and size tell.
            QVERIFY(QFile::remove(image) && QFile::copy(src("wider.jpg"), image));
            setModified(image, 1'600'000'000);
            QVERIFY(QFile::remove(src("sound.mp4")) &&
                    QFile::copy(src("hdr.mp4"), src("sound.mp4")));
        }
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 2);
        QTEST(probes(), "probes");
        QTEST(itemNamed(*model, "plain.jpg")->width, "width");
        QCOMPARE(itemNamed(*model, "plain.jpg")->sourceBytes, QFileInfo(image).size());
        QCOMPARE(itemNamed(*model, "sound.mp4")->hasAudio, change != "replace");
    }

    // At most the limit at once: one here, so each starts after the one before it has ended,
    // in queue order.
    void concurrencyLimit() {
        for (const auto& [asked, limit] :
             {std::pair(0ll, 1), std::pair(-3ll, 1), std::pair(3ll, 3), std::pair(10ll, 6)})
            QCOMPARE(BatchRun::concurrencyLimit(asked), limit);
        TersioSettings one;
        one.maxConcurrent = 1;
        auto model = modelWith(images(8), one);
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 8);
        const QStringList lines = log();
        QCOMPARE(lines.size(), 16);
        for (int i = 0; i < 8; ++i) {
            QVERIFY2(lines[2 * i].startsWith("start"_L1) &&
                         lines[2 * i].contains(u"img%1."_s.arg(i)),
                     qPrintable(lines[2 * i]));
            QVERIFY(lines[2 * i + 1].startsWith("end"_L1));
        }
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    // A stop takes every staged file with it, a clip's several included; a later start
    // resumes the stopped and the waiting items.
    void stopAndResume() {
        auto model = modelWith(QStringList{u"clip.mp4"_s} + images(3)); // two at once, the default
        hold();
        model->start();
        QTRY_COMPARE_WITH_TIMEOUT(started(), 2, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(hiddenFiles(out()).size() >= 4, 10000);
        model->start(); // already running: nothing changes
        model->cancel();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(statuses(*model), u"cancelled cancelled queued queued"_s);
        QCOMPARE(started(), 2);
        QCOMPARE(model->pendingCount(), 4);
        for (const MediaItem& item : model->items())
            QVERIFY(item.outputs.isEmpty() && item.currentTask.isEmpty());
        QCOMPARE(allFiles(out()), QStringList{});

        release();
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 4);
        QCOMPARE(allFiles(out()).size(), itemNamed(*model, "clip.mp4")->outputs.size() + 3);
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    void removeWhileEncodingOrReading() {
        auto model = modelWith(images(3));
        hold();
        model->start();
        QTRY_COMPARE_WITH_TIMEOUT(started(), 2, 30000);
        model->remove(model->items().first().id.toString());
        QCOMPARE(model->itemCount(), 2);
        // Its slot is freed once its encode has been stopped.
        QTRY_COMPARE_WITH_TIMEOUT(started(), 3, 30000);
        release();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(model->doneCount(), 2);
        QCOMPARE(allFiles(out()), (QStringList{u"img1.jpg"_s, u"img2.jpg"_s}));

        auto reading = modelWith({u"img3.jpg"_s});
        reading->start();
        reading->remove(reading->items().first().id.toString());
        QVERIFY(waitForRunEnd(*reading));
        QCOMPARE(started(), 3);
        QCOMPARE(reading->itemCount(), 0);
    }

    void existingOutputsAreKept() {
        const QStringList names = images(2) << u"clip.mp4"_s;
        auto first = modelWith(names);
        first->start();
        QVERIFY(waitForRunEnd(*first));
        QCOMPARE(started(), 3); // one process per item, the clip's included
        TersioSettings keep;
        keep.overwriteExisting = false;
        auto again = modelWith(names, keep);
        again->start();
        QVERIFY(waitForRunEnd(*again));
        QCOMPARE(started(), 3); // not one process more
        QCOMPARE(statuses(*again), u"done done done"_s);
        for (const MediaItem& item : again->items())
            for (const ProducedFile& file : item.outputs)
                QVERIFY(item.progress == 1.0 &&
                        file.bytes == QFileInfo(file.url.toLocalFile()).size());
        // With one output gone only that one is named to the process and written (the stand-in
        // writes its pid into every file it is handed).
        const QList<ProducedFile> before = itemNamed(*again, "clip.mp4")->outputs;
        QList<QByteArray> kept;
        for (const ProducedFile& file : before)
            kept << TestSupport::readFile(file.url.toLocalFile());
        QVERIFY(before.size() >= 3 && QFile::remove(before[1].url.toLocalFile()));
        auto third = modelWith({u"clip.mp4"_s}, keep);
        third->start();
        QVERIFY(waitForRunEnd(*third));
        QCOMPARE(started(), 4);
        QVERIFY(log().last(2).first().contains(before[1].url.fileName()));
        for (qsizetype i = 0; i < before.size(); ++i) {
            QCOMPARE(third->items().first().outputs.value(i).url, before[i].url);
            QCOMPARE(TestSupport::readFile(before[i].url.toLocalFile()) == kept[i], i != 1);
        }
        QCOMPARE(hiddenFiles(out()), QStringList{});
    }

    // Settings reach the store when a run starts, and only then.
    void settingsAreSavedOnlyWhenARunStarts() {
        const auto stored = [] {
            return Preferences::openStore()->contains(Preferences::settingsKey);
        };
        Preferences::openStore()->remove(Preferences::settingsKey);
        auto model = makeModel();
        model->settingsModel()->setImageQuality(55);
        model->start(); // nothing queued
        model->add({QUrl::fromLocalFile(src("img0.jpg"))});
        model->start(); // no tools
        QVERIFY(!stored() && !model->isRunning());
        model->setTools(tools(), debianCaps());
        model->cancel(); // a stop with no run is forgotten by the next start
        model->start();
        QVERIFY(model->isRunning() && stored());
        QCOMPARE(TersioSettings::load(), model->settings());
        QCOMPARE(TersioSettings::load().imageQuality, 55.0);
        QVERIFY(waitForRunEnd(*model));
        Preferences::openStore()->remove(Preferences::settingsKey);
        model->start(); // only done items: no run, nothing written
        QVERIFY(model->doneCount() == 1 && !model->isRunning() && !stored());
    }

    // The message is a pattern; "@" stands for the output folder.
    void failedEncodes_data() {
        TestSupport::columns<QByteArray, QString, QString>("script", "source", "message");
        const QByteArray partial = "for last; do :; done\nprintf partial > \"$last\"\n";
        // Writes part of every output it names, then blames the last one.
        const QByteArray full = "for a; do case \"$a\" in */optimised/*) printf partial > \"$a\"; "
                                "w=$a ;; esac; done\necho \"$w: No space left on device\" >&2\n"
                                "exit 1\n";
        row("last non-empty line", partial + "printf 'a\\n\\nb\\n' >&2\nexit 1\n", u"img"_s,
            u"b"_s);
        row("silent failure", partial + "exit 1\n", u"img"_s, u"FFmpeg exited with code 1\\."_s);
        row("the destination is named, not the hidden file", full, u"img"_s,
            u"@img\\d\\.jpg: No space left on device"_s);
        row("every output of a clip's process", full, u"clip"_s,
            u"@clip-[^/]+: No space left on device"_s);
        row("not startable", QByteArray(), u"img"_s, u".+"_s);
    }
    void failedEncodes() {
        QFETCH(QByteArray, script);
        QFETCH(QString, source);
        QFETCH(QString, message);
        QVERIFY(script.isEmpty() ? QFile::remove(fake_)
                                 : !TestSupport::writeScript(fake_, script).isEmpty());
        auto model = modelWith(source == "clip" ? QStringList{u"clip.mp4"_s} : images(2));
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(
            message.replace('@', QRegularExpression::escape(out()))));
        for (const MediaItem& item : model->items()) {
            QCOMPARE(item.status.name(), u"failed"_s);
            QVERIFY2(pattern.match(item.status.message).hasMatch(),
                     qPrintable(item.status.message));
            QVERIFY(item.currentTask.isEmpty() && item.outputs.isEmpty());
        }
        QCOMPARE(allFiles(out()), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestEngineQueue)
#include "test_engine_queue.moc"
