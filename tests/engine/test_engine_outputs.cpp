#include "EngineSupport.h"
#include "PosterClips.h"
#include "engine/StagedEncode.h"
#include "tools/PosterFrame.h"

#include <QImage>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cmath>

using namespace EngineSupport;
using namespace Qt::StringLiterals;
using TestSupport::row;

namespace {

// Contents, inode and modification time: another stamp once a file is written or replaced.
QByteArray stampOf(const QString& path) {
    QFile file(path);
    struct stat info {};
    if (!file.open(QIODevice::ReadOnly) || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return file.readAll() + ' ' + QByteArray::number(quint64(info.st_ino)) + ' ' +
           QByteArray::number(qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec);
}

// Whether the middle of a picture (for a video, of its first frame) is near `colour`.
bool middleIs(const QString& path, const QColor& colour, const QString& scratch) {
    const QString still = scratch + "/frame.png";
    const QImage image =
        TestSupport::ffmpeg({"-i", path, "-frames:v", "1", still}) ? QImage(still) : QImage();
    const QColor c = image.pixelColor(image.rect().center());
    return !image.isNull() &&
           std::max({std::abs(c.red() - colour.red()), std::abs(c.green() - colour.green()),
                     std::abs(c.blue() - colour.blue())}) < 40;
}

qint64 deadProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace
// Real encodes through Debian's ffmpeg on media made here, whole runs: what each output holds,
// what bad inputs get, the names outputs get, posters. The packing steps after ffmpeg are in
// test_engine_packing.
class TestEngineOutputs : public QObject {
    Q_OBJECT

    QTemporaryDir work_;
    QTemporaryDir scratch_;

    QString at(const QString& relative) const { return work_.filePath(relative); }

    // "red", "blue"… as a still or a one-second clip, chosen by the extension.
    static bool makeSource(const QString& path, const QString& colour) {
        const bool still = QStringList{"jpg", "JPG", "png"}.contains(QFileInfo(path).suffix());
        return TestSupport::lavfi(
            "color=c=" + colour + ":s=96x96:d=1:r=5",
            still ? u"-frames:v 1"_s : u"-c:v libx264 -preset ultrafast -pix_fmt yuv420p"_s, path);
    }

    static TersioSettings quick() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.speed = SpeedPreset::veryfast;
        settings.alsoEmitWebP = settings.makeHEVC = settings.makeWebM = settings.makePoster = false;
        settings.cropVariants.clear();
        return settings;
    }

    static TersioSettings inFolder(TersioSettings settings, const QString& folder) {
        settings.outputMode = OutputMode::customFolder;
        settings.customFolderPath = folder;
        return settings;
    }

    static std::unique_ptr<AppModel> run(const TersioSettings& settings, const QStringList& paths) {
        auto model = makeModel(settings, realTools(), paths);
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
    void initTestCase() { QVERIFY(work_.isValid() && scratch_.isValid()); }

    // Every video format on: each output is the codec its name says, the reported sizes are
    // the files', and the run leaves no hidden file behind.
    void mixedFolder() {
        const QString dir = at("batch");
        QVERIFY(TestSupport::lavfi("testsrc=size=320x240", "-frames:v 1", dir + "/photo.jpg"));
        QVERIFY(TestSupport::lavfi("testsrc=size=120x90", "-frames:v 1", dir + "/picture.webp"));
        QVERIFY(TestSupport::lavfi("testsrc=size=200x150", "-vf format=rgba -frames:v 1",
                                   dir + "/graphic.png"));
        QVERIFY(TestSupport::lavfi("testsrc=size=320x240:rate=15:duration=1",
                                   "-c:v libx264 -pix_fmt yuv420p", dir + "/silent.mp4"));
        QVERIFY(TestSupport::lavfi("testsrc=size=320x240:rate=15:duration=1.5",
                                   "-f lavfi -i sine=frequency=440:duration=1.5 -ac 2 -c:v libx264 "
                                   "-pix_fmt yuv420p -c:a aac -shortest",
                                   dir + "/talk.mov"));
        TersioSettings settings;
        settings.makeHEVC = true;
        settings.maxConcurrent = 3;
        const auto model = run(settings, {dir});

        const QMap<QString, QString> codecs{
            {"jpg", "mjpeg"}, {"png", "png"}, {"webp", "webp"}, {"mp4", "h264"}, {"webm", "vp9"}};
        qint64 saved = 0;
        for (const MediaItem& item : model->items()) {
            QVERIFY2(item.status == ItemStatus::done(), qPrintable(item.status.message));
            QCOMPARE(item.progress, 1.0);
            saved += item.sourceBytes - item.outputs.first().bytes;
            for (const ProducedFile& file : item.outputs) {
                const QString out = file.url.toLocalFile();
                const QJsonObject video = TestSupport::probeVideo(out);
                const bool hevc = out.endsWith("-hevc.mp4"_L1);
                QCOMPARE(file.bytes, QFileInfo(out).size());
                QCOMPARE(video["codec_name"_L1].toString(),
                         hevc ? u"hevc"_s : codecs[QFileInfo(out).suffix()]);
                QVERIFY(!hevc || video["codec_tag_string"_L1].toString() == "hvc1"_L1);
                if (item.kind == MediaKind::image)
                    QCOMPARE(video["width"_L1].toInt(), int(item.width)); // under the cap
                else if (!out.endsWith(".jpg"_L1))
                    QCOMPARE(TestSupport::probeVideo(out, u"a:0"_s)["channels"_L1].toInt(),
                             item.url.fileName() == "talk.mov"_L1 ? 2 : 0);
            }
        }
        QCOMPARE(model->totalSaved(), saved);
        QCOMPARE(model->doneCount(), 5);
        QCOMPARE(hiddenFiles(dir), QStringList{});
    }

    void badInputs() {
        const QString in = at("bad");
        QVERIFY(TestSupport::lavfi("testsrc=size=160x120:rate=10:duration=1",
                                   "-c:v libx264 -pix_fmt yuv420p", in + "/whole.mp4"));
        const QByteArray whole = TestSupport::readFile(in + "/whole.mp4");
        QVERIFY(TestSupport::writeFile(in + "/truncated.mp4", whole.first(whole.size() / 2)));
        QVERIFY(TestSupport::writeFile(in + "/zero.mp4", {}));
        QVERIFY(
            TestSupport::writeFile(in + "/letter.jpg", "Dear reader,\nthis is not a picture.\n"));
        QVERIFY(TestSupport::writeFile(in + "/gone.jpg", "soon gone"));
        const QStringList odd{"with space.jpg", "quote\"and'apostrophe.jpg",
                              "-dash.jpg",      "über été.jpg",
                              "new\nline.jpg",  "50%.jpg"};
        for (const QString& name : odd)
            QVERIFY(makeImage(in + "/" + name));
        // A folder whose "optimised" is a file, so nothing can be written there.
        QVERIFY(makeImage(at("blocked/b.jpg")));
        QVERIFY(TestSupport::writeFile(at("blocked/optimised"), "in the way"));

        auto model = makeModel({}, realTools(), {in, at("blocked")});
        QCOMPARE(model->itemCount(), 12);
        QVERIFY(QFile::remove(in + "/gone.jpg"));
        model->start();
        QVERIFY(waitForRunEnd(*model));
        const auto failure = [&](const QString& name) {
            const MediaItem* item = itemNamed(*model, name);
            return item && item->status.value == ItemStatus::Case::failed ? item->status.message
                                                                          : QString();
        };
        QCOMPARE(failure("gone.jpg"), u"The file is no longer there."_s);
        QCOMPARE(failure("zero.mp4"), u"The file is empty."_s);
        for (const char* name : {"truncated.mp4", "letter.jpg"})
            QVERIFY2(!failure(name).isEmpty(), name);
        QVERIFY(!failure("letter.jpg").contains(".tersio-"_L1));
        // The folder that cannot be written is named.
        QVERIFY2(failure("b.jpg").contains(at("blocked/optimised")), qPrintable(failure("b.jpg")));
        for (const QString& name : odd + QStringList{"whole.mp4"}) {
            const MediaItem* item = itemNamed(*model, name);
            QVERIFY2(item && item->status == ItemStatus::done(), qPrintable(name));
            for (const ProducedFile& file : item->outputs)
                QVERIFY(QFileInfo(file.url.toLocalFile()).size() > 0);
        }
        QCOMPARE(hiddenFiles(in), QStringList{});
    }

    // A chosen folder the run cannot write in is named in the item's failure.
    void unwritableFolder() {
        // As root a mode-0555 folder is still writable, so take one the kernel refuses.
        QString folder = at("readonly");
        if (::geteuid() == 0)
            folder = u"/sys"_s;
        else
            QVERIFY(QDir().mkpath(folder) && QFile::setPermissions(folder, QFile::ReadOwner));
        QVERIFY(makeImage(at("r.jpg")));
        const QString message =
            run(inFolder({}, folder), {at("r.jpg")})->items().first().status.message;
        QVERIFY2(message.contains(folder), qPrintable(message));
    }

    void queuedOriginalIsNeverReplaced() {
        QVERIFY(makeSource(at("x/photo.jpg"), "red"));
        QVERIFY(makeSource(at("x/photo.png"), "blue"));
        const QByteArray before = stampOf(at("x/photo.jpg"));
        const auto model = run(inFolder(quick(), at("x")), {at("x/photo.png"), at("x/photo.jpg")});
        QCOMPARE(statuses(*model), u"failed failed"_s);
        for (const MediaItem& item : model->items())
            QCOMPARE(item.status, ItemStatus::failed(u"This output would replace the original "
                                                     "file. Choose another output folder."_s));
        QCOMPARE(stampOf(at("x/photo.jpg")), before);
        QCOMPARE(allFiles(at("x")), (QStringList{"photo.jpg", "photo.png"}));
    }

    // Sources (path=colour), what is added, the chosen folder (empty: "optimised" beside),
    // how many crops of one ratio, and which output must hold which source's picture.
    void everyOutputGetsItsOwnFile_data() {
        TestSupport::columns<QString, QString, QString, int, QString>("sources", "added", "chosen",
                                                                      "crops", "outputs");
        row("restarted camera numbering", u"shoot/a/DSC_0001.JPG=red shoot/b/DSC_0001.JPG=blue"_s,
            u"shoot"_s, u"web"_s, 0,
            u"web/shoot/a/DSC_0001.jpg=red web/shoot/b/DSC_0001.jpg=blue"_s);
        row("two extensions, one target", u"pics/photo.png=lime pics/photo.jpg=red"_s, u"pics"_s,
            QString(), 0, u"pics/optimised/photo.jpg=red pics/optimised/photo-2.jpg=lime"_s);
        row("clips and crops of one ratio", u"film/clip.mov=red film/clip.mp4=blue"_s,
            u"film/clip.mp4 film/clip.mov"_s, QString(), 2,
            u"film/optimised/clip.mp4=blue film/optimised/clip-9x16.mp4=blue "
            "film/optimised/clip-9x16-2.mp4=blue film/optimised/clip-2.mp4=red "
            "film/optimised/clip-9x16-3.mp4=red film/optimised/clip-9x16-4.mp4=red"_s);
    }
    void everyOutputGetsItsOwnFile() {
        QFETCH(QString, sources);
        QFETCH(QString, added);
        QFETCH(QString, chosen);
        QFETCH(int, crops);
        QFETCH(QString, outputs);
        for (const QString& source : TestSupport::words(sources))
            QVERIFY(makeSource(at(source.section('=', 0, 0)), source.section('=', 1)));
        QStringList paths, expected;
        for (const QString& path : TestSupport::words(added))
            paths << at(path);
        TersioSettings settings = chosen.isEmpty() ? quick() : inFolder(quick(), at(chosen));
        for (int i = 0; i < crops; ++i)
            settings.cropVariants << CropVariant{QUuid::createUuid(), "Story", 9, 16, 32 + 16 * i,
                                                 CropAnchor::center,  true};
        const auto model = run(settings, paths);
        for (const QString& output : TestSupport::words(outputs)) {
            expected << at(output.section('=', 0, 0));
            QVERIFY2(middleIs(expected.last(), QColor(output.section('=', 1)), scratch_.path()),
                     qPrintable(output));
        }
        QCOMPARE(written(*model), expected);
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
        auto model = makeModel(settings, FFmpegTools{realTools().ffmpeg, probe, {}}, {at("late")});
        model->start();
        QVERIFY(waitForRunEnd(*model));
        QCOMPARE(written(*model),
                 (QStringList{at("late/optimised/clip.mp4"), at("late/optimised/clip-2.mp4")}));
        QVERIFY(middleIs(at("late/optimised/clip.mp4"), Qt::red, scratch_.path()));
        QVERIFY(middleIs(at("late/optimised/clip-2.mp4"), Qt::blue, scratch_.path()));
    }

    void namesAtTheLimit() {
        const QString fits = QString(236, 'f') + ".png";   // its JPEG: 240 bytes
        const QString nearly = QString(247, 'g') + ".png"; // its WebP: 252 bytes
        const QString wide = QString(251, 'w') + ".png";   // its WebP: 256 bytes
        for (const QString& name : {fits, nearly, wide})
            QVERIFY(makeSource(at("long/" + name), "red"));
        TersioSettings settings = quick();
        settings.alsoEmitWebP = true;
        const auto model = run(settings, {at("long")});
        QCOMPARE(statuses(*model), u"done done failed"_s);
        const QString failure = model->items().last().status.message;
        QVERIFY2(failure.contains(QString(251, 'w') + ".webp") && failure.contains("256 bytes"_L1),
                 qPrintable(failure));
        QVERIFY(QFileInfo::exists(at("long/optimised/" + QString(236, 'f') + ".jpg")));
        QVERIFY(!QFileInfo::exists(at("long/optimised/" + QString(251, 'w') + ".jpg")));
        QCOMPARE(hiddenFiles(at("long")), QStringList{});
    }

    void staleStagingFilesGo_data() {
        // The writer's host ("self": this machine) and process ("dead", "self", "init" or a
        // number), the file's age, and whether it goes.
        TestSupport::columns<QString, QString, int, bool>("host", "pid", "ageMinutes", "removed");
        row("crashed run here", u"self"_s, u"dead"_s, 0, true);
        row("this process", u"self"_s, u"self"_s, 60, false);
        row("live process here", u"self"_s, u"init"_s, 0, false);
        row("other machine, busy", u"render-2"_s, u"77"_s, 1, false);
        row("other machine, quiet", u"render-2"_s, u"77"_s, 30, true);
        row("older version, fresh", QString(), QString(), 1, false);
        row("older version, quiet", QString(), QString(), 30, true);
    }
    void staleStagingFilesGo() {
        QFETCH(QString, host);
        QFETCH(QString, pid);
        QFETCH(int, ageMinutes);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString destination = dir.filePath("clip-1x1.mp4");
        const StagedEncode::Writer self = StagedEncode::Writer::current();
        const QMap<QString, qint64> pids{{"dead", deadProcess()}, {"self", self.pid}, {"init", 1}};
        const QString hidden =
            host.isEmpty() ? dir.filePath(".clip-1x1.mp4.tersio-evow1hkr.mp4")
                           : StagedEncode::temporaryName(destination, "r4nd0m00",
                                                         {host == "self" ? self.host : host,
                                                          pids.value(pid, pid.toLongLong())});
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

    // Clips that open on black or on a title card get their poster where the picture is.
    void posters() {
        QString error;
        QDir().mkpath(at("posters"));
        for (const auto& clip : {PosterClips::fadeIn, PosterClips::card})
            QVERIFY2(PosterClips::make(at("posters"), clip, u"yuv420p"_s, &error),
                     qPrintable(error));
        TersioSettings settings;
        settings.makeH264 = settings.makeHEVC = settings.makeWebM = false;
        settings.cropVariants.clear();
        const auto model = run(settings, {at("posters")});
        for (const auto& clip : {PosterClips::fadeIn, PosterClips::card}) {
            const MediaItem* item = itemNamed(*model, clip.name);
            QCOMPARE(item->posterTime, std::optional(clip.posterTime));
            const QImage poster = QImage(item->outputs.value(0).url.toLocalFile())
                                      .convertToFormat(QImage::Format_Grayscale8);
            QByteArray luma;
            for (int y = 0; y < poster.height(); ++y)
                luma.append(reinterpret_cast<const char*>(poster.constScanLine(y)), poster.width());
            QVERIFY2(PosterFrame::showsPicture(PosterFrame::measure(luma)), qPrintable(clip.name));
        }
    }
};

QTEST_GUILESS_MAIN(TestEngineOutputs)
#include "test_engine_outputs.moc"
