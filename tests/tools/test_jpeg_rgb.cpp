// JPEGs decoded to RGB for scores must give ffmpeg's pixels for every chroma layout and size the
// outputs and the sources kept in their place can have.
#include "TestSupport.h"
#include "tools/JpegRepack.h"
#include "tools/JpegRgb.h"

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
        const QImage decoded = JpegRgb::decode(TestSupport::readFile(jpeg));
        QCOMPARE(decoded.size(), size);
        QCOMPARE(expected.size(), qsizetype(size.width()) * size.height() * 3);
        // The same to rounding, but for a few samples at the picture's edges, which ffmpeg's
        // scaler treats its own way.
        qint64 apart = 0;
        qint64 total = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb pixel = decoded.pixel(x, y);
                const auto* want = reinterpret_cast<const uchar*>(expected.constData()) +
                                   3 * (qsizetype(y) * size.width() + x);
                for (const int d :
                     {qRed(pixel) - want[0], qGreen(pixel) - want[1], qBlue(pixel) - want[2]}) {
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
