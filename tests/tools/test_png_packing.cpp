// PNG packing in-process: the SSIM against ffmpeg's own filter, the exact palette, image data
// deflated again, and pngquant run and stopped as a child process.
#include "FFmpegSsim.h"
#include "TestSupport.h"
#include "tools/ImageSsim.h"
#include "tools/PackingTools.h"
#include "tools/PalettePng.h"
#include "tools/PngChunks.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <zlib.h>

using namespace Qt::StringLiterals;
using TestSupport::row;

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QList<QByteArray> types(const QByteArray& png) {
    QList<QByteArray> found;
    for (const PngChunks::Chunk& chunk : PngChunks::split(png).value_or(QList<PngChunks::Chunk>{}))
        found << chunk.type;
    return found;
}

// Pixels that differ: in alpha, or in colour where they are not fully transparent.
int differences(QImage a, QImage b) {
    a = a.convertToFormat(QImage::Format_ARGB32);
    b = b.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            count += qAlpha(p) != qAlpha(q) || (qAlpha(p) > 0 && (p & 0xffffff) != (q & 0xffffff));
        }
    return count;
}

// `count` distinct colours in vertical stripes (with `alpha`, from translucent to opaque), and a
// transparent margin whose hidden colours all differ.
QImage stripes(int count, bool alpha, QImage::Format format = QImage::Format_ARGB32) {
    QImage image(count + 8, 12, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int k = x - 4;
            const bool margin = alpha && (k < 0 || k >= count);
            const int a = !alpha ? 255 : margin ? 0 : 40 + (k * 215) / std::max(1, count - 1);
            image.setPixel(x, y,
                           margin ? qRgba(x * 9, y * 20, 7, 0)
                                  : qRgba((std::clamp(k, 0, count - 1) * 37) % 256,
                                          (std::clamp(k, 0, count - 1) * 11) % 256,
                                          std::clamp(k, 0, count - 1) / 2, a));
        }
    return image.convertToFormat(format);
}

} // namespace

