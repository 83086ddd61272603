#include "TestSupport.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"
#include "planning/MemoryEstimate.h"
#include "planning/OutputNames.h"
#include "planning/ScoreReference.h"
#include "planning/SourceSet.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numeric>

#include <unistd.h>

using TestSupport::row;
using Plan = QList<PlannedOutput>;
using OutputNames::Slot;
using Queue = QList<QList<Slot>>;

// Whole argument lists for ordinary sources are held by the command line's golden plans.
namespace {

const QUrl out = QUrl::fromLocalFile(QStringLiteral("/out"));
const QString dot = QStringLiteral(" \u00B7 ");

EncoderCaps caps(const QStringList& names = {"libx264", "libx265", "libvpx-vp9", "libopus",
                                             "libvorbis", "libwebp", "libsvtav1", "libaom-av1",
                                             "aac", "mjpeg", "png"}) {
    EncoderCaps result;
    result.names = QSet<QString>(names.begin(), names.end());
    return result;
}

MediaItem photo(const QString& name, qint64 width, qint64 height, bool alpha = false) {
    MediaItem item;
    item.url = QUrl::fromLocalFile("/in/" + name);
    item.width = width;
    item.height = height;
    item.hasAlpha = alpha;
    return item;
}

MediaItem clip(qint64 width, qint64 height, double duration, bool audio = true, bool hdr = false) {
    MediaItem item = photo("clip.mov", width, height);
    item.kind = MediaKind::video;
    item.duration = duration;
    item.hasAudio = audio;
    item.hdr = hdr;
    return item;
}

TersioSettings format(ImageFormat format, bool webpCopy = false) {
    TersioSettings settings;
    settings.imageFormat = format;
    settings.alsoEmitWebP = webpCopy;
    return settings;
}

Plan images(const MediaItem& item, const TersioSettings& settings = {},
            const EncoderCaps& encoders = caps()) {
    return CommandBuilder::imagePlan(item, settings, encoders, out);
}

Plan videos(const MediaItem& item, const TersioSettings& settings = {},
            const EncoderCaps& encoders = caps()) {
    return CommandBuilder::videoPlan(item, settings, encoders, out);
}

QStringList labels(const Plan& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.label;
    return result;
}

QStringList names(const Plan& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.destination.fileName();
    return result;
}

// The value following `option`, or a null string.
QString after(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

QStringList filters(const PlannedOutput& output) {
    const QString vf = after(output.arguments, "-vf");
    return vf.isNull() ? QStringList() : vf.split(',');
}

QStringList without(QStringList arguments, const QString& option) {
    if (const qsizetype at = arguments.indexOf(option); at >= 0)
        arguments.remove(at, 2);
    return arguments;
}

CropVariant crop(qint64 w, qint64 h, qint64 target, CropAnchor anchor = CropAnchor::center) {
    return CropVariant::make("c", w, h, target, anchor, true);
}

QString graphOf(const FusedPlan::Invocation& invocation) {
    return after(invocation.arguments, "-filter_complex");
}

} // namespace

// Output paths (never the source, however reached), planners' edge cases, shared processes.
class TestPlanning : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString touch(const QString& relative) {
        const QString path = tmp.filePath(relative);
        TestSupport::writeFile(path, "x");
        return path;
    }
    static MediaItem item(const QString& path) {
        MediaItem result;
        result.url = QUrl::fromLocalFile(path);
        result.width = 800;
        result.height = 600;
        return result;
    }
    static TersioSettings subfolder(const QString& name) {
        TersioSettings settings;
        settings.subfolderName = name;
        return settings;
    }
    static TersioSettings chosen(const QString& path) {
        TersioSettings settings;
        settings.outputMode = OutputMode::customFolder;
        settings.customFolderPath = path;
        return settings;
    }
    static QString failureOf(const MediaItem& source, const TersioSettings& settings) {
        try {
            CommandBuilder::outputDirectory(source, settings);
        } catch (const TersioError& error) {
            return error.message();
        }
        return {};
    }
    // "dir/name" per output, under /o.
    static QList<Slot> outputs(const QStringList& paths) {
        QList<Slot> result;
        for (const QString& path : paths)
            result.append({"/o/" + path.section('/', 0, -2), path.section('/', -1)});
        return result;
    }

