// Planned argument lists run through the real ffmpeg on tiny generated media.
#include "PlanTestSupport.h"
#include "TestSupport.h"

#include <QImage>
#include <QtTest>

using namespace PlanTestSupport;

class TestPlanRuns : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    QString path(const QString& name) const { return tmp.filePath(name); }
    QUrl outFolder() const { return QUrl::fromLocalFile(tmp.filePath("out")); }

    static bool run(const PlannedOutput& output, QString* error) {
        return TestSupport::runTool(QStringLiteral("/usr/bin/ffmpeg"), output.arguments, error);
    }

    // Left 40 % fully transparent (black, as most encoders store it), the rest opaque dark red.
    QString transparentPng(const QString& name, int width, int height) {
        const QString file = path(name);
        const QString source =
            QStringLiteral("color=c=red:s=%1x%2,format=rgba,geq=r='if(lt(X,W*0.4),0,200)':"
                           "g='if(lt(X,W*0.4),0,30)':b='if(lt(X,W*0.4),0,30)':"
                           "a='if(lt(X,W*0.4),0,255)'")
                .arg(width)
                .arg(height);
        QString error;
        if (!TestSupport::ffmpeg({"-f", "lavfi", "-i", source, "-frames:v", "1", file}, &error))
            qWarning("%s", qPrintable(error));
        return file;
    }

    // Any picture ffmpeg can read, decoded for QImage.
    QImage decoded(const QString& file) {
        const QString png = file + ".decoded.png";
        if (!TestSupport::ffmpeg({"-i", file, "-frames:v", "1", png}))
            return {};
        return QImage(png);
    }

  private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        QVERIFY(QDir().mkpath(tmp.filePath("out")));
    }

    void transparencyBecomesWhite_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("maxWidth");
        QTest::addColumn<int>("outWidth");
        QTest::newRow("jpeg") << int(ImageFormat::jpeg) << qint64(2400) << 101;
        QTest::newRow("jpeg capped") << int(ImageFormat::jpeg) << qint64(60) << 60;
        QTest::newRow("avif") << int(ImageFormat::avif) << qint64(2400) << 101;
    }
    void transparencyBecomesWhite() {
        QFETCH(int, format);
        QFETCH(qint64, maxWidth);
        QFETCH(int, outWidth);
        MediaItem logo = item(transparentPng("logo.png", 101, 77), 101, 77);
        logo.hasAlpha = true;
        TersioSettings settings;
        settings.imageFormat = ImageFormat(format);
        settings.imageMaxWidth = maxWidth;
        const auto plan = CommandBuilder::imagePlan(logo, settings, allCaps(), outFolder());
        QCOMPARE(plan.size(), 1);
        QString error;
        QVERIFY2(run(plan[0], &error), qPrintable(error));

        const QImage image = decoded(plan[0].destination.toLocalFile());
        QCOMPARE(image.width(), outWidth);
        const QColor clear = image.pixelColor(outWidth / 10, image.height() / 2);
        QVERIFY2(clear.red() >= 250 && clear.green() >= 250 && clear.blue() >= 250,
                 qPrintable(clear.name()));
        const QColor solid = image.pixelColor(outWidth * 8 / 10, image.height() / 2);
        QVERIFY2(solid.red() > 150 && solid.green() < 90 && solid.blue() < 90,
                 qPrintable(solid.name()));
    }

    // Without flattening the same region comes out black: the check above has teeth.
    void opaquePlanLosesTransparency() {
        const MediaItem logo = item(transparentPng("plain.png", 101, 77), 101, 77);
        TersioSettings settings;
        settings.imageFormat = ImageFormat::jpeg;
        const auto plan = CommandBuilder::imagePlan(logo, settings, allCaps(), outFolder());
        QString error;
        QVERIFY2(run(plan[0], &error), qPrintable(error));
        const QImage image(plan[0].destination.toLocalFile());
        QVERIFY(image.pixelColor(10, 38).red() < 60);
    }

    void avifSizesSvtRejects_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("encoder");
        QTest::newRow("odd") << 101 << 77 << "libaom-av1";
        QTest::newRow("tiny") << 40 << 40 << "libaom-av1";
        QTest::newRow("even") << 128 << 96 << "libsvtav1";
    }
    void avifSizesSvtRejects() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, encoder);
        const QString name = QStringLiteral("still-%1x%2.png").arg(width).arg(height);
        QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i",
                                     QStringLiteral("testsrc=s=%1x%2").arg(width).arg(height),
                                     "-frames:v", "1", path(name)}));
        TersioSettings settings;
        settings.imageFormat = ImageFormat::avif;
        const auto plan = CommandBuilder::imagePlan(item(path(name), width, height), settings,
                                                    allCaps(), outFolder());
        QCOMPARE(valueAfter(plan[0].arguments, "-c:v"), encoder);
        QString error;
        QVERIFY2(run(plan[0], &error), qPrintable(error));
        QCOMPARE(decoded(plan[0].destination.toLocalFile()).size(), QSize(width, height));
    }

    void hdrClipIsToneMapped() {
        const QString source = path("hlg.mp4");
        QString error;
        QVERIFY2(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:d=1", "-c:v",
                                      "libx265", "-x265-params", "log-level=error", "-pix_fmt",
                                      "yuv420p10le", "-color_primaries", "bt2020", "-color_trc",
                                      "arib-std-b67", "-colorspace", "bt2020nc", source},
                                     &error),
                 qPrintable(error));
        MediaItem clip = item(source, 320, 240);
        clip.kind = MediaKind::video;
        clip.duration = 1;
        clip.hdr = true;
        TersioSettings settings;
        settings.makeWebM = false;
        settings.cropVariants = {CropVariant::starters().first()};
        const auto plan = CommandBuilder::videoPlan(clip, settings, allCaps(), outFolder());
        QCOMPARE(plan.size(), 3); // H.264, poster, 9:16 crop
        for (const PlannedOutput& output : plan) {
            QVERIFY(valueAfter(output.arguments, "-vf").startsWith("zscale=t=linear"));
            QVERIFY2(run(output, &error), qPrintable(output.label + ": " + error));
        }
        QCOMPARE(QImage(plan[1].destination.toLocalFile()).size(), QSize(320, 240));
        QCOMPARE(decoded(plan[2].destination.toLocalFile()).size(), QSize(134, 240));
    }

    void gifToWebpLoopsForever() {
        const QString gif = path("spin.gif");
        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=64x48:d=1:r=5", "-loop", "0", gif}));
        TersioSettings settings;
        settings.alsoEmitWebP = true;
        const auto plan =
            CommandBuilder::imagePlan(item(gif, 64, 48), settings, allCaps(), outFolder());
        QCOMPARE(labels(plan), (QStringList{"JPEG", "WebP"}));
        QString error;
        for (const PlannedOutput& output : plan)
            QVERIFY2(run(output, &error), qPrintable(error));

        QFile webp(plan[1].destination.toLocalFile());
        QVERIFY(webp.open(QIODevice::ReadOnly));
        const QByteArray bytes = webp.readAll();
        const qsizetype anim = bytes.indexOf("ANIM");
        QVERIFY(anim > 0 && anim + 14 <= bytes.size());
        // ANIM payload: background colour (4 bytes), then the loop count, little-endian.
        const int loops = quint8(bytes[anim + 12]) | quint8(bytes[anim + 13]) << 8;
        QCOMPARE(loops, 0);
        QVERIFY(bytes.count("ANMF") > 1);
    }

    void posterOfAPercentNameKeepsItsName() {
        const QString source = path("take%02d.mp4");
        QVERIFY(TestSupport::ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=64x48:d=1", "-pix_fmt", "yuv420p", source}));
        MediaItem clip = item(source, 64, 48);
        clip.duration = 1;
        TersioSettings settings;
        settings.makeH264 = settings.makeWebM = false;
        const auto plan = CommandBuilder::videoPlan(clip, settings, allCaps(), outFolder());
        QCOMPARE(labels(plan), QStringList{"Poster frame"});
        QString error;
        QVERIFY2(run(plan[0], &error), qPrintable(error));
        QVERIFY(QFileInfo::exists(path("out/take%02d-poster.jpg")));
        QVERIFY(!QFileInfo::exists(path("out/take01-poster.jpg")));
    }
};

QTEST_GUILESS_MAIN(TestPlanRuns)
#include "test_plan_runs.moc"
