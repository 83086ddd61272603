#include "HeifTestWriter.h"
#include "PhotoSources.h"
#include "TestSupport.h"
#include "tools/SourcePreparer.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;

using namespace PhotoSources;
using SourcePreparer::Reason;

Q_DECLARE_METATYPE(SourcePreparer::Reason)

// Decoding, orienting and converting the photos ffmpeg would misread, and the intermediate
// handed to it in their place.
class TestSourcePreparer : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QTemporaryDir temp_; // TMPDIR for the whole test: every intermediate lands here
    const QSize size_{64, 32};

    QString path(const QString& name) const { return dir_.filePath(name); }

    void tool(const QString& program, const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::runTool(program, arguments, &error), qPrintable(error));
    }
    void exif(const QString& tag, const QString& file) {
        tool("exiftool", {"-q", tag, "-overwrite_original", path(file)});
    }
    void save(QImage image, const QColorSpace& space, const QString& file) {
        if (space.isValid())
            image.setColorSpace(space);
        QVERIFY2(image.save(path(file), nullptr, 95), qPrintable(file));
    }
    void heif(const QString& file, const QImage& image, HeifTestWriter::Options options) {
        QVERIFY2(HeifTestWriter::write(path(file), image, options), qPrintable(file));
    }
    QStringList leftovers() const {
        return QDir(temp_.path()).entryList(QDir::Files | QDir::Hidden);
    }

    // The left half transparent, the right half `colour`.
    QImage halfTransparent(const QColor& colour) const {
        QImage image(size_, QImage::Format_ARGB32);
        image.fill(colour);
        for (int y = 0; y < size_.height(); ++y)
            for (int x = 0; x < size_.width() / 2; ++x)
                image.setPixelColor(x, y, Qt::transparent);
        return image;
    }

    static QColor converted(const QColorSpace& from, const QColor& colour) {
        return from.transformationToColorSpace(QColorSpace::SRgb).map(colour);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid() && temp_.isValid());
        qputenv("TMPDIR", QFile::encodeName(temp_.path()));
        const QImage pattern = quadrants(size_);

        save(pattern, {}, "srgb.jpg");
        save(pattern, QColorSpace::SRgb, "srgb-profile.jpg");
        save(pattern, QColorSpace::AdobeRgb, "adobe.png");
        save(pattern, QColorSpace::DisplayP3, "p3.webp");
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString name = QStringLiteral("adobe-%1.jpg").arg(orientation);
            save(pattern, QColorSpace::AdobeRgb, name);
            exif(QStringLiteral("-Orientation#=%1").arg(orientation), name);
        }
        QImage grey(size_, QImage::Format_Grayscale8);
        grey.fill(64);
        save(grey, {}, "grey-linear.jpg");
        QVERIFY(TestSupport::writeFile(path("linear.icc"), greyIcc(1.0)));
        exif("-ICC_Profile<=" + path("linear.icc"), "grey-linear.jpg");

        heif("p3.heic", pattern, {.icc = QColorSpace(QColorSpace::DisplayP3).iccProfile()});
        heif("p3.avif", pattern,
             {.compression = heif_compression_AV1,
              .primaries = heif_color_primaries_SMPTE_EG_432_1});
        heif("turned.heic", pattern, {.orientation = heif_orientation_rotate_90_cw});
        heif("mirrored.avif", pattern,
             {.compression = heif_compression_AV1,
              .orientation = heif_orientation_flip_horizontally});
        heif("exif-only.heic", pattern, {});
        exif("-Orientation#=6", "exif-only.heic");
        const QImage transparent = halfTransparent(QColor(200, 40, 40));
        heif("transparent.heic", transparent, {});
        save(transparent, QColorSpace::AdobeRgb, "adobe-alpha.png");
        save(halfTransparent(QColor(64, 64, 64)), {}, "rgba.png");
        QVERIFY(TestSupport::ffmpeg(
            {"-i", path("rgba.png"), "-pix_fmt", "ya8", path("grey-alpha.png")}));
        exif("-ICC_Profile<=" + path("linear.icc"), "grey-alpha.png");
        // CMYK the way Adobe's software writes it, through a press profile.
        save(pattern, {}, "plain.jpg");
        for (int orientation : {6, 7}) {
            const QString name = QStringLiteral("cmyk-%1.jpg").arg(orientation);
            tool("jpgicc", {"-o/usr/share/color/icc/ghostscript/ps_cmyk.icc", "-e", "-q95",
                            path("plain.jpg"), path(name)});
            exif(QStringLiteral("-Orientation#=%1").arg(orientation), name);
        }
        QVERIFY(QFile::copy(path("turned.heic"), path("heic-inside.jpg")));
        QFile whole(path("turned.heic"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QVERIFY(TestSupport::writeFile(path("truncated.heic"), whole.read(whole.size() / 2)));

        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=32x32:r=3:d=1", "-loop", "0", path("anim.webp")}));
        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=32x32:r=3:d=1", path("anim.gif")}));
        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=32x32", "-frames:v", "1", path("still.webp")}));
    }

    void reasons_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Reason>("reason");
        row("plain JPEG", "srgb.jpg", Reason::none);
        row("JPEG with an sRGB profile", "srgb-profile.jpg", Reason::none);
        row("Adobe RGB JPEG", "adobe-1.jpg", Reason::colourProfile);
        row("Adobe RGB PNG", "adobe.png", Reason::colourProfile);
        row("Display P3 WebP", "p3.webp", Reason::colourProfile);
        row("grey profile JPEG", "grey-linear.jpg", Reason::colourProfile);
        row("HEIC", "turned.heic", Reason::heif);
        row("AVIF", "mirrored.avif", Reason::heif);
        row("HEIC named .jpg", "heic-inside.jpg", Reason::heif);
        row("missing file", "missing.jpg", Reason::none);
    }

    void reasons() {
        QFETCH(QString, file);
        QFETCH(Reason, reason);
        QCOMPARE(SourcePreparer::reasonFor(path(file)), reason);
    }

    void everyOrientationComesOutUpright_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("orientation");
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("orientation %d", orientation)
                << QStringLiteral("adobe-%1.jpg").arg(orientation) << orientation;
        row("CMYK, orientation 6", "cmyk-6.jpg", 6);
        row("CMYK, orientation 7", "cmyk-7.jpg", 7);
        // The box decides for HEIF; an EXIF orientation inside it is not applied a second time.
        row("HEIC turned by irot", "turned.heic", 6);
        row("AVIF mirrored by imir", "mirrored.avif", 2);
        row("HEIC with EXIF orientation only", "exif-only.heic", 1);
    }

    void everyOrientationComesOutUpright() {
        QFETCH(QString, file);
        QFETCH(int, orientation);
        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(decoded.image.size(), orientation >= 5 ? size_.transposed() : size_);
        QCOMPARE(quadrantsOf(decoded.image), shownQuadrants(orientation));
    }

    void profilesAreConvertedToSrgb_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QColorSpace>("space");
        QTest::addColumn<int>("tolerance");
        row("Adobe RGB JPEG", "adobe-1.jpg", QColorSpace(QColorSpace::AdobeRgb), 12);
        row("Adobe RGB PNG", "adobe.png", QColorSpace(QColorSpace::AdobeRgb), 3);
        row("Display P3 WebP", "p3.webp", QColorSpace(QColorSpace::DisplayP3), 24);
        row("Display P3 ICC HEIC", "p3.heic", QColorSpace(QColorSpace::DisplayP3), 24);
        row("Display P3 nclx AVIF", "p3.avif", QColorSpace(QColorSpace::DisplayP3), 24);
    }

    void profilesAreConvertedToSrgb() {
        QFETCH(QString, file);
        QFETCH(QColorSpace, space);
        QFETCH(int, tolerance);
        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(decoded.image.colorSpace(), QColorSpace(QColorSpace::SRgb));
        // The green quadrant: the one these gamuts disagree on most.
        const QColor source = quadrantColours()[1];
        const QColor expected = converted(space, source);
        QVERIFY(colourDistance(expected, source) > 3 * tolerance); // the case can tell
        const QColor got = decoded.image.pixelColor(3 * size_.width() / 4, size_.height() / 4);
        QVERIFY2(
            colourDistance(got, expected) <= tolerance,
            qPrintable(QStringLiteral("got %1, expected %2").arg(got.name(), expected.name())));
    }

    void alphaIsKeptThroughTheConversion_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QColor>("expected");
        row("Adobe RGB PNG", "adobe-alpha.png",
            converted(QColorSpace::AdobeRgb, QColor(200, 40, 40)));
        const int grey = srgbEncoded(64 / 255.0);
        row("linear grey PNG", "grey-alpha.png", QColor(grey, grey, grey));
    }

    void alphaIsKeptThroughTheConversion() {
        QFETCH(QString, file);
        QFETCH(QColor, expected);
        QCOMPARE(SourcePreparer::reasonFor(path(file)), Reason::colourProfile);
        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(decoded.image.pixelColor(2, 16).alpha(), 0);
        const QColor got = decoded.image.pixelColor(60, 16);
        QCOMPARE(got.alpha(), 255);
        QVERIFY2(
            colourDistance(got, expected) <= 6,
            qPrintable(QStringLiteral("got %1, expected %2").arg(got.name(), expected.name())));
    }

    void intermediateIsAPamThatFFmpegReadsWithAlpha() {
        auto preparation = SourcePreparer::prepare(path("transparent.heic"));
        QVERIFY2(preparation.error.isEmpty(), qPrintable(preparation.error));
        QVERIFY(preparation.file);
        const QString written = preparation.file->path();
        const QFileInfo info(written);
        QCOMPARE(info.absolutePath(), QFileInfo(temp_.path()).absoluteFilePath());
        QVERIFY2(info.fileName().startsWith("tersio-prepared-") && info.suffix() == "pam",
                 qPrintable(info.fileName()));

        QProcess probe;
        probe.start("/usr/bin/ffmpeg",
                    {"-v", "error", "-i", written, "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
        QVERIFY(probe.waitForFinished(30000));
        const QByteArray rgba = probe.readAllStandardOutput();
        QCOMPARE(rgba.size(), qsizetype(size_.width()) * size_.height() * 4);
        const auto alphaAt = [&](int x, int y) {
            return uchar(rgba[(y * size_.width() + x) * 4 + 3]);
        };
        QCOMPARE(alphaAt(2, 16), 0);
        QCOMPARE(alphaAt(60, 16), 255);

        preparation.file.reset();
        QVERIFY(!QFile::exists(written));
        QVERIFY(leftovers().isEmpty());
    }

    void ordinarySourcesAreLeftToFFmpeg() {
        const auto preparation = SourcePreparer::prepare(path("srgb.jpg"));
        QVERIFY(!preparation.file);
        QVERIFY(preparation.error.isEmpty());
        QVERIFY(leftovers().isEmpty());
    }

    void undecodablePhotoFailsWithTheLibrarysReason() {
        const auto preparation = SourcePreparer::prepare(path("truncated.heic"));
        QVERIFY(!preparation.file);
        const QString prefix = QStringLiteral("This photo could not be decoded: ");
        QVERIFY2(preparation.error.startsWith(prefix) &&
                     preparation.error.size() > prefix.size() + 3,
                 qPrintable(preparation.error));
        QVERIFY(leftovers().isEmpty());
    }

    void animatedWebPIsRefused() {
        QCOMPARE(SourcePreparer::refusal(path("anim.webp")),
                 QStringLiteral("Animated WebP is not supported by this FFmpeg build."));
        QVERIFY(SourcePreparer::refusal(path("still.webp")).isEmpty());
        QVERIFY(SourcePreparer::refusal(path("anim.gif")).isEmpty());
    }
};

QTEST_MAIN(TestSourcePreparer)
#include "test_source_preparer.moc"
