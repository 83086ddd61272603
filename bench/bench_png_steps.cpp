// The PNG packing steps one by one, on the lossless files ffmpeg writes for the web PNGs of the
// packing benchmark: what each setting of each step costs in time and saves in bytes, so that
// the settings the engine uses can be chosen by measurement.
#include "FFmpegSsim.h"
#include "PackingSet.h"
#include "engine/PackSteps.h"
#include "engine/SourceReading.h"
#include "planning/CommandBuilder.h"
#include "tools/FFmpegLocator.h"
#include "tools/ImageSsim.h"
#include "tools/PackingTools.h"
#include "tools/PalettePng.h"
#include "tools/PngChunks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

#include <zlib.h>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

struct Figure {
    qint64 bytes = 0;
    double ms = 0;
    int count = 0;
};

// Figures per setting name, printed in the order first met.
class Table {
  public:
    void add(const QString& name, qint64 bytes, double ms) {
        if (!figures_.contains(name))
            order_ << name;
        Figure& f = figures_[name];
        f.bytes += bytes;
        f.ms += ms;
        ++f.count;
    }
    void print(const char* title) const {
        std::printf("%s\n", title);
        for (const QString& name : order_) {
            const Figure& f = figures_.at(name);
            std::printf("  %-34s %3d files %10lld bytes %9.1f ms\n", qPrintable(name), f.count,
                        f.bytes, f.ms);
        }
    }

  private:
    QStringList order_;
    std::map<QString, Figure> figures_;
};

double msSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The staged file the packed plan's ffmpeg writes for `source`.
QString encode(const QString& source, const FFmpegTools& tools, const QString& outDir) {
    MediaItem item;
    item.url = QUrl::fromLocalFile(source);
    SourceReading::apply(SourceReading::read(item, tools.ffprobe), item);
    TersioSettings settings;
    settings.imageFormat = ImageFormat::png;
    EncoderCaps caps;
    caps.names = {QStringLiteral("png")};
    PlannedOutput output =
        CommandBuilder::imagePlan(item, settings, caps, QUrl::fromLocalFile(outDir)).first();
    output.arguments.last() = QDir(outDir).filePath(QStringLiteral("lossless.png"));
    Shell::run(ffmpegPath, output.arguments);
    return output.arguments.last();
}

