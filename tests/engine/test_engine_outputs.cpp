#include "EngineSupport.h"
#include "PosterClips.h"
#include "engine/FusedEncode.h"
#include "engine/QualityScore.h"
#include "engine/StagedEncode.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"
#include "planning/ScoreReference.h"
#include "tools/PosterFrame.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
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

const QString ffmpegPath = u"/usr/bin/ffmpeg"_s;

FFmpegTools allTools() {
    return {ffmpegPath, u"/usr/bin/ffprobe"_s, u"/usr/bin/pngquant"_s, u"/usr/bin/optipng"_s};
}

// The start-of-frame segment: "progressive" or "baseline", then each component's sampling
// factors in hex ("22 11 11" is 4:2:0; one component is grey).
QString frameOf(const QString& path) {
    const QByteArray jpeg = TestSupport::readFile(path);
    for (qsizetype i = 2; i + 9 < jpeg.size() && uchar(jpeg[i]) == 0xFF;) {
        const uchar marker = uchar(jpeg[i + 1]);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            QString frame = marker == 0xC2 ? u"progressive"_s : u"baseline"_s;
            for (int c = 0; c < uchar(jpeg[i + 9]) && i + 11 + 3 * c < jpeg.size(); ++c)
                frame += ' ' + QString::number(uchar(jpeg[i + 11 + 3 * c]), 16);
            return frame;
        }
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return {};
}

int pngColourType(const QString& path) {
    const QByteArray head = TestSupport::readFile(path).left(26);
    return head.size() == 26 ? head.at(25) : -1;
}

// Largest difference of any channel between two decoded pictures of one size; colour only
// counts where the first is not fully transparent.
int largestDifference(QImage a, QImage b) {
    a = a.convertToFormat(QImage::Format_ARGB32);
    b = b.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            if (qAlpha(p) > 0)
                worst = std::max({worst, std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// Pixels fully transparent or opaque before that are not after, and the mean alpha difference
// over the partly transparent ones.
std::pair<int, double> alphaError(const QImage& before, const QImage& after) {
    int binary = 0, soft = 0;
    double sum = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const int was = qAlpha(before.pixel(x, y)), now = qAlpha(after.pixel(x, y));
            const bool partly = was != 0 && was != 255;
            binary += !partly && was != now;
            soft += partly;
            sum += partly ? std::abs(was - now) : 0;
        }
    return {binary, soft ? sum / soft : 0};
}

// A window-like picture: flat panels, antialiased rounded bars standing for lines of text,
// coloured buttons and round icons.
QImage screenshot() {
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 246));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(0, 0, 160, 400, QColor(43, 43, 48));
    painter.setPen(Qt::NoPen);
    for (int line = 0; line < 24; ++line) {
        const int y = 20 + line * 15;
        painter.setBrush(QColor(60, 60, 70));
        painter.drawRoundedRect(QRectF(180.5, y + 0.3, 120 + (line * 37) % 300, 7.4), 3, 3);
        painter.setBrush(QColor(200, 200, 210));
        painter.drawRoundedRect(QRectF(16.3, y + 0.6, 60 + (line * 23) % 70, 6.8), 3, 3);
    }
    const QColor accents[] = {QColor(53, 132, 228), QColor(224, 27, 36), QColor(46, 194, 126)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(accents[i]);
        painter.drawRoundedRect(QRectF(420.5 + i * 70, 360.5, 60, 24), 6, 6);
        painter.drawEllipse(QPointF(590.3, 40.7 + i * 50), 16.2, 16.2);
    }
    return image;
}

bool exiftoolFinds(const QString& path, const QString& tag) {
    QProcess process;
    process.start(u"exiftool"_s, {u"-s"_s, '-' + tag, path});
    process.waitForFinished(60000);
    return !process.readAllStandardOutput().trimmed().isEmpty();
}

qint64 deadProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

// Real encodes through Debian's ffmpeg on media made here: whole runs (what each output holds,
// what bad inputs get, the names outputs get, posters), and the packing steps after ffmpeg
// (TurboJPEG, pngquant, optipng) on staged files, one output or an image's outputs at once.
class TestEngineOutputs : public QObject {
    Q_OBJECT

    QTemporaryDir work_;
    QTemporaryDir scratch_;

    QString at(const QString& relative) const { return work_.filePath(relative); }
    QString pack(const QString& name) const { return work_.filePath("pack/" + name); }
    QStringList staged() const {
        return QDir(pack("out")).entryList(QDir::Hidden | QDir::Files).filter(".tersio-");
    }

    // The plan for `source` with defaults but for the given format.
    QList<PlannedOutput> planFor(const QString& source, ImageFormat format,
                                 bool webp = false) const {
        const QImage image(source);
        MediaItem item;
        item.url = QUrl::fromLocalFile(source);
        item.width = image.width();
        item.height = image.height();
        item.grey = image.isGrayscale();
        item.hasAlpha = image.hasAlphaChannel();
        TersioSettings settings;
        settings.imageFormat = format;
        settings.alsoEmitWebP = webp;
        QDir().mkpath(pack("out"));
        return CommandBuilder::imagePlan(item, settings, debianCaps(),
                                         QUrl::fromLocalFile(pack("out")));
    }

