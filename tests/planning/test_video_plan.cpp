#include "PlanTestSupport.h"
#include "TestSupport.h"

#include <QtTest>

using TestSupport::row;

using namespace PlanTestSupport;
using TestSupport::words;

namespace {

const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/out"));
const QString dot = QStringLiteral(" \u00B7 ");

MediaItem clip(const QString& path, qint64 width, qint64 height, double duration,
               bool audio = true) {
    MediaItem result = item(path, width, height);
    result.kind = MediaKind::video;
    result.duration = duration;
    result.hasAudio = audio;
    return result;
}

QList<PlannedOutput> plan(const MediaItem& source, const TersioSettings& settings = {},
                          const EncoderCaps& encoders = allCaps()) {
    return CommandBuilder::videoPlan(source, settings, encoders, folder);
}

QStringList filters(const PlannedOutput& output) {
    const QString vf = valueAfter(output.arguments, "-vf");
    return vf.isNull() ? QStringList() : vf.split(',');
}

const PlannedOutput* find(const QList<PlannedOutput>& outputs, const QString& label) {
    for (const PlannedOutput& output : outputs)
        if (output.label == label)
            return &output;
    return nullptr;
}

CropVariant crop(qint64 w, qint64 h, qint64 target, CropAnchor anchor = CropAnchor::center) {
    return CropVariant::make("c", w, h, target, anchor, true);
}

} // namespace

class TestVideoPlan : public QObject {
    Q_OBJECT
  private slots:
    void defaultsOnA4kClip() {
        const MediaItem source = clip("/v/clip.mov", 3840, 2160, 20);
        const auto result = plan(source);
        QCOMPARE(labels(result),
                 (QStringList{"MP4" + dot + "H.264", "WebM" + dot + "VP9", "Poster frame",
                              "MP4" + dot + "9x16", "WebM" + dot + "9x16", "MP4" + dot + "1x1",
                              "WebM" + dot + "1x1"}));
        QCOMPARE(fileNames(result),
                 (QStringList{"clip.mp4", "clip.webm", "clip-poster.jpg", "clip-9x16.mp4",
                              "clip-9x16.webm", "clip-1x1.mp4", "clip-1x1.webm"}));
        for (const PlannedOutput& output : result) {
            QCOMPARE(output.arguments.last(), output.destination.toLocalFile());
            QCOMPARE(output.progressDuration, output.label == "Poster frame" ? 0.0 : 20.0);
        }
        // Only the poster is re-packed after ffmpeg; videos have no post-steps.
        const QList<PostStep> repack{{PostStep::Kind::jpegRepack, false, false}};
        for (const PlannedOutput& output : result)
            QCOMPARE(output.post, output.label == "Poster frame" ? repack : QList<PostStep>());

        QCOMPARE(result[0].arguments,
                 progressHeader("/v/clip.mov") +
                     words("-vf scale=1920:-2:flags=lanczos -c:v libx264 -preset medium -crf 24 "
                           "-profile:v high -pix_fmt yuv420p -movflags +faststart -c:a aac "
                           "-b:a 128k -ac 2 /out/clip.mp4"));
        QCOMPARE(result[1].arguments,
                 progressHeader("/v/clip.mov") +
                     words("-vf scale=1920:-2:flags=lanczos -c:v libvpx-vp9 -crf 33 -b:v 0 "
                           "-row-mt 1 -deadline good -cpu-used 3 -pix_fmt yuv420p -c:a libopus "
                           "-b:a 128k -ac 2 /out/clip.webm"));
        QCOMPARE(result[2].arguments,
                 words("-hide_banner -nostdin -y -loglevel error -ss 2.000 -i /v/clip.mov -vf "
                       "scale=1920:-2:flags=lanczos -frames:v 1 -c:v mjpeg -q:v 3 -pix_fmt "
                       "yuvj420p /out/clip-poster.jpg"));
        for (int i : {3, 4})
            QCOMPARE(filters(result[i]),
                     (QStringList{"crop=1214:2160:1313:0", "scale=720:-2:flags=lanczos"}));
        for (int i : {5, 6})
            QCOMPARE(filters(result[i]),
                     (QStringList{"crop=2160:2160:840:0", "scale=800:-2:flags=lanczos"}));
    }

