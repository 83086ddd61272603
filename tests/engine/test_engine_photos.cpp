#include "EngineSupport.h"
#include "HeifTestWriter.h"
#include "PhotoSources.h"
#include "planning/PlanPieces.h"

#include <QColorSpace>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace EngineSupport;
using namespace PhotoSources;

namespace {

const QString animatedWebPText =
    QStringLiteral("Animated WebP is not supported by this FFmpeg build.");

// The first frame of any file ffmpeg reads, as an sRGB picture; null when it cannot be read.
QImage firstFrame(const QString& file, const QString& scratch, const QStringList& filters = {}) {
    const QString png = scratch + QStringLiteral("/frame.png");
    QStringList arguments{"-i", file};
    if (!filters.isEmpty())
        arguments << "-vf" << filters.join(QLatin1Char(','));
    if (!TestSupport::ffmpeg(arguments + QStringList{"-frames:v", "1", "-pix_fmt", "rgb24", png}))
        return {};
    QImage frame(png);
    QFile::remove(png);
    return frame;
}

QJsonObject videoStream(const QString& file) {
    QProcess probe;
    probe.start("/usr/bin/ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_streams",
                                     "-print_format", "json", file});
    probe.waitForFinished(30000);
    return QJsonDocument::fromJson(probe.readAllStandardOutput())["streams"][0].toObject();
}

double meanSaturation(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += image.pixelColor(x, y).hsvSaturationF();
    return sum / (double(image.width()) * image.height());
}

// The loop count of an animated WebP's ANIM chunk; -1 when there is none.
int webpLoopCount(const QString& file) {
    QFile webp(file);
    if (!webp.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = webp.readAll();
    const qsizetype at = bytes.indexOf("ANIM");
    if (at < 0 || at + 14 > bytes.size())
        return -1;
    return qFromLittleEndian<quint16>(bytes.constData() + at + 12);
}

} // namespace

// Photos and clips that ffmpeg 5.1 misreads on its own, through AppModel with the real ffmpeg:
// the outputs are checked by their pixels and tags.
class TestEnginePhotos : public QObject {
    Q_OBJECT

    QTemporaryDir media_;
    QTemporaryDir scratch_;
    QTemporaryDir tmp_; // TMPDIR: where every intermediate must appear and disappear
    const QSize size_{96, 64};

    QString src(const QString& name) const { return media_.filePath(name); }
    QString out(const QString& name) const { return media_.filePath("optimised/" + name); }
    QImage outFrame(const QString& name) const { return firstFrame(out(name), scratch_.path()); }

    QStringList intermediates() const {
        return QDir(tmp_.path()).entryList({"tersio-prepared-*"}, QDir::Files | QDir::Hidden);
    }