  private slots:
    void subfolderBesideTheSource_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder"); // relative to the source's folder
        row("padded", "  web  ", "web");
        row("empty", "", "optimised");
        row("nested", "a/b", "a/b");
        row("line break kept", "web\n", "web\n");
        row("dot is the source folder", ".", "");
    }
    void subfolderBesideTheSource() {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        const QString base = QString::fromLatin1(QTest::currentDataTag());
        const MediaItem source = item(touch(base + "/clip.mov"));
        const QString expected = QDir::cleanPath(tmp.filePath(base + "/" + folder));
        QCOMPARE(CommandBuilder::plannedOutputDirectory(source, subfolder(name)).toLocalFile(),
                 expected);
        QCOMPARE(QFileInfo::exists(expected), folder.isEmpty()); // planning makes nothing
        const QUrl first = CommandBuilder::outputDirectory(source, subfolder(name));
        QCOMPARE(first.toLocalFile(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        // A second call for the same item finds the folder already there.
        QCOMPARE(CommandBuilder::outputDirectory(source, subfolder(name)), first);
    }

    void foldersAreMadeOrRefused() {
        const QString target = tmp.filePath("chosen/deep/er");
        QCOMPARE(
            CommandBuilder::outputDirectory(item(touch("c/x.png")), chosen(target)).toLocalFile(),
            target);
        QVERIFY(QFileInfo(target).isDir());

        TersioSettings empty = chosen("");
        empty.subfolderName = "web";
        QCOMPARE(failureOf(item(touch("d/x.png")), empty),
                 QStringLiteral("Choose an output folder in Output settings."));
        QVERIFY(!QFileInfo::exists(tmp.filePath("d/web")));
        QVERIFY_THROWS_EXCEPTION(TersioError,
                                 CommandBuilder::plannedOutputDirectory(item("/d/x.png"), empty));

        const QString blocker = touch("e/blocker");
        const MediaItem source = item(touch("e/x.png"));
        const QString inTheWay = QStringLiteral(
            "Could not create the folder \u201C%1\u201D: \u201C%2\u201D is a file, not a folder.");
        QCOMPARE(failureOf(source, chosen(blocker + "/sub")),
                 inTheWay.arg(blocker + "/sub", blocker));
        QCOMPARE(failureOf(source, subfolder("blocker")), inTheWay.arg(blocker, blocker));
    }

    // The later claim of a taken name is numbered, past names that are taken or reserved.
    void namesAreClaimedInQueueOrder_data() {
        QTest::addColumn<Queue>("queue");
        QTest::addColumn<QStringList>("reserved");
        QTest::addColumn<QList<QStringList>>("names");
        using Names = QList<QStringList>;
        row("a numbered name taken later",
            Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"}), outputs({"x/p-2.jpg"})},
            QStringList{}, Names{{"p.jpg"}, {"p-2.jpg"}, {"p-2-2.jpg"}});
        row("numbering skips a queued original", Queue{outputs({"x/p.jpg"}), outputs({"x/p.jpg"})},
            QStringList{"/o/x/p-2.jpg"}, Names{{"p.jpg"}, {"p-3.jpg"}});
        row("an item without outputs claims nothing",
            Queue{outputs({}), outputs({"x/p.png", "x/p.png"}), outputs({"y/p.png"})},
            QStringList{}, Names{{}, {"p.png", "p-2.png"}, {"p.png"}});
    }
    void namesAreClaimedInQueueOrder() {
        QFETCH(Queue, queue);
        QFETCH(QStringList, reserved);
        QFETCH(QList<QStringList>, names);
        const QSet<QString> keys(reserved.begin(), reserved.end());
        QCOMPARE(OutputNames::assign(queue, keys), names);
        // Proposing does not claim: asking twice gives the same answer.
        OutputNames::Claims claims(keys);
        for (qsizetype i = 0; i < queue.size(); ++i) {
            QCOMPARE(claims.names(queue[i]), names[i]);
            QCOMPARE(claims.names(queue[i]), names[i]);
            claims.take(queue[i], names[i]);
        }
    }

    // The dry-run's arguments write an output's final name.
    void renamedWritesTheNewName() {
        const auto moved = CommandBuilder::renamed(
            {"JPEG", QUrl::fromLocalFile("/o/p.jpg"), {"-i", "/s/p.png", "/o/p.jpg"}, 0},
            "p-2.jpg");
        QCOMPARE(moved.arguments, (QStringList{"-i", "/s/p.png", "/o/p-2.jpg"}));
    }

    // The same file reached through a symlinked folder or a hard link is still the original.
    void originalsAreKnownByIdentity() {
        const QString src = touch("src/a.jpg").section('/', 0, -2);
        QVERIFY(QFile::link(src, tmp.filePath("alias")));
        QCOMPARE(::link(QFile::encodeName(src + "/a.jpg").constData(),
                        QFile::encodeName(tmp.filePath("hard.jpg")).constData()),
                 0);
        SourceSet sources;
        sources.add(QUrl::fromLocalFile(src + "/a.jpg"));
        for (const QString& same : {src + "/a.jpg", tmp.filePath("alias/a.jpg"),
                                    tmp.filePath("hard.jpg"), src + "/./sub/../a.jpg"})
            QVERIFY2(sources.holds(same), qPrintable(same));
        QVERIFY(!sources.holds(src + "/a.png"));
        QVERIFY(!sources.holds(tmp.filePath("alias/new/a.jpg")));
        QCOMPARE(SourceSet::canonicalFolder(tmp.filePath("alias/new/deeper")),
                 QFileInfo(src).canonicalFilePath() + "/new/deeper");

        const auto writesOver = [&](const QString& destination, const QString& source) {
            PlannedOutput output;
            output.destination = QUrl::fromLocalFile(destination);
            return CommandBuilder::writesOverSource(output, QUrl::fromLocalFile(source));
        };
        QVERIFY(writesOver(tmp.filePath("hard.jpg"), src + "/a.jpg"));
        QVERIFY(writesOver(tmp.filePath("alias/a.jpg"), src + "/a.jpg"));
        QVERIFY(!writesOver(touch("src/b.jpg"), src + "/a.jpg"));
        // Files that do not exist compare by their cleaned paths.
        QVERIFY(writesOver("/nowhere/x/../clip.mp4", "/nowhere/clip.mp4"));
        QVERIFY(!writesOver("/nowhere/clip.mp4", "/nowhere/clip.mov"));
    }

    void planThatWouldWriteOverItsSource() {
        const MediaItem photo = item(touch("same/Photo.png"));
        EncoderCaps encoders;
        encoders.names = {"png", "mjpeg"};
        const auto overwrites = [&](TersioSettings settings, ImageFormat format) {
            settings.imageFormat = format;
            const QUrl folder = CommandBuilder::outputDirectory(photo, settings);
            const auto plan = CommandBuilder::imagePlan(photo, settings, encoders, folder);
            return plan.size() == 1 && CommandBuilder::writesOverSource(plan.first(), photo.url);
        };
        QVERIFY(overwrites(chosen(tmp.filePath("same")), ImageFormat::png));
        QVERIFY(overwrites(subfolder("."), ImageFormat::matchSource));
        QVERIFY(!overwrites(subfolder("optimised"), ImageFormat::png));
        QVERIFY(QFile::link(tmp.filePath("same"), tmp.filePath("same-alias")));
        QVERIFY(overwrites(chosen(tmp.filePath("same-alias")), ImageFormat::png));
        QVERIFY(!overwrites(chosen(tmp.filePath("same")), ImageFormat::jpeg));
    }

    // The cap keeps widths even and at least 2, is off when not positive, and applies to a
    // photo whose width is unknown.
    void imageWidthCap() {
        const auto filter = [](qint64 width, qint64 cap) {
            TersioSettings settings = format(ImageFormat::jpeg);
            settings.imageMaxWidth = cap;
            return after(images(photo("a.jpg", width, 2000), settings)[0].arguments, "-vf");
        };
        QCOMPARE(filter(3000, 1001), QStringLiteral("scale=1000:-2:flags=lanczos"));
        QCOMPARE(filter(3000, 1), QStringLiteral("scale=2:-2:flags=lanczos"));
        QCOMPARE(filter(3000, 0), QString());
        QCOMPARE(filter(3000, -5), QString());
        QCOMPARE(filter(0, 2400), QStringLiteral("scale=2400:-2:flags=lanczos"));
    }

    void imageFormats() {
        const auto outputs = [](const QString& source, ImageFormat format, bool webpCopy,
                                const EncoderCaps& encoders = caps()) {
            return names(images(photo(source, 4000, 3000), ::format(format, webpCopy), encoders));
        };
        const auto match = ImageFormat::matchSource;
        QCOMPARE(outputs("x.heic", match, false), QStringList{"x.jpg"});
        QCOMPARE(outputs("photo.jpeg", match, false), QStringList{"photo.jpg"});
        QCOMPARE(outputs("scan", match, false), QStringList{"scan.jpg"});
        QCOMPARE(outputs("w.WebP", match, true), QStringList{"w.webp"}); // no duplicate
        QCOMPARE(outputs("v.avif", match, false), QStringList{"v.avif"});
        QCOMPARE(outputs("a.b.gif", ImageFormat::png, true), (QStringList{"a.b.png", "a.b.webp"}));
        // A format without its encoder is left out.
        QCOMPARE(outputs("x.png", ImageFormat::webp, false, caps({"libsvtav1"})), QStringList());
        QCOMPARE(outputs("x.png", ImageFormat::avif, true, caps({"libwebp"})),
                 QStringList{"x.webp"});
        QCOMPARE(outputs("x.png", ImageFormat::jpeg, true, caps({})), QStringList{"x.jpg"});
    }

    // SVT-AV1 only takes frames of at least 64 × 64 with even sides, after scaling.
    void av1Encoder() {
        const auto chosen = [](const QStringList& encoders, qint64 width, qint64 height,
                               qint64 cap = 2400) {
            TersioSettings settings = format(ImageFormat::avif);
            settings.imageMaxWidth = cap;
            const Plan plan = images(photo("a.png", width, height), settings, caps(encoders));
            return plan.size() == 1 ? after(plan[0].arguments, "-c:v") : QString();
        };
        const QStringList both{"libsvtav1", "libaom-av1"}, aom{"libaom-av1"}, svt{"libsvtav1"};
        QCOMPARE(chosen(both, 1000, 800), QStringLiteral("libsvtav1"));
        QCOMPARE(chosen(aom, 1000, 800), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(both, 101, 78), QStringLiteral("libaom-av1")); // odd width
        QCOMPARE(chosen(both, 100, 77), QStringLiteral("libaom-av1")); // odd height
        QCOMPARE(chosen(both, 40, 40), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(both, 64, 64), QStringLiteral("libsvtav1"));
        QCOMPARE(chosen(both, 0, 0), QStringLiteral("libaom-av1"));           // unmeasured
        QCOMPARE(chosen(both, 3001, 2001), QStringLiteral("libsvtav1"));      // scaled even
        QCOMPARE(chosen(both, 4000, 100), QStringLiteral("libaom-av1"));      // scaled to a sliver
        QCOMPARE(chosen(both, 4000, 256, 1000), QStringLiteral("libsvtav1")); // to exactly 64
        QCOMPARE(chosen(both, 4000, 4000, 63), QStringLiteral("libaom-av1"));
        QCOMPARE(chosen(svt, 41, 41), QStringLiteral("libsvtav1")); // the only one there is
    }

    // Only an output of the source's own format and size may fall back on the source; every
    // JPEG and PNG is re-packed, and a grey source keeps one channel.
    void postSteps() {
        const auto steps = [](const QString& source, qint64 width, ImageFormat format,
                              bool grey = false, bool strip = true) {
            MediaItem item = photo(source, width, 600);
            item.grey = grey;
            TersioSettings settings = ::format(format);
            settings.stripMetadata = strip;
            QStringList names;
            for (const PostStep& step : images(item, settings).value(0).post)
                names << step.name();
            return names.join(' ');
        };
        const auto match = ImageFormat::matchSource;
        const QString jpeg = "jpeg-lossless-progressive";
        QCOMPARE(steps("a.JPEG", 1200, match), jpeg + " source-if-smaller");
        QCOMPARE(steps("a.jpg", 4000, match), jpeg); // scaled
        QCOMPARE(steps("a.jpg", 0, match), jpeg);    // unmeasured
        QCOMPARE(steps("g.jpg", 800, match, true),
                 QStringLiteral("jpeg-lossless-progressive-grey source-if-smaller-grey"));
        QCOMPARE(steps("s.png", 800, match, false, false),
                 QStringLiteral("png-palette-keep-metadata png-lossless-squeeze-keep-metadata "
                                "source-if-smaller-keep-metadata"));
        QCOMPARE(steps("x.heic", 800, match), jpeg);
        QCOMPARE(steps("x.jpg", 800, ImageFormat::png),
                 QStringLiteral("png-palette png-lossless-squeeze"));
        QCOMPARE(steps("x.jpg", 800, ImageFormat::webp), QString());
    }

    // ffmpeg would read "%d" in an image name as a frame number and write another file.
    void percentNamesAreWrittenLiterally() {
        const Plan plan = images(photo("50%d off.png", 300, 200), format(ImageFormat::png, true));
        QCOMPARE(plan[0].arguments.mid(plan[0].arguments.size() - 5),
                 (QStringList{"-update", "1", "-pred", "mixed", "/out/50%d off.png"}));
        QCOMPARE(plan[1].arguments.mid(plan[1].arguments.size() - 3),
                 (QStringList{"-f", "webp", "/out/50%d off.webp"}));
        const Plan jpeg = images(photo("take%02d.png", 300, 200), format(ImageFormat::jpeg));
        QCOMPARE(after(jpeg[0].arguments, "-update"), QStringLiteral("1"));
    }

    // A tenth of the way in, at most 3 s, unless a time was chosen; never with a decimal comma.
    void posterSeek() {
        const auto seek = [](double duration, std::optional<double> chosen = {}) {
            MediaItem item = clip(1280, 720, duration);
            item.posterTime = chosen;
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            const Plan plan = videos(item);
            QLocale::setDefault(QLocale::c());
            const QStringList& arguments = plan.at(2).arguments; // the poster
            return arguments.count("-ss") == 1 ? after(arguments, "-ss") : QString();
        };
        QCOMPARE(seek(20), QStringLiteral("2.000"));
        QCOMPARE(seek(4.2), QStringLiteral("0.420"));
        QCOMPARE(seek(0), QString()); // unprobed
        QCOMPARE(seek(10, 5.0), QStringLiteral("5.000"));
        QCOMPARE(seek(10, 0.0), QString());
        QCOMPARE(seek(0, 2.4), QString()); // chosen, but the duration was lost
    }

    // Audio follows the source and the setting (Vorbis when there is no Opus); the speed picks
    // the H.264/HEVC preset and VP9's effort.
    void audioAndSpeed() {
        TersioSettings settings;
        settings.audio = AudioMode::mono;
        settings.audioKbps = 96;
        settings.speed = SpeedPreset::veryfast;
        settings.makeHEVC = true;
        QStringList noOpus = caps().names.values();
        noOpus.removeAll("libopus");
        const auto tail = [](const PlannedOutput& output) {
            return output.arguments.mid(output.arguments.size() - 7, 6).join(' ');
        };
        Plan plan = videos(clip(1280, 720, 10), settings, caps(noOpus));
        QCOMPARE(tail(plan[0]), QStringLiteral("-c:a aac -b:a 96k -ac 1"));
        QCOMPARE(tail(plan[1]), QStringLiteral("-c:a aac -b:a 96k -ac 1"));
        QCOMPARE(tail(plan[2]), QStringLiteral("-c:a libvorbis -b:a 96k -ac 1"));
        QCOMPARE(after(plan[1].arguments, "-preset"), QStringLiteral("veryfast"));
        QCOMPARE(after(plan[2].arguments, "-cpu-used"), QStringLiteral("3"));
        settings.speed = SpeedPreset::slow;
        plan = videos(clip(1280, 720, 10, false), settings);
        QCOMPARE(after(plan[1].arguments, "-preset"), QStringLiteral("slow"));
        QCOMPARE(after(plan[2].arguments, "-cpu-used"), QStringLiteral("1"));
        for (const PlannedOutput& output : plan.mid(0, 3))
            QCOMPARE(output.arguments.at(output.arguments.size() - 2), QStringLiteral("-an"));
    }

    void unprobedClipAndSwitches() {
        const Plan unprobed = videos(clip(0, 0, 0, false));
        QCOMPARE(labels(unprobed),
                 (QStringList{"MP4" + dot + "H.264", "WebM" + dot + "VP9", "Poster frame"}));
        for (const PlannedOutput& output : unprobed) {
            QCOMPARE(filters(output), QStringList{"scale=1920:-2:flags=lanczos"});
            QCOMPARE(output.progressDuration, 0.0);
        }
        for (const PlannedOutput& output : videos(clip(1280, 720, 20)))
            QCOMPARE(output.progressDuration, output.label == "Poster frame" ? 0.0 : 20.0);
        TersioSettings settings;
        settings.cropVariants.clear();
        QCOMPARE(labels(videos(clip(1280, 720, 10), settings, caps({"libvpx-vp9", "libx265"}))),
                 (QStringList{"WebM" + dot + "VP9", "Poster frame"}));
        settings.makeH264 = settings.makeWebM = settings.makePoster = false;
        QVERIFY(videos(clip(1280, 720, 10), settings).isEmpty());
        settings.makePoster = true;
        QCOMPARE(labels(videos(clip(1280, 720, 10), settings, caps({}))),
                 QStringList{"Poster frame"});
    }

    // Each crop cuts the largest window of its ratio at its anchor, never scaled up.
    void cropWindows() {
        const auto cut = [](qint64 width, qint64 height, const CropVariant& crop) {
            TersioSettings settings;
            settings.cropVariants = {crop};
            const Plan plan = videos(clip(width, height, 5), settings);
            const QString mp4 = filters(plan.value(3)).join(',');
            return plan.size() == 5 && filters(plan[4]).join(',') == mp4 ? mp4 : QString();
        };
        QCOMPARE(cut(1921, 1080, crop(9, 16, 720, CropAnchor::right)),
                 QStringLiteral("crop=606:1080:1315:0,scale=606:-2:flags=lanczos"));
        QCOMPARE(cut(1920, 1080, crop(1, 1, 801)),
                 QStringLiteral("crop=1080:1080:420:0,scale=800:-2:flags=lanczos"));
        // A leftover of 501 pixels across (wide) or down (tall), at each anchor.
        const char* wide[] = {"250:0", "250:0", "250:0", "0:0", "501:0"};
        const char* tall[] = {"0:250", "0:0", "0:501", "0:250", "0:250"};
        for (const CropAnchor anchor : Options::allCases<CropAnchor>()) {
            QCOMPARE(cut(1001, 1000, crop(1, 2, 500, anchor)),
                     QStringLiteral("crop=500:1000:%1,scale=500:-2:flags=lanczos")
                         .arg(wide[int(anchor)]));
            QCOMPARE(cut(1000, 1001, crop(2, 1, 500, anchor)),
                     QStringLiteral("crop=1000:500:%1,scale=500:-2:flags=lanczos")
                         .arg(tall[int(anchor)]));
        }
    }

    // Ratios with a term that is not positive have no window; the other crops still run, and
    // two crops of one ratio get the same names (told apart when names are claimed).
    void unusableRatiosAreSkipped() {
        TersioSettings settings;
        settings.cropVariants = {crop(0, 16, 720),  crop(9, 0, 720), crop(0, 0, 720),
                                 crop(-9, 16, 720), crop(4, 5, 800), crop(9, -16, 720),
                                 crop(4, 5, 400)};
        const Plan plan = videos(clip(1920, 1080, 5), settings);
        QCOMPARE(names(plan).mid(3),
                 (QStringList{"clip-4x5.mp4", "clip-4x5.webm", "clip-4x5.mp4", "clip-4x5.webm"}));
        QCOMPARE(filters(plan[3]),
                 (QStringList{"crop=864:1080:528:0", "scale=800:-2:flags=lanczos"}));
    }

    void hdrIsToneMappedFirst() {
        const QStringList toneMap = QStringLiteral("zscale=t=linear:npl=100,format=gbrpf32le,"
                                                   "zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
                                                   "zscale=t=bt709:m=bt709:r=tv,format=yuv420p")
                                        .split(',');
        TersioSettings settings;
        settings.makeHEVC = true;
        const Plan sdr = videos(clip(3840, 2160, 20), settings);
        const Plan hdr = videos(clip(3840, 2160, 20, true, true), settings);
        QCOMPARE(hdr.size(), sdr.size());
        for (qsizetype i = 0; i < hdr.size(); ++i) {
            QCOMPARE(filters(hdr[i]), toneMap + filters(sdr[i]));
            QCOMPARE(without(hdr[i].arguments, "-vf"), without(sdr[i].arguments, "-vf"));
        }
        // With nothing else to filter, the tone map stands alone.
        QCOMPARE(filters(videos(clip(1280, 720, 20, true, true), settings)[3]), toneMap);
    }

    // Every output is written exactly once, at the slot the engine swaps for its staged file,
    // and expensive filters the outputs share run once.
    void oneProcessPerItem_data() {
        QTest::addColumn<Plan>("plan");
        QTest::addColumn<QString>("shared"); // a filter that must appear exactly once
        QTest::addColumn<int>("audioMaps");
        TersioSettings hevc;
        hevc.makeHEVC = true;
        row("4k defaults", videos(clip(3840, 2160, 20)), "scale=1920:-2:flags=lanczos", 6);
        row("hdr", videos(clip(3840, 2160, 20, true, true)), "tonemap=tonemap=hable:desat=0", 6);
        row("transparent image",
            images(photo("logo.png", 5000, 3000, true), format(ImageFormat::jpeg, true)),
            "scale=2400:-2:flags=lanczos", 0);
    }
    void oneProcessPerItem() {
        QFETCH(Plan, plan);
        QFETCH(QString, shared);
        QFETCH(int, audioMaps);
        const auto invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        const FusedPlan::Invocation& fused = invocations.first();
        QCOMPARE(fused.outputs.size(), plan.size());
        QCOMPARE(fused.arguments.count("-i"), 1);
        QCOMPARE(fused.arguments.at(fused.inputSlot), after(plan.first().arguments, "-i"));
        for (int i = 0; i < plan.size(); ++i) {
            const QString path = plan.at(fused.outputs.at(i)).destination.toLocalFile();
            QCOMPARE(fused.arguments.at(fused.writeSlots.at(i)), path);
            QCOMPARE(fused.arguments.count(path), 1);
        }
        QCOMPARE(graphOf(fused).count(shared), 1);
        QCOMPARE(fused.arguments.count("0:a:0?"), audioMaps);
        QVERIFY(!fused.arguments.contains("-vf"));
    }

    // The poster keeps the frame at its seek time and stops after it; labels inside a filter's
    // own graph must not collide with the fused graph's.
    void fusedGraphDetails() {
        TersioSettings settings;
        settings.cropVariants.clear();
        const auto video = FusedPlan::group(videos(clip(3840, 2160, 20), settings)).first();
        QCOMPARE(video.arguments.indexOf("-ss"), -1);
        QVERIFY2(graphOf(video).contains("trim=start=2.000,trim=end_frame=1"),
                 qPrintable(graphOf(video)));
        QCOMPARE(video.progressDuration, 20.0);
        QVERIFY(video.arguments.mid(0, video.inputSlot).contains("-progress"));

        const QString graph = graphOf(FusedPlan::group(images(photo("logo.png", 500, 300, true),
                                                              format(ImageFormat::jpeg, true)))
                                          .first());
        QVERIFY2(!graph.contains("[bg]") && graph.count("_bg]") == 2, qPrintable(graph));
    }

    // A still's encode also writes its score's reference, once per look, before the outputs,
    // which stay at their slots and last; what lasts or seeks gets none.
    void scoreReferences_data() {
        QTest::addColumn<Plan>("plan");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<int>("references");
        row("jpeg and webp copy alike",
            images(photo("a.jpg", 5000, 3000), format(ImageFormat::jpeg, true)), false, 1);
        row("flattened jpeg beside transparent webp",
            images(photo("logo.png", 5000, 3000, true), format(ImageFormat::jpeg, true)), true, 2);
        row("video and poster", videos(clip(1280, 720, 8)), false, 0);
    }
    void scoreReferences() {
        QFETCH(Plan, plan);
        QFETCH(bool, alpha);
        QFETCH(int, references);
        FusedPlan::Invocation invocation = FusedPlan::group(plan).first();
        const QStringList planned = invocation.arguments;
        ScoreReference::addAll(invocation, plan, alpha);
        QCOMPARE(invocation.arguments.count("rawvideo"), references);
        QCOMPARE(invocation.arguments.mid(invocation.arguments.size() - planned.size() +
                                          invocation.inputSlot + 1),
                 planned.mid(invocation.inputSlot + 1));
        QSet<qsizetype> written;
        for (qsizetype k = 0; k < invocation.outputs.size(); ++k) {
            const PlannedOutput& output = plan.at(invocation.outputs.at(k));
            QCOMPARE(invocation.arguments.at(invocation.writeSlots.at(k)),
                     output.destination.toLocalFile());
            if (const qsizetype slot = invocation.referenceSlots.at(k); slot >= 0) {
                written.insert(slot);
                QVERIFY(invocation.arguments.at(slot).endsWith(".reference.nut"));
                QVERIFY2(invocation.arguments.at(slot - 9).contains(
                             ScoreReference::filters(output, alpha)),
                         qPrintable(invocation.arguments.at(slot - 9)));
            }
        }
        QCOMPARE(written.size(), references);
    }

    // An output with its own input options runs alone, exactly as planned.
    void aloneWhenItCannotShare() {
        for (const auto& [extra, why] : {std::pair(QStringList{"-f", "image2"}, "input option -f"),
                                         std::pair(QStringList{"-ss", "00:01"}, "plain number")}) {
            Plan plan = videos(clip(1280, 720, 8));
            plan[1].arguments.insert(plan[1].arguments.indexOf("-i"), extra[1]);
            plan[1].arguments.insert(plan[1].arguments.indexOf("-i") - 1, extra[0]);
            QVERIFY(FusedPlan::aloneBecause(plan[1]).contains(QLatin1String(why)));
            const auto invocations = FusedPlan::group(plan);
            QCOMPARE(invocations.size(), 2);
            QCOMPARE(invocations[1].arguments, plan[1].arguments);
            QCOMPARE(invocations[1].outputs, QList<int>{1});
            QCOMPARE(invocations[0].outputs.size(), plan.size() - 1);
        }
    }

    // Under a tight memory limit the item is written by several processes, in plan order,
    // none above the limit unless it holds a single output.
    void memoryLimitSplitsTheItem() {
        TersioSettings settings;
        settings.makeHEVC = true;
        const Plan plan = videos(clip(3840, 2160, 20), settings);
        const QSize size(3840, 2160);
        const qint64 whole = MemoryEstimate::processBytes(plan, size);
        const auto invocations = FusedPlan::group(plan, whole / 2, 3840, 2160);
        QVERIFY(invocations.size() >= 2);
        QList<int> seen;
        for (const auto& invocation : invocations) {
            seen << invocation.outputs;
            Plan members;
            for (const int index : invocation.outputs)
                members << plan.at(index);
            QVERIFY(members.size() == 1 ||
                    MemoryEstimate::processBytes(members, size) <= whole / 2);
        }
        std::sort(seen.begin(), seen.end());
        QList<int> all(plan.size());
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(seen, all);
    }

    void memoryFigures() {
        const qint64 gb = qint64(1) << 30;
        QCOMPARE(MemoryEstimate::budget(2 * gb), 2 * gb);
        QCOMPARE(MemoryEstimate::budget(16 * gb), 8 * gb);
        QCOMPARE(MemoryEstimate::budget(0), 2 * gb);
        QVERIFY(MemoryEstimate::mayStart(0, 9000, 1000)); // alone, too big
        QVERIFY(MemoryEstimate::mayStart(400, 600, 1000));
        QVERIFY(!MemoryEstimate::mayStart(600, 600, 1000));
        // The seven 4K outputs come to about what one such process peaked at.
        const Plan plan = videos(clip(3840, 2160, 10));
        const double bytes = double(MemoryEstimate::processBytes(plan, QSize(3840, 2160))) / 1e9;
        QVERIFY2(bytes > 1.2 && bytes < 2.5, qPrintable(QString::number(bytes)));
        QCOMPARE(FusedPlan::taskText({"JPEG"}), QStringLiteral("JPEG"));
        QCOMPARE(FusedPlan::taskText({"JPEG", "WebP"}), QStringLiteral("JPEG, WebP"));
        QCOMPARE(FusedPlan::taskText({"A", "B", "C", "D", "E", "F", "G"}),
                 QStringLiteral("A, B +5"));
    }
};

QTEST_GUILESS_MAIN(TestPlanning)
#include "test_planning.moc"