    void hevcFollowsEachH264() {
        TersioSettings settings;
        settings.makeHEVC = true;
        const auto result = plan(clip("/v/clip.mov", 3840, 2160, 20), settings);
        const QString hevc = "MP4" + dot + "HEVC";
        QCOMPARE(labels(result),
                 (QStringList{"MP4" + dot + "H.264", hevc, "WebM" + dot + "VP9", "Poster frame",
                              "MP4" + dot + "9x16", hevc + dot + "9x16", "WebM" + dot + "9x16",
                              "MP4" + dot + "1x1", hevc + dot + "1x1", "WebM" + dot + "1x1"}));
        QCOMPARE(fileNames(result).mid(4, 3),
                 (QStringList{"clip-9x16.mp4", "clip-9x16-hevc.mp4", "clip-9x16.webm"}));
        QCOMPARE(result[1].arguments,
                 progressHeader("/v/clip.mov") +
                     words("-vf scale=1920:-2:flags=lanczos -c:v libx265 -preset medium -crf 26 "
                           "-pix_fmt yuv420p -tag:v hvc1 -movflags +faststart -c:a aac -b:a 128k "
                           "-ac 2 /out/clip-hevc.mp4"));
    }

    void posterSeek_data() {
        QTest::addColumn<double>("duration");
        QTest::addColumn<std::optional<double>>("chosen");
        QTest::addColumn<QString>("seek");
        const std::optional<double> none;
        row("20 s", 20.0, none, "2.000");
        row("45 s", 45.0, none, "3.000");
        row("4.2 s", 4.2, none, "0.420");
        row("unprobed", 0.0, none, "");
        row("chosen later", 10.0, std::optional(5.0), "5.000");
        row("chosen at start", 10.0, std::optional(0.0), "");
        row("chosen, duration lost", 0.0, std::optional(2.4), "");
    }
    void posterSeek() {
        QFETCH(double, duration);
        QFETCH(std::optional<double>, chosen);
        QFETCH(QString, seek);
        MediaItem item = clip("/v/a.b.mov", 1280, 720, duration);
        item.posterTime = chosen;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto result = plan(item);
        QLocale::setDefault(QLocale::c());
        const PlannedOutput* poster = find(result, "Poster frame");
        QVERIFY(poster);
        QCOMPARE(poster->destination.fileName(), QStringLiteral("a.b-poster.jpg"));
        const QString ss = seek.isEmpty() ? QString() : " -ss " + seek;
        const QStringList expected = words("-hide_banner -nostdin -y -loglevel error" + ss +
                                           " -i /v/a.b.mov -frames:v 1 -c:v mjpeg -q:v 3 "
                                           "-pix_fmt yuvj420p /out/a.b-poster.jpg");
        QCOMPARE(poster->arguments, expected);
    }

    void audioAndSpeed_data() {
        QTest::addColumn<bool>("hasAudio");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("speed");
        QTest::addColumn<QStringList>("encoders");
        QTest::addColumn<QStringList>("h264Tail");
        QTest::addColumn<QStringList>("webmTail");
        const QStringList all = allCaps().names.values();
        QStringList noOpus = all;
        noOpus.removeAll("libopus");
        const int keep = int(AudioMode::keep), mono = int(AudioMode::mono);
        const int medium = int(SpeedPreset::medium);
        row("no audio", false, keep, medium, all, QStringList{"-an"}, QStringList{"-an"});
        row("removed", true, int(AudioMode::remove), medium, all, QStringList{"-an"},
            QStringList{"-an"});
        row("mono, no opus", true, mono, medium, noOpus,
            QStringList{"-c:a", "aac", "-b:a", "96k", "-ac", "1"},
            QStringList{"-c:a", "libvorbis", "-b:a", "96k", "-ac", "1"});
        for (int s : {int(SpeedPreset::veryfast), int(SpeedPreset::faster), int(SpeedPreset::slow)})
            QTest::addRow("speed %d", s)
                << true << keep << s << all << QStringList{"-c:a", "aac", "-b:a", "96k", "-ac", "2"}
                << QStringList{"-c:a", "libopus", "-b:a", "96k", "-ac", "2"};
    }
    void audioAndSpeed() {
        QFETCH(bool, hasAudio);
        QFETCH(int, mode);
        QFETCH(int, speed);
        QFETCH(QStringList, encoders);
        QFETCH(QStringList, h264Tail);
        QFETCH(QStringList, webmTail);
        TersioSettings settings;
        settings.audio = AudioMode(mode);
        settings.audioKbps = 96;
        settings.speed = SpeedPreset(speed);
        settings.makeHEVC = true;
        const auto result =
            plan(clip("/v/c.mp4", 1280, 720, 10, hasAudio), settings, caps(encoders));
        auto tail = [](const PlannedOutput& output, qsizetype n) {
            return output.arguments.mid(output.arguments.size() - 1 - n, n);
        };
        QCOMPARE(tail(result[0], h264Tail.size()), h264Tail);
        QCOMPARE(tail(result[1], h264Tail.size()), h264Tail);
        QCOMPARE(tail(result[2], webmTail.size()), webmTail);
        const QString preset = Options::rawValue(SpeedPreset(speed));
        QCOMPARE(valueAfter(result[0].arguments, "-preset"), preset);
        QCOMPARE(valueAfter(result[1].arguments, "-preset"), preset);
        QCOMPARE(valueAfter(result[2].arguments, "-cpu-used"),
                 SpeedPreset(speed) == SpeedPreset::slow ? "1" : "3");
    }

