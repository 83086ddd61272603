// Real encodes through the staged path with the packing steps: ffmpeg, TurboJPEG, pngquant and
// optipng as Debian ships them, on pictures made here.
#include "TestSupport.h"

#include "engine/StagedEncode.h"
#include "planning/CommandBuilder.h"
#include "tools/FFmpegLocator.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

FFmpegTools allTools() {
    return {ffmpegPath, QStringLiteral("/usr/bin/ffprobe"), QStringLiteral("/usr/bin/pngquant"),
            QStringLiteral("/usr/bin/optipng")};
}

EncoderCaps debianCaps() {
    EncoderCaps caps;
    for (const char* name : {"mjpeg", "png", "libwebp"})
        caps.names.insert(QLatin1String(name));
    return caps;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The start-of-frame segment: whether the file is progressive, and each component's
// sampling factors (0x22 0x11 0x11 is 4:2:0; one component is grey).
struct Frame {
    bool progressive = false;
    QList<int> sampling;
};

Frame frameOf(const QByteArray& jpeg) {
    for (qsizetype i = 2; i + 9 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xFF)
            return {};
        const uchar marker = uchar(jpeg[i + 1]);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            Frame frame{marker == 0xC2, {}};
            const int count = uchar(jpeg[i + 9]);
            for (int c = 0; c < count && i + 11 + 3 * c < jpeg.size(); ++c)
                frame.sampling << uchar(jpeg[i + 11 + 3 * c]);
            return frame;
        }
        i += 2 + length;
    }
    return {};
}

int pngColourType(const QString& path) {
    const QByteArray head = bytesOf(path).left(26);
    return head.size() == 26 ? head.at(25) : -1;
}

// Largest difference of any channel between two decoded pictures of one size.
int largestDifference(QImage a, QImage b) {
    a = a.convertToFormat(QImage::Format_ARGB32);
    b = b.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            worst = std::max(worst, std::abs(qAlpha(p[x]) - qAlpha(q[x])));
            if (qAlpha(p[x]) > 0)
                worst = std::max({worst, std::abs(qRed(p[x]) - qRed(q[x])),
                                  std::abs(qGreen(p[x]) - qGreen(q[x])),
                                  std::abs(qBlue(p[x]) - qBlue(q[x]))});
        }
    }
    return worst;
}

struct AlphaError {
    int binary = 0;      // pixels fully transparent or opaque before that are not after
    double softMean = 0; // mean alpha difference over the partly transparent pixels
};

AlphaError alphaError(QImage before, QImage after) {
    before = before.convertToFormat(QImage::Format_ARGB32);
    after = after.convertToFormat(QImage::Format_ARGB32);
    AlphaError error;
    qint64 soft = 0, sum = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const int was = qAlpha(before.pixel(x, y));
            const int now = qAlpha(after.pixel(x, y));
            if (was == 0 || was == 255) {
                error.binary += was != now;
            } else {
                ++soft;
                sum += std::abs(was - now);
            }
        }
    error.softMean = soft ? double(sum) / double(soft) : 0;
    return error;
}

// A round two-colour logo with a white centre whose edge fades over 40 pixels into transparency.
QImage softLogo() {
    QImage image(240, 240, QImage::Format_ARGB32);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 240; ++x) {
            const double r = std::hypot(x - 120.0, y - 120.0);
            const int alpha = std::clamp(int(std::lround((110.0 - r) / 40.0 * 255.0)), 0, 255);
            const QRgb ink = r < 45    ? qRgb(250, 250, 250)
                             : x < 120 ? qRgb(215, 10, 83)
                                       : qRgb(30, 90, 200);
            image.setPixel(x, y, qRgba(qRed(ink), qGreen(ink), qBlue(ink), alpha));
        }
    return image;
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
    process.start(QStringLiteral("exiftool"),
                  {QStringLiteral("-s"), QStringLiteral("-") + tag, path});
    process.waitForFinished(60000);
    return !process.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

