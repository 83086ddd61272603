// What preparing a photo for ffmpeg costs: a 12-megapixel HEIC and a 12-megapixel Display P3
// JPEG against the same picture as a plain sRGB JPEG. Each case runs in a child process so its
// peak memory (VmHWM) is its own. Prints one line per figure.
#include "ProcStatus.h"
#include "engine/AppModel.h"
#include "tools/ColourProfile.h"
#include "tools/HeifReader.h"
#include "tools/SourcePreparer.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");
const QSize photoSize(4032, 3024);
constexpr int rounds = 3;

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

// A noisy test pattern stands in for a photo: flat synthetic pictures compress unrealistically.
bool makeSources(const QDir& dir) {
    const QString png = dir.filePath("photo.png");
    if (QFile::exists(dir.filePath("photo.heic")))
        return true;
    const QString size = QStringLiteral("%1x%2").arg(photoSize.width()).arg(photoSize.height());
    if (!run(ffmpegPath, {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=" + size, "-vf",
                          "noise=alls=10:allf=t", "-frames:v", "1", png}))
        return false;
    QImage picture(png);
    if (!picture.save(dir.filePath("srgb.jpg"), "JPEG", 92))
        return false;
    picture.setColorSpace(QColorSpace::DisplayP3); // Qt writes the ICC profile
    if (!picture.save(dir.filePath("p3.jpg"), "JPEG", 92))
        return false;
    return run("heif-enc", {"-q", "80", png, "-o", dir.filePath("photo.heic")});
}

template <typename F> double bestMs(F&& work) {
    double best = 1e18;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

// The stages one at a time: decode (with orientation), sRGB conversion, PAM write.
void stages(const QString& source, const QString& scratch) {
    const bool heif = HeifReader::hasHeifContent(source);
    QImage decoded;
    const double decodeMs = bestMs([&] {
        if (heif) {
            decoded = HeifReader::decode(source);
        } else {
            QImageReader reader(source);
            reader.setAutoTransform(true);
            decoded = reader.read();
        }
    });
    const QByteArray icc =
        heif ? decoded.colorSpace().iccProfile() : ColourProfile::embeddedIcc(source);
    double convertMs = 0, qtConvertMs = 0;
    if (ColourProfile::changesColours(icc)) {
        convertMs = bestMs([&] { ColourProfile::toSrgb(decoded, icc); });
        // Qt's own matrix/curve conversion, which it cannot do for grey, CMYK or LUT profiles.
        qtConvertMs = bestMs([&] {
            QImage copy = decoded;
            copy.convertTo(QImage::Format_RGB32);
            copy.convertToColorSpace(QColorSpace::SRgb);
        });
    }
    const auto prepared = SourcePreparer::decode(source);
    QString error;
    const double writeMs = bestMs([&] { SourcePreparer::write(prepared.image, scratch, &error); });
    std::printf("  decode %.0f ms, convert to sRGB %.0f ms (Qt's conversion %.0f ms), write PAM "
                "%.0f ms (%.1f MB)\n",
                decodeMs, convertMs, qtConvertMs, writeMs,
                double(prepared.image.width()) * prepared.image.height() * 3 / 1e6);
}

// One item through AppModel with the given settings; the time from start() to the run's end.
double wholeItem(const QString& source, const QString& outputs) {
    TersioSettings settings;
    settings.alsoEmitWebP = true;
    settings.outputMode = OutputMode::customFolder;
    settings.customFolderPath = outputs;
    AppModelOptions options;
    options.searchToolsAtStart = false;
    options.settings = settings;
    AppModel model(options);
    model.setTools(FFmpegTools{ffmpegPath, QStringLiteral("/usr/bin/ffprobe")},
                   EncoderCaps::detect(ffmpegPath));
    model.add({QUrl::fromLocalFile(source)});
    QSignalSpy ended(&model, &AppModel::runFinished);
    QElapsedTimer timer;
    timer.start();
    model.start();
    ended.wait(600000);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const MediaItem& item = model.items().first();
    if (item.status.value != ItemStatus::Case::done)
        std::printf("  item ended %s: %s\n", qPrintable(item.status.name()),
                    qPrintable(item.status.message));
    return ms;
}

int child(const QString& mode, const QString& source, const QString& scratch) {
    if (mode == QLatin1String("stages"))
        stages(source, scratch);
    else
        std::printf("  whole item (JPEG + WebP, width cap 2400) %.0f ms\n",
                    wholeItem(source, scratch));
    std::printf("  peak memory (VmHWM) %lld MB\n", procStatusKb("VmHWM:") / 1024);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // a run saves the settings
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--child"))
        return child(args[2], args[3], args[4]);

    const QDir dir(QDir::temp().filePath("tersio-bench-photos"));
    QDir().mkpath(dir.path());
    QDir().mkpath(dir.filePath("out"));
    if (!makeSources(dir)) {
        std::fprintf(stderr, "could not make the sources\n");
        return 1;
    }
    const QList<std::pair<const char*, QString>> cases{
        {"12 MP sRGB JPEG (not prepared)", "srgb.jpg"},
        {"12 MP Display P3 JPEG", "p3.jpg"},
        {"12 MP HEIC", "photo.heic"}};
    for (const auto& [title, file] : cases) {
        std::printf("%s\n", title);
        std::fflush(stdout);
        for (const char* mode : {"stages", "item"}) {
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            process.start(QCoreApplication::applicationFilePath(),
                          {"--child", mode, dir.filePath(file), dir.filePath("out")});
            process.waitForFinished(-1);
        }
    }
    return 0;
}