double timed(const QString& program, const QStringList& arguments) {
    QElapsedTimer timer;
    timer.start();
    Shell::run(program, arguments);
    return msSince(timer);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QDir cache(PackingSet::cacheDir());
    QDir().mkpath(cache.path());
    if (!PackingSet::fetch(cache, PackingSet::packages()))
        return 1;
    const auto tools = FFmpegLocator::locate();
    if (!tools || !tools->pngquant) {
        std::fprintf(stderr, "no ffmpeg or no pngquant\n");
        return 1;
    }
    const bool optipng = Shell::run(QStringLiteral("optipng"), {QStringLiteral("-v")}).status == 0;
    QTemporaryDir out;
    const QDir dir(out.path());
    const QStringList pngs = PackingSet::pngs(QDir(cache.filePath(QStringLiteral("root"))));
    const bool verbose = qEnvironmentVariableIsSet("TERSIO_BENCH_VERBOSE");
    Table read, exact, quantised, kept, squeeze, squeezeQuantised, ssim;
    for (const QString& source : pngs) {
        const QString lossless = encode(source, *tools, out.path());
        const QByteArray bytes = readAll(lossless);
        const bool alpha = QImage(source).hasAlphaChannel();
        QElapsedTimer timer;
        timer.start();
        const QImage image = QImage::fromData(bytes, "PNG");
        read.add(QStringLiteral("decode"), bytes.size(), msSince(timer));

        timer.restart();
        const auto few = PalettePng::exact(image, bytes, 9);
        exact.add(few ? QStringLiteral("counted and written, level 9")
                      : QStringLiteral("counted, too many"),
                  few ? few->size() : bytes.size(), msSince(timer));
        if (few) {
            for (const int level : {6, 7, 8, 9}) {
                timer.restart();
                const auto again = PalettePng::exact(image, bytes, level);
                exact.add(QStringLiteral("exact level %1").arg(level), again->size(),
                          msSince(timer));
            }
            continue;
        }

        QString chosen;
        for (const int speed : {4, 6, 7, 8, 10, 11}) {
            const QString candidate = dir.filePath(QStringLiteral("q%1.png").arg(speed));
            QStringList arguments{"--force", "--speed",  QString::number(speed),
                                  "--strip", "--output", candidate};
            if (alpha)
                arguments << "--nofs";
            const double ms = timed(*tools->pngquant, arguments << "--" << lossless);
            const QImage reduced(candidate);
            const qint64 size = QFileInfo(candidate).size();
            quantised.add(QStringLiteral("pngquant --speed %1").arg(speed), size, ms);
            const auto score = ImageSsim::flattened(image, reduced, alpha);
            const bool pass = score && *score >= PackSteps::paletteSsimFloor &&
                              size < bytes.size() &&
                              (!alpha || PackSteps::alphaHolds(image, reduced));
            kept.add(QStringLiteral("speed %1, kept or lossless").arg(speed),
                     pass ? size : bytes.size(), 0);
            if (verbose && speed == PackingTools::quantiseSpeed)
                std::printf("  %-36s %dx%d --speed %d: %.0f ms, %lld of %lld bytes, SSIM %.4f, "
                            "alpha %s: %s\n",
                            qPrintable(QFileInfo(source).fileName()), image.width(), image.height(),
                            speed, ms, size, qint64(bytes.size()), score.value_or(-1),
                            !alpha                                  ? "none"
                            : PackSteps::alphaHolds(image, reduced) ? "holds"
                                                                    : "frays",
                            pass ? "kept" : "lossless");
            if (speed == PackingTools::quantiseSpeed && pass)
                chosen = candidate;
        }

        timer.restart();
        const QImage reduced(dir.filePath(QStringLiteral("q7.png")));
        const auto inProcess = ImageSsim::flattened(image, reduced, alpha);
        ssim.add(QStringLiteral("in-process"), 0, msSince(timer));
        timer.restart();
        const auto byFFmpeg = FFmpegSsim::flattened(ffmpegPath, lossless,
                                                    dir.filePath(QStringLiteral("q7.png")), alpha);
        ssim.add(QStringLiteral("ffmpeg process"), 0, msSince(timer));
        if (!inProcess || !byFFmpeg || std::abs(*inProcess - *byFFmpeg) > 0.001)
            std::printf("  SSIM differs on %s: %f in-process, %f ffmpeg\n",
                        qPrintable(QFileInfo(source).fileName()), inProcess.value_or(-1),
                        byFFmpeg.value_or(-1));

        // The squeeze where the picture stays lossless, and on pngquant's copy where it is kept.
        const QString target = chosen.isEmpty() ? lossless : chosen;
        Table& table = chosen.isEmpty() ? squeeze : squeezeQuantised;
        const QByteArray start = readAll(target);
        table.add(QStringLiteral("as written"), start.size(), 0);
        if (verbose)
            std::printf("  %-36s %dx%d %s: %lld bytes\n", qPrintable(QFileInfo(source).fileName()),
                        image.width(), image.height(), chosen.isEmpty() ? "lossless" : "palette",
                        start.size());
        for (const int level : {6, 7, 8, 9})
            for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED}) {
                timer.restart();
                const auto again = PngChunks::redeflated(start, level, strategy);
                if (verbose)
                    std::printf("    level %d%s: %lld bytes, %.1f ms\n", level,
                                strategy == Z_FILTERED ? " filtered" : "",
                                again ? again->size() : -1, msSince(timer));
                table.add(
                    QStringLiteral("re-deflate level %1%2")
                        .arg(level)
                        .arg(strategy == Z_FILTERED ? QStringLiteral(" filtered") : QString()),
                    std::min(start.size(), again ? again->size() : start.size()), msSince(timer));
            }
        if (optipng) {
            const QString copy = dir.filePath(QStringLiteral("optipng.png"));
            QFile::remove(copy);
            QFile::copy(target, copy);
            const double ms = timed(QStringLiteral("optipng"), {"-quiet", "-o1", "--", copy});
            table.add(QStringLiteral("optipng -o1"), QFileInfo(copy).size(), ms);
            if (verbose)
                std::printf("    optipng -o1: %lld bytes, %.1f ms\n", QFileInfo(copy).size(), ms);
        }
    }
    std::printf("%lld web PNGs through the packed plan's ffmpeg\n", qint64(pngs.size()));
    read.print("Decoding ffmpeg's file");
    exact.print("Counting colours; the exact palette where there are few");
    quantised.print("pngquant on the others");
    kept.print("Bytes after the look checks (lossless where the copy fails)");
    ssim.print("The SSIM check of the --speed 7 copy");
    squeeze.print("Squeeze where the picture stays lossless");
    squeezeQuantised.print("Squeeze of pngquant's kept copy (--speed 7)");
    return 0;
}
