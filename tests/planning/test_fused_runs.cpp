// The fused command run through the real ffmpeg writes the same files as the planned outputs
// run one by one, on small generated clips and pictures.
#include "PlanTestSupport.h"
#include "TestSupport.h"

#include "planning/FusedPlan.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace PlanTestSupport;

namespace {

// What a rendition is made of, as ffprobe reads it.
struct Shape {
    QStringList streams; // "h264 hvc1 160x90 50", "aac 2ch"
    qint64 bytes = 0;
};

Shape shapeOf(const QString& file) {
    QProcess probe;
    probe.start("/usr/bin/ffprobe",
                {"-v", "error", "-count_frames", "-show_entries",
                 "stream=codec_name,codec_tag_string,width,height,channels,nb_read_frames", "-of",
                 "json", file});
    probe.waitForFinished(60000);
    Shape shape;
    const auto streams = QJsonDocument::fromJson(probe.readAllStandardOutput())["streams"];
    for (const auto& value : streams.toArray()) {
        const QJsonObject s = value.toObject();
        if (s["channels"].toInt() > 0)
            shape.streams << QStringLiteral("%1 %2ch")
                                 .arg(s["codec_name"].toString())
                                 .arg(s["channels"].toInt());
        else
            shape.streams << QStringLiteral("%1 %2 %3x%4 %5")
                                 .arg(s["codec_name"].toString(), s["codec_tag_string"].toString())
                                 .arg(s["width"].toInt())
                                 .arg(s["height"].toInt())
                                 .arg(s["nb_read_frames"].toString());
    }
    shape.bytes = QFileInfo(file).size();
    return shape;
}

// For MP4: true when the index sits before the media data, so playback starts at once.
bool indexFirst(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(1 << 20);
    const qsizetype moov = head.indexOf("moov");
    const qsizetype mdat = head.indexOf("mdat");
    return moov >= 0 && (mdat < 0 || moov < mdat);
}

double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                   std::abs(p.blue() - q.blue());
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace

class TestFusedRuns : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }

    static bool ffmpegRun(const QStringList& arguments, QString* error) {
        return TestSupport::runTool(QStringLiteral("/usr/bin/ffmpeg"), arguments, error);
    }

    // Both ways into two folders; every output is compared, then the fused folder returned.
    void compareBothWays(const MediaItem& source, const TersioSettings& settings,
                         const QString& name) {
        const QUrl alone = QUrl::fromLocalFile(path(name + "-alone"));
        const QUrl fused = QUrl::fromLocalFile(path(name + "-fused"));
        QVERIFY(QDir().mkpath(alone.toLocalFile()) && QDir().mkpath(fused.toLocalFile()));
        const bool image = source.kind == MediaKind::image;
        const auto planAlone = image
                                   ? CommandBuilder::imagePlan(source, settings, allCaps(), alone)
                                   : CommandBuilder::videoPlan(source, settings, allCaps(), alone);
        const auto planFused = image
                                   ? CommandBuilder::imagePlan(source, settings, allCaps(), fused)
                                   : CommandBuilder::videoPlan(source, settings, allCaps(), fused);
        QVERIFY(planAlone.size() >= 2);
        QString error;
        for (const PlannedOutput& output : planAlone)
            QVERIFY2(ffmpegRun(output.arguments, &error), qPrintable(output.label + error));
        const auto invocations = FusedPlan::group(planFused);
        QCOMPARE(invocations.size(), 1);
        QVERIFY2(ffmpegRun(invocations.first().arguments, &error),
                 qPrintable(error + invocations.first().arguments.join(' ')));

        for (int i = 0; i < planAlone.size(); ++i) {
            const QString a = planAlone[i].destination.toLocalFile();
            const QString b = planFused[i].destination.toLocalFile();
            const Shape one = shapeOf(a), other = shapeOf(b);
            QVERIFY2(!one.streams.isEmpty(), qPrintable(a));
            QCOMPARE(other.streams, one.streams);
            const double ratio = double(other.bytes) / double(one.bytes);
            QVERIFY2(ratio > 0.99 && ratio < 1.01,
                     qPrintable(QStringLiteral("%1: %2").arg(planAlone[i].label).arg(ratio)));
            if (a.endsWith(".mp4"))
                QVERIFY2(indexFirst(b), qPrintable(b));
            if (a.endsWith(".jpg"))
                QVERIFY2(meanDifference(QImage(a), QImage(b)) < 1.0, qPrintable(b));
        }
    }

    MediaItem clip(const QString& name, const QStringList& make, qint64 w, qint64 h, bool audio) {
        const QString file = path(name);
        QString error;
        if (!TestSupport::ffmpeg(make + QStringList{file}, &error))
            qWarning("%s", qPrintable(error));
        MediaItem result = item(file, w, h);
        result.kind = MediaKind::video;
        result.duration = 2;
        result.hasAudio = audio;
        return result;
    }

    static TersioSettings quick() {
        TersioSettings settings;
        settings.speed = SpeedPreset::veryfast;
        settings.videoMaxWidth = 160;
        return settings;
    }

  private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void sameFilesAsOneByOne_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("audio") << "audio";
        QTest::newRow("no audio") << "silent";
        QTest::newRow("hdr") << "hdr";
        QTest::newRow("rotated phone clip") << "rotated";
        QTest::newRow("every anchor") << "anchors";
        QTest::newRow("hevc on") << "hevc";
        QTest::newRow("transparent picture") << "picture";
    }
    void sameFilesAsOneByOne() {
        QFETCH(QString, kind);
        const QStringList pattern{"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=2"};
        const QStringList tone{"-f", "lavfi", "-i", "sine=f=440:d=2"};
        const QStringList h264{"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"};
        TersioSettings settings = quick();
        MediaItem source;
        if (kind == "audio" || kind == "anchors" || kind == "hevc") {
            source = clip(kind + ".mp4", pattern + tone + h264 + QStringList{"-c:a", "aac"}, 320,
                          240, true);
        } else if (kind == "silent") {
            source = clip("silent.mov", pattern + h264, 320, 240, false);
        } else if (kind == "hdr") {
            source =
                clip("hlg.mp4",
                     pattern + QStringList{"-c:v", "libx265", "-x265-params", "log-level=error",
                                           "-pix_fmt", "yuv420p10le", "-color_primaries", "bt2020",
                                           "-color_trc", "arib-std-b67", "-colorspace", "bt2020nc"},
                     320, 240, false);
            source.hdr = true;
        } else if (kind == "rotated") {
            const MediaItem flat = clip("flat.mp4", pattern + tone + h264, 320, 240, true);
            source =
                clip("portrait.mp4",
                     {"-i", flat.url.toLocalFile(), "-c", "copy", "-metadata:s:v", "rotate=270"},
                     240, 320, true);
        } else if (kind == "picture") {
            const QString png = path("logo.png");
            QVERIFY(TestSupport::ffmpeg(
                {"-f", "lavfi", "-i",
                 "color=c=red:s=300x200,format=rgba,geq=r='X':g='Y':b=90:a='if(lt(X,120),0,255)'",
                 "-frames:v", "1", png}));
            source = item(png, 300, 200);
            source.hasAlpha = true;
            settings.imageFormat = ImageFormat::jpeg;
            settings.alsoEmitWebP = true;
            settings.imageMaxWidth = 200;
        }
        if (kind == "anchors") {
            settings.makeWebM = false;
            settings.cropVariants.clear();
            for (const CropAnchor anchor : {CropAnchor::center, CropAnchor::top, CropAnchor::bottom,
                                            CropAnchor::left, CropAnchor::right})
                settings.cropVariants
                    << CropVariant::make("c", 3, 4 + int(anchor), 90, anchor, true);
        }
        if (kind == "hevc")
            settings.makeHEVC = true;
        compareBothWays(source, settings, kind);
    }

    // The poster comparison has teeth: the frame at the seek time is not the first frame.
    void posterIsNotTheFirstFrame() {
        const QString first = path("first.jpg");
        QVERIFY(TestSupport::ffmpeg({"-i", path("audio.mp4"), "-frames:v", "1", "-vf",
                                     "scale=160:-2:flags=lanczos", "-q:v", "3", first}));
        QVERIFY(meanDifference(QImage(first), QImage(path("audio-fused/audio-poster.jpg"))) > 3);
    }
};

QTEST_GUILESS_MAIN(TestFusedRuns)
#include "test_fused_runs.moc"