    void tool(const QString& program, const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::runTool(program, arguments, &error), qPrintable(error));
    }
    void ffmpeg(const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::ffmpeg(arguments, &error), qPrintable(error));
    }
    void save(QImage image, const QColorSpace& space, const QString& file) {
        if (space.isValid())
            image.setColorSpace(space);
        QVERIFY2(image.save(src(file), nullptr, 95), qPrintable(file));
    }

    std::unique_ptr<AppModel> run(const QStringList& names, TersioSettings settings,
                                  const QString& ffmpegPath = QStringLiteral("/usr/bin/ffmpeg")) {
        settings.overwriteExisting = true;
        auto model = makeModel(settings);
        model->setTools(FFmpegTools{ffmpegPath, QStringLiteral("/usr/bin/ffprobe")}, debianCaps());
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << QUrl::fromLocalFile(src(name));
        model->add(urls);
        model->start();
        return model;
    }

    void expectDone(const AppModel& model, const QString& name) {
        const MediaItem* item = itemNamed(model, name);
        QVERIFY2(item, qPrintable(name));
        QVERIFY2(item->status == ItemStatus::done(),
                 qPrintable(name + ": " + item->status.name() + " " + item->status.message));
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && scratch_.isValid() && tmp_.isValid());
        qputenv("TMPDIR", QFile::encodeName(tmp_.path()));
        const QImage pattern = quadrants(size_);

        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString name = QStringLiteral("adobe-%1.jpg").arg(orientation);
            save(pattern, QColorSpace::AdobeRgb, name);
            tool("exiftool", {"-q", QStringLiteral("-Orientation#=%1").arg(orientation),
                              "-overwrite_original", src(name)});
        }
        QVERIFY(HeifTestWriter::write(src("turned.heic"), pattern,
                                      {.orientation = heif_orientation_rotate_90_cw}));
        QVERIFY(HeifTestWriter::write(src("p3.heic"), pattern,
                                      {.icc = QColorSpace(QColorSpace::DisplayP3).iccProfile()}));
        QVERIFY(HeifTestWriter::write(
            src("turned.avif"), pattern,
            {.compression = heif_compression_AV1, .orientation = heif_orientation_rotate_270_cw}));
        QImage transparent = pattern.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < size_.height(); ++y)
            for (int x = 0; x < size_.width() / 2; ++x)
                transparent.setPixelColor(x, y, Qt::transparent);
        QVERIFY(transparent.save(src("transparent.png")));
        QVERIFY(HeifTestWriter::write(src("transparent.heic"), transparent, {}));
        QFile whole(src("turned.heic"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QVERIFY(TestSupport::writeFile(src("truncated.heic"), whole.read(whole.size() / 2)));

        ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=48x32:r=5:d=0.6", "-loop", "0", src("loop.gif")});
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=48x32:r=5:d=0.6", "-loop", "0", src("anim.webp")});
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=63x41", "-frames:v", "1", src("odd.png")});
        ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=40x40", "-frames:v", "1", src("small.png")});
        for (const char* trc : {"arib-std-b67", "smpte2084"})
            // Muted colours: full ones are saturated however the frame is read.
            ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=160x90:r=10:d=0.5,eq=saturation=0.4", "-c:v",
                    "libx265", "-x265-params", "log-level=error", "-pix_fmt", "yuv420p10le",
                    "-color_primaries", "bt2020", "-color_trc", trc, "-colorspace", "bt2020nc",
                    src(QStringLiteral("%1.mp4").arg(trc == QLatin1String("smpte2084") ? "pq"
                                                                                       : "hlg"))});
    }

    void photosComeOutUpright() {
        QStringList names;
        for (int orientation = 1; orientation <= 8; ++orientation)
            names << QStringLiteral("adobe-%1.jpg").arg(orientation);
        names << "turned.heic"
              << "turned.avif";
        TersioSettings settings;
        settings.alsoEmitWebP = true;
        auto model = run(names, settings);
        QVERIFY(waitForRunEnd(*model));

        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString stem = QStringLiteral("adobe-%1").arg(orientation);
            expectDone(*model, stem + ".jpg");
            for (const QString& ext : {QStringLiteral("jpg"), QStringLiteral("webp")}) {
                const QImage frame = outFrame(stem + "." + ext);
                QCOMPARE(frame.size(), orientation >= 5 ? size_.transposed() : size_);
                QCOMPARE(quadrantsOf(frame), shownQuadrants(orientation));
            }
        }
        expectDone(*model, "turned.heic");
        QCOMPARE(quadrantsOf(outFrame("turned.jpg")), shownQuadrants(6));
        QCOMPARE(outFrame("turned.jpg").size(), size_.transposed());
        expectDone(*model, "turned.avif");
        QCOMPARE(quadrantsOf(outFrame("turned.avif")), shownQuadrants(8));
        QCOMPARE(outFrame("turned.avif").size(), size_.transposed());
        QCOMPARE(intermediates(), QStringList());
    }

    // Every rendition shows what a colour-managed viewer shows of the source.
    void wideGamutRenditionsAgree_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QColorSpace>("space");
        QTest::newRow("Adobe RGB JPEG") << "adobe-1.jpg" << QColorSpace(QColorSpace::AdobeRgb);
        QTest::newRow("Display P3 HEIC") << "p3.heic" << QColorSpace(QColorSpace::DisplayP3);
    }

    void wideGamutRenditionsAgree() {
        QFETCH(QString, source);
        QFETCH(QColorSpace, space);
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.alsoEmitWebP = true;
        auto model = run({source}, settings);
        QVERIFY(waitForRunEnd(*model));
        expectDone(*model, source);

        QImage untreated = quadrants(size_);
        QImage shown = untreated;
        shown.setColorSpace(space);
        shown.convertToColorSpace(QColorSpace::SRgb);
        const QString stem = QFileInfo(source).completeBaseName();
        const QImage jpeg = outFrame(stem + ".jpg");
        const QImage webp = outFrame(stem + ".webp");
        const double limit = 5;
        QVERIFY(meanDifference(untreated, shown) > 2 * limit); // the case can tell
        QVERIFY2(meanDifference(jpeg, shown) < limit,
                 qPrintable(QString::number(meanDifference(jpeg, shown))));
        QVERIFY2(meanDifference(webp, shown) < limit,
                 qPrintable(QString::number(meanDifference(webp, shown))));
        QVERIFY(meanDifference(jpeg, webp) < limit);
    }

    void transparencyBecomesWhiteInJpeg_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("PNG") << "transparent.png";
        QTest::newRow("HEIC with alpha") << "transparent.heic";
    }

    void transparencyBecomesWhiteInJpeg() {
        QFETCH(QString, source);
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        auto model = run({source}, settings);
        QVERIFY(waitForRunEnd(*model));
        expectDone(*model, source);
        const QImage jpeg = outFrame(QFileInfo(source).completeBaseName() + ".jpg");
        QCOMPARE(jpeg.size(), size_);
        for (const QPoint at : {QPoint(5, 5), QPoint(20, 50), QPoint(40, 30)}) {
            const QColor pixel = jpeg.pixelColor(at);
            QVERIFY2(pixel.red() >= 250 && pixel.green() >= 250 && pixel.blue() >= 250,
                     qPrintable(pixel.name()));
        }
        QCOMPARE(quadrantsOf(jpeg)[1], 1); // the opaque half is untouched
    }

    void animationsAndSmallAv1Pictures() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::webp;
        auto gif = run({"loop.gif", "anim.webp"}, settings);
        QVERIFY(waitForRunEnd(*gif));
        expectDone(*gif, "loop.gif");
        QCOMPARE(webpLoopCount(out("loop.webp")), 0);
        QCOMPARE(itemNamed(*gif, "anim.webp")->status, ItemStatus::failed(animatedWebPText));

        settings.imageFormat = ImageFormat::avif;
        auto avif = run({"odd.png", "small.png"}, settings);
        QVERIFY(waitForRunEnd(*avif));
        expectDone(*avif, "odd.png");
        expectDone(*avif, "small.png");
        // ffmpeg 5.1 with libaom writes an odd side one pixel short; SVT would refuse it outright.
        const QSize odd = outFrame("odd.avif").size();
        QVERIFY2(std::abs(odd.width() - 63) <= 1 && std::abs(odd.height() - 41) <= 1,
                 qPrintable(QStringLiteral("%1x%2").arg(odd.width()).arg(odd.height())));
        QCOMPARE(outFrame("small.avif").size(), QSize(40, 40));
    }

    void hdrClipsAreToneMapped_data() {
        QTest::addColumn<QString>("clip");
        QTest::newRow("HLG") << "hlg";
        QTest::newRow("PQ") << "pq";
    }

    void hdrClipsAreToneMapped() {
        QFETCH(QString, clip);
        TersioSettings settings;
        settings.makeHEVC = true;
        settings.cropVariants.clear();
        auto model = run({clip + ".mp4"}, settings);
        QVERIFY(waitForRunEnd(*model));
        expectDone(*model, clip + ".mp4");
        QVERIFY(itemNamed(*model, clip + ".mp4")->hdr);

        for (const QString& name : {clip + ".mp4", clip + "-hevc.mp4", clip + ".webm"}) {
            const QJsonObject stream = videoStream(out(name));
            QCOMPARE(stream["color_primaries"].toString(), QStringLiteral("bt709"));
            QCOMPARE(stream["color_transfer"].toString(), QStringLiteral("bt709"));
            QCOMPARE(stream["color_space"].toString(), QStringLiteral("bt709"));
        }
        const QImage mapped =
            firstFrame(src(clip + ".mp4"), scratch_.path(), PlanPieces::hdrToneMap());
        const QImage untreated = firstFrame(src(clip + ".mp4"), scratch_.path());
        const double target = meanSaturation(mapped);
        const double washedOut = std::abs(meanSaturation(untreated) - target);
        QVERIFY2(washedOut > 0.05, qPrintable(QString::number(washedOut)));
        for (const QString& name : {clip + ".mp4", clip + "-poster.jpg"}) {
            const double off = std::abs(meanSaturation(outFrame(name)) - target);
            QVERIFY2(off < washedOut / 3, qPrintable(name + ": " + QString::number(off)));
        }
    }

    void undecodablePhotoFails() {
        auto model = run({"truncated.heic"}, TersioSettings{});
        QVERIFY(waitForRunEnd(*model));
        const ItemStatus status = itemNamed(*model, "truncated.heic")->status;
        QCOMPARE(status.value, ItemStatus::Case::failed);
        QVERIFY2(status.message.startsWith("This photo could not be decoded: "),
                 qPrintable(status.message));
        QCOMPARE(intermediates(), QStringList());
    }

    // A stand-in ffmpeg logs its arguments and waits, so the intermediate can be seen in use.
    void intermediateIsSharedAndAlwaysRemoved_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("done") << "done";
        QTest::newRow("failed") << "failed";
        QTest::newRow("stopped") << "stopped";
        QTest::newRow("removed") << "removed";
    }

    void intermediateIsSharedAndAlwaysRemoved() {
        QFETCH(QString, ending);
        const QString log = scratch_.filePath("args.log");
        const QString hold = scratch_.filePath("hold");
        QFile::remove(log);
        QVERIFY(TestSupport::writeFile(hold, "hold"));
        // Scores fail at once, unlogged: only the encodes are counted.
        const QString fake = TestSupport::writeScript(scratch_.filePath("ffmpeg"),
                                                      "case \"$*\" in *ssim=*) exit 1 ;; esac\n"
                                                      "for last; do :; done\n"
                                                      "echo \"$*\" >> '" +
                                                          log.toUtf8() +
                                                          "'\n"
                                                          "while [ -e '" +
                                                          hold.toUtf8() +
                                                          "' ]; do sleep 0.05; done\n"
                                                          "printf done > \"$last\"\n"
                                                          "[ -e '" +
                                                          scratch_.filePath("fail").toUtf8() +
                                                          "' ] && { echo broken >&2; exit 1; }\n"
                                                          "exit 0\n");
        if (ending == QLatin1String("failed"))
            QVERIFY(TestSupport::writeFile(scratch_.filePath("fail"), "x"));
        TersioSettings settings;
        settings.alsoEmitWebP = true;
        auto model = run({"turned.heic"}, settings, fake);

        QTRY_COMPARE_WITH_TIMEOUT(logLines(log).size(), 1, 30000);
        const QStringList seen = intermediates();
        QCOMPARE(seen.size(), 1);
        const QString prepared = QDir(tmp_.path()).filePath(seen.first());
        QVERIFY2(logLines(log).first().contains("-i " + prepared + " "),
                 qPrintable(logLines(log).first()));

        const QUuid id = model->items().first().id;
        if (ending == QLatin1String("stopped"))
            model->cancel();
        else if (ending == QLatin1String("removed"))
            model->remove(id.toString());
        QFile::remove(hold);
        QVERIFY(waitForRunEnd(*model));
        QFile::remove(scratch_.filePath("fail"));

        if (ending == QLatin1String("done")) {
            expectDone(*model, "turned.heic");
            const QStringList runs = logLines(log);
            QCOMPARE(runs.size(), 1); // JPEG and WebP from one read of the intermediate
            QVERIFY(runs.last().contains("-filter_complex"));
        } else if (ending == QLatin1String("failed")) {
            QCOMPARE(itemNamed(*model, "turned.heic")->status, ItemStatus::failed("broken"));
        } else if (ending == QLatin1String("stopped")) {
            QCOMPARE(itemNamed(*model, "turned.heic")->status, ItemStatus::cancelled());
        } else {
            QVERIFY(!itemNamed(*model, "turned.heic"));
        }
        QCOMPARE(intermediates(), QStringList());
    }
};

QTEST_MAIN(TestEnginePhotos)
#include "test_engine_photos.moc"