    StagedEncode::Outcome encode(const PlannedOutput& output) {
        FFmpegJob job;
        const QString source = output.arguments.at(output.arguments.indexOf("-i") + 1);
        return StagedEncode::run(job, ffmpegPath, output, {}, {},
                                 {allTools(), source, false, QImage(source).hasAlphaChannel()});
    }

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
    void initTestCase() {
        QVERIFY(work_.isValid() && scratch_.isValid());
        QDir().mkpath(pack({}));
        const QString noisy = u"testsrc2=s=480x320,noise=alls=12:allf=t"_s;
        QVERIFY(
            TestSupport::lavfi(noisy, "-frames:v 1 -pix_fmt yuvj444p -q:v 3", pack("full.jpg")));
        QVERIFY(TestSupport::lavfi(noisy, "-frames:v 1", pack("photo.png")));
        QVERIFY(screenshot().save(pack("screen.png")));
        QVERIFY(QImage(pack("photo.png"))
                    .convertToFormat(QImage::Format_Grayscale8)
                    .save(pack("grey.jpg"), "JPEG", 85));
        // A round two-colour logo with a white centre whose edge fades over 40 pixels.
        const QString r = u"hypot(X-120,Y-120)"_s;
        QVERIFY(TestSupport::lavfi(
            u"nullsrc=s=240x240,format=rgba,geq=r='if(lt(R,45),250,if(lt(X,120),215,30))':"
            "g='if(lt(R,45),250,if(lt(X,120),10,90))':b='if(lt(R,45),250,if(lt(X,120),83,200))':"
            "a='clip((110-R)/40*255,0,255)'"_s.replace(u"R"_s, r),
            "-frames:v 1", pack("logo.png")));
    }

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
        auto model =
            makeModel(settings, FFmpegTools{realTools().ffmpeg, probe, {}, {}}, {at("late")});
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

    // 4:2:0, progressive, and the very pixels of ffmpeg's own encode: the re-pack is lossless.
    void jpegOutputs_data() {
        TestSupport::columns<QString, QString>("source", "frame");
        row("4:4:4 jpeg", u"full.jpg"_s, u"progressive 22 11 11"_s);
        row("png photo", u"photo.png"_s, u"progressive 22 11 11"_s);
        row("grey jpeg", u"grey.jpg"_s, u"progressive 11"_s);
    }
    void jpegOutputs() {
        QFETCH(QString, source);
        const bool grey = QImage(pack(source)).isGrayscale();
        const PlannedOutput output = planFor(pack(source), ImageFormat::jpeg).first();
        QStringList plain = output.arguments;
        plain.last() = pack("plain.jpg");
        QVERIFY(TestSupport::runTool(ffmpegPath, plain));
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        QTEST(frameOf(written), "frame");
        QVERIFY(outcome.bytes < QFileInfo(plain.last()).size());
        const int tolerance = grey ? 1 : 0; // grey: the flat colour planes are dropped
        QVERIFY(largestDifference(QImage(written), QImage(plain.last())) <= tolerance);
        QVERIFY(!exiftoolFinds(written, u"Comment"_s));
    }

    // A palette only where it looks the same; a smooth gradient stays lossless.
    void pngPalette_data() {
        // Palette: 1 a palette, 0 lossless, -1 whichever is smaller; tolerance: against the
        // source, per channel.
        TestSupport::columns<QString, int, int>("source", "palette", "tolerance");
        row("screenshot", u"screen.png"_s, 1, 64);
        row("photo-like", u"photo.png"_s, 0, 0);
        row("soft logo", u"logo.png"_s, -1, 64);
    }
    void pngPalette() {
        QFETCH(QString, source);
        QFETCH(int, palette);
        QFETCH(int, tolerance);
        const PlannedOutput output = planFor(pack(source), ImageFormat::png).first();
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        QVERIFY2(outcome.note.isEmpty(), qPrintable(outcome.note));
        const QString written = output.destination.toLocalFile();
        QVERIFY(palette < 0 || int(pngColourType(written) == 3) == palette);
        const QImage before(pack(source)), after(written);
        QVERIFY(largestDifference(before, after) <= tolerance);
        if (before.hasAlphaChannel()) {
            const auto [binary, softMean] = alphaError(before, after);
            QCOMPARE(binary, 0);
            QVERIFY2(softMean <= 2.0, qPrintable(QString::number(softMean)));
        }
    }

