#include "PlanTestSupport.h"

#include <QtTest>

#include "TestSupport.h"
#include <cmath>
#include <limits>

using TestSupport::row;

using namespace PlanTestSupport;

namespace {

const QString out = QStringLiteral("/out");
const QUrl folder = QUrl::fromLocalFile(out);

QList<PlannedOutput> plan(const MediaItem& source, const TersioSettings& settings,
                          const EncoderCaps& encoders = allCaps()) {
    return CommandBuilder::imagePlan(source, settings, encoders, folder);
}

TersioSettings target(ImageFormat format, bool webpCopy = false) {
    TersioSettings settings;
    settings.imageFormat = format;
    settings.alsoEmitWebP = webpCopy;
    return settings;
}

} // namespace

class TestImagePlan : public QObject {
    Q_OBJECT
  private slots:
    void qualityMapping_data() {
        QTest::addColumn<double>("q");
        QTest::addColumn<int>("best");
        QTest::addColumn<int>("worst");
        QTest::addColumn<int>("value");
        const struct {
            const char* use;
            int best, worst, q0, q50, q62, q100;
        } scales[] = {{"h264", 18, 34, 34, 26, 24, 18},
                      {"hevc", 20, 36, 36, 28, 26, 20},
                      {"vp9", 26, 44, 44, 35, 33, 26},
                      {"jpeg", 2, 31, 31, 17, 13, 2},
                      {"av1", 20, 46, 46, 33, 30, 20}};
        for (const auto& s : scales) {
            const std::pair<double, int> points[] = {{0, s.q0},     {50, s.q50},   {62, s.q62},
                                                     {100, s.q100}, {250, s.q100}, {-5, s.q0}};
            for (const auto& [q, value] : points)
                QTest::addRow("%s q=%g", s.use, q) << q << s.best << s.worst << value;
        }
        row("jpeg q=78", 78.0, 2, 31, 8);
        row("av1 q=78", 78.0, 20, 46, 26);
        row("nan", std::numeric_limits<double>::quiet_NaN(), 18, 34, 34);
        row("half below zero", 100.0, -3, 0, -3);
        row("negative half rounds away", 50.0, -3, 0, -2);
    }
    void qualityMapping() {
        QFETCH(double, q);
        QFETCH(int, best);
        QFETCH(int, worst);
        QFETCH(int, value);
        QCOMPARE(CommandBuilder::crf(q, best, worst), value);
    }

    void pngSourceCappedAndStripped() {
        MediaItem photo = item("/pics/Photo.PNG", 4000, 3000);
        const auto result = plan(photo, TersioSettings());
        QCOMPARE(result.size(), 1);
        QCOMPARE(result[0].label, QStringLiteral("PNG"));
        QCOMPARE(result[0].destination, QUrl::fromLocalFile("/out/Photo.png"));
        QCOMPARE(result[0].progressDuration, 0.0);
        QCOMPARE(result[0].arguments,
                 (quietHeader("/pics/Photo.PNG") +
                  QStringList{"-vf", "scale=2400:-2:flags=lanczos", "-map_metadata", "-1",
                              "-frames:v", "1", "-c:v", "png", "-compression_level", "9", "-pred",
                              "mixed", "/out/Photo.png"}));

        // Not wider than the cap: no filter pair; unmeasured: the cap applies.
        photo.width = 1200;
        QVERIFY(!plan(photo, TersioSettings())[0].arguments.contains("-vf"));
        photo.width = 0;
        QCOMPARE(valueAfter(plan(photo, TersioSettings())[0].arguments, "-vf"),
                 QStringLiteral("scale=2400:-2:flags=lanczos"));

        // Without stripping only the metadata pair goes.
        TersioSettings keep;
        keep.stripMetadata = false;
        photo.width = 4000;
        QStringList expected = result[0].arguments;
        expected.remove(expected.indexOf("-map_metadata"), 2);
        QCOMPARE(plan(photo, keep)[0].arguments, expected);
    }

