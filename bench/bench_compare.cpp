// How long the compare view waits for its pictures: a 12-megapixel photo and its JPEG output
// decoded through the compare view's image provider, both requested at once as the view does.
// The photo is a real one from Debian's mate-backgrounds (bench/fetch-sample-photos.sh), cut
// to 4032 × 3024; the output is what the engine writes for it with the default settings.
#include "CompareImageProvider.h"
#include "PackingSet.h"
#include "ProcStatus.h"
#include "engine/AppModel.h"
#include "tools/DecodedCopies.h"

#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQuickImageResponse>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
constexpr int rounds = 5;

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

// The sources, once: upright, stored sideways with EXIF orientation 6, tagged Display P3, HEIC.
bool makeSources(const QDir& dir) {
    if (QFile::exists(dir.filePath("photo.heic")))
        return true;
    const QString photos = PackingSet::samplePhotoFolder();
    if (photos.isEmpty())
        return false;
    const QString photo = photos + "/mate-abstract-Elephants_5640x3172.jpg";
    const QString upright = dir.filePath("photo.jpg");
    const QString sideways = dir.filePath("sideways.jpg");
    const QStringList quiet{"-v", "error", "-y", "-i", photo, "-q:v", "2", "-vf"};
    if (!run(ffmpegPath, quiet + QStringList{"crop=4032:3024", upright}) ||
        !run(ffmpegPath, quiet + QStringList{"crop=4032:3024,transpose=2", sideways}) ||
        !run("exiftool", {"-q", "-Orientation#=6", "-overwrite_original", sideways}))
        return false;
    QImage picture(upright);
    picture.setColorSpace(QColorSpace::DisplayP3);
    if (!picture.save(dir.filePath("p3.jpg"), "JPEG", 95))
        return false;
    return run("heif-enc", {"-q", "80", upright, "-o", dir.filePath("photo.heic")});
}

// The engine's output for the upright photo: JPEG, at most 2400 wide, packed as it ships.
// Runs `source` through the app into `folder`; the run keeps what it decoded, as the window's does.
QString makeOutput(const QDir& dir, const QString& source, const QString& folder) {
    const QString output = dir.filePath(folder + "/photo.jpg");
    QFile::remove(output);
    TersioSettings settings;
    settings.outputMode = OutputMode::customFolder;
    settings.customFolderPath = dir.filePath(folder);
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    AppModel model(options);
    model.setTools(FFmpegTools{.ffmpeg = ffmpegPath,
                               .ffprobe = QStringLiteral("/usr/bin/ffprobe"),
                               .pngquant = std::nullopt},
                   EncoderCaps::detect(ffmpegPath));
    model.add({QUrl::fromLocalFile(dir.filePath(source))});
    QSignalSpy ended(&model, &AppModel::runFinished);
    model.start();
    ended.wait(600000);
    return QFile::exists(output) ? output : QString();
}

// Both pictures asked for at once; the time until the later one is delivered.
double openPair(CompareImageProvider& provider, const QString& source, const QString& output,
                QList<QImage>* pictures) {
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    std::vector<std::unique_ptr<QQuickImageResponse>> responses;
    int waiting = 2;
    for (const QString& path : {source, output}) {
        responses.emplace_back(provider.requestImageResponse(QUrl::toPercentEncoding(path), {}));
        QObject::connect(responses.back().get(), &QQuickImageResponse::finished, &loop, [&] {
            if (--waiting == 0)
                loop.quit();
        });
    }
    loop.exec();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    pictures->clear();
    for (const auto& response : responses)
        *pictures << std::unique_ptr<QQuickTextureFactory>(response->textureFactory())->image();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // a run saves the settings
    const QDir dir(
        qEnvironmentVariable("TERSIO_BENCH_CACHE", QDir::temp().filePath("tersio-bench-compare")));
    QDir().mkpath(dir.filePath("out"));
    DecodedCopies::setBudget(qint64(1) << 30);
    const QString output = makeSources(dir) ? makeOutput(dir, "photo.jpg", "out") : QString();
    if (output.isEmpty()) {
        std::fprintf(stderr, "could not make the photo and its output in %s\n",
                     qPrintable(dir.path()));
        return 1;
    }

    CompareImageProvider provider;
    const QList<std::pair<const char*, QString>> cases{
        {"12 MP JPEG", "photo.jpg"},
        {"12 MP JPEG, EXIF orientation 6", "sideways.jpg"},
        {"12 MP Display P3 JPEG", "p3.jpg"},
        {"12 MP HEIC", "photo.heic"},
        {"12 MP HEIC, after its run", "photo.heic"}};
    std::printf("output: %s, %lld KB\n", qPrintable(output), QFile(output).size() / 1000);
    for (const auto& [title, file] : cases) {
        if (QByteArray(title).endsWith("after its run") &&
            makeOutput(dir, file, "out-run").isEmpty()) {
            std::fprintf(stderr, "could not run %s\n", qPrintable(file));
            return 1;
        }
        QList<QImage> pictures;
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i)
            times.push_back(openPair(provider, dir.filePath(file), output, &pictures));
        std::sort(times.begin(), times.end());
        std::printf("%-32s best %4.0f ms, median %4.0f ms, worst %4.0f ms  (%d×%d + %d×%d)\n",
                    title, times.front(), times[rounds / 2], times.back(), pictures[0].width(),
                    pictures[0].height(), pictures[1].width(), pictures[1].height());
        std::fflush(stdout);
    }
    std::printf("peak memory (VmHWM) %lld MB\n", procStatusKb("VmHWM:") / 1024);
    return 0;
}
