// The in-process packing pieces on hand-made bytes: PNG chunk filtering, ffmpeg's SSIM lines,
// and TurboJPEG's refusal of what is not a JPEG.
#include "tools/JpegRepack.h"
#include "tools/PackingTools.h"
#include "tools/PngChunks.h"

#include <QtEndian>
#include <QtTest>

namespace {

QByteArray chunk(const char* type, const QByteArray& data = {}) {
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), bytes.data());
    return bytes + QByteArray(type, 4) + data + QByteArray(4, '\x7f'); // CRC is not checked
}

const QByteArray signature("\x89PNG\r\n\x1a\n", 8);

QByteArray png(const QList<const char*>& types) {
    QByteArray bytes = signature;
    for (const char* type : types)
        bytes += chunk(type, QByteArray(3, 'x'));
    return bytes;
}

} // namespace

class TestPackingTools : public QObject {
    Q_OBJECT
  private slots:
    void pngMetadataChunks_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected"); // empty: refused
        const QList<const char*> look{"IHDR", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT",
                                      "cICP", "PLTE", "tRNS", "IDAT", "IDAT", "IEND"};
        QTest::newRow("colour chunks stay") << png(look) << png(look);
        QTest::newRow("text, time, exif, size go")
            << png({"IHDR", "tEXt", "pHYs", "IDAT", "tIME", "zTXt", "iTXt", "eXIf", "IEND"})
            << png({"IHDR", "IDAT", "IEND"});
        QTest::newRow("unknown critical chunk stays")
            << png({"IHDR", "IDAT", "ABCD", "IEND"}) << png({"IHDR", "IDAT", "ABCD", "IEND"});
        QTest::newRow("bytes after IEND dropped")
            << png({"IHDR", "IDAT", "IEND"}) + "trailing" << png({"IHDR", "IDAT", "IEND"});
        QTest::newRow("no IEND") << png({"IHDR", "IDAT"}) << QByteArray();
        QTest::newRow("cut inside a chunk")
            << png({"IHDR", "IDAT", "IEND"}).chopped(5) << QByteArray();
        QByteArray huge = png({"IHDR"});
        huge += QByteArray("\xff\xff\xff\xf0IDAT", 8);
        QTest::newRow("length past the end") << huge << QByteArray();
        QTest::newRow("not a png") << QByteArray("GIF89a.......") << QByteArray();
    }
    void pngMetadataChunks() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        const auto result = PngChunks::withoutMetadata(input);
        QCOMPARE(result.has_value(), !expected.isEmpty());
        if (result)
            QCOMPARE(*result, expected);
    }

    void ssimStatistics_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("lowest"); // negative: none
        QTest::newRow("white and black") << "n:1 R:0.99 G:0.98 B:0.97 All:0.981 (17.2)\n"
                                            "n:1 R:0.95 G:0.96 B:0.90 All:0.937 (12.0)\n"
                                         << 0.937;
        QTest::newRow("one line") << "n:1 R:1.0 G:1.0 B:1.0 All:1.000000 (inf)\n" << 1.0;
        QTest::newRow("nothing") << "" << -1.0;
        QTest::newRow("no All figure") << "n:1 R:0.5 G:0.5 B:0.5\n" << -1.0;
    }
    void ssimStatistics() {
        QFETCH(QString, text);
        QFETCH(double, lowest);
        const auto value = PackingTools::lowestSsim(text);
        QCOMPARE(value.has_value(), lowest >= 0);
        if (value)
            QCOMPARE(*value, lowest);
    }

    void jpegRepackRefusesOtherBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("png") << png({"IHDR", "IDAT", "IEND"});
        QTest::newRow("jpeg header only") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10);
    }
    void jpegRepackRefusesOtherBytes() {
        QFETCH(QByteArray, bytes);
        QString error;
        QVERIFY(!JpegRepack::transform(bytes, {}, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPackingTools)
#include "test_packing_tools.moc"
