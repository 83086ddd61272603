#include "EngineSupport.h"
#include "engine/StagedEncode.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using TestSupport::row;

using namespace EngineSupport;

namespace {

struct Stamp {
    QByteArray bytes;
    quint64 inode = 0;
    qint64 modified = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

Stamp stampOf(const QString& path) {
    Stamp stamp;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        stamp.bytes = file.readAll();
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        stamp.inode = info.st_ino;
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    return stamp;
}

// The colour in the middle of a picture; for a video, of its first frame.
QColor middleColour(const QString& path, const QString& scratch) {
    QString still = path;
    if (!path.endsWith(".jpg") && !path.endsWith(".png")) {
        still = scratch + "/frame.png";
        if (!TestSupport::ffmpeg({"-i", path, "-frames:v", "1", still}))
            return {};
    }
    const QImage image(still);
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor& a, const QColor& b) {
    return a.isValid() && std::abs(a.red() - b.red()) < 40 &&
           std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

qint64 deadProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

// Names a run gives its outputs, with real ffmpeg on small one-colour sources.
class TestEngineNames : public QObject {
    Q_OBJECT

    QTemporaryDir work_;

    QString at(const QString& relative) const { return work_.filePath(relative); }

    // "red", "blue"… as a still or a one-second clip, chosen by the extension.
    static bool makeSource(const QString& path, const QString& colour) {
        QDir().mkpath(QFileInfo(path).path());
        const bool still = QStringList{"jpg", "JPG", "png"}.contains(QFileInfo(path).suffix());
        return TestSupport::ffmpeg(
            QStringList{"-f", "lavfi", "-i", "color=c=" + colour + ":s=96x96:d=1:r=5"} +
            TestSupport::words(still ? "-frames:v 1"
                                     : "-c:v libx264 -preset ultrafast -pix_fmt yuv420p") +
            QStringList{path});
    }

    static TersioSettings quick() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.speed = SpeedPreset::veryfast;
        settings.alsoEmitWebP = settings.makeHEVC = settings.makeWebM = settings.makePoster = false;
        settings.cropVariants.clear();
        return settings;
    }

    // `only`: the sources to keep of what `urls` finds (a rerun leaves the outputs out).
    static std::unique_ptr<AppModel> run(const TersioSettings& settings, const QList<QUrl>& urls,
                                         const QList<QUrl>& only = {}) {
        auto model = makeModel(settings);
        model->setTools(realTools(), debianCaps());
        model->add(urls);
        QStringList outputs;
        for (const MediaItem& item : model->items())
            if (!only.isEmpty() && !only.contains(item.url))
                outputs << item.id.toString();
        for (const QString& id : std::as_const(outputs))
            model->remove(id);
        model->start();
        waitForRunEnd(*model, 200000);
        return model;
    }

    static QStringList written(const AppModel& model) {
        QStringList paths;
        for (const MediaItem& item : model.items())
            for (const ProducedFile& file : item.outputs)
                paths << file.url.toLocalFile();
        return paths;
    }

  private slots:
    void initTestCase() { QVERIFY(work_.isValid()); }

    void queuedOriginalIsNeverReplaced() {
        QVERIFY(makeSource(at("x/photo.jpg"), "red"));
        QVERIFY(makeSource(at("x/photo.png"), "blue"));
        const Stamp before = stampOf(at("x/photo.jpg"));
        TersioSettings settings = quick();
        settings.outputMode = OutputMode::customFolder;
        settings.customFolderPath = at("x");
        const auto model = run(settings, {QUrl::fromLocalFile(at("x/photo.png")),
                                          QUrl::fromLocalFile(at("x/photo.jpg"))});
        const ItemStatus refused = ItemStatus::failed(
            "This output would replace the original file. Choose another output folder.");
        QCOMPARE(itemNamed(*model, "photo.png")->status, refused);
        QCOMPARE(itemNamed(*model, "photo.jpg")->status, refused);
        QCOMPARE(stampOf(at("x/photo.jpg")), before);
        QCOMPARE(allFiles(at("x")), (QStringList{"photo.jpg", "photo.png"}));
    }

    // Each case: sources (path = colour), what is added, the folder mode, and which output
    // must hold which source's picture.
    void everyOutputGetsItsOwnFile_data() {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("chosen"); // empty: the "optimised" subfolder
        QTest::addColumn<int>("crops");
        QTest::addColumn<QStringList>("outputs"); // output = colour of its source
        row("restarted camera numbering",
            QStringList{"shoot/a/DSC_0001.JPG=red", "shoot/b/DSC_0001.JPG=blue"},
            QStringList{"shoot"}, "web", 0,
            QStringList{"web/shoot/a/DSC_0001.jpg=red", "web/shoot/b/DSC_0001.jpg=blue"});
        row("two extensions, one target", QStringList{"pics/photo.png=lime", "pics/photo.jpg=red"},
            QStringList{"pics"}, "", 0,
            QStringList{"pics/optimised/photo.jpg=red", "pics/optimised/photo-2.jpg=lime"});
        row("clips and crops of one ratio", QStringList{"film/clip.mov=red", "film/clip.mp4=blue"},
            QStringList{"film/clip.mp4", "film/clip.mov"}, "", 2,
            QStringList{"film/optimised/clip.mp4=blue", "film/optimised/clip-9x16.mp4=blue",
                        "film/optimised/clip-9x16-2.mp4=blue", "film/optimised/clip-2.mp4=red",
                        "film/optimised/clip-9x16-3.mp4=red",
                        "film/optimised/clip-9x16-4.mp4=red"});
    }

    void everyOutputGetsItsOwnFile() {
        QFETCH(QStringList, sources);
        QFETCH(QStringList, added);
        QFETCH(QString, chosen);
        QFETCH(int, crops);
        QFETCH(QStringList, outputs);
        QTemporaryDir scratch;
        for (const QString& source : sources)
            QVERIFY(makeSource(at(source.section('=', 0, 0)), source.section('=', 1)));
        QList<QUrl> urls;
        for (const QString& path : added)
            urls << QUrl::fromLocalFile(at(path));
        TersioSettings settings = quick();
        if (!chosen.isEmpty()) {
            settings.outputMode = OutputMode::customFolder;
            settings.customFolderPath = at(chosen);
        }
        for (int i = 0; i < crops; ++i)
            settings.cropVariants << CropVariant{QUuid::createUuid(), "Story", 9, 16, 32 + 16 * i,
                                                 CropAnchor::center,  true};

        QStringList expected;
        for (const QString& output : outputs)
            expected << at(output.section('=', 0, 0));
        auto model = run(settings, urls);
        for (const MediaItem& item : model->items())
            QCOMPARE(item.status, ItemStatus::done());
        QCOMPARE(written(*model), expected);
        for (const QString& output : outputs)
            QVERIFY2(near(middleColour(at(output.section('=', 0, 0)), scratch.path()),
                          QColor(output.section('=', 1))),
                     qPrintable(output));

        // The same queue again: the same names, all skipped, or all replaced.
        QList<Stamp> first;
        for (const QString& path : expected)
            first << stampOf(path);
        QList<QUrl> sourcesQueued;
        for (const MediaItem& item : model->items())
            sourcesQueued << item.url;
        settings.overwriteExisting = false;
        model = run(settings, urls, sourcesQueued);
        QCOMPARE(written(*model), expected);
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(stampOf(expected[i]), first[i]);
        settings.overwriteExisting = true;
        model = run(settings, urls, sourcesQueued);
        QCOMPARE(written(*model), expected);
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY(stampOf(expected[i]).inode != first[i].inode);
        QCOMPARE(hiddenFiles(work_.path()), QStringList{});
    }

    // The first item's source takes longest to read; it still claims the name first.
    void namesFollowTheQueueNotTheReading() {
        QVERIFY(makeSource(at("late/clip.mov"), "red"));
        QVERIFY(makeSource(at("late/clip.mp4"), "blue"));
        const QString probe =
            TestSupport::writeScript(at("ffprobe"), "case \"$*\" in *clip.mov*) sleep 2;; esac\n"
                                                    "exec /usr/bin/ffprobe \"$@\"\n");
        TersioSettings settings = quick();
        settings.maxConcurrent = 2;
        auto model = makeModel(settings);
        model->setTools(FFmpegTools{realTools().ffmpeg, probe}, debianCaps());
        model->add({QUrl::fromLocalFile(at("late"))});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(written(*model),
                 (QStringList{at("late/optimised/clip.mp4"), at("late/optimised/clip-2.mp4")}));
        QTemporaryDir scratch;
        QVERIFY(near(middleColour(at("late/optimised/clip.mp4"), scratch.path()), Qt::red));
        QVERIFY(near(middleColour(at("late/optimised/clip-2.mp4"), scratch.path()), Qt::blue));
    }

    void namesAtTheLimit() {
        const QString fits = QString(236, 'f') + ".png";   // its JPEG: 240 bytes
        const QString nearly = QString(247, 'g') + ".png"; // its WebP: 252 bytes
        const QString wide = QString(251, 'w') + ".png";   // its WebP: 256 bytes
        for (const QString& name : {fits, nearly, wide})
            QVERIFY(makeSource(at("long/" + name), "red"));
        TersioSettings settings = quick();
        settings.alsoEmitWebP = true;
        const auto model = run(settings, {QUrl::fromLocalFile(at("long"))});
        QCOMPARE(statusOf(*model, fits), QString("done"));
        QCOMPARE(statusOf(*model, nearly), QString("done"));
        const MediaItem* failed = itemNamed(*model, wide);
        QCOMPARE(failed->status.name(), QString("failed"));
        QVERIFY(failed->status.message.contains(QString(251, 'w') + ".webp"));
        QVERIFY(failed->status.message.contains("256 bytes"));
        QVERIFY(QFileInfo::exists(at("long/optimised/" + QString(236, 'f') + ".jpg")));
        QVERIFY(!QFileInfo::exists(at("long/optimised/" + QString(251, 'w') + ".jpg")));
        QCOMPARE(hiddenFiles(at("long")), QStringList{});
    }

    void stagingNamesFitAndNameTheirWriter_data() {
        QTest::addColumn<int>("length");
        row("short", 9);
        row("240 bytes", 240);
        row("255 bytes", 255);
    }

    void stagingNamesFitAndNameTheirWriter() {
        QFETCH(int, length);
        const QString destination = "/out/" + QString(length - 4, 'n') + ".mp4";
        const StagedEncode::Writer writer{"host.example-1", 4194303};
        const QString staged = StagedEncode::temporaryName(destination, "abcd1234", writer);
        const QString name = QFileInfo(staged).fileName();
        QVERIFY(name.startsWith('.'));
        QVERIFY(name.endsWith(".mp4"));
        QVERIFY(QFile::encodeName(name).size() <= 255);
        QCOMPARE(StagedEncode::writerOf(name, destination), std::optional(writer));
        QCOMPARE(StagedEncode::writerOf(name, "/out/other.mp4"), std::nullopt);
        // A cut name keeps whole characters.
        const QString accented = "/out/" + QString(120, u'\u00e9') + ".mp4";
        const QString cut =
            QFileInfo(StagedEncode::temporaryName(accented, "x", writer)).fileName();
        QVERIFY(QFile::encodeName(cut).size() <= 255);
        QVERIFY(!cut.contains(QChar::ReplacementCharacter));
        QCOMPARE(StagedEncode::writerOf(cut, accented), std::optional(writer));
    }

    void staleStagingFilesGo_data() {
        QTest::addColumn<QString>("host"); // "self": this machine
        QTest::addColumn<QString>("pid");  // "dead", "self", "init" or a number
        QTest::addColumn<int>("ageMinutes");
        QTest::addColumn<bool>("removed");
        row("crashed run here", "self", "dead", 0, true);
        row("this process", "self", "self", 60, false);
        row("live process here", "self", "init", 0, false);
        row("other machine, busy", "render-2", "77", 1, false);
        row("other machine, quiet", "render-2", "77", 30, true);
        row("older version, fresh", "", "", 1, false);
        row("older version, quiet", "", "", 30, true);
    }

    void staleStagingFilesGo() {
        QFETCH(QString, host);
        QFETCH(QString, pid);
        QFETCH(int, ageMinutes);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString destination = dir.filePath("clip-1x1.mp4");
        const StagedEncode::Writer self = StagedEncode::Writer::current();
        QString hidden;
        if (host.isEmpty()) {
            hidden = dir.filePath(".clip-1x1.mp4.tersio-evow1hkr.mp4");
        } else {
            StagedEncode::Writer writer{host == "self" ? self.host : host, pid.toLongLong()};
            if (pid == "dead")
                writer.pid = deadProcess();
            else if (pid == "self")
                writer.pid = self.pid;
            else if (pid == "init")
                writer.pid = 1;
            hidden = StagedEncode::temporaryName(destination, "r4nd0m00", writer);
        }
        // Bystanders: another destination's leftover and a visible file.
        const QString other = StagedEncode::temporaryName(dir.filePath("clip.mp4"), "aaaaaaaa",
                                                          {self.host, deadProcess()});
        for (const QString& path : {hidden, other, dir.filePath("clip-1x1.mp4.tersio-x.mp4")})
            QVERIFY(TestSupport::writeFile(path, "partial"));
        const qint64 then = QDateTime::currentSecsSinceEpoch() - qint64(ageMinutes) * 60;
        const struct utimbuf times { then, then };
        QCOMPARE(::utime(QFile::encodeName(hidden).constData(), &times), 0);

        QCOMPARE(StagedEncode::removeStale(destination), removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(hidden), !removed);
        QVERIFY(QFileInfo::exists(other));
    }
};

QTEST_GUILESS_MAIN(TestEngineNames)
#include "test_engine_names.moc"
