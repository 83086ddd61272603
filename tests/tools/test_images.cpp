#include "HeifTestWriter.h"
#include "TestSupport.h"
#include "tools/FileIcon.h"
#include "tools/ImageHeader.h"
#include "tools/ImageInspector.h"
#include "tools/JpegRepack.h"
#include "tools/Thumbnailer.h"

#include <QColorSpace>
#include <QPainter>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <cmath>

using TestSupport::row;

namespace {

const QSize patternSize(96, 48);

// The top half red, the bottom half blue: after a quarter turn clockwise, blue is on the left.
QImage twoBands(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width(), size.height() / 2), Qt::red);
    painter.fillRect(QRect(0, size.height() / 2, size.width(), size.height()), Qt::blue);
    return image;
}

bool reddish(QRgb pixel) {
    return qRed(pixel) > 150 && qBlue(pixel) < 100;
}
bool bluish(QRgb pixel) {
    return qBlue(pixel) > 150 && qRed(pixel) < 100;
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A PNG with one more chunk just before its pixel data.
bool addChunk(const QString& path, const QByteArray& type, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray png = file.readAll();
    file.close();
    QByteArray chunk(4, 0);
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    QByteArray crc(4, 0);
    qToBigEndian<quint32>(crc32(type + data), crc.data());
    png.insert(png.indexOf("IDAT") - 4, chunk + type + data + crc);
    return TestSupport::writeFile(path, png);
}

QString writeAvif(const QString& path, const QImage& picture, heif_orientation orientation,
                  heif_color_primaries primaries) {
    HeifTestWriter::Options options;
    options.compression = heif_compression_AV1;
    options.orientation = orientation;
    options.primaries = primaries;
    options.quality = 90;
    return HeifTestWriter::write(path, picture, options) ? path : QString();
}

} // namespace