class TestPngPacking : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // Odd sizes leave part-blocks at the right and bottom edges.
        const QString card = QStringLiteral("testsrc2=s=203x151");
        QVERIFY(TestSupport::lavfi(card, "-frames:v 1", path("card.png")));
        QVERIFY(
            TestSupport::lavfi(card + ",noise=alls=24:allf=t", "-frames:v 1", path("noisy.png")));
        QVERIFY(TestSupport::lavfi(card + ",gblur=sigma=2", "-frames:v 1", path("blurred.png")));
        const QString grey = QStringLiteral("mandelbrot=s=160x120,format=gray");
        QVERIFY(TestSupport::lavfi(grey, "-frames:v 1", path("grey.png")));
        QVERIFY(TestSupport::lavfi(grey + ",noise=alls=24:allf=t", "-frames:v 1",
                                   path("grey-noisy.png")));
        // Opaque on the left, fading to transparent down the right half.
        const QString logo =
            QStringLiteral("testsrc2=s=200x150,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
                           "a='if(lt(X,100),255,clip(255-Y*2,0,255))'");
        QVERIFY(TestSupport::lavfi(logo, "-frames:v 1", path("logo.png")));
        QVERIFY(
            TestSupport::lavfi(logo + ",gblur=sigma=1.5", "-frames:v 1", path("logo-blurred.png")));
        for (const char* name : {"card", "logo"})
            QVERIFY(TestSupport::runTool(
                "pngquant", {"--force", "--nofs", "--output",
                             path(QStringLiteral("%1-palette.png").arg(QLatin1String(name))), "--",
                             path(name + QStringLiteral(".png"))}));
    }

    // The same figure as ffmpeg's ssim filter on pictures it reads exactly, palettes included.
    void ssimMatchesFFmpeg_data() {
        TestSupport::columns<QString, QString, bool>("reference", "candidate", "alpha");
        row("noise", u"card.png"_s, u"noisy.png"_s, false);
        row("blur", u"card.png"_s, u"blurred.png"_s, false);
        row("palette", u"card.png"_s, u"card-palette.png"_s, false);
        row("grey", u"grey.png"_s, u"grey-noisy.png"_s, false);
        row("soft alpha, palette", u"logo.png"_s, u"logo-palette.png"_s, true);
        row("soft alpha, blurred", u"logo.png"_s, u"logo-blurred.png"_s, true);
    }
    void ssimMatchesFFmpeg() {
        QFETCH(QString, reference);
        QFETCH(QString, candidate);
        QFETCH(bool, alpha);
        const QImage a(path(reference)), b(path(candidate));
        const auto expected =
            FFmpegSsim::flattened(ffmpegPath, path(reference), path(candidate), alpha);
        const auto measured = ImageSsim::flattened(a, b, alpha);
        QVERIFY(expected && measured);
        QVERIFY2(*expected < 0.9999 && std::abs(*measured - *expected) <= 0.001,
                 qPrintable(QStringLiteral("%1 against %2").arg(*measured).arg(*expected)));
        QCOMPARE(ImageSsim::flattened(a, a, alpha), std::optional(1.0));
    }

    void ssimNeedsWholeWindows() {
        const QImage card(path("card.png"));
        QCOMPARE(ImageSsim::flattened(card, card.copy(0, 0, 200, 151), false), std::nullopt);
        const QImage small = card.copy(0, 0, 7, 40);
        QCOMPARE(ImageSsim::flattened(small, small, false), std::nullopt);
        const QImage grey = card.convertToFormat(QImage::Format_Grayscale8).copy(0, 0, 8, 8);
        const ImageSsim::Plane plane{grey.constBits(), grey.bytesPerLine(), 8, 8};
        QCOMPARE(ImageSsim::plane(plane, plane), std::optional(1.0));
    }

    // Few colours give a palette PNG with the very same pixels, as few bits a pixel as they
    // need; transparency only where there is some, every hidden colour counting as one.
    void exactPalette_data() {
        TestSupport::columns<QImage, int, bool>("picture", "bits", "transparency");
        row("two colours", stripes(2, false), 1, false);
        row("four colours", stripes(4, false), 2, false);
        row("sixteen colours", stripes(16, false), 4, false);
        row("translucent colours", stripes(200, true), 8, true);
        row("255 colours and hidden ones", stripes(255, true), 8, true);
        row("grey levels", stripes(256, false, QImage::Format_Grayscale8), 8, false);
        row("257 colours", stripes(257, false), 0, false);
        row("16 bits a channel", stripes(2, false, QImage::Format_RGBA64), 0, false);
    }
    void exactPalette() {
        QFETCH(QImage, picture);
        QFETCH(int, bits);
        QFETCH(bool, transparency);
        picture.setText(QStringLiteral("Title"), QStringLiteral("stripes"));
        const QByteArray original = pngBytes(picture);
        const auto palette = PalettePng::exact(picture, original, 9);
        QCOMPARE(bool(palette), bits > 0);
        if (!palette)
            return;
        const QByteArray header = PngChunks::split(*palette)->first().data;
        QCOMPARE(int(header.at(8)), bits);
        QCOMPARE(int(header.at(9)), 3);
        QCOMPARE(types(*palette).contains("tRNS"), transparency);
        const QImage decoded = QImage::fromData(*palette, "PNG");
        QCOMPARE(differences(decoded, picture), 0);
        QCOMPARE(decoded.text(QStringLiteral("Title")), QStringLiteral("stripes"));
    }

    void exactPaletteLeavesLayoutChunks() {
        const QByteArray png = pngBytes(stripes(3, false));
        auto chunks = *PngChunks::split(png);
        // A grey-and-alpha layout's chunks, which mean nothing to a palette.
        chunks.insert(1, {"sBIT", "\x08\x08", PngChunks::chunk("sBIT", "\x08\x08")});
        chunks.insert(1, {"bKGD", QByteArray(2, '\0'), PngChunks::chunk("bKGD", QByteArray(2, 0))});
        const QByteArray gamma("\0\0\xb1\x8f", 4);
        chunks.insert(1, {"gAMA", gamma, PngChunks::chunk("gAMA", gamma)});
        const QByteArray original = PngChunks::join(chunks);
        const auto palette = PalettePng::exact(stripes(3, false), original, 9);
        QVERIFY(palette);
        QList<QByteArray> expected = types(original);
        expected.removeAll("sBIT");
        expected.removeAll("bKGD");
        expected.insert(expected.indexOf("IDAT"), "PLTE");
        QVERIFY(expected.contains("gAMA"));
        QCOMPARE(types(*palette), expected);
        QVERIFY(!QImage::fromData(*palette, "PNG").isNull());
    }

    // One IDAT in place of many, the rows as they were, every CRC right.
    void redeflatedImageData() {
        QVERIFY(
            TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240", "-frames:v", "1",
                                 "-pred", "mixed", "-compression_level", "1", path("many.png")}));
        const QByteArray original = TestSupport::readFile(path("many.png"));
        QVERIFY(types(original).count("IDAT") > 1);
        const auto again = PngChunks::redeflated(original, 9, Z_FILTERED);
        QVERIFY(again && again->size() < original.size());
        QList<QByteArray> expected = types(original);
        expected.removeAll("IDAT");
        expected.insert(expected.indexOf("IEND"), "IDAT");
        QCOMPARE(types(*again), expected);
        QCOMPARE(differences(QImage::fromData(*again, "PNG"), QImage(path("many.png"))), 0);
        QCOMPARE(PngChunks::chunk("IEND", {}), QByteArray("\0\0\0\0IEND\xae\x42\x60\x82", 12));

        QByteArray damaged = original;
        const qsizetype data = damaged.indexOf("IDAT") + 4;
        damaged.replace(data + 2, 40, QByteArray(40, '\xff'));
        QCOMPARE(PngChunks::redeflated(damaged, 9, Z_FILTERED), std::nullopt);
        QCOMPARE(PngChunks::redeflated(original.left(original.size() - 20), 9, Z_FILTERED),
                 std::nullopt);
    }

    void quantiseWritesAPaletteOrSaysWhy() {
        FFmpegJob job;
        QCOMPARE(PackingTools::quantise(job, QStringLiteral("/usr/bin/pngquant"), path("card.png"),
                                        path("q.png"), false, false),
                 QString());
        QCOMPARE(int(TestSupport::readFile(path("q.png")).at(25)), 3);
        const QString failing = TestSupport::writeScript(
            path("failing-pngquant"), "echo 'first line' >&2\necho 'cannot read it' >&2\nexit 3\n");
        QCOMPARE(
            PackingTools::quantise(job, failing, path("card.png"), path("f.png"), false, false),
            QStringLiteral("cannot read it"));
        QVERIFY(!PackingTools::quantise(job, path("missing"), path("card.png"), path("m.png"),
                                        false, false)
                     .isEmpty());
    }

    // A stop ends even a pngquant that ignores the polite request.
    void quantiseStops() {
        const QString started = path("started");
        const QString stubborn = TestSupport::writeScript(
            path("stubborn-pngquant"),
            "trap '' TERM\ntouch '" + started.toUtf8() + "'\nexec sleep 100000\n");
        FFmpegJob job;
        QFuture<QString> future = QtConcurrent::run([&] {
            return PackingTools::quantise(job, stubborn, path("card.png"), path("s.png"), false,
                                          false);
        });
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(started); }, 60000));
        job.stop();
        QCOMPARE(future.result(), QStringLiteral("Cancelled"));
    }
};

QTEST_GUILESS_MAIN(TestPngPacking)
#include "test_png_packing.moc"
