#include "TestSupport.h"
#include "tools/EncoderCaps.h"

#include <QTemporaryDir>
#include <QtTest>

class TestEncoderCaps : public QObject {
    Q_OBJECT
  private slots:
    void parsesListings() {
        const QString listing = "Encoders:\n"
                                " V..... = Video\n"
                                " ------\n"
                                "------\n"
                                " V....D libx264              libx264 H.264 / AVC\n"
                                " V....D libx265 libx265 H.265 / HEVC\n"
                                "\t A....D   libopus    Opus\t\n"
                                " V.S  short first column\n"
                                " V....D\tlibtab description\n"
                                "\n";
        const auto caps = EncoderCaps::parse(listing);
        QVERIFY(caps.has("libx264"));
        QVERIFY(caps.has("libx265"));
        QVERIFY(caps.has("libopus"));
        QVERIFY(!caps.has("LIBX264"));
        QVERIFY(!caps.has("short"));
        // A tab does not separate columns, so the description stands in the name's place.
        QVERIFY(!caps.has("libtab"));
        QCOMPARE(caps.names, (QSet<QString>{"=", "libx264", "libx265", "libopus", "description"}));
    }

    void toolThatCannotRunGivesNothing() {
        QVERIFY(EncoderCaps::detect("/nonexistent/ffmpeg").names.isEmpty());
        QTemporaryDir dir;
        const auto fake = TestSupport::writeScript(dir.filePath("ffmpeg"),
                                                   "echo ' V....D libfake  Fake'; exit 1\n");
        QCOMPARE(EncoderCaps::detect(fake).names, QSet<QString>{"libfake"});
    }

    void realFFmpeg() {
        const auto caps = EncoderCaps::detect("/usr/bin/ffmpeg");
        for (const char* name : {"libx264", "libx265", "libvpx-vp9", "libwebp", "libsvtav1",
                                 "libaom-av1", "libopus", "libvorbis", "mjpeg", "png", "aac"})
            QVERIFY2(caps.has(name), name);
    }
};

QTEST_GUILESS_MAIN(TestEncoderCaps)
#include "test_encoder_caps.moc"
