// The fused command run through the real ffmpeg writes the same files as the planned outputs
// run one by one, on small generated clips and pictures.
#include "PhotoSources.h"
#include "TestSupport.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What a rendition is made of, as ffprobe reads it: "h264 avc1 160x90 50", "aac 2ch".
QStringList streamsOf(const QString& file) {
    QProcess probe;
    probe.start("/usr/bin/ffprobe",
                {"-v", "error", "-count_frames", "-show_entries",
                 "stream=codec_name,codec_tag_string,width,height,channels,nb_read_frames", "-of",
                 "json", file});
    probe.waitForFinished(60000);
    QStringList streams;
    const auto json = QJsonDocument::fromJson(probe.readAllStandardOutput())["streams"];
    for (const auto& value : json.toArray()) {
        const QJsonObject s = value.toObject();
        const QString codec = s["codec_name"].toString();
        streams << (s["channels"].toInt() > 0
                        ? QStringLiteral("%1 %2ch").arg(codec).arg(s["channels"].toInt())
                        : QStringLiteral("%1 %2 %3x%4 %5")
                              .arg(codec, s["codec_tag_string"].toString())
                              .arg(s["width"].toInt())
                              .arg(s["height"].toInt())
                              .arg(s["nb_read_frames"].toString()));
    }
    return streams;
}

// For MP4: true when the index sits before the media data, so playback starts at once.
bool indexFirst(const QString& file) {
    QFile f(file);
    const QByteArray head = f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray();
    const qsizetype moov = head.indexOf("moov"), mdat = head.indexOf("mdat");
    return moov >= 0 && (mdat < 0 || moov < mdat);
}

} // namespace

class TestFusedRuns : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }

    static bool run(const QStringList& arguments, QString* error) {
        return TestSupport::runTool("/usr/bin/ffmpeg", arguments, error);
    }

    // Both ways into two folders, then every output compared.
    void compareBothWays(const MediaItem& source, const TersioSettings& settings,
                         const QString& name) {
        const auto plan = [&](const QString& way) {
            const QUrl folder = QUrl::fromLocalFile(path(name + way));
            QDir().mkpath(folder.toLocalFile());
            EncoderCaps caps;
            caps.names = {"libx264", "libx265", "libvpx-vp9", "libopus",
                          "libwebp", "aac",     "mjpeg",      "png"};
            return source.kind == MediaKind::image
                       ? CommandBuilder::imagePlan(source, settings, caps, folder)
                       : CommandBuilder::videoPlan(source, settings, caps, folder);
        };
        const auto alone = plan("-alone"), fused = plan("-fused");
        QVERIFY(alone.size() >= 2);
        QString error;
        for (const PlannedOutput& output : alone)
            QVERIFY2(run(output.arguments, &error), qPrintable(output.label + error));
        const auto invocations = FusedPlan::group(fused);
        QCOMPARE(invocations.size(), 1);
        QVERIFY2(run(invocations.first().arguments, &error),
                 qPrintable(error + invocations.first().arguments.join(' ')));

        for (int i = 0; i < alone.size(); ++i) {
            const QString a = alone[i].destination.toLocalFile();
            const QString b = fused[i].destination.toLocalFile();
            QVERIFY2(!streamsOf(a).isEmpty(), qPrintable(a));
            QCOMPARE(streamsOf(b), streamsOf(a));
            const double ratio = double(QFileInfo(b).size()) / double(QFileInfo(a).size());
            QVERIFY2(ratio > 0.99 && ratio < 1.01,
                     qPrintable(QStringLiteral("%1: %2").arg(alone[i].label).arg(ratio)));
            if (a.endsWith(".mp4"))
                QVERIFY2(indexFirst(b), qPrintable(b));
            if (a.endsWith(".jpg"))
                QVERIFY2(PhotoSources::meanDifference(QImage(a), QImage(b)) < 1.0, qPrintable(b));
        }
    }

    // A clip made by ffmpeg with these arguments (no argument holds a space).
    MediaItem clip(const QString& name, const QString& make, qint64 w, qint64 h, bool audio) {
        QString error;
        if (!TestSupport::ffmpeg(TestSupport::words(make) << path(name), &error))
            qWarning("%s", qPrintable(error));
        MediaItem result;
        result.url = QUrl::fromLocalFile(path(name));
        result.width = w;
        result.height = h;
        result.kind = MediaKind::video;
        result.duration = 2;
        result.hasAudio = audio;
        return result;
    }

  private slots:
    void sameFilesAsOneByOne_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"audio", "silent", "hdr", "rotated", "anchors", "hevc", "picture"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void sameFilesAsOneByOne() {
        QFETCH(QString, kind);
        const QString pattern = "-f lavfi -i testsrc2=s=320x240:r=25:d=2 ",
                      tone = "-f lavfi -i sine=f=440:d=2 ",
                      h264 = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p ";
        TersioSettings settings;
        settings.speed = SpeedPreset::veryfast;
        settings.videoMaxWidth = 160;
        settings.makeHEVC = kind == "hevc";
        MediaItem source;
        if (kind == "audio" || kind == "anchors" || kind == "hevc") {
            source = clip(kind + ".mp4", pattern + tone + h264 + "-c:a aac", 320, 240, true);
        } else if (kind == "silent") {
            source = clip("silent.mov", pattern + h264, 320, 240, false);
        } else if (kind == "hdr") {
            source = clip("hlg.mp4",
                          pattern + "-c:v libx265 -x265-params log-level=error -pix_fmt "
                                    "yuv420p10le -color_primaries bt2020 -color_trc arib-std-b67 "
                                    "-colorspace bt2020nc",
                          320, 240, false);
            source.hdr = true;
        } else if (kind == "rotated") {
            clip("flat.mp4", pattern + tone + h264, 320, 240, true);
            source =
                clip("portrait.mp4", "-i " + path("flat.mp4") + " -c copy -metadata:s:v rotate=270",
                     240, 320, true);
        } else if (kind == "picture") {
            QVERIFY(TestSupport::ffmpeg(
                {"-f", "lavfi", "-i",
                 "color=c=red:s=300x200,format=rgba,geq=r='X':g='Y':b=90:a='if(lt(X,120),0,255)'",
                 "-frames:v", "1", path("logo.png")}));
            source.url = QUrl::fromLocalFile(path("logo.png"));
            source.width = 300;
            source.height = 200;
            source.hasAlpha = true;
            settings.imageFormat = ImageFormat::jpeg;
            settings.alsoEmitWebP = true;
            settings.imageMaxWidth = 200;
        }
        if (kind == "anchors") {
            settings.makeWebM = false;
            settings.cropVariants.clear();
            for (const CropAnchor anchor : Options::allCases<CropAnchor>())
                settings.cropVariants
                    << CropVariant::make("c", 3, 4 + int(anchor), 90, anchor, true);
        }
        compareBothWays(source, settings, kind);
    }

    // The poster comparison has teeth: the frame at the seek time is not the first frame.
    void posterIsNotTheFirstFrame() {
        QVERIFY(
            TestSupport::ffmpeg({"-i", path("audio.mp4"), "-frames:v", "1", "-vf",
                                 "scale=160:-2:flags=lanczos", "-q:v", "3", path("first.jpg")}));
        QVERIFY(PhotoSources::meanDifference(QImage(path("first.jpg")),
                                             QImage(path("audio-fused/audio-poster.jpg"))) > 3);
    }
};

QTEST_GUILESS_MAIN(TestFusedRuns)
#include "test_fused_runs.moc"