    void widthCap_data() {
        QTest::addColumn<qint64>("maxWidth");
        QTest::addColumn<bool>("limit");
        QTest::addColumn<QString>("filter");
        row("odd cap", qint64(1001), true, "scale=1000:-2:flags=lanczos");
        row("cap 1", qint64(1), true, "scale=2:-2:flags=lanczos");
        row("cap 0", qint64(0), true, "");
        row("negative cap", qint64(-5), true, "");
        row("cap off", qint64(1000), false, "");
    }
    void widthCap() {
        QFETCH(qint64, maxWidth);
        QFETCH(bool, limit);
        QFETCH(QString, filter);
        TersioSettings settings = target(ImageFormat::jpeg);
        settings.imageMaxWidth = maxWidth;
        settings.imageLimitWidth = limit;
        QCOMPARE(valueAfter(plan(item("/p/a.jpg", 3000, 2000), settings)[0].arguments, "-vf"),
                 filter);
    }

    void targetFormats_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("webpCopy");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("names");
        const int match = int(ImageFormat::matchSource);
        row("heic", "x.heic", match, false, QStringList{"JPEG"}, QStringList{"x.jpg"});
        row("jpeg keeps jpg", "photo.jpeg", match, false, QStringList{"JPEG"},
            QStringList{"photo.jpg"});
        row("tiff", "t.TIFF", match, false, QStringList{"JPEG"}, QStringList{"t.jpg"});
        row("no extension", "scan", match, false, QStringList{"JPEG"}, QStringList{"scan.jpg"});
        row("webp, no duplicate", "w.WebP", match, true, QStringList{"WebP"},
            QStringList{"w.webp"});
        row("avif", "v.avif", match, false, QStringList{"AVIF"}, QStringList{"v.avif"});
        row("jpeg and copy", "p.png", int(ImageFormat::jpeg), true, QStringList{"JPEG", "WebP"},
            QStringList{"p.jpg", "p.webp"});
        row("png and copy", "a.b.gif", int(ImageFormat::png), true, QStringList{"PNG", "WebP"},
            QStringList{"a.b.png", "a.b.webp"});
    }
    void targetFormats() {
        QFETCH(QString, source);
        QFETCH(int, format);
        QFETCH(bool, webpCopy);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, names);
        const auto result =
            plan(item("/in/" + source, 4000, 3000), target(ImageFormat(format), webpCopy));
        QCOMPARE(PlanTestSupport::labels(result), labels);
        QCOMPARE(fileNames(result), names);
        for (const PlannedOutput& output : result)
            QCOMPARE(output.arguments.last(), output.destination.toLocalFile());
    }

    void encoderArguments() {
        const MediaItem source = item("/in/x.heic", 1000, 800);
        const QStringList lead = quietHeader("/in/x.heic") + QStringList{"-map_metadata", "-1"};
        QCOMPARE(plan(source, TersioSettings())[0].arguments,
                 (lead + QStringList{"-frames:v", "1", "-c:v", "mjpeg", "-q:v", "8", "-pix_fmt",
                                     "yuvj420p", "/out/x.jpg"}));
        TersioSettings webp = target(ImageFormat::webp);
        webp.imageQuality = 62.5;
        QCOMPARE(plan(source, webp)[0].arguments,
                 (lead + QStringList{"-c:v", "libwebp", "-quality", "63", "-compression_level", "6",
                                     "-preset", "picture", "/out/x.webp"}));
    }

    void missingEncodersDropTheirFormat() {
        const MediaItem source = item("/in/x.png", 1000, 800);
        QVERIFY(plan(source, target(ImageFormat::webp), caps({"libsvtav1"})).isEmpty());
        QVERIFY(plan(source, target(ImageFormat::avif), caps({"libwebp"})).isEmpty());
        QCOMPARE(labels(plan(source, target(ImageFormat::avif, true), caps({"libwebp"}))),
                 QStringList{"WebP"});
        QCOMPARE(labels(plan(source, target(ImageFormat::jpeg, true), caps({}))),
                 QStringList{"JPEG"});
    }

    void av1Encoder_data() {
        QTest::addColumn<QStringList>("encoders");
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<qint64>("maxWidth");
        QTest::addColumn<QString>("chosen");
        const QStringList both{"libsvtav1", "libaom-av1"};
        row("both, even photo", both, qint64(1000), qint64(800), qint64(2400), "libsvtav1");
        row("only aom", QStringList{"libaom-av1"}, qint64(1000), qint64(800), qint64(2400),
            "libaom-av1");
        row("odd width", both, qint64(101), qint64(78), qint64(2400), "libaom-av1");
        row("odd height", both, qint64(100), qint64(77), qint64(2400), "libaom-av1");
        row("small", both, qint64(40), qint64(40), qint64(2400), "libaom-av1");
        row("64 square", both, qint64(64), qint64(64), qint64(2400), "libsvtav1");
        row("unmeasured", both, qint64(0), qint64(0), qint64(2400), "libaom-av1");
        row("scaled, odd source", both, qint64(3001), qint64(2001), qint64(2400), "libsvtav1");
        row("scaled to a sliver", both, qint64(4000), qint64(100), qint64(2400), "libaom-av1");
        row("scaled to exactly 64", both, qint64(4000), qint64(256), qint64(1000), "libsvtav1");
        row("scaled too narrow", both, qint64(4000), qint64(4000), qint64(63), "libaom-av1");
        row("only svt, unsuitable", QStringList{"libsvtav1"}, qint64(41), qint64(41), qint64(2400),
            "libsvtav1");
    }
    void av1Encoder() {
        QFETCH(QStringList, encoders);
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(qint64, maxWidth);
        QFETCH(QString, chosen);
        TersioSettings settings = target(ImageFormat::avif);
        settings.imageMaxWidth = maxWidth;
        const auto result = plan(item("/in/a.png", width, height), settings, caps(encoders));
        QCOMPARE(result.size(), 1);
        const QStringList& arguments = result[0].arguments;
        const qsizetype at = arguments.indexOf("-frames:v");
        const QStringList tail = arguments.mid(at, arguments.size() - at - 1);
        if (chosen == "libsvtav1")
            QCOMPARE(tail, (QStringList{"-frames:v", "1", "-c:v", "libsvtav1", "-crf", "26",
                                        "-preset", "6"}));
        else
            QCOMPARE(tail, (QStringList{"-frames:v", "1", "-c:v", "libaom-av1", "-crf", "26",
                                        "-b:v", "0", "-cpu-used", "6", "-still-picture", "1"}));
    }

    // Transparent pictures are flattened onto white for the formats that would lose alpha.
    void transparency_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("width");
        QTest::addColumn<QString>("filter");
        const QString flatten = "format=rgba,split[bg][fg];[bg]lutrgb=r=255:g=255:b=255:a=255["
                                "white];[white][fg]overlay=format=auto";
        row("jpeg", int(ImageFormat::jpeg), qint64(800), flatten);
        row("jpeg capped", int(ImageFormat::jpeg), qint64(4000),
            "scale=2400:-2:flags=lanczos," + flatten);
        row("avif", int(ImageFormat::avif), qint64(800), flatten);
        row("png keeps alpha", int(ImageFormat::png), qint64(800), "");
        row("webp keeps alpha", int(ImageFormat::webp), qint64(800), "");
    }
    void transparency() {
        QFETCH(int, format);
        QFETCH(qint64, width);
        QFETCH(QString, filter);
        MediaItem source = item("/in/logo.png", width, 600);
        const TersioSettings settings = target(ImageFormat(format));
        const QStringList opaque = plan(source, settings)[0].arguments;
        source.hasAlpha = true;
        const QStringList clear = plan(source, settings)[0].arguments;
        QCOMPARE(valueAfter(clear, "-vf"), filter);
        if (filter.isEmpty()) {
            QCOMPARE(clear, opaque);
        } else {
            QStringList withoutFilter = clear;
            withoutFilter.remove(withoutFilter.indexOf("-vf"), 2);
            QStringList opaqueWithout = opaque;
            if (opaqueWithout.contains("-vf"))
                opaqueWithout.remove(opaqueWithout.indexOf("-vf"), 2);
            QCOMPARE(withoutFilter, opaqueWithout);
        }
    }

    // Only an output of the source's own format and size may fall back on the source; every
    // JPEG and PNG is re-packed, and a grey source keeps one channel.
    void postSteps_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<qint64>("width");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("strip");
        QTest::addColumn<QStringList>("post");
        const int match = int(ImageFormat::matchSource);
        const QStringList jpeg{"jpeg-lossless-progressive"};
        const QStringList png{"png-palette", "png-lossless-squeeze"};
        row("jpeg kept size", "a.JPEG", qint64(1200), match, false, true,
            jpeg + QStringList{"source-if-smaller"});
        row("jpeg scaled", "a.jpg", qint64(4000), match, false, true, jpeg);
        row("jpeg unmeasured", "a.jpg", qint64(0), match, false, true, jpeg);
        row("grey jpeg", "g.jpg", qint64(800), match, true, true,
            QStringList{"jpeg-lossless-progressive-grey", "source-if-smaller-grey"});
        row("grey png", "g.png", qint64(800), match, true, true,
            png + QStringList{"source-if-smaller"});
        row("png kept size", "s.png", qint64(800), match, false, true,
            png + QStringList{"source-if-smaller"});
        row("png keeping metadata", "s.png", qint64(800), match, false, false,
            QStringList{"png-palette-keep-metadata", "png-lossless-squeeze-keep-metadata",
                        "source-if-smaller-keep-metadata"});
        row("heic to jpeg", "x.heic", qint64(800), match, false, true, jpeg);
        row("tiff to jpeg", "x.tiff", qint64(800), match, false, true, jpeg);
        row("png to jpeg", "x.png", qint64(800), int(ImageFormat::jpeg), false, true, jpeg);
        row("jpeg to png", "x.jpg", qint64(800), int(ImageFormat::png), false, true, png);
        row("jpeg to webp", "x.jpg", qint64(800), int(ImageFormat::webp), false, true,
            QStringList{});
    }
    void postSteps() {
        QFETCH(QString, source);
        QFETCH(qint64, width);
        QFETCH(int, format);
        QFETCH(bool, grey);
        QFETCH(bool, strip);
        QFETCH(QStringList, post);
        MediaItem photo = item("/in/" + source, width, 600);
        photo.grey = grey;
        TersioSettings settings = target(ImageFormat(format));
        settings.stripMetadata = strip;
        const auto result = plan(photo, settings);
        QCOMPARE(result.size(), 1);
        QStringList names;
        for (const PostStep& step : result[0].post)
            names << step.name();
        QCOMPARE(names, post);
    }

    void gifToWebpLoops() {
        const QStringList webp{"-c:v", "libwebp", "-quality", "78", "-compression_level",
                               "6",    "-preset", "picture"};
        const auto animated = plan(item("/in/Anim.GIF", 300, 200), target(ImageFormat::jpeg, true));
        QCOMPARE(animated[1].arguments,
                 (quietHeader("/in/Anim.GIF") + QStringList{"-map_metadata", "-1"} + webp +
                  QStringList{"-loop", "0", "/out/Anim.webp"}));
        QVERIFY(!animated[0].arguments.contains("-loop"));
        const auto still = plan(item("/in/gif.png", 300, 200), target(ImageFormat::webp));
        QVERIFY(!still[0].arguments.contains("-loop"));
    }

    // ffmpeg would read "%d" in an image name as a frame number and write another file.
    void percentNamesAreWrittenLiterally() {
        const auto result =
            plan(item("/in/50%d off.png", 300, 200), target(ImageFormat::png, true));
        QCOMPARE(result[0].arguments.mid(result[0].arguments.size() - 5),
                 (QStringList{"-update", "1", "-pred", "mixed", "/out/50%d off.png"}));
        QCOMPARE(result[1].arguments.mid(result[1].arguments.size() - 3),
                 (QStringList{"-f", "webp", "/out/50%d off.webp"}));
        const auto jpeg = plan(item("/in/take%02d.png", 300, 200), target(ImageFormat::jpeg));
        QCOMPARE(valueAfter(jpeg[0].arguments, "-update"), QStringLiteral("1"));
        QCOMPARE(jpeg[0].arguments.last(), QStringLiteral("/out/take%02d.jpg"));
    }
};

QTEST_GUILESS_MAIN(TestImagePlan)
#include "test_image_plan.moc"
