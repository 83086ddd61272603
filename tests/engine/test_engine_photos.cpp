#include "EngineSupport.h"
#include "HeifTestWriter.h"
#include "PhotoSources.h"
#include "planning/PlanPieces.h"

#include <QColorSpace>
#include <QTemporaryDir>

using namespace EngineSupport;
using namespace PhotoSources;
using namespace Qt::StringLiterals;
using TestSupport::row;

namespace {

// The first frame of any file ffmpeg reads, as an sRGB picture; null when it cannot be read.
QImage firstFrame(const QString& file, const QString& scratch, const QStringList& filters = {}) {
    const QString png = scratch + "/frame.png";
    QStringList arguments{"-i", file};
    if (!filters.isEmpty())
        arguments << "-vf" << filters.join(',');
    if (!TestSupport::ffmpeg(arguments + TestSupport::words("-frames:v 1 -pix_fmt rgb24") << png))
        return {};
    const QImage frame(png);
    QFile::remove(png);
    return frame;
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
    const QByteArray bytes = TestSupport::readFile(file);
    const qsizetype at = bytes.indexOf("ANIM");
    return at < 0 || at + 14 > bytes.size()
               ? -1
               : qFromLittleEndian<quint16>(bytes.constData() + at + 12);
}

// What went other than done, item by item.
QString notDone(const AppModel& model) {
    QString text;
    for (const MediaItem& item : model.items())
        if (item.status != ItemStatus::done())
            text += item.url.fileName() + ": " + item.status.name() + ' ' + item.status.message;
    return text;
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

    std::unique_ptr<AppModel> start(const QStringList& names, TersioSettings settings,
                                    const QString& ffmpeg = u"/usr/bin/ffmpeg"_s) {
        settings.overwriteExisting = true;
        QStringList paths;
        for (const QString& name : names)
            paths << src(name);
        auto model = makeModel(settings, FFmpegTools{ffmpeg, u"/usr/bin/ffprobe"_s, {}}, paths);
        model->start();
        return model;
    }
    std::unique_ptr<AppModel> run(const QStringList& names, const TersioSettings& settings) {
        auto model = start(names, settings);
        waitForRunEnd(*model);
        return model;
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid() && scratch_.isValid() && tmp_.isValid());
        qputenv("TMPDIR", QFile::encodeName(tmp_.path()));
        const QImage pattern = quadrants(size_);
        QImage adobe = pattern;
        adobe.setColorSpace(QColorSpace::AdobeRgb);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString name = src(u"adobe-%1.jpg"_s.arg(orientation));
            QVERIFY(adobe.save(name, nullptr, 95));
            QVERIFY(TestSupport::runTool("exiftool", {"-q", u"-Orientation#=%1"_s.arg(orientation),
                                                      "-overwrite_original", name}));
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
        QVERIFY(HeifTestWriter::write(src("clear.heic"), transparent));
        const QByteArray whole = TestSupport::readFile(src("turned.heic"));
        QVERIFY(TestSupport::writeFile(src("truncated.heic"), whole.first(whole.size() / 2)));

        QString error;
        const auto make = [&](const QString& source, const QString& options, const char* name) {
            QVERIFY2(TestSupport::lavfi(source, options, src(name), &error), qPrintable(error));
        };
        make("testsrc2=s=48x32:r=5:d=0.6", "-loop 0", "loop.gif");
        make("testsrc2=s=48x32:r=5:d=0.6", "-loop 0", "anim.webp");
        make("testsrc2=s=63x41", "-frames:v 1", "odd.png");
        make("testsrc2=s=40x40", "-frames:v 1", "small.png");
        // Muted colours: full ones are saturated however the frame is read.
        for (const char* trc : {"arib-std-b67", "smpte2084"})
            make("testsrc2=s=160x90:r=10:d=0.5,eq=saturation=0.4",
                 u"-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p10le -color_primaries "
                 "bt2020 -color_trc %1 -colorspace bt2020nc"_s.arg(trc),
                 trc == "smpte2084"_L1 ? "pq.mp4" : "hlg.mp4");
    }

