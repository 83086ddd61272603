// One real ffmpeg process writing an image's outputs, each then packed on its own staged file.
#include "TestSupport.h"

#include "engine/FusedEncode.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

// A start-of-frame marker for progressive coding.
bool progressiveJpeg(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray("\xFF\xC2", 2));
}

} // namespace

class TestEngineFused : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }

    QList<PlannedOutput> planFor(const QString& source, ImageFormat format) const {
        MediaItem item;
        item.url = QUrl::fromLocalFile(source);
        const QImage image(source);
        item.width = image.width();
        item.height = image.height();
        TersioSettings settings;
        settings.imageFormat = format;
        settings.alsoEmitWebP = true;
        EncoderCaps caps;
        for (const char* name : {"mjpeg", "png", "libwebp"})
            caps.names.insert(QLatin1String(name));
        const QDir out(path(QStringLiteral("out")));
        out.mkpath(QStringLiteral("."));
        return CommandBuilder::imagePlan(item, settings, caps, QUrl::fromLocalFile(out.path()));
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(TestSupport::ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=480x320,noise=alls=12:allf=t",
                                     "-frames:v", "1", path("photo.png")}));
    }

    // The post-steps belong to their own output: the JPEG is re-packed, a missing PNG packer is
    // noted on the PNG alone, and the WebP beside either is left as ffmpeg wrote it.
    void postStepsRunPerOutput_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("packers");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("jpeg re-packed") << int(ImageFormat::jpeg) << true << false;
        QTest::newRow("png without packers") << int(ImageFormat::png) << false << false;
        QTest::newRow("stopped before the start") << int(ImageFormat::jpeg) << true << true;
    }
    void postStepsRunPerOutput() {
        QFETCH(int, format);
        QFETCH(bool, packers);
        QFETCH(bool, stopped);
        QDir(path("out")).removeRecursively();
        const QString source = path("photo.png");
        const QList<PlannedOutput> plan = planFor(source, ImageFormat(format));
        QCOMPARE(plan.size(), 2);
        QVERIFY(!plan.first().post.isEmpty());
        const QList<FusedPlan::Invocation> invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);

        FFmpegTools tools{ffmpegPath, {}, {}, {}};
        if (packers) {
            tools.pngquant = QStringLiteral("/usr/bin/pngquant");
            tools.optipng = QStringLiteral("/usr/bin/optipng");
        }
        FFmpegJob job;
        if (stopped)
            job.stop();
        QList<double> progress;
        const FusedEncode::Outcome outcome = FusedEncode::run(
            job, ffmpegPath, invocations.first(), plan, [&progress](double f) { progress << f; },
            {}, PackSteps::Context{tools, source, false, false});
        QVERIFY(
            QDir(path("out")).entryList(QDir::Hidden | QDir::Files).filter(".tersio-").isEmpty());
        if (stopped) {
            QCOMPARE(outcome.status, 130);
            QVERIFY(QDir(path("out")).isEmpty(QDir::Files | QDir::Hidden));
            return;
        }
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.bytes.size(), 2);
        for (int k = 0; k < 2; ++k)
            QCOMPARE(outcome.bytes.at(k), QFileInfo(plan.at(k).destination.toLocalFile()).size());
        QVERIFY(!progress.isEmpty() && progress.last() == 1.0);

        const QString first = plan.first().destination.toLocalFile();
        if (format == int(ImageFormat::jpeg)) {
            QVERIFY(progressiveJpeg(first));
            QVERIFY2(outcome.notes.at(0).isEmpty(), qPrintable(outcome.notes.at(0)));
        } else {
            QVERIFY2(outcome.notes.at(0).contains("pngquant not found"),
                     qPrintable(outcome.notes.at(0)));
        }
        QVERIFY2(outcome.notes.at(1).isEmpty(), qPrintable(outcome.notes.at(1)));
        QCOMPARE(QImage(first).size(), QSize(480, 320));
        QCOMPARE(QImage(plan.last().destination.toLocalFile()).size(), QSize(480, 320));
    }
};

QTEST_GUILESS_MAIN(TestEngineFused)
#include "test_engine_fused.moc"