class TestImages : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }

    void make(const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::ffmpeg(arguments, &error), qPrintable(error));
    }
    void heifEnc(const QStringList& arguments) {
        QString error;
        QVERIFY2(TestSupport::runTool("heif-enc", arguments, &error), qPrintable(error));
    }

    // Pictures whose channels the header reader must tell as the decoder does.
    void makeChannelCases() {
        const QStringList pattern{"-f", "lavfi", "-i", "testsrc2=s=96x48", "-frames:v", "1"};
        const auto as = [&](const char* pixelFormat, const QString& file,
                            const QStringList& extra = {}) {
            make(pattern + QStringList{"-pix_fmt", pixelFormat} + extra + QStringList{path(file)});
        };
        as("yuvj420p", "ch-yuv.jpg");
        // ffmpeg writes no grey JPEG; Qt does.
        QVERIFY(twoBands(patternSize)
                    .convertToFormat(QImage::Format_Grayscale8)
                    .save(path("ch-grey.jpg"), "JPEG", 90));
        // Progressive (a later frame marker), with a profile segment before the frame header.
        QVERIFY(QFile::copy(path("ch-grey.jpg"), path("ch-prog.jpg")));
        QVERIFY(TestSupport::runTool(
            "exiftool", {"-q", "-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc",
                         "-overwrite_original", path("ch-prog.jpg")}));
        QVERIFY(JpegRepack::transformFile(path("ch-prog.jpg"), path("ch-prog.jpg"),
                                          {.grey = false, .keepMetadata = true})
                    .isEmpty());
        for (const char* format : {"rgb24", "rgba", "gray", "ya8", "rgba64be", "gray16be"})
            as(format, QStringLiteral("ch-%1.png").arg(format));
        QVERIFY(QFile::copy(path("ch-rgb24.png"), path("ch-rgb-key.png")));
        QVERIFY(addChunk(path("ch-rgb-key.png"), "tRNS", QByteArray("\0\0\0\0\0\0", 6)));
        QVERIFY(QFile::copy(path("ch-gray.png"), path("ch-grey-key.png")));
        QVERIFY(addChunk(path("ch-grey-key.png"), "tRNS", QByteArray("\0\0", 2)));

        QImage palette(patternSize, QImage::Format_Indexed8);
        palette.setColorTable({qRgb(200, 0, 0), qRgb(0, 0, 200)});
        for (int y = 0; y < palette.height(); ++y)
            for (int x = 0; x < palette.width(); ++x)
                palette.setPixel(x, y, x < palette.width() / 2 ? 0 : 1);
        QVERIFY(palette.save(path("ch-palette.png")));
        QVERIFY(QFile::copy(path("ch-palette.png"), path("ch-palette-opaque-trns.png")));
        QVERIFY(addChunk(path("ch-palette-opaque-trns.png"), "tRNS", "\xFF\xFF"));
        palette.setColorTable({qRgba(200, 0, 0, 0), qRgb(0, 0, 200)});
        QVERIFY(palette.save(path("ch-palette-clear.png")));

        as("yuv420p", "ch-lossy.webp");
        // An encoder drops an alpha channel that hides nothing.
        const QStringList seeThrough{
            "-f",        "lavfi", "-i", "testsrc2=s=96x48,format=rgba,colorchannelmixer=aa=0.5",
            "-frames:v", "1"};
        make(seeThrough + QStringList{"-pix_fmt", "yuva420p", path("ch-lossy-alpha.webp")});
        make(seeThrough + QStringList{"-lossless", "1", path("ch-lossless-alpha.webp")});
        as("bgr0", "ch-lossless.webp", {"-lossless", "1"});

        QFile whole(path("ch-rgba.png"));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QVERIFY(TestSupport::writeFile(path("ch-cut.png"), whole.read(whole.size() / 2)));
        QByteArray forged = whole.seek(0) ? whole.readAll() : QByteArray();
        forged.insert(forged.indexOf("IDAT") - 4, QByteArray("\xFF\xFF\xFF\xF0tRNS", 8));
        QVERIFY(TestSupport::writeFile(path("ch-forged.png"), forged));
        QFile webp(path("ch-lossy.webp"));
        QVERIFY(webp.open(QIODevice::ReadOnly));
        QVERIFY(TestSupport::writeFile(path("ch-cut.webp"), webp.read(webp.size() - 10)));
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QStringList pattern{"-f", "lavfi", "-i", "testsrc2=s=96x48", "-frames:v", "1"};
        for (const char* ext : {"jpg", "jpeg", "png", "webp", "avif", "tif", "tiff", "bmp", "gif"})
            make(pattern + QStringList{path(QStringLiteral("still.") + ext)});
        heifEnc({"-q", "60", path("still.png"), "-o", path("still.heic")});
        heifEnc({"-q", "60", path("still.png"), "-o", path("still.heif")});

        // 2600 × 1200 stored, shown 1200 wide: a portrait photo from a phone.
        QVERIFY(twoBands({2600, 1200}).save(path("portrait.jpg"), "JPEG", 90));
        QVERIFY(TestSupport::runTool(
            "exiftool", {"-q", "-Orientation#=6", "-overwrite_original", path("portrait.jpg")}));
        QVERIFY(!writeAvif(path("portrait.avif"), twoBands(patternSize),
                           heif_orientation_rotate_90_cw, heif_color_primaries_ITU_R_BT_709_5)
                     .isEmpty());

        make({"-f", "lavfi", "-i", "color=c=red@0.4:s=32x32", "-frames:v", "1", "-pix_fmt", "rgba",
              path("transparent.png")});
        heifEnc({"-q", "60", path("transparent.png"), "-o", path("transparent.heic")});
        make({"-f", "lavfi", "-i", "testsrc2=s=64x64:r=3:d=1", "-loop", "0", path("anim.webp")});
        make({"-f", "lavfi", "-i", "testsrc2=s=64x64:r=3:d=1", path("anim.gif")});

        QImage p3 = twoBands(patternSize);
        p3.setColorSpace(QColorSpace::DisplayP3);
        QVERIFY(p3.save(path("p3.png")));
        QImage srgb = twoBands(patternSize);
        srgb.setColorSpace(QColorSpace::SRgb);
        QVERIFY(srgb.save(path("srgb.png")));
        heifEnc({"-q", "60", path("p3.png"), "-o", path("p3.heic")}); // keeps the ICC profile
        QVERIFY(!writeAvif(path("p3.avif"), twoBands(patternSize), heif_orientation_normal,
                           heif_color_primaries_SMPTE_EG_432_1)
                     .isEmpty());

        QVERIFY(TestSupport::writeFile(path("broken.jpg"), "hello"));
        QVERIFY(TestSupport::writeFile(path("broken.heic"), "hello"));
        QVERIFY(QFile::copy(path("still.png"), path("png-inside.heic")));
        QVERIFY(QFile::copy(path("still.heic"), path("heic-inside.jpg")));
        make({"-f", "lavfi", "-i", "testsrc2=s=64x36:r=5:d=0.4", "-c:v", "libx264",
              path("clip.mp4")});
        makeChannelCases();
    }

    void readsEveryAcceptedExtension_data() {
        QTest::addColumn<QString>("file");
        for (const char* ext :
             {"jpg", "jpeg", "png", "webp", "avif", "heic", "heif", "tif", "tiff", "bmp", "gif"})
            row(ext, QStringLiteral("still.") + ext);
        row("PNG named .heic", "png-inside.heic");
        row("HEIC named .jpg", "heic-inside.jpg");
    }

    void readsEveryAcceptedExtension() {
        QFETCH(QString, file);
        QCOMPARE(ImageInspector::pixelSize(url(file)), std::optional<QSizeF>(QSizeF(96, 48)));
        const auto facts = ImageInspector::facts(url(file));
        QVERIFY(facts);
        QCOMPARE(facts->size, QSizeF(96, 48));
        QCOMPARE(facts->frameCount, 1);
        QVERIFY(!facts->hasAlpha);
        QVERIFY(!facts->wideGamut);

        const QImage full = Thumbnailer::thumbnail(url(file), MediaKind::image, 128);
        QCOMPARE(full.size(), QSize(96, 48));
        const QImage small = Thumbnailer::thumbnail(url(file), MediaKind::image, 32);
        QCOMPARE(small.size(), QSize(32, 16));
    }

    void appliesOrientation_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSizeF>("displayed");
        row("JPEG with EXIF orientation 6", "portrait.jpg", QSizeF(1200, 2600));
        row("AVIF with a rotation box", "portrait.avif", QSizeF(48, 96));
    }

    void appliesOrientation() {
        QFETCH(QString, file);
        QFETCH(QSizeF, displayed);
        QCOMPARE(ImageInspector::pixelSize(url(file)), std::optional<QSizeF>(displayed));
        QCOMPARE(ImageInspector::facts(url(file))->size, displayed);

        for (double maxPixel : {128.0, 40.0}) {
            const QImage thumb = Thumbnailer::thumbnail(url(file), MediaKind::image, maxPixel);
            QCOMPARE(thumb.height(),
                     int(maxPixel) < displayed.height() ? int(maxPixel) : int(displayed.height()));
            QVERIFY(thumb.width() < thumb.height());
            const int middle = thumb.height() / 2;
            QVERIFY2(bluish(thumb.pixel(thumb.width() / 5, middle)), "left side is not blue");
            QVERIFY2(reddish(thumb.pixel(thumb.width() * 4 / 5, middle)), "right side is not red");
        }
    }

    void readsContentFacts_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("wide");
        row("transparent PNG", "transparent.png", true, 1, false);
        row("transparent HEIC", "transparent.heic", true, 1, false);
        row("opaque JPEG", "still.jpg", false, 1, false);
        // libwebp's animation encoder flags the canvas as having alpha.
        row("animated WebP", "anim.webp", true, 3, false);
        row("animated GIF", "anim.gif", false, 3, false);
        row("Display P3 PNG", "p3.png", false, 1, true);
        row("sRGB profile PNG", "srgb.png", false, 1, false);
        row("Display P3 ICC in HEIC", "p3.heic", false, 1, true);
        row("Display P3 nclx in AVIF", "p3.avif", false, 1, true);
        row("big JPEG", "portrait.jpg", false, 1, false);
    }

    void readsContentFacts() {
        QFETCH(QString, file);
        QFETCH(bool, alpha);
        QFETCH(int, frames);
        QFETCH(bool, wide);
        const auto facts = ImageInspector::facts(url(file));
        QVERIFY(facts);
        QCOMPARE(facts->hasAlpha, alpha);
        QCOMPARE(facts->frameCount, frames);
        QCOMPARE(facts->wideGamut, wide);
    }

    // A photo is planned from its header alone, so the header must say what the decoder gives.
    void headerChannelsAgreeWithTheDecoder_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("grey");
        row("JPEG 4:2:0", "ch-yuv.jpg", false, false);
        row("grey JPEG", "ch-grey.jpg", false, true);
        row("progressive grey JPEG with a profile", "ch-prog.jpg", false, true);
        row("RGB PNG", "ch-rgb24.png", false, false);
        row("RGBA PNG", "ch-rgba.png", true, false);
        row("grey PNG", "ch-gray.png", false, true);
        row("grey PNG with alpha", "ch-ya8.png", true, true);
        row("16-bit RGBA PNG", "ch-rgba64be.png", true, false);
        row("16-bit grey PNG", "ch-gray16be.png", false, true);
        row("RGB PNG with a colour key", "ch-rgb-key.png", true, false);
        row("grey PNG with a grey key", "ch-grey-key.png", true, true);
        row("palette PNG", "ch-palette.png", false, false);
        row("palette PNG, every entry opaque", "ch-palette-opaque-trns.png", false, false);
        row("palette PNG with a clear entry", "ch-palette-clear.png", true, false);
        row("lossy WebP", "ch-lossy.webp", false, false);
        row("lossy WebP with alpha", "ch-lossy-alpha.webp", true, false);
        row("lossless WebP with alpha", "ch-lossless-alpha.webp", true, false);
        row("lossless opaque WebP", "ch-lossless.webp", false, false);
    }

    void headerChannelsAgreeWithTheDecoder() {
        QFETCH(QString, file);
        QFETCH(bool, alpha);
        QFETCH(bool, grey);
        QCOMPARE(ImageHeader::channels(path(file)), (ImageHeader::Channels{alpha, grey}));
        const QImage decoded(path(file));
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded.hasAlphaChannel(), alpha);
        const auto facts = ImageInspector::facts(url(file));
        QVERIFY(facts);
        QCOMPARE(facts->hasAlpha, alpha);
        QCOMPARE(facts->grey, grey);
        QCOMPARE(facts->size, QSizeF(patternSize));
    }

    void headersLeftToTheDecoder_data() {
        QTest::addColumn<QString>("file");
        row("text named .jpg", "broken.jpg");
        row("PNG cut short", "ch-cut.png");
        row("WebP cut short", "ch-cut.webp");
        row("PNG claiming a 4 GB transparency chunk", "ch-forged.png");
        row("GIF", "anim.gif");
        row("HEIC", "still.heic");
    }

    void headersLeftToTheDecoder() {
        QFETCH(QString, file);
        QCOMPARE(ImageHeader::channels(path(file)), std::nullopt);
    }

    void unreadableFilesGiveTheIcon_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        row("text named .jpg", "broken.jpg", int(MediaKind::image));
        row("text named .heic", "broken.heic", int(MediaKind::image));
        row("missing file", "missing.png", int(MediaKind::image));
        row("readable video", "clip.mp4", int(MediaKind::video));
    }

    void unreadableFilesGiveTheIcon() {
        QFETCH(QString, file);
        QFETCH(int, kind);
        if (kind == int(MediaKind::image)) {
            QCOMPARE(ImageInspector::pixelSize(url(file)), std::nullopt);
            QCOMPARE(ImageInspector::facts(url(file)), std::nullopt);
        }
        const QImage thumb = Thumbnailer::thumbnail(url(file), MediaKind(kind), 64);
        QVERIFY(!thumb.isNull());
        QVERIFY(thumb.width() <= 64 && thumb.height() <= 64);
        QCOMPARE(thumb, FileIcon::forFile(path(file), MediaKind(kind), 64));
    }

    // Adwaita stands in where the desktop names no theme (as here, offscreen).
    void themeIconsStandForFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        row("video", "clip.mp4", int(MediaKind::video));
        row("unreadable photo", "broken.jpg", int(MediaKind::image));
    }

    void themeIconsStandForFiles() {
        QFETCH(QString, file);
        QFETCH(int, kind);
        if (!QFile::exists("/usr/share/icons/Adwaita/index.theme"))
            QSKIP("no icon theme installed");
        const QImage icon = FileIcon::forFile(path(file), MediaKind(kind), 48);
        QCOMPARE(icon.size(), QSize(48, 48));
        QVERIFY(icon != FileIcon::glyph(MediaKind(kind), 48));
    }

    void oddBoundsStillGiveAPicture_data() {
        QTest::addColumn<double>("maxPixel");
        QTest::addColumn<QSize>("size");
        row("fractional", 32.9, QSize(32, 16));
        row("zero", 0.0, QSize(1, 1));
        row("NaN", std::nan(""), QSize(1, 1));
    }

    void oddBoundsStillGiveAPicture() {
        QFETCH(double, maxPixel);
        QFETCH(QSize, size);
        QCOMPARE(Thumbnailer::thumbnail(url("still.png"), MediaKind::image, maxPixel).size(), size);
    }

    void thumbnailsOnWorkerThreads() {
        const QStringList files{"still.jpg",  "still.heic", "portrait.avif",
                                "still.webp", "broken.jpg", "clip.mp4"};
        const auto make = [this](const QString& file) {
            const MediaKind kind = file.endsWith(".mp4") ? MediaKind::video : MediaKind::image;
            return Thumbnailer::thumbnail(url(file), kind, 40);
        };
        // The main thread first: a worker reads the icons it looked up.
        QList<QImage> fromMain;
        for (const QString& file : files)
            fromMain << make(file);
        const QList<QImage> fromWorkers = QtConcurrent::blockingMapped(files, make);
        for (qsizetype i = 0; i < files.size(); ++i) {
            QVERIFY(!fromWorkers[i].isNull());
            QCOMPARE(fromWorkers[i], fromMain[i]);
        }
    }
};

QTEST_MAIN(TestImages)
#include "test_images.moc"