class TestEnginePacking : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // The plan's single output for `source`, with defaults but for the given format.
    PlannedOutput planFor(const QString& source, ImageFormat format, bool grey = false,
                          bool alpha = false) const {
        MediaItem item;
        item.url = QUrl::fromLocalFile(source);
        const QImage image(source);
        item.width = image.width();
        item.height = image.height();
        item.grey = grey;
        item.hasAlpha = alpha;
        TersioSettings settings;
        settings.imageFormat = format;
        const QDir out(path(QStringLiteral("out")));
        out.mkpath(QStringLiteral("."));
        return CommandBuilder::imagePlan(item, settings, debianCaps(),
                                         QUrl::fromLocalFile(out.path()))
            .first();
    }

    StagedEncode::Outcome encode(const PlannedOutput& output, const FFmpegTools& tools,
                                 bool alpha = false) {
        FFmpegJob job;
        const QString source = output.arguments.at(output.arguments.indexOf("-i") + 1);
        return StagedEncode::run(job, ffmpegPath, output, {}, {},
                                 PackSteps::Context{tools, source, false, alpha});
    }

    // What ffmpeg alone writes for the same arguments.
    QString plainEncode(const PlannedOutput& output, const QString& name) {
        QStringList arguments = output.arguments;
        arguments.last() = path(name);
        return TestSupport::runTool(ffmpegPath, arguments) ? path(name) : QString();
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        const QString noisy = QStringLiteral("testsrc2=s=480x320,noise=alls=12:allf=t");
        QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", noisy, "-frames:v", "1", "-pix_fmt",
                                     "yuvj444p", "-q:v", "3", path("full.jpg")}));
        QVERIFY(
            TestSupport::ffmpeg({"-f", "lavfi", "-i", noisy, "-frames:v", "1", path("photo.png")}));
        QVERIFY(screenshot().save(path("screen.png")));
        QImage grey = QImage(path("photo.png")).convertToFormat(QImage::Format_Grayscale8);
        QVERIFY(grey.save(path("grey.jpg"), "JPEG", 85));
        QVERIFY(softLogo().save(path("logo.png")));
    }

    // 4:2:0, progressive, and the very pixels of ffmpeg's own encode: the re-pack is lossless.
    void jpegOutputs_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QList<int>>("sampling");
        QTest::newRow("4:4:4 jpeg") << "full.jpg" << false << QList<int>{0x22, 0x11, 0x11};
        QTest::newRow("png photo") << "photo.png" << false << QList<int>{0x22, 0x11, 0x11};
        QTest::newRow("grey jpeg") << "grey.jpg" << true << QList<int>{0x11};
    }
    void jpegOutputs() {
        QFETCH(QString, source);
        QFETCH(bool, grey);
        QFETCH(QList<int>, sampling);
        const PlannedOutput output = planFor(path(source), ImageFormat::jpeg, grey);
        const QString plain = plainEncode(output, QStringLiteral("plain.jpg"));
        QVERIFY(!plain.isEmpty());
        const auto outcome = encode(output, allTools());
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        const Frame frame = frameOf(bytesOf(written));
        QVERIFY(frame.progressive);
        QCOMPARE(frame.sampling, sampling);
        QVERIFY(outcome.bytes < QFileInfo(plain).size());
        const int tolerance = grey ? 1 : 0; // grey: the flat colour planes are dropped
        QVERIFY(largestDifference(QImage(written), QImage(plain)) <= tolerance);
        QVERIFY(!exiftoolFinds(written, QStringLiteral("Comment")));
    }

    // A palette only where it looks the same; a smooth gradient stays lossless.
    void pngPalette_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<int>("palette");   // 1 palette, 0 lossless, -1 whichever is smaller
        QTest::addColumn<int>("tolerance"); // against the source, per channel
        QTest::newRow("screenshot") << "screen.png" << false << 1 << 64;
        QTest::newRow("photo-like") << "photo.png" << false << 0 << 0;
        QTest::newRow("soft logo") << "logo.png" << true << -1 << 64;
    }
    void pngPalette() {
        QFETCH(QString, source);
        QFETCH(bool, alpha);
        QFETCH(int, palette);
        QFETCH(int, tolerance);
        const PlannedOutput output = planFor(path(source), ImageFormat::png, false, alpha);
        const auto outcome = encode(output, allTools(), alpha);
        QCOMPARE(outcome.status, 0);
        QVERIFY2(outcome.note.isEmpty(), qPrintable(outcome.note));
        const QString written = output.destination.toLocalFile();
        if (palette >= 0)
            QCOMPARE(int(pngColourType(written) == 3), palette);
        const QImage before(path(source));
        const QImage after(written);
        QVERIFY(largestDifference(before, after) <= tolerance);
        if (alpha) {
            const AlphaError error = alphaError(before, after);
            QCOMPARE(error.binary, 0);
            QVERIFY2(error.softMean <= 2.0, qPrintable(QString::number(error.softMean)));
        }
    }

    // Re-encoding cannot beat these sources: the output falls back on the source's pixels,
    // never larger, and without the metadata the source carried.
    void neverLargerThanTheSource_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::newRow("optimised png") << "tight.png" << int(ImageFormat::png);
        QTest::newRow("small jpeg") << "small.jpg" << int(ImageFormat::jpeg);
    }
    void neverLargerThanTheSource() {
        QFETCH(QString, name);
        QFETCH(int, format);
        const QString source = path(name);
        if (format == int(ImageFormat::png)) {
            QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240", "-frames:v", "1",
                                         "-pix_fmt", "pal8", source}));
            QVERIFY(TestSupport::runTool("optipng", {"-quiet", "-o5", source}));
        } else {
            QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=96x64", "-frames:v", "1",
                                         "-pix_fmt", "yuvj420p", "-q:v", "31", source}));
        }
        QVERIFY(TestSupport::runTool("exiftool",
                                     {"-q", "-overwrite_original", "-Comment=made by the test",
                                      "-Artist=The Test", source}));
        const qint64 sourceBytes = QFileInfo(source).size();
        const PlannedOutput output = planFor(source, ImageFormat(format));
        const auto outcome = encode(output, allTools());
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        QVERIFY2(outcome.bytes <= sourceBytes,
                 qPrintable(QStringLiteral("%1 > %2").arg(outcome.bytes).arg(sourceBytes)));
        QCOMPARE(outcome.bytes, QFileInfo(written).size());
        QVERIFY(!exiftoolFinds(written, QStringLiteral("Comment")));
        QVERIFY(!exiftoolFinds(written, QStringLiteral("Artist")));
        if (format == int(ImageFormat::jpeg)) // the source's own coefficients
            QCOMPARE(largestDifference(QImage(written), QImage(source)), 0);
        QVERIFY(QDir(path(QStringLiteral("out")))
                    .entryList(QDir::Hidden | QDir::Files)
                    .filter(QStringLiteral(".tersio-"))
                    .isEmpty());
    }

    // Without the optional packers the output is what ffmpeg wrote, and says so.
    void missingToolsLeaveFfmpegsFile() {
        const PlannedOutput output = planFor(path("screen.png"), ImageFormat::png);
        const QString plain = plainEncode(output, QStringLiteral("plain.png"));
        QVERIFY(!plain.isEmpty());
        const auto outcome = encode(output, FFmpegTools{ffmpegPath, {}, {}, {}});
        QCOMPARE(outcome.status, 0);
        QVERIFY(outcome.note.contains(QStringLiteral("pngquant not found")));
        QVERIFY(outcome.note.contains(QStringLiteral("optipng not found")));
        const QString written = output.destination.toLocalFile();
        QCOMPARE(pngColourType(written), pngColourType(plain));
        QCOMPARE(largestDifference(QImage(written), QImage(plain)), 0);
    }
};

QTEST_GUILESS_MAIN(TestEnginePacking)
#include "test_engine_packing.moc"
