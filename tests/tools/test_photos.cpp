// Photos' facts (from headers where possible), thumbnails, and the upright sRGB intermediate.
#include "HeifTestWriter.h"
#include "PhotoSources.h"
#include "TestSupport.h"
#include "tools/FileIcon.h"
#include "tools/ImageHeader.h"
#include "tools/ImageInspector.h"
#include "tools/JpegRepack.h"
#include "tools/SourcePreparer.h"
#include "tools/Thumbnailer.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;
using namespace PhotoSources;
using SourcePreparer::Reason;

namespace {

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The image, its left half cleared.
QImage halfTransparent(QImage image) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width() / 2; ++x)
            image.setPixelColor(x, y, Qt::transparent);
    return image;
}

QColor toSrgb(const QColorSpace& from, const QColor& colour) {
    return from.transformationToColorSpace(QColorSpace::SRgb).map(colour);
}

} // namespace

class TestPhotos : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QTemporaryDir temp_; // TMPDIR for the whole test: every intermediate lands here
    const QSize size_{64, 32};

    QString path(const QString& name) const { return dir_.filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }

    void tool(const QString& program, const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::runTool(program, arguments, &error), qPrintable(error));
    }
    // ffmpeg from a lavfi source with extra options into `file`.
    void lavfi(const QString& source, const QString& options, const QString& file) {
        tool("/usr/bin/ffmpeg",
             TestSupport::words("-loglevel error -y -f lavfi -i " + source + " " + options)
                 << path(file));
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
    void write(const QString& file, const QByteArray& bytes) {
        QVERIFY(TestSupport::writeFile(path(file), bytes));
    }
    // A copy of a PNG with one more chunk (length, type, data, CRC) before its pixel data.
    void withChunk(const QString& from, const QString& to, const QByteArray& type,
                   const QByteArray& data) {
        QByteArray png = bytesOf(path(from)), length(4, 0), crc(4, 0);
        qToBigEndian<quint32>(quint32(data.size()), length.data());
        qToBigEndian<quint32>(crc32(type + data), crc.data());
        write(to, png.insert(png.indexOf("IDAT") - 4, length + type + data + crc));
    }
    QStringList leftovers() const {
        return QDir(temp_.path()).entryList(QDir::Files | QDir::Hidden);
    }

  private slots:
    void initTestCase() {
        qputenv("TMPDIR", QFile::encodeName(temp_.path()));
        const QString pattern = "testsrc2=s=64x32", one = "-frames:v 1 ";
        for (const char* ext : {"jpg", "jpeg", "png", "webp", "avif", "tif", "tiff", "bmp", "gif"})
            lavfi(pattern, one, QStringLiteral("still.") + ext);
        for (const char* ext : {"heic", "heif"})
            tool("heif-enc",
                 {"-q", "60", path("still.png"), "-o", path(QStringLiteral("still.") + ext)});
        lavfi("testsrc2=s=64x36:r=5:d=0.4", "-c:v libx264", "clip.mp4");
        lavfi("testsrc2=s=64x64:r=3:d=1", "-loop 0", "anim.webp");
        lavfi("testsrc2=s=32x32:r=3:d=1", "", "anim.gif");
        write("broken.jpg", "hello");
        write("broken.heic", "hello");
        write("png-inside.heic", bytesOf(path("still.png")));
        write("heic-inside.jpg", bytesOf(path("still.heic")));

        // Quadrants for orientation, stored in every way a photo can be turned.
        const QImage q = quadrants(size_);
        save(quadrants({2600, 1200}), {}, "portrait.jpg");
        exif("-Orientation#=6", "portrait.jpg");
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const QString name = QStringLiteral("adobe-%1.jpg").arg(orientation);
            save(q, QColorSpace::AdobeRgb, name);
            exif(QStringLiteral("-Orientation#=%1").arg(orientation), name);
        }
        save(q, {}, "plain.jpg");
        for (int orientation : {6, 7}) { // CMYK the way Adobe's software writes it
            const QString name = QStringLiteral("cmyk-%1.jpg").arg(orientation);
            tool("jpgicc", {"-o/usr/share/color/icc/ghostscript/ps_cmyk.icc", "-e", "-q95",
                            path("plain.jpg"), path(name)});
            exif(QStringLiteral("-Orientation#=%1").arg(orientation), name);
        }
        const auto av1 = heif_compression_AV1;
        heif("turned.heic", q, {.orientation = heif_orientation_rotate_90_cw});
        heif("turned.avif", q, {.compression = av1, .orientation = heif_orientation_rotate_90_cw});
        heif("mirrored.avif", q,
             {.compression = av1, .orientation = heif_orientation_flip_horizontally});
        heif("exif-only.heic", q, {});
        exif("-Orientation#=6", "exif-only.heic");
        const QByteArray heic = bytesOf(path("turned.heic"));
        write("truncated.heic", heic.left(heic.size() / 2));

        // Colour: profiles ffmpeg would ignore, with and without alpha.
        save(q, QColorSpace::SRgb, "srgb-profile.jpg");
        save(q, QColorSpace::SRgb, "srgb.png");
        save(q, QColorSpace::AdobeRgb, "adobe.png");
        save(q, QColorSpace::DisplayP3, "p3.webp");
        save(q, QColorSpace::DisplayP3, "p3.png");
        heif("p3.heic", q, {.icc = QColorSpace(QColorSpace::DisplayP3).iccProfile()});
        heif("p3.avif", q, {.compression = av1, .primaries = heif_color_primaries_SMPTE_EG_432_1});
        write("linear.icc", greyIcc(1.0));
        QImage grey(size_, QImage::Format_Grayscale8);
        grey.fill(64);
        save(grey, {}, "grey-linear.jpg");
        exif("-ICC_Profile<=" + path("linear.icc"), "grey-linear.jpg");
        heif("transparent.heic", halfTransparent(q), {});
        QImage flat(size_, QImage::Format_RGB32);
        flat.fill(QColor(200, 40, 40));
        save(halfTransparent(flat), QColorSpace::AdobeRgb, "adobe-alpha.png");
        flat.fill(QColor(64, 64, 64));
        save(halfTransparent(flat), {}, "rgba.png");
        tool("/usr/bin/ffmpeg", {"-loglevel", "error", "-i", path("rgba.png"), "-pix_fmt", "ya8",
                                 path("grey-alpha.png")});
        exif("-ICC_Profile<=" + path("linear.icc"), "grey-alpha.png");

        // Channels the header reader must tell as the decoder does.
        lavfi(pattern, one + "-pix_fmt yuvj420p", "ch-yuv.jpg");
        QVERIFY(q.convertToFormat(QImage::Format_Grayscale8).save(path("ch-grey.jpg"), "JPEG", 90));
        // Progressive (a later frame marker), with a profile segment before the frame header.
        write("ch-prog.jpg", bytesOf(path("ch-grey.jpg")));
        exif("-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc", "ch-prog.jpg");
        QVERIFY(JpegRepack::transformFile(path("ch-prog.jpg"), path("ch-prog.jpg"),
                                          {.grey = false, .keepMetadata = true})
                    .isEmpty());
        for (const char* format : {"rgb24", "rgba", "gray", "ya8", "rgba64be"})
            lavfi(pattern, one + "-pix_fmt " + format, QStringLiteral("ch-%1.png").arg(format));
        withChunk("ch-rgb24.png", "ch-rgb-key.png", "tRNS", QByteArray(6, 0));
        withChunk("ch-gray.png", "ch-grey-key.png", "tRNS", QByteArray(2, 0));
        QImage palette = q.convertToFormat(QImage::Format_Indexed8,
                                           {qRgb(200, 0, 0), qRgb(0, 0, 200)}, Qt::ThresholdDither);
        QVERIFY(palette.save(path("ch-palette.png")));
        withChunk("ch-palette.png", "ch-palette-opaque-trns.png", "tRNS", "\xFF\xFF");
        palette.setColorTable({qRgba(200, 0, 0, 0), qRgb(0, 0, 200)});
        QVERIFY(palette.save(path("ch-palette-clear.png")));
        lavfi(pattern, one + "-pix_fmt yuv420p", "ch-lossy.webp");
        // An encoder drops an alpha channel that hides nothing.
        const QString seeThrough = pattern + ",format=rgba,colorchannelmixer=aa=0.5";
        lavfi(seeThrough, one + "-pix_fmt yuva420p", "ch-lossy-alpha.webp");
        lavfi(seeThrough, one + "-lossless 1", "ch-lossless-alpha.webp");
        const QByteArray rgba = bytesOf(path("ch-rgba.png"));
        write("ch-cut.png", rgba.left(rgba.size() / 2));
        write("ch-forged.png",
              QByteArray(rgba).insert(rgba.indexOf("IDAT") - 4, "\xFF\xFF\xFF\xF0tRNS"));
        write("ch-cut.webp", bytesOf(path("ch-lossy.webp")).chopped(10));
    }

    void readsEveryAcceptedExtension() {
        for (const char* file : {"still.jpg", "still.jpeg", "still.png", "still.webp", "still.avif",
                                 "still.heic", "still.heif", "still.tif", "still.tiff", "still.bmp",
                                 "still.gif", "png-inside.heic", "heic-inside.jpg"}) {
            const auto facts = ImageInspector::facts(url(file));
            QVERIFY2(facts && facts->size == size_ && facts->frameCount == 1 && !facts->hasAlpha &&
                         !facts->wideGamut && ImageInspector::pixelSize(url(file)) == facts->size,
                     file);
            QCOMPARE(Thumbnailer::thumbnail(url(file), MediaKind::image, 128).size(), size_);
            QCOMPARE(Thumbnailer::thumbnail(url(file), MediaKind::image, 32).size(), QSize(32, 16));
        }
    }

    // Facts and thumbnails show the photo as displayed; the intermediate is upright too. For
    // HEIF the box decides; an EXIF orientation inside it is not applied a second time.
    void everyOrientationComesOutUpright_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("orientation");
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("orientation %d", orientation)
                << QStringLiteral("adobe-%1.jpg").arg(orientation) << orientation;
        row("big JPEG, orientation 6", "portrait.jpg", 6);
        row("CMYK, orientation 6", "cmyk-6.jpg", 6);
        row("CMYK, orientation 7", "cmyk-7.jpg", 7);
        row("HEIC turned by irot", "turned.heic", 6);
        row("AVIF turned by irot", "turned.avif", 6);
        row("AVIF mirrored by imir", "mirrored.avif", 2);
        row("HEIC with EXIF orientation only", "exif-only.heic", 1);
    }
    void everyOrientationComesOutUpright() {
        QFETCH(QString, file);
        QFETCH(int, orientation);
        const auto facts = ImageInspector::facts(url(file));
        QVERIFY(facts);
        const QSizeF stored = file.startsWith("portrait") ? QSizeF(2600, 1200) : QSizeF(size_);
        QCOMPARE(facts->size, orientation >= 5 ? stored.transposed() : stored);
        // ffmpeg turns a JPEG as it reads it; a HEIF file is only ever read upright, prepared.
        QCOMPARE(facts->turned, orientation != 1 && file.endsWith(QLatin1String(".jpg")));
        QCOMPARE(ImageInspector::pixelSize(url(file)), std::optional(facts->size));
        const QImage thumb = Thumbnailer::thumbnail(url(file), MediaKind::image, 40);
        QCOMPARE(qMax(thumb.width(), thumb.height()), 40);
        QCOMPARE(quadrantsOf(thumb), shownQuadrants(orientation));

        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(QSizeF(decoded.image.size()), facts->size);
        QCOMPARE(quadrantsOf(decoded.image), shownQuadrants(orientation));
    }

    // A photo is planned from its header alone, so the header must say what the decoder
    // gives. Each file's facts as words, "header" when they came from its header.
    void contentFacts() {
        const auto described = [&](const char* file) {
            const auto facts = ImageInspector::facts(url(file));
            if (!facts)
                return QStringLiteral("unreadable");
            QStringList words;
            for (const auto& [word, on] : {std::pair("alpha", facts->hasAlpha),
                                           {"grey", facts->grey},
                                           {"animated", facts->frameCount == 3},
                                           {"wide", facts->wideGamut}})
                if (on)
                    words << word;
            if (const auto header = ImageHeader::channels(path(file))) {
                const bool agrees =
                    *header == ImageHeader::Channels{facts->hasAlpha, facts->grey} &&
                    QImage(path(file)).hasAlphaChannel() == facts->hasAlpha;
                words << (agrees ? "header" : "header disagrees");
            }
            return words.join(' ');
        };
        QCOMPARE(described("ch-yuv.jpg"), "header");
        QCOMPARE(described("ch-grey.jpg"), "grey header");
        QCOMPARE(described("ch-prog.jpg"), "grey wide header"); // Adobe RGB profile first
        QCOMPARE(described("ch-rgb24.png"), "header");
        QCOMPARE(described("ch-rgba.png"), "alpha header");
        QCOMPARE(described("ch-gray.png"), "grey header");
        QCOMPARE(described("ch-ya8.png"), "alpha grey header");
        QCOMPARE(described("ch-rgba64be.png"), "alpha header");
        QCOMPARE(described("ch-rgb-key.png"), "alpha header");
        QCOMPARE(described("ch-grey-key.png"), "alpha grey header");
        QCOMPARE(described("ch-palette.png"), "header");
        QCOMPARE(described("ch-palette-opaque-trns.png"), "header");
        QCOMPARE(described("ch-palette-clear.png"), "alpha header");
        QCOMPARE(described("ch-lossy.webp"), "header");
        QCOMPARE(described("ch-lossy-alpha.webp"), "alpha header");
        QCOMPARE(described("ch-lossless-alpha.webp"), "alpha header");
        QCOMPARE(described("transparent.heic"), "alpha");
        QCOMPARE(described("anim.webp"), "alpha animated header"); // libwebp flags the canvas
        QCOMPARE(described("anim.gif"), "animated");
        QCOMPARE(described("p3.png"), "wide header");
        QCOMPARE(described("srgb.png"), "header");
        QCOMPARE(described("p3.heic"), "wide");
        QCOMPARE(described("p3.avif"), "wide");
    }

    void unreadableHeadersAreLeftToTheDecoder() {
        for (const char* file :
             {"broken.jpg", "ch-cut.png", "ch-cut.webp", "ch-forged.png", "anim.gif", "still.heic"})
            QVERIFY2(!ImageHeader::channels(path(file)), file);
        for (const char* file : {"broken.jpg", "broken.heic", "missing.png"}) {
            QVERIFY2(!ImageInspector::pixelSize(url(file)) && !ImageInspector::facts(url(file)),
                     file);
            QCOMPARE(Thumbnailer::thumbnail(url(file), MediaKind::image, 64),
                     FileIcon::forFile(path(file), MediaKind::image, 64));
        }
        QCOMPARE(Thumbnailer::thumbnail(url("clip.mp4"), MediaKind::video, 64),
                 FileIcon::forFile(path("clip.mp4"), MediaKind::video, 64));
        // Adwaita stands in where the desktop names no theme (as here, offscreen).
        QVERIFY(FileIcon::forFile(path("clip.mp4"), MediaKind::video, 48) !=
                FileIcon::glyph(MediaKind::video, 48));
        // Odd bounds still give a picture.
        QCOMPARE(Thumbnailer::thumbnail(url("still.png"), MediaKind::image, 0).size(), QSize(1, 1));
        QCOMPARE(Thumbnailer::thumbnail(url("still.png"), MediaKind::image, qQNaN()).size(),
                 QSize(1, 1));
    }

    // Told by content, not by name; sRGB needs nothing.
    void reasonsToPrepare() {
        QCOMPARE(SourcePreparer::reasonFor(path("heic-inside.jpg")), Reason::heif);
        QCOMPARE(SourcePreparer::reasonFor(path("srgb-profile.jpg")), Reason::none);
        QCOMPARE(SourcePreparer::reasonFor(path("grey-alpha.png")), Reason::colourProfile);
        QCOMPARE(SourcePreparer::reasonFor(path("missing.jpg")), Reason::none);
    }

    void profilesAreConvertedToSrgb_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QColor>("expected"); // at the green quadrant
        QTest::addColumn<int>("tolerance");
        const QColor green = quadrantColours()[1];
        const QColorSpace adobe(QColorSpace::AdobeRgb), p3(QColorSpace::DisplayP3);
        row("Adobe RGB PNG", "adobe.png", toSrgb(adobe, green), 3);
        row("Display P3 WebP", "p3.webp", toSrgb(p3, green), 24);
        row("Display P3 nclx AVIF", "p3.avif", toSrgb(p3, green), 24);
        row("Adobe RGB PNG with alpha", "adobe-alpha.png", toSrgb(adobe, QColor(200, 40, 40)), 6);
        const int grey = srgbEncoded(64 / 255.0);
        row("linear grey PNG with alpha", "grey-alpha.png", QColor(grey, grey, grey), 6);
    }
    void profilesAreConvertedToSrgb() {
        QFETCH(QString, file);
        QFETCH(QColor, expected);
        QFETCH(int, tolerance);
        const auto decoded = SourcePreparer::decode(path(file));
        QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
        QCOMPARE(decoded.image.colorSpace(), QColorSpace(QColorSpace::SRgb));
        if (const QImage raw(path(file)); !raw.isNull()) // the case can tell
            QVERIFY(colourDistance(expected, raw.pixelColor(3 * size_.width() / 4,
                                                            size_.height() / 4)) > 3 * tolerance);
        const QColor got = decoded.image.pixelColor(3 * size_.width() / 4, size_.height() / 4);
        QVERIFY2(
            colourDistance(got, expected) <= tolerance && got.alpha() == 255,
            qPrintable(QStringLiteral("got %1, expected %2").arg(got.name(), expected.name())));
        if (file.contains("alpha"))
            QCOMPARE(decoded.image.pixelColor(2, 16).alpha(), 0);
    }

    // The intermediate is a PAM in the temporary folder, gone with its last owner; ordinary
    // sources need none, and a photo that cannot be decoded fails with the library's reason.
    void intermediateIsATemporaryPam() {
        auto preparation = SourcePreparer::prepare(path("transparent.heic"));
        QVERIFY2(preparation.error.isEmpty() && preparation.file, qPrintable(preparation.error));
        const QFileInfo written(preparation.file->path());
        QCOMPARE(written.absolutePath(), QFileInfo(temp_.path()).absoluteFilePath());
        QVERIFY2(written.fileName().startsWith("tersio-prepared-") && written.suffix() == "pam",
                 qPrintable(written.fileName()));
        preparation.file.reset();
        QVERIFY(!written.exists());
        const auto ordinary = SourcePreparer::prepare(path("still.jpg"));
        QVERIFY(!ordinary.file && ordinary.error.isEmpty());
        const auto broken = SourcePreparer::prepare(path("truncated.heic"));
        QVERIFY2(!broken.file && broken.error.startsWith("This photo could not be decoded: ") &&
                     broken.error.size() > 36,
                 qPrintable(broken.error));
        QVERIFY(leftovers().isEmpty());
        QCOMPARE(SourcePreparer::refusal(path("anim.webp")),
                 QStringLiteral("Animated WebP is not supported by this FFmpeg build."));
    }
};

QTEST_MAIN(TestPhotos)
#include "test_photos.moc"