    // Re-encoding cannot beat these sources: the output falls back on the source's pixels,
    // never larger, and without the metadata the source carried.
    void neverLargerThanTheSource_data() {
        TestSupport::columns<QString, int>("name", "format");
        row("optimised png", u"tight.png"_s, int(ImageFormat::png));
        row("small jpeg", u"small.jpg"_s, int(ImageFormat::jpeg));
    }
    void neverLargerThanTheSource() {
        QFETCH(QString, name);
        QFETCH(int, format);
        const QString source = pack(name);
        const bool png = format == int(ImageFormat::png);
        if (png)
            QVERIFY(TestSupport::lavfi("testsrc=s=320x240", "-frames:v 1 -pix_fmt pal8", source) &&
                    TestSupport::runTool("optipng", {"-quiet", "-o5", source}));
        else
            QVERIFY(TestSupport::lavfi("testsrc2=s=96x64", "-frames:v 1 -pix_fmt yuvj420p -q:v 31",
                                       source));
        QVERIFY(TestSupport::runTool("exiftool",
                                     {"-q", "-overwrite_original", "-Comment=made by the test",
                                      "-Artist=The Test", source}));
        const qint64 sourceBytes = QFileInfo(source).size();
        const PlannedOutput output = planFor(source, ImageFormat(format)).first();
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        QVERIFY2(outcome.bytes <= sourceBytes,
                 qPrintable(u"%1 > %2"_s.arg(outcome.bytes).arg(sourceBytes)));
        QCOMPARE(outcome.bytes, QFileInfo(written).size());
        QVERIFY(!exiftoolFinds(written, u"Comment"_s) && !exiftoolFinds(written, u"Artist"_s));
        if (!png) // the source's own coefficients
            QCOMPARE(largestDifference(QImage(written), QImage(source)), 0);
        QCOMPARE(staged(), QStringList());
    }

    // The post-steps belong to their own output: the JPEG is re-packed, missing PNG packers are
    // noted on the PNG alone, and the WebP beside either is left as ffmpeg wrote it.
    void postStepsRunPerOutput_data() {
        TestSupport::columns<int, bool, bool>("format", "packers", "stopped");
        row("jpeg re-packed", int(ImageFormat::jpeg), true, false);
        row("png without packers", int(ImageFormat::png), false, false);
        row("stopped before the start", int(ImageFormat::jpeg), true, true);
    }
    void postStepsRunPerOutput() {
        QFETCH(int, format);
        QFETCH(bool, packers);
        QFETCH(bool, stopped);
        QDir(pack("out")).removeRecursively();
        const QString source = pack("photo.png");
        const QList<PlannedOutput> plan = planFor(source, ImageFormat(format), true);
        QCOMPARE(plan.size(), 2);
        QVERIFY(!plan.first().post.isEmpty());
        QList<FusedPlan::Invocation> invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        // Scored as a run scores a still: against the reference picture the encode writes.
        ScoreReference::addAll(invocations.first(), plan, false);
        FFmpegJob job;
        if (stopped)
            job.stop();
        QList<double> progress;
        const FusedEncode::Outcome outcome = FusedEncode::run(
            job, ffmpegPath, invocations.first(), plan, [&progress](double f) { progress << f; },
            {}, {packers ? allTools() : FFmpegTools{ffmpegPath, {}, {}, {}}, source, false, false},
            {true, false});
        QCOMPARE(staged(), QStringList());
        if (stopped) {
            QCOMPARE(outcome.status, 130);
            QVERIFY(QDir(pack("out")).isEmpty(QDir::Files | QDir::Hidden));
            return;
        }
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.bytes.size(), 2);
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(outcome.bytes[k], QFileInfo(plan[k].destination.toLocalFile()).size());
            QCOMPARE(QImage(plan[k].destination.toLocalFile()).size(), QSize(480, 320));
            // The same figure as a score that reads the source itself.
            FFmpegJob again;
            const auto fromSource = QualityScore::measure(
                again, ffmpegPath, plan[k], {plan[k].destination.toLocalFile(), {}, false, 0, {}});
            QVERIFY(outcome.scores[k] && fromSource);
            QCOMPARE(*outcome.scores[k], *fromSource);
        }
        QVERIFY(!progress.isEmpty() && progress.last() == 1.0);
        const QString first = plan.first().destination.toLocalFile();
        if (format == int(ImageFormat::jpeg)) {
            QVERIFY(frameOf(first).startsWith("progressive"_L1));
            QCOMPARE(outcome.notes[0], QString());
        } else {
            QVERIFY2(outcome.notes[0].contains("pngquant not found"_L1) &&
                         outcome.notes[0].contains("optipng not found"_L1),
                     qPrintable(outcome.notes[0]));
            // What ffmpeg alone writes for the same arguments.
            QStringList plain = plan.first().arguments;
            plain.last() = pack("plain.png");
            QVERIFY(TestSupport::runTool(ffmpegPath, plain));
            QCOMPARE(largestDifference(QImage(first), QImage(plain.last())), 0);
        }
        QCOMPARE(outcome.notes[1], QString());
    }
};

QTEST_GUILESS_MAIN(TestEngineOutputs)
#include "test_engine_outputs.moc"
