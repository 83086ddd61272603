// Output scores and the automatic image quality through AppModel with the real ffmpeg. Scores
// are checked against ffmpeg's own ssim run on a reference built here, independently of the
// planner; the search is watched through a logging stand-in for ffmpeg.
#include "EngineSupport.h"
#include "engine/QualityScore.h"
#include "planning/QualitySearch.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace EngineSupport;
using namespace Qt::StringLiterals;

namespace {

// ffmpeg's ssim "All" of two pictures; `chain` prepares the source, `written` the output. For a
// video, `frames` 0 compares every frame (the mean), and `sourceOptions` come before the source.
double ffmpegSsim(const QString& source, const QString& output, const QString& chain,
                  const QString& written, int frames = 1, const QStringList& sourceOptions = {}) {
    QProcess ffmpeg;
    QStringList arguments{"-hide_banner", "-nostdin"};
    arguments << sourceOptions << "-i" << source << "-i" << output << "-filter_complex"
              << "[0:v]" + chain + ",format=gbrp[a];[1:v]" + written + ",format=gbrp[b];[a][b]ssim";
    if (frames > 0)
        arguments << "-frames:v" << QString::number(frames);
    ffmpeg.start(QStringLiteral("/usr/bin/ffmpeg"), arguments << "-f"
                                                              << "null"
                                                              << "-");
    ffmpeg.waitForFinished(60000);
    static const QRegularExpression all(QStringLiteral("SSIM .*All:([0-9.]+)"));
    const auto match = all.match(QString::fromUtf8(ffmpeg.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

// Composites onto white the way a browser shows a transparent picture on a white page; `side`
// keeps the labels of the two inputs apart.
QString ontoWhite(QSize size, const QString& side) {
    return QStringLiteral("format=rgba[fg%1];color=white:s=%2x%3,format=rgba[bg%1];"
                          "[bg%1][fg%1]overlay=shortest=1")
        .arg(side)
        .arg(size.width())
        .arg(size.height());
}

} // namespace

class TestQualityScore : public QObject {
    Q_OBJECT

    QTemporaryDir media_;

    const QStringList photographs{"Aqua.jpg", "Garden.jpg", "Dune.jpg"};

    QString src(const QString& name) const { return media_.filePath(name); }

    std::unique_ptr<AppModel> run(const QStringList& names, const TersioSettings& settings,
                                  const QString& ffmpeg = QStringLiteral("/usr/bin/ffmpeg")) {
        auto model = makeModel(settings);
        model->setTools(FFmpegTools{ffmpeg, QStringLiteral("/usr/bin/ffprobe"),
                                    QStringLiteral("/usr/bin/pngquant")},
                        debianCaps());
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << QUrl::fromLocalFile(src(name));
        model->add(urls);
        model->start();
        waitForRunEnd(*model, 600000);
        return model;
    }

  private slots:
    void initTestCase() {
        QVERIFY(media_.isValid());
        QString error;
        // A test card, the same as a palette picture and a transparent logo for the scores.
        const QList<std::pair<QString, QString>> stills{
            {"busy.png", "testsrc2=s=640x480"},
            {"grey.png", "testsrc2=s=640x480,format=gray"},
            {"palette.png", "testsrc2=s=640x480:d=0.04,split[a][b];[a]palettegen=reserve_"
                            "transparent=0[p];[b][p]paletteuse"},
            {"logo.png", "testsrc2=s=200x150,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
                         "a='if(lt(X,100),255,128)'"}};
        for (const auto& [name, graph] : stills)
            QVERIFY2(TestSupport::ffmpeg(
                         {"-f", "lavfi", "-i", graph, "-frames:v", "1", "-update", "1", src(name)},
                         &error),
                     qPrintable(error));
        // Three real photographs of different character for the automatic quality: a smooth
        // water drop, a flower before a soft background, and dry grass full of fine detail.
        for (const QString& photo : photographs) {
            const QString from = QStringLiteral("/usr/share/backgrounds/mate/nature/") + photo;
            QVERIFY2(QFile::copy(from, src(photo)),
                     qPrintable(from + " is missing: run scripts/install-deps.sh"));
        }
    }

    void scoreMatchesFFmpegsOwnMeasure_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("output");
        QTest::newRow("JPEG, scaled") << "busy.png"
                                      << "jpeg"
                                      << "busy.jpg";
        QTest::newRow("WebP, scaled") << "busy.png"
                                      << "webp"
                                      << "busy.webp";
        QTest::newRow("AVIF, scaled") << "busy.png"
                                      << "avif"
                                      << "busy.avif";
        QTest::newRow("JPEG, grey") << "grey.png"
                                    << "jpeg"
                                    << "grey.jpg";
        QTest::newRow("JPEG from a palette picture") << "palette.png"
                                                     << "jpeg"
                                                     << "palette.jpg";
        QTest::newRow("PNG with alpha, palette") << "logo.png"
                                                 << "png"
                                                 << "logo.png";
        QTest::newRow("PNG, palette") << "busy.png"
                                      << "png"
                                      << "busy.png";
    }
    void scoreMatchesFFmpegsOwnMeasure() {
        QFETCH(QString, source);
        QFETCH(QString, format);
        QFETCH(QString, output);
        TersioSettings settings;
        settings.imageFormat = *Options::fromRaw<ImageFormat>(format);
        settings.imageMaxWidth = 320;
        const auto model = run({source}, settings);
        const MediaItem* item = itemNamed(*model, source);
        QVERIFY(item && item->status == ItemStatus::done());
        QCOMPARE(item->outputs.size(), 1);
        const ProducedFile& file = item->outputs.first();
        QVERIFY2(file.ssim, "no score");
        QVERIFY(!file.quality); // fixed quality: nothing chosen

        const QString written = src("optimised/" + output);
        const bool alpha = source == QLatin1String("logo.png");
        const QSize size(200, 150);
        // ffmpeg 5.1 reads a palette into planar RGB a level off, into packed RGB exactly.
        const QString chain = alpha ? ontoWhite(size, "s")
                              : source == "palette.png"_L1
                                  ? u"format=rgb24,scale=320:-2:flags=lanczos"_s
                                  : u"scale=320:-2:flags=lanczos"_s;
        const bool png = output.endsWith(".png"_L1);
        if (png)
            QCOMPARE(int(TestSupport::readFile(written).at(25)), 3);
        const double expected = ffmpegSsim(src(source), written, chain,
                                           alpha ? ontoWhite(size, "w")
                                           : png ? u"format=rgb24"_s
                                                 : u"null"_s);
        QVERIFY2(expected > 0.5, qPrintable(QString::number(expected)));
        QVERIFY2(std::abs(*file.ssim - expected) <= 0.002,
                 qPrintable(QStringLiteral("%1 against %2").arg(*file.ssim).arg(expected)));
    }

    // A JPEG written from a JPEG as it is has the decoded source for its reference, which the
    // score reads itself: the source's prepared copy, or the JPEG decoded as ffmpeg would. No
    // ffmpeg is at hand, so a figure can only come from the in-process measure; but a source
    // stored turned is left to ffmpeg, which turns it as it reads it (a square one: compared
    // unturned, it would still give a figure, and a wrong one).
    void unfilteredJpegScoredAgainstItsSource_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("prepared");
        QTest::addColumn<bool>("turned");
        TestSupport::row("4:2:0", u"yuvj420p"_s, false, false);
        TestSupport::row("4:2:2", u"yuvj422p"_s, false, false);
        TestSupport::row("prepared copy", u"yuvj420p"_s, true, false);
        TestSupport::row("stored turned", u"yuvj444p"_s, false, true);
    }
    void unfilteredJpegScoredAgainstItsSource() {
        QFETCH(QString, layout);
        QFETCH(bool, prepared);
        QFETCH(bool, turned);
        const QString source = src("served-" + layout + ".jpg");
        const QString copy = src("served-" + layout + ".pam");
        const QString written = src("served-" + layout + "-out.jpg");
        QString error;
        // A real photograph at an odd width, as a source narrower than the cap stays.
        QVERIFY2(TestSupport::ffmpeg({"-i", src("Garden.jpg"), "-vf",
                                      turned ? u"crop=ih:ih,scale=301:301"_s : u"scale=301:-2"_s,
                                      "-pix_fmt", layout, "-q:v", "3", "-update", "1", source},
                                     &error),
                 qPrintable(error));
        if (turned)
            QVERIFY(TestSupport::runTool("exiftool",
                                         {"-q", "-Orientation#=6", "-overwrite_original", source}));
        QVERIFY2(TestSupport::ffmpeg({"-i", source, "-vf", "lutrgb=r=val*0.9", "-c:v", "pam", "-f",
                                      "image2pipe", copy},
                                     &error),
                 qPrintable(error));
        const QString read = prepared ? copy : source;
        QVERIFY2(TestSupport::ffmpeg({"-i", read, "-q:v", "12", "-update", "1", written}, &error),
                 qPrintable(error));
        PlannedOutput output;
        output.destination = QUrl::fromLocalFile(src("served.jpg"));
        output.arguments = {"-i", source, "-c:v", "mjpeg", "-q:v", "12", src("served.jpg")};
        FFmpegJob job;
        const auto score =
            QualityScore::measure(job, turned ? u"/usr/bin/ffmpeg"_s : src("no-ffmpeg-here"),
                                  output, {written, prepared ? copy : QString(), false, 0, {}});
        QVERIFY(score);
        const double expected = ffmpegSsim(read, written, u"null"_s, u"null"_s);
        QVERIFY2(expected > 0.5 && std::abs(*score - expected) <= 0.0005,
                 qPrintable(QStringLiteral("%1 against %2").arg(*score).arg(expected)));
    }

    // With "Measure video quality" on, a rendition is scored on frames sampled over the clip, the
    // same frames on both sides: a moving clip scores what ffmpeg gives over every frame, which
    // frames one apart would not. The poster is scored against its own frame.
    void videoScoresCompareTheSameFrames() {
        const QString clip = src("moving.mp4");
        QString error;
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=640x360:r=25:d=4", "-c:v",
                                      "libx264", "-pix_fmt", "yuv420p", "-crf", "10", clip},
                                     &error),
                 qPrintable(error));
        TersioSettings settings;
        settings.measureVideoQuality = true;
        settings.makeHEVC = settings.makeWebM = false;
        settings.cropVariants.clear();
        settings.videoMaxWidth = 320;
        const auto model = run({"moving.mp4"}, settings);
        const MediaItem* item = itemNamed(*model, "moving.mp4");
        QVERIFY(item && item->status == ItemStatus::done());
        QCOMPARE(item->outputs.size(), 2);
        const QString scaled = u"scale=320:-2:flags=lanczos"_s;
        const QString folder = src("optimised/");
        const double every = ffmpegSsim(clip, folder + "moving.mp4", scaled, u"null"_s, 0);
        const double shifted =
            ffmpegSsim(clip, folder + "moving.mp4",
                       "trim=start_frame=1,setpts=PTS-STARTPTS," + scaled, u"null"_s, 0);
        QVERIFY2(every > 0.5 && every - shifted > 0.02,
                 qPrintable(QStringLiteral("%1, shifted %2").arg(every).arg(shifted)));
        const std::optional<double> video = item->outputs.at(0).ssim;
        QVERIFY2(video && std::abs(*video - every) <= 0.005,
                 qPrintable(QStringLiteral("%1 against %2").arg(video.value_or(-1)).arg(every)));
        // The poster is taken at a tenth of the clip.
        const double still =
            ffmpegSsim(clip, folder + "moving-poster.jpg", scaled, u"null"_s, 1, {"-ss", "0.400"});
        const std::optional<double> poster = item->outputs.at(1).ssim;
        QVERIFY2(poster && std::abs(*poster - still) <= 0.002,
                 qPrintable(QStringLiteral("%1 against %2").arg(poster.value_or(-1)).arg(still)));
    }

    void automaticQualityReachesItsTargetInFiveEncodes() {
        // A stand-in that logs the file each real ffmpeg run writes (its last argument).
        const QString log = src("ffmpeg.log");
        const QString wrapper = TestSupport::writeScript(
            src("ffmpeg"), "for a; do last=$a; done\nprintf '%s\\n' \"$last\" >> '" + log.toUtf8() +
                               "'\nexec /usr/bin/ffmpeg \"$@\"\n");
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        settings.alsoEmitWebP = true;
        settings.imageQualityAuto = true;
        settings.imageQualityTarget = QualityTarget::close;
        settings.imageMaxWidth = 1280;
        const QStringList sources = photographs;
        const auto model = run(sources, settings, wrapper);
        const QStringList writes = logLines(log);

        QHash<QString, int> quality;
        for (const QString& source : sources) {
            const MediaItem* item = itemNamed(*model, source);
            QVERIFY(item && item->status == ItemStatus::done());
            QCOMPARE(item->outputs.size(), 2);
            for (const ProducedFile& file : item->outputs) {
                const QString name = file.url.fileName();
                QVERIFY2(file.quality && file.ssim, qPrintable(name));
                QVERIFY2(*file.ssim >= 0.96 && file.note.isEmpty(),
                         qPrintable(QStringLiteral("%1: %2 at %3")
                                        .arg(name)
                                        .arg(*file.ssim)
                                        .arg(*file.quality)));
                const QString staged =
                    QFileInfo(file.url.toLocalFile()).path() + "/." + name + ".tersio-";
                const auto encodes =
                    writes
                        .filter(QRegularExpression(QStringLiteral("^") +
                                                   QRegularExpression::escape(staged)))
                        .size();
                QVERIFY2(encodes >= 2 && encodes <= 5, qPrintable(name));
                quality[name] = *file.quality;
            }
        }
        QVERIFY(quality["Aqua.jpg"] < quality["Dune.jpg"]);
        QVERIFY(quality["Aqua.webp"] < quality["Dune.webp"]);
    }

    // Bisection without encodes: scores fall with the quality; the search lands on the lowest
    // passing value, and goes to the top when nothing lower passes.
    void bisectionFindsTheLowestPassingQuality_data() {
        QTest::addColumn<int>("threshold"); // qualities at or above it pass
        QTest::addColumn<int>("kept");
        QTest::newRow("easy") << 12 << 14;
        QTest::newRow("middling") << 60 << 60;
        QTest::newRow("hard") << 97 << 100;
        QTest::newRow("never") << 101 << -1;
    }
    void bisectionFindsTheLowestPassingQuality() {
        QFETCH(int, threshold);
        QFETCH(int, kept);
        QualitySearch::Bisection search(QualitySearch::Range{});
        QList<int> tried;
        while (const auto q = search.next()) {
            tried << *q;
            search.record(*q, *q >= threshold ? 0.97 : 0.90);
        }
        QVERIFY(tried.size() <= 5);
        QCOMPARE(search.best().value_or(-1), kept);
        if (kept < 0)
            QCOMPARE(tried.last(), 100);
    }
};

QTEST_GUILESS_MAIN(TestQualityScore)
#include "test_quality_score.moc"
