// The two pictures an in-process score reads must be ffmpeg's pixels: a JPEG decoded to RGB, for
// every chroma layout and size the outputs and the sources kept in their place can have, and the
// reference its encode wrote.
#include "TestSupport.h"
#include "tools/JpegRepack.h"
#include "tools/JpegRgb.h"
#include "tools/RgbPlanes.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestJpegRgb : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;

  private slots:
    void matchesFFmpegsDecode_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QSize>("size");
        QTest::newRow("4:2:0, odd size") << "yuvj420p" << QSize(301, 201);
        QTest::newRow("4:2:0, odd height") << "yuvj420p" << QSize(300, 77);
        QTest::newRow("4:2:2") << "yuvj422p" << QSize(320, 240);
        QTest::newRow("4:4:0") << "yuvj440p" << QSize(160, 121);
        QTest::newRow("4:4:4") << "yuvj444p" << QSize(200, 150);
        QTest::newRow("grey, odd size") << "gray" << QSize(123, 77);
    }
    void matchesFFmpegsDecode() {
        QFETCH(QString, layout);
        QFETCH(QSize, size);
        const QString jpeg = temp_.filePath(layout + ".jpg");
        const QString raw = temp_.filePath(layout + ".rgb");
        const QString dimensions = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        QString error;
        // ffmpeg's own JPEG encoder writes no grey: the lossless transform's grey stands in.
        const bool grey = layout == "gray"_L1;
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i",
                                      "testsrc2=s=320x240,format=rgb24,scale=" + dimensions,
                                      "-frames:v", "1", "-pix_fmt", grey ? "yuvj444p" : layout,
                                      "-q:v", "4", "-update", "1", jpeg},
                                     &error),
                 qPrintable(error));
        if (grey) {
            const auto packed = JpegRepack::transform(TestSupport::readFile(jpeg), {true, false});
            QVERIFY(packed && TestSupport::writeFile(jpeg, *packed));
        }
        // The way the score's ffmpeg reads it: planar RGB first.
        QVERIFY2(
            TestSupport::ffmpeg(
                {"-i", jpeg, "-vf", "format=gbrp,format=rgb24", "-f", "rawvideo", raw}, &error),
            qPrintable(error));
        const QByteArray expected = TestSupport::readFile(raw);
        const RgbPlanes decoded = JpegRgb::decode(TestSupport::readFile(jpeg));
        QCOMPARE(QSize(decoded.width(), decoded.height()), size);
        QCOMPARE(expected.size(), qsizetype(size.width()) * size.height() * 3);
        // The same to rounding, but for a few samples at the picture's edges, which ffmpeg's
        // scaler treats its own way.
        qint64 apart = 0;
        qint64 total = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const auto* want = reinterpret_cast<const uchar*>(expected.constData()) +
                                   3 * (qsizetype(y) * size.width() + x);
                for (int c = 0; c < 3; ++c) {
                    const ImageSsim::Plane& plane = decoded.planes[size_t(c)];
                    const int d = plane.data[y * plane.stride + x] - want[c];
                    apart += std::abs(d) > 2;
                    total += std::abs(d);
                }
            }
        const double values = 3.0 * size.width() * size.height();
        QVERIFY2(double(apart) <= 0.01 * values && double(total) <= 0.3 * values,
                 qPrintable(QStringLiteral("%1 values more than 2 apart, mean %2")
                                .arg(apart)
                                .arg(double(total) / values)));
    }

    void readsTheReferenceAsFFmpegWroteIt() {
        // An odd size and values away from 0 and 255, which a reader that scaled would spread.
        const QString fits = temp_.filePath("reference.fits");
        const QString raw = temp_.filePath("reference.rgb");
        QString error;
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=301x77,lutrgb=r=val/2+40",
                                      "-frames:v", "1", "-vf", "format=gbrp", "-c:v", "fits", "-f",
                                      "image2pipe", fits},
                                     &error),
                 qPrintable(error));
        QVERIFY2(
            TestSupport::ffmpeg(
                {"-f", "fits", "-i", fits, "-vf", "format=rgb24", "-f", "rawvideo", raw}, &error),
            qPrintable(error));
        const QByteArray expected = TestSupport::readFile(raw);
        const RgbPlanes read = RgbPlanes::readFits(fits);
        QCOMPARE(QSize(read.width(), read.height()), QSize(301, 77));
        QCOMPARE(expected.size(), qsizetype(301) * 77 * 3);
        for (int y = 0; y < 77; ++y)
            for (int x = 0; x < 301; ++x)
                for (int c = 0; c < 3; ++c) {
                    const ImageSsim::Plane& plane = read.planes[size_t(c)];
                    if (plane.data[y * plane.stride + x] !=
                        uchar(expected.at(3 * (y * 301 + x) + c)))
                        QFAIL(qPrintable(
                            QStringLiteral("channel %1 differs at %2,%3").arg(c).arg(x).arg(y)));
                }

        // Cut short, grey, or not FITS at all: nothing, rather than a picture read past its end.
        const QString cut = temp_.filePath("cut.fits");
        QVERIFY(TestSupport::writeFile(cut, TestSupport::readFile(fits).left(2880 + 301 * 77 * 2)));
        QVERIFY(RgbPlanes::readFits(cut).isNull());
        QByteArray huge = TestSupport::readFile(fits); // sizes whose product overflows
        for (const QByteArray key : {"NAXIS1  =", "NAXIS2  ="}) {
            const qsizetype at = huge.indexOf(key);
            QVERIFY(at >= 0);
            huge.replace(at + 10, 20, QByteArray("2000000000").rightJustified(20, ' '));
        }
        QVERIFY(TestSupport::writeFile(cut, huge));
        QVERIFY(RgbPlanes::readFits(cut).isNull());
        const QString grey = temp_.filePath("grey.fits");
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x64,format=gray",
                                      "-frames:v", "1", "-c:v", "fits", "-f", "image2pipe", grey},
                                     &error),
                 qPrintable(error));
        QVERIFY(RgbPlanes::readFits(grey).isNull());
        QVERIFY(RgbPlanes::readFits(raw).isNull());
        QVERIFY(RgbPlanes::readFits(temp_.filePath("missing.fits")).isNull());
    }

    void refusesWhatIsNotAWholeJpeg() {
        QVERIFY(JpegRgb::decode(QByteArray("not a picture")).isNull());
        QString error;
        const QString jpeg = temp_.filePath("cut.jpg");
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x64", "-frames:v", "1",
                                      "-update", "1", jpeg},
                                     &error),
                 qPrintable(error));
        QVERIFY(JpegRgb::decode(TestSupport::readFile(jpeg).left(100)).isNull());
    }
};

QTEST_GUILESS_MAIN(TestJpegRgb)
#include "test_jpeg_rgb.moc"