    void narrowSourceKeepsItsSizeButCropsScale() {
        const auto result = plan(clip("/v/c.mov", 1280, 720, 10));
        for (int i : {0, 1, 2})
            QVERIFY(!result[i].arguments.contains("-vf"));
        QCOMPARE(filters(result[3]),
                 (QStringList{"crop=404:720:438:0", "scale=404:-2:flags=lanczos"}));
    }

    void unprobedItem() {
        const auto result = plan(clip("/v/c.mov", 0, 0, 0, false));
        QCOMPARE(labels(result),
                 (QStringList{"MP4" + dot + "H.264", "WebM" + dot + "VP9", "Poster frame"}));
        for (const PlannedOutput& output : result) {
            QCOMPARE(filters(output), QStringList{"scale=1920:-2:flags=lanczos"});
            QVERIFY(!output.arguments.contains("-ss"));
            QCOMPARE(output.progressDuration, 0.0);
        }
    }

    void switchesAndEncoders() {
        TersioSettings settings;
        settings.cropVariants.clear();
        const MediaItem source = clip("/v/c.mov", 1280, 720, 10);
        QCOMPARE(labels(plan(source, settings, caps({"libvpx-vp9", "libx265"}))),
                 (QStringList{"WebM" + dot + "VP9", "Poster frame"}));
        settings.makeH264 = settings.makeWebM = settings.makePoster = false;
        QVERIFY(plan(source, settings).isEmpty());
        settings.makePoster = true;
        QCOMPARE(labels(plan(source, settings, caps({}))), QStringList{"Poster frame"});
    }

    void cropWindows_data() {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<CropVariant>("crop");
        QTest::addColumn<QString>("cropFilter");
        QTest::addColumn<QString>("scaleFilter");
        row("9:16 of 1080p", qint64(1920), qint64(1080), crop(9, 16, 720), "crop=606:1080:657:0",
            "scale=606:-2:flags=lanczos");
        row("1:1 of 1080p", qint64(1920), qint64(1080), crop(1, 1, 800), "crop=1080:1080:420:0",
            "scale=800:-2:flags=lanczos");
        row("16:9 of 1080p", qint64(1920), qint64(1080), crop(16, 9, 1920), "crop=1920:1080:0:0",
            "scale=1920:-2:flags=lanczos");
        row("right, odd leftover", qint64(1921), qint64(1080), crop(9, 16, 720, CropAnchor::right),
            "crop=606:1080:1315:0", "scale=606:-2:flags=lanczos");
        row("never enlarged", qint64(640), qint64(360), crop(1, 1, 800), "crop=360:360:140:0",
            "scale=360:-2:flags=lanczos");
        row("odd target", qint64(1920), qint64(1080), crop(1, 1, 801), "crop=1080:1080:420:0",
            "scale=800:-2:flags=lanczos");
        // Horizontal leftover 501, vertical 0.
        const CropAnchor anchors[] = {CropAnchor::center, CropAnchor::top, CropAnchor::bottom,
                                      CropAnchor::left, CropAnchor::right};
        const char* wide[] = {"250:0", "250:0", "250:0", "0:0", "501:0"};
        // Vertical leftover 501, horizontal 0.
        const char* tall[] = {"0:250", "0:0", "0:501", "0:250", "0:250"};
        for (int i = 0; i < 5; ++i) {
            const QString name = Options::rawValue(anchors[i]);
            QTest::addRow("wide %s", qPrintable(name))
                << qint64(1001) << qint64(1000) << crop(1, 2, 500, anchors[i])
                << QStringLiteral("crop=500:1000:%1").arg(wide[i]) << "scale=500:-2:flags=lanczos";
            QTest::addRow("tall %s", qPrintable(name))
                << qint64(1000) << qint64(1001) << crop(2, 1, 500, anchors[i])
                << QStringLiteral("crop=1000:500:%1").arg(tall[i]) << "scale=500:-2:flags=lanczos";
        }
    }
    void cropWindows() {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(CropVariant, crop);
        QFETCH(QString, cropFilter);
        QFETCH(QString, scaleFilter);
        TersioSettings settings;
        settings.cropVariants = {crop};
        const auto result = plan(clip("/v/c.mov", width, height, 5), settings);
        QCOMPARE(result.size(), 5);
        QCOMPARE(filters(result[3]), (QStringList{cropFilter, scaleFilter}));
        QCOMPARE(filters(result[4]), (QStringList{cropFilter, scaleFilter}));
    }