    void photosComeOutUpright() {
        QStringList names{"turned.heic", "turned.avif"};
        for (int orientation = 1; orientation <= 8; ++orientation)
            names << u"adobe-%1.jpg"_s.arg(orientation);
        TersioSettings settings;
        settings.alsoEmitWebP = true;
        const auto model = run(names, settings);
        QCOMPARE(notDone(*model), QString());
        for (int orientation = 1; orientation <= 8; ++orientation)
            for (const char* ext : {"jpg", "webp"}) {
                const QImage frame = outFrame(u"adobe-%1.%2"_s.arg(orientation).arg(ext));
                QCOMPARE(frame.size(), orientation >= 5 ? size_.transposed() : size_);
                QCOMPARE(quadrantsOf(frame), shownQuadrants(orientation));
            }
        QCOMPARE(quadrantsOf(outFrame("turned.jpg")), shownQuadrants(6));
        QCOMPARE(outFrame("turned.jpg").size(), size_.transposed());
        QCOMPARE(quadrantsOf(outFrame("turned.avif")), shownQuadrants(8));
        QCOMPARE(outFrame("turned.avif").size(), size_.transposed());
        QCOMPARE(intermediates(), QStringList());
    }

    // Every rendition shows what a colour-managed viewer shows of the source, and transparency
    // becomes white in a JPEG.
    void coloursAndTransparency() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.alsoEmitWebP = true;
        const auto model =
            run({"adobe-1.jpg", "p3.heic", "transparent.png", "clear.heic"}, settings);
        QCOMPARE(notDone(*model), QString());
        const QImage untreated = quadrants(size_);
        for (const auto& [stem, space] : {std::pair(u"adobe-1"_s, QColorSpace::AdobeRgb),
                                          std::pair(u"p3"_s, QColorSpace::DisplayP3)}) {
            QImage shown = untreated;
            shown.setColorSpace(space);
            shown.convertToColorSpace(QColorSpace::SRgb);
            QVERIFY(meanDifference(untreated, shown) > 10); // the case can tell
            const QImage jpeg = outFrame(stem + ".jpg"), webp = outFrame(stem + ".webp");
            for (const auto& [a, b] :
                 {std::pair(jpeg, shown), std::pair(webp, shown), std::pair(jpeg, webp)})
                QVERIFY2(meanDifference(a, b) < 5,
                         qPrintable(QString::number(meanDifference(a, b))));
        }
        for (const char* name : {"transparent.jpg", "clear.jpg"}) {
            const QImage jpeg = outFrame(name);
            QCOMPARE(jpeg.size(), size_);
            for (const QPoint at : {QPoint(5, 5), QPoint(20, 50), QPoint(40, 30)}) {
                const QColor pixel = jpeg.pixelColor(at);
                QVERIFY2(std::min({pixel.red(), pixel.green(), pixel.blue()}) >= 250,
                         qPrintable(pixel.name()));
            }
            QCOMPARE(quadrantsOf(jpeg)[1], 1); // the opaque half is untouched
        }
    }

    void animationsSmallAv1AndUndecodable() {
        TersioSettings settings;
        settings.imageFormat = ImageFormat::webp;
        const auto webp = run({"loop.gif", "anim.webp", "truncated.heic"}, settings);
        QCOMPARE(statuses(*webp), u"done failed failed"_s);
        QCOMPARE(webpLoopCount(out("loop.webp")), 0);
        QCOMPARE(itemNamed(*webp, "anim.webp")->status,
                 ItemStatus::failed(u"Animated WebP is not supported by this FFmpeg build."_s));
        const QString undecodable = itemNamed(*webp, "truncated.heic")->status.message;
        QVERIFY2(undecodable.startsWith("This photo could not be decoded: "_L1),
                 qPrintable(undecodable));

        settings.imageFormat = ImageFormat::avif;
        const auto avif = run({"odd.png", "small.png"}, settings);
        QCOMPARE(notDone(*avif), QString());
        // ffmpeg 5.1 with libaom writes an odd side one pixel short; SVT would refuse it outright.
        const QSize odd = outFrame("odd.avif").size();
        QVERIFY2(std::abs(odd.width() - 63) <= 1 && std::abs(odd.height() - 41) <= 1,
                 qPrintable(u"%1x%2"_s.arg(odd.width()).arg(odd.height())));
        QCOMPARE(outFrame("small.avif").size(), QSize(40, 40));
        QCOMPARE(intermediates(), QStringList());
    }

    void hdrClipsAreToneMapped() {
        TersioSettings settings;
        settings.makeHEVC = true;
        settings.cropVariants.clear();
        const auto model = run({"hlg.mp4", "pq.mp4"}, settings);
        QCOMPARE(notDone(*model), QString());
        for (const QString clip : {"hlg", "pq"}) {
            QVERIFY(itemNamed(*model, clip + ".mp4")->hdr);
            for (const QString& name : {clip + ".mp4", clip + "-hevc.mp4", clip + ".webm"}) {
                const QJsonObject stream = TestSupport::probeVideo(out(name));
                for (const char* key : {"color_primaries", "color_transfer", "color_space"})
                    QCOMPARE(stream[QLatin1String(key)].toString(), u"bt709"_s);
            }
            const QString source = src(clip + ".mp4");
            const double target =
                meanSaturation(firstFrame(source, scratch_.path(), PlanPieces::hdrToneMap()));
            const double washedOut =
                std::abs(meanSaturation(firstFrame(source, scratch_.path())) - target);
            QVERIFY2(washedOut > 0.05, qPrintable(QString::number(washedOut)));
            for (const QString& name : {clip + ".mp4", clip + "-poster.jpg"}) {
                const double off = std::abs(meanSaturation(outFrame(name)) - target);
                QVERIFY2(off < washedOut / 3, qPrintable(name + ": " + QString::number(off)));
            }
        }
    }

    // A stand-in ffmpeg logs its arguments and waits, so the intermediate can be seen in use.
    void intermediateIsSharedAndAlwaysRemoved_data() {
        QTest::addColumn<QString>("status"); // the row's name says how the item ends
        row("done", u"done"_s);
        row("failed", u"failed broken"_s);
        row("stopped", u"cancelled"_s);
        row("removed", u"absent"_s);
    }
    void intermediateIsSharedAndAlwaysRemoved() {
        const QString ending = QString::fromLatin1(QTest::currentDataTag());
        const QString log = scratch_.filePath("args.log"), hold = scratch_.filePath("hold");
        QFile::remove(log);
        QVERIFY(TestSupport::writeFile(hold, "hold"));
        const QString fake = TestSupport::writeScript(
            scratch_.filePath("ffmpeg"),
            "case \"$*\" in *ssim=*) exit 1 ;; esac\n" // scores fail at once, unlogged
            "for last; do :; done\necho \"$*\" >> '" +
                log.toUtf8() + "'\nwhile [ -e '" + hold.toUtf8() +
                "' ]; do sleep 0.05; done\nprintf done > \"$last\"\n" +
                (ending == "failed" ? "echo broken >&2; exit 1\n" : ""));
        TersioSettings settings;
        settings.alsoEmitWebP = true;
        auto model = start({"turned.heic"}, settings, fake);
        QTRY_COMPARE_WITH_TIMEOUT(logLines(log).size(), 1, 30000);
        QCOMPARE(intermediates().size(), 1);
        const QString prepared = QDir(tmp_.path()).filePath(intermediates().first());
        QVERIFY2(logLines(log).first().contains("-i " + prepared + " "),
                 qPrintable(logLines(log).first()));
        if (ending == "stopped")
            model->cancel();
        else if (ending == "removed")
            model->remove(model->items().first().id.toString());
        QFile::remove(hold);
        QVERIFY(waitForRunEnd(*model));
        const MediaItem* item = itemNamed(*model, "turned.heic");
        QTEST(item ? (item->status.name() + ' ' + item->status.message).trimmed() : u"absent"_s,
              "status");
        // JPEG and WebP from one read of the intermediate.
        QVERIFY(ending != "done" || (logLines(log).size() == 1 &&
                                     logLines(log).first().contains("-filter_complex"_L1)));
        QCOMPARE(intermediates(), QStringList());
    }
};

QTEST_MAIN(TestEnginePhotos)
#include "test_engine_photos.moc"
