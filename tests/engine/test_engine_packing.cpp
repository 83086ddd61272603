#include "EngineSupport.h"
#include "engine/FusedEncode.h"
#include "engine/QualityScore.h"
#include "engine/StagedEncode.h"
#include "planning/CommandBuilder.h"
#include "planning/FusedPlan.h"
#include "planning/ScoreReference.h"
#include "tools/PalettePng.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <cmath>

using namespace EngineSupport;
using namespace Qt::StringLiterals;
using TestSupport::row;

namespace {

const QString ffmpegPath = u"/usr/bin/ffmpeg"_s;

FFmpegTools allTools() {
    return {ffmpegPath, u"/usr/bin/ffprobe"_s, u"/usr/bin/pngquant"_s};
}

// The start-of-frame segment: "progressive" or "baseline", then each component's sampling
// factors in hex ("22 11 11" is 4:2:0; one component is grey).
QString frameOf(const QString& path) {
    const QByteArray jpeg = TestSupport::readFile(path);
    for (qsizetype i = 2; i + 9 < jpeg.size() && uchar(jpeg[i]) == 0xFF;) {
        const uchar marker = uchar(jpeg[i + 1]);
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            QString frame = marker == 0xC2 ? u"progressive"_s : u"baseline"_s;
            for (int c = 0; c < uchar(jpeg[i + 9]) && i + 11 + 3 * c < jpeg.size(); ++c)
                frame += ' ' + QString::number(uchar(jpeg[i + 11 + 3 * c]), 16);
            return frame;
        }
        i += 2 + ((uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]));
    }
    return {};
}

int pngColourType(const QString& path) {
    const QByteArray head = TestSupport::readFile(path).left(26);
    return head.size() == 26 ? head.at(25) : -1;
}