    // Ratios with a term that is not positive have no window; the other crops still run.
    void unusableRatiosAreSkipped() {
        TersioSettings settings;
        settings.cropVariants = {crop(0, 16, 720),  crop(9, 0, 720), crop(0, 0, 720),
                                 crop(-9, 16, 720), crop(4, 5, 800), crop(9, -16, 720)};
        const auto result = plan(clip("/v/c.mov", 1920, 1080, 5), settings);
        QCOMPARE(fileNames(result),
                 (QStringList{"c.mp4", "c.webm", "c-poster.jpg", "c-4x5.mp4", "c-4x5.webm"}));
        QCOMPARE(filters(result[3]),
                 (QStringList{"crop=864:1080:528:0", "scale=800:-2:flags=lanczos"}));
        for (const CropVariant& bad : settings.cropVariants.mid(0, 4))
            QVERIFY(!CommandBuilder::cropWindow(bad, 1920, 1080));
    }

    void sameRatioSameNames() {
        TersioSettings settings;
        settings.cropVariants = {crop(9, 16, 720), crop(9, 16, 360)};
        const auto names = fileNames(plan(clip("/v/c.mov", 1920, 1080, 5), settings));
        QCOMPARE(names.mid(3),
                 (QStringList{"c-9x16.mp4", "c-9x16.webm", "c-9x16.mp4", "c-9x16.webm"}));
    }

    void hdrIsToneMappedFirst() {
        const QStringList toneMap{"zscale=t=linear:npl=100",
                                  "format=gbrpf32le",
                                  "zscale=p=bt709",
                                  "tonemap=tonemap=hable:desat=0",
                                  "zscale=t=bt709:m=bt709:r=tv",
                                  "format=yuv420p"};
        TersioSettings settings;
        settings.makeHEVC = true;
        MediaItem source = clip("/v/hdr.mov", 3840, 2160, 20);
        const auto sdr = plan(source, settings);
        source.hdr = true;
        const auto hdr = plan(source, settings);
        QCOMPARE(hdr.size(), sdr.size());
        for (qsizetype i = 0; i < hdr.size(); ++i) {
            QCOMPARE(filters(hdr[i]), toneMap + filters(sdr[i]));
            QStringList rest = hdr[i].arguments;
            rest.remove(rest.indexOf("-vf"), 2);
            QStringList sdrRest = sdr[i].arguments;
            sdrRest.remove(sdrRest.indexOf("-vf"), 2);
            QCOMPARE(rest, sdrRest);
        }
        // With nothing else to filter, the tone map stands alone and takes the usual place.
        source.width = 1280;
        source.height = 720;
        const auto small = plan(source, settings);
        QCOMPARE(filters(small[0]), toneMap);
        QCOMPARE(small[0].arguments.indexOf("-vf"), small[0].arguments.indexOf("-c:v") - 2);
        QCOMPARE(filters(*find(small, "Poster frame")), toneMap);
    }
};

QTEST_GUILESS_MAIN(TestVideoPlan)
#include "test_video_plan.moc"
