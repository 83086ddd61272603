#include "TestSupport.h"
#include "tools/Prober.h"

#include <QTemporaryDir>
#include <QtTest>

using TestSupport::row;

Q_DECLARE_METATYPE(ProbeResult)

namespace {

const QString ffprobePath = QStringLiteral("/usr/bin/ffprobe");

QByteArray streamsJson(const QByteArray& streams, const QByteArray& duration = "\"5.0\"") {
    return R"({"format": {"duration": )" + duration + R"(}, "streams": [)" + streams + "]}";
}

ProbeResult result(qint64 width, qint64 height, double duration, bool audio, bool hdr = false) {
    return ProbeResult{width, height, duration, audio, hdr};
}

} // namespace

class TestProber : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString clip(const QString& name) const { return dir_.filePath(name); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QString error;
        const QStringList video{"-f", "lavfi", "-i", "testsrc2=s=160x90:r=10:d=1"};
        const QStringList tone{"-f", "lavfi", "-i", "sine=f=440:d=1"};
        QVERIFY2(TestSupport::ffmpeg(
                     video + tone +
                         QStringList{"-c:v", "libx264", "-c:a", "aac", "-shortest", clip("av.mp4")},
                     &error),
                 qPrintable(error));
        QVERIFY2(
            TestSupport::ffmpeg(video + QStringList{"-c:v", "libx264", clip("silent.mp4")}, &error),
            qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg({"-i", clip("silent.mp4"), "-c", "copy", "-metadata:s:v",
                                      "rotate=270", clip("portrait.mp4")},
                                     &error),
                 qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg(tone + QStringList{"-c:a", "aac", clip("tone.m4a")}, &error),
                 qPrintable(error));
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=128x72:r=10:d=0.5", "-c:v",
                                      "libx265", "-x265-params", "log-level=error", "-pix_fmt",
                                      "yuv420p10le", "-color_primaries", "bt2020", "-color_trc",
                                      "arib-std-b67", "-colorspace", "bt2020nc", clip("hlg.mp4")},
                                     &error),
                 qPrintable(error));
    }

    void parsesAnswers_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<ProbeResult>("expected");

        row("video and audio",
            QByteArray(
                R"({"format": {"duration": "12.480000"}, "streams": [ {"codec_type": "video", "width": 1920, "height": 1080}, {"codec_type": "audio"}]})"),
            result(1920, 1080, 12.48, true));
        row("rotation -90 swaps",
            streamsJson(
                R"({"codec_type": "video", "width": 1920, "height": 1080, "side_data_list": [{"side_data_type": "Display Matrix", "rotation": -90}]})"),
            result(1080, 1920, 5, false));
        row("rotation 180 keeps",
            streamsJson(
                R"({"codec_type": "video", "width": 1920, "height": 1080, "side_data_list": [{"rotation": 180}, {"rotation": "90"}]})"),
            result(1920, 1080, 5, false));
        row("first stream without width is passed over",
            streamsJson(
                R"({"codec_type": "video"}, {"codec_type": "video", "width": 640, "height": 360})"),
            result(640, 360, 5, false));
        row("cover art does not override",
            streamsJson(
                R"({"codec_type": "video", "width": 1280, "height": 720}, {"codec_type": "video", "width": 600, "height": 600, "color_transfer": "smpte2084"})"),
            result(1280, 720, 5, false));
        row("fractional width is no width",
            streamsJson(R"({"codec_type": "video", "width": 640.5, "height": 360})"),
            result(0, 360, 5, false));
        row("audio only", streamsJson(R"({"codec_type": "audio"})", R"("3.5")"),
            result(0, 0, 3.5, true));
        row("entries without a type are skipped",
            streamsJson(
                R"({}, {"codec_type": 7, "width": 10, "height": 10}, 5, {"codec_type": "audio"})"),
            result(0, 0, 5, true));
        row("pq is hdr",
            streamsJson(
                R"({"codec_type": "video", "width": 3840, "height": 2160, "color_transfer": "smpte2084"})"),
            result(3840, 2160, 5, false, true));
        row("hlg is hdr",
            streamsJson(
                R"({"codec_type": "video", "width": 1920, "height": 1080, "color_transfer": "arib-std-b67"})"),
            result(1920, 1080, 5, false, true));
        row("duration N/A", streamsJson("", R"("N/A")"), result(0, 0, 0, false));
        row("duration with a comma", streamsJson("", R"("12,5")"), result(0, 0, 0, false));
        row("streams not a list",
            QByteArray(R"({"format": {"duration": "2"}, "streams": {"codec_type": "audio"}})"),
            result(0, 0, 2, false));
        row("empty", QByteArray(), result(0, 0, 0, false));
        row("malformed", QByteArray(R"({"format": )"), result(0, 0, 0, false));
    }

    void parsesAnswers() {
        QFETCH(QByteArray, json);
        QFETCH(ProbeResult, expected);
        const ProbeResult parsed = Prober::parse(json);
        QCOMPARE(parsed.width, expected.width);
        QCOMPARE(parsed.height, expected.height);
        QCOMPARE(parsed.duration, expected.duration);
        QCOMPARE(parsed.hasAudio, expected.hasAudio);
        QCOMPARE(parsed.hdr, expected.hdr);
    }

    void probesRealClips_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<bool>("hdr");
        row("with audio", "av.mp4", 160ll, 90ll, true, false);
        row("without audio", "silent.mp4", 160ll, 90ll, false, false);
        row("rotated", "portrait.mp4", 90ll, 160ll, false, false);
        row("audio only", "tone.m4a", 0ll, 0ll, true, false);
        row("hlg", "hlg.mp4", 128ll, 72ll, false, true);
    }

    void probesRealClips() {
        QFETCH(QString, file);
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(bool, audio);
        QFETCH(bool, hdr);
        const ProbeResult probed = Prober::probe(QUrl::fromLocalFile(clip(file)), ffprobePath);
        QCOMPARE(probed.width, width);
        QCOMPARE(probed.height, height);
        QCOMPARE(probed.hasAudio, audio);
        QCOMPARE(probed.hdr, hdr);
        QVERIFY2(probed.duration > 0.3 && probed.duration < 1.5,
                 qPrintable(QString::number(probed.duration)));
    }

    void passesExactArguments() {
        const QString log = dir_.filePath("arguments.txt");
        const QString fake = TestSupport::writeScript(
            dir_.filePath("ffprobe-args"), "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                               log.toUtf8() +
                                               "'\necho '{\"format\": {\"duration\": \"1.5\"}}'\n");
        const QString source = dir_.filePath("name with spaces.mp4");
        QCOMPARE(Prober::probe(QUrl::fromLocalFile(source), fake), result(0, 0, 1.5, false));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"-v", "error", "-print_format", "json", "-show_format",
                              "-show_streams", source}));
    }

    void failsSoft() {
        const QUrl source = QUrl::fromLocalFile(clip("av.mp4"));
        QCOMPARE(Prober::probe(source, std::nullopt), ProbeResult{});
        QCOMPARE(Prober::probe(source, QStringLiteral("/nonexistent/ffprobe")), ProbeResult{});
        const QString failing =
            TestSupport::writeScript(dir_.filePath("ffprobe-fails"), "echo 'broken' >&2; exit 1\n");
        QCOMPARE(Prober::probe(source, failing), ProbeResult{});
        const QString garbage = TestSupport::writeScript(dir_.filePath("ffprobe-garbage"),
                                                         "printf '{\"format\": \\377}'\n");
        QCOMPARE(Prober::probe(source, garbage), ProbeResult{});
        QCOMPARE(Prober::probe(QUrl::fromLocalFile(dir_.filePath("missing.mp4")), ffprobePath),
                 ProbeResult{});
    }
};

QTEST_GUILESS_MAIN(TestProber)
#include "test_prober.moc"