// Largest difference of any channel between two decoded pictures of one size; colour only
// counts where the first is not fully transparent.
int largestDifference(QImage a, QImage b) {
    a = a.convertToFormat(QImage::Format_ARGB32);
    b = b.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            if (qAlpha(p) > 0)
                worst = std::max({worst, std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

// Pixels fully transparent or opaque before that are not after, and the mean alpha difference
// over the partly transparent ones.
std::pair<int, double> alphaError(const QImage& before, const QImage& after) {
    int binary = 0, soft = 0;
    double sum = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const int was = qAlpha(before.pixel(x, y)), now = qAlpha(after.pixel(x, y));
            const bool partly = was != 0 && was != 255;
            binary += !partly && was != now;
            soft += partly;
            sum += partly ? std::abs(was - now) : 0;
        }
    return {binary, soft ? sum / soft : 0};
}

// A window-like picture: flat panels, antialiased rounded bars standing for lines of text,
// coloured buttons and round icons.
QImage screenshot() {
    QImage image(640, 400, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 246));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(0, 0, 160, 400, QColor(43, 43, 48));
    painter.setPen(Qt::NoPen);
    for (int line = 0; line < 24; ++line) {
        const int y = 20 + line * 15;
        painter.setBrush(QColor(60, 60, 70));
        painter.drawRoundedRect(QRectF(180.5, y + 0.3, 120 + (line * 37) % 300, 7.4), 3, 3);
        painter.setBrush(QColor(200, 200, 210));
        painter.drawRoundedRect(QRectF(16.3, y + 0.6, 60 + (line * 23) % 70, 6.8), 3, 3);
    }
    const QColor accents[] = {QColor(53, 132, 228), QColor(224, 27, 36), QColor(46, 194, 126)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(accents[i]);
        painter.drawRoundedRect(QRectF(420.5 + i * 70, 360.5, 60, 24), 6, 6);
        painter.drawEllipse(QPointF(590.3, 40.7 + i * 50), 16.2, 16.2);
    }
    return image;
}

bool exiftoolFinds(const QString& path, const QString& tag) {
    QProcess process;
    process.start(u"exiftool"_s, {u"-s"_s, '-' + tag, path});
    process.waitForFinished(60000);
    return !process.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

// The packing steps after Debian's ffmpeg (TurboJPEG, the exact palette, pngquant, the SSIM
// check, the squeeze) on staged files made from media made here, one output or an image's
// outputs at once.
class TestEnginePacking : public QObject {
    Q_OBJECT

    QTemporaryDir work_;

    QString pack(const QString& name) const { return work_.filePath("pack/" + name); }
    QStringList staged() const {
        return QDir(pack("out")).entryList(QDir::Hidden | QDir::Files).filter(".tersio-");
    }

    // The plan for `source` with defaults but for the given format.
    QList<PlannedOutput> planFor(const QString& source, ImageFormat format,
                                 bool webp = false) const {
        const QImage image(source);
        MediaItem item;
        item.url = QUrl::fromLocalFile(source);
        item.width = image.width();
        item.height = image.height();
        item.grey = image.isGrayscale();
        item.hasAlpha = image.hasAlphaChannel();
        TersioSettings settings;
        settings.imageFormat = format;
        settings.alsoEmitWebP = webp;
        QDir().mkpath(pack("out"));
        return CommandBuilder::imagePlan(item, settings, debianCaps(),
                                         QUrl::fromLocalFile(pack("out")));
    }

    StagedEncode::Outcome encode(const PlannedOutput& output) {
        FFmpegJob job;
        const QString source = output.arguments.at(output.arguments.indexOf("-i") + 1);
        return StagedEncode::run(job, ffmpegPath, output, {}, {},
                                 {allTools(), source, false, QImage(source).hasAlphaChannel()});
    }

  private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        QDir().mkpath(pack({}));
        const QString noisy = u"testsrc2=s=480x320,noise=alls=12:allf=t"_s;
        QVERIFY(
            TestSupport::lavfi(noisy, "-frames:v 1 -pix_fmt yuvj444p -q:v 3", pack("full.jpg")));
        QVERIFY(TestSupport::lavfi(noisy, "-frames:v 1", pack("photo.png")));
        QVERIFY(screenshot().save(pack("screen.png")));
        QVERIFY(QImage(pack("photo.png"))
                    .convertToFormat(QImage::Format_Grayscale8)
                    .save(pack("grey.jpg"), "JPEG", 85));
        // A round two-colour logo with a white centre whose edge fades over 40 pixels.
        const QString r = u"hypot(X-120,Y-120)"_s;
        QVERIFY(TestSupport::lavfi(
            u"nullsrc=s=240x240,format=rgba,geq=r='if(lt(R,45),250,if(lt(X,120),215,30))':"
            "g='if(lt(R,45),250,if(lt(X,120),10,90))':b='if(lt(R,45),250,if(lt(X,120),83,200))':"
            "a='clip((110-R)/40*255,0,255)'"_s.replace(u"R"_s, r),
            "-frames:v 1", pack("logo.png")));
        // Flat shapes without antialiasing, one of them translucent: a handful of colours.
        QImage flat(300, 200, QImage::Format_ARGB32);
        flat.fill(Qt::transparent);
        QPainter painter(&flat);
        painter.fillRect(20, 20, 200, 120, QColor(224, 27, 36));
        painter.fillRect(120, 60, 160, 120, QColor(53, 132, 228, 128));
        painter.fillRect(40, 150, 60, 30, QColor(246, 246, 246));
        painter.end();
        QVERIFY(flat.save(pack("flat.png")));
    }

    // 4:2:0, progressive, and the very pixels of ffmpeg's own encode: the re-pack is lossless.
    void jpegOutputs_data() {
        TestSupport::columns<QString, QString>("source", "frame");
        row("4:4:4 jpeg", u"full.jpg"_s, u"progressive 22 11 11"_s);
        row("png photo", u"photo.png"_s, u"progressive 22 11 11"_s);
        row("grey jpeg", u"grey.jpg"_s, u"progressive 11"_s);
    }
    void jpegOutputs() {
        QFETCH(QString, source);
        const bool grey = QImage(pack(source)).isGrayscale();
        const PlannedOutput output = planFor(pack(source), ImageFormat::jpeg).first();
        QStringList plain = output.arguments;
        plain.last() = pack("plain.jpg");
        QVERIFY(TestSupport::runTool(ffmpegPath, plain));
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        QTEST(frameOf(written), "frame");
        QVERIFY(outcome.bytes < QFileInfo(plain.last()).size());
        const int tolerance = grey ? 1 : 0; // grey: the flat colour planes are dropped
        QVERIFY(largestDifference(QImage(written), QImage(plain.last())) <= tolerance);
        QVERIFY(!exiftoolFinds(written, u"Comment"_s));
    }

    // A palette only where it looks the same; a smooth gradient stays lossless.
    void pngPalette_data() {
        // Palette: 1 a palette, 0 lossless, -1 whichever is smaller; tolerance: against the
        // source, per channel.
        TestSupport::columns<QString, int, int>("source", "palette", "tolerance");
        row("few colours, exact", u"flat.png"_s, 1, 0);
        row("screenshot", u"screen.png"_s, 1, 64);
        row("photo-like", u"photo.png"_s, 0, 0);
        row("soft logo", u"logo.png"_s, -1, 64);
    }
    void pngPalette() {
        QFETCH(QString, source);
        QFETCH(int, palette);
        QFETCH(int, tolerance);
        const PlannedOutput output = planFor(pack(source), ImageFormat::png).first();
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        QVERIFY2(outcome.note.isEmpty(), qPrintable(outcome.note));
        const QString written = output.destination.toLocalFile();
        QVERIFY(palette < 0 || int(pngColourType(written) == 3) == palette);
        const QImage before(pack(source)), after(written);
        QVERIFY(largestDifference(before, after) <= tolerance);
        if (before.hasAlphaChannel()) {
            const auto [binary, softMean] = alphaError(before, after);
            QCOMPARE(binary, 0);
            QVERIFY2(softMean <= 2.0, qPrintable(QString::number(softMean)));
        }
    }

    // Re-encoding cannot beat these sources: the output falls back on the source's pixels,
    // never larger, and without the metadata the source carried.
    void neverLargerThanTheSource_data() {
        TestSupport::columns<QString, int>("name", "format");
        row("optimised png", u"tight.png"_s, int(ImageFormat::png));
        row("small jpeg", u"small.jpg"_s, int(ImageFormat::jpeg));
    }
    void neverLargerThanTheSource() {
        QFETCH(QString, name);
        QFETCH(int, format);
        const QString source = pack(name);
        const bool png = format == int(ImageFormat::png);
        if (png) {
            // Deflated harder than the palette step deflates.
            const QString loose = pack("loose.png");
            QVERIFY(TestSupport::lavfi("testsrc=s=320x240", "-frames:v 1 -pix_fmt pal8", loose));
            const auto tight = PalettePng::exact(QImage(loose), TestSupport::readFile(loose), 9);
            QVERIFY(tight && TestSupport::writeFile(source, *tight));
        } else
            QVERIFY(TestSupport::lavfi("testsrc2=s=96x64", "-frames:v 1 -pix_fmt yuvj420p -q:v 31",
                                       source));
        QVERIFY(TestSupport::runTool("exiftool",
                                     {"-q", "-overwrite_original", "-Comment=made by the test",
                                      "-Artist=The Test", source}));
        const qint64 sourceBytes = QFileInfo(source).size();
        const PlannedOutput output = planFor(source, ImageFormat(format)).first();
        const auto outcome = encode(output);
        QCOMPARE(outcome.status, 0);
        const QString written = output.destination.toLocalFile();
        QVERIFY2(outcome.bytes <= sourceBytes,
                 qPrintable(u"%1 > %2"_s.arg(outcome.bytes).arg(sourceBytes)));
        QCOMPARE(outcome.bytes, QFileInfo(written).size());
        QVERIFY(!exiftoolFinds(written, u"Comment"_s) && !exiftoolFinds(written, u"Artist"_s));
        if (!png) // the source's own coefficients
            QCOMPARE(largestDifference(QImage(written), QImage(source)), 0);
        QCOMPARE(staged(), QStringList());
    }

    // The post-steps belong to their own output: the JPEG is re-packed, missing PNG packers are
    // noted on the PNG alone, and the WebP beside either is left as ffmpeg wrote it.
    void postStepsRunPerOutput_data() {
        TestSupport::columns<int, bool, bool>("format", "packers", "stopped");
        row("jpeg re-packed", int(ImageFormat::jpeg), true, false);
        row("png without packers", int(ImageFormat::png), false, false);
        row("stopped before the start", int(ImageFormat::jpeg), true, true);
    }
    void postStepsRunPerOutput() {
        QFETCH(int, format);
        QFETCH(bool, packers);
        QFETCH(bool, stopped);
        QDir(pack("out")).removeRecursively();
        const QString source = pack("photo.png");
        const QList<PlannedOutput> plan = planFor(source, ImageFormat(format), true);
        QCOMPARE(plan.size(), 2);
        QVERIFY(!plan.first().post.isEmpty());
        QList<FusedPlan::Invocation> invocations = FusedPlan::group(plan);
        QCOMPARE(invocations.size(), 1);
        // Scored as a run scores a still: against the reference picture the encode writes.
        ScoreReference::addAll(invocations.first(), plan, false);
        FFmpegJob job;
        if (stopped)
            job.stop();
        QList<double> progress;
        const FusedEncode::Outcome outcome = FusedEncode::run(
            job, ffmpegPath, invocations.first(), plan, [&progress](double f) { progress << f; },
            {}, {packers ? allTools() : FFmpegTools{ffmpegPath, {}, {}}, source, false, false},
            {true, false});
        QCOMPARE(staged(), QStringList());
        if (stopped) {
            QCOMPARE(outcome.status, 130);
            QVERIFY(QDir(pack("out")).isEmpty(QDir::Files | QDir::Hidden));
            return;
        }
        QCOMPARE(outcome.status, 0);
        QCOMPARE(outcome.bytes.size(), 2);
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(outcome.bytes[k], QFileInfo(plan[k].destination.toLocalFile()).size());
            QCOMPARE(QImage(plan[k].destination.toLocalFile()).size(), QSize(480, 320));
            // The same figure as ffmpeg's score that reads the source itself (a JPEG's is taken
            // in-process, to within rounding).
            FFmpegJob again;
            const auto fromSource = QualityScore::measure(
                again, ffmpegPath, plan[k], {plan[k].destination.toLocalFile(), {}, false, 0, {}});
            QVERIFY(outcome.scores[k] && fromSource);
            QVERIFY2(std::abs(*outcome.scores[k] - *fromSource) < 0.0005,
                     qPrintable(
                         QStringLiteral("%1 against %2").arg(*outcome.scores[k]).arg(*fromSource)));
        }
        QVERIFY(!progress.isEmpty() && progress.last() == 1.0);
        const QString first = plan.first().destination.toLocalFile();
        if (format == int(ImageFormat::jpeg)) {
            QVERIFY(frameOf(first).startsWith("progressive"_L1));
            QCOMPARE(outcome.notes[0], QString());
        } else {
            QCOMPARE(outcome.notes[0], u"pngquant not found: the PNG keeps all its colours."_s);
            // What ffmpeg alone writes for the same arguments.
            QStringList plain = plan.first().arguments;
            plain.last() = pack("plain.png");
            QVERIFY(TestSupport::runTool(ffmpegPath, plain));
            QCOMPARE(largestDifference(QImage(first), QImage(plain.last())), 0);
        }
        QCOMPARE(outcome.notes[1], QString());
    }

    // A stop while pngquant works ends it at once, and the output with it.
    void stopDuringThePalette() {
        QDir(pack("out")).removeRecursively();
        const QString started = pack("started");
        FFmpegTools tools = allTools();
        tools.pngquant = TestSupport::writeScript(pack("stubborn-pngquant"),
                                                  "trap '' TERM\ntouch '" + started.toUtf8() +
                                                      "'\nexec sleep 100000\n");
        const PlannedOutput output = planFor(pack("photo.png"), ImageFormat::png).first();
        FFmpegJob job;
        QFuture<StagedEncode::Outcome> future = QtConcurrent::run([&] {
            return StagedEncode::run(job, ffmpegPath, output, {}, {},
                                     {tools, pack("photo.png"), false, false});
        });
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(started); }, 120000));
        job.stop();
        QCOMPARE(future.result().status, 130);
        QCOMPARE(staged(), QStringList());
        QVERIFY(!QFileInfo::exists(output.destination.toLocalFile()));
    }
};

QTEST_GUILESS_MAIN(TestEnginePacking)
#include "test_engine_packing.moc"
