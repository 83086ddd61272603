// How the packing of pixels pays off on real pictures: photographs and web PNGs taken from
// Debian packages (fetched once with apt-get download into a cache folder). Each source is
// encoded with today's plan (ffmpeg alone) and with the packed plan (4:2:0, row filters, then
// the post-steps), one after another, and both are scored with SSIM against the source.
#include "FFmpegSsim.h"
#include "PackingSet.h"
#include "engine/PackSteps.h"
#include "engine/SourceReading.h"
#include "engine/StagedEncode.h"
#include "planning/CommandBuilder.h"
#include "tools/FFmpegLocator.h"
#include "tools/JpegRepack.h"
#include "tools/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QString ffmpegPath = QStringLiteral("/usr/bin/ffmpeg");

struct Score {
    qint64 sourceBytes = 0;
    qint64 bytes = 0;
    double ssim = 0;
    double ms = 0;
    bool sameFormatAndSize = false;
    PackSteps::StepTimes steps;
};

// SSIM of the output against the source scaled to the output's size, over R, G and B;
// pictures with alpha are flattened onto white and onto black and the worse counts.
double ssimAgainstSource(const QString& source, const QString& output, bool alpha) {
    const QSize outSize = QImageReader(output).size();
    if (QImageReader(source).size() == outSize)
        return FFmpegSsim::flattened(ffmpegPath, source, output, alpha).value_or(0);
    const QString graph =
        QStringLiteral("[1:v]scale=%1:%2:flags=lanczos,format=gbrp[r];[0:v]format=gbrp[o];"
                       "[o][r]ssim=stats_file=-")
            .arg(outSize.width())
            .arg(outSize.height());
    const ShellResult result =
        Shell::run(ffmpegPath, {"-hide_banner", "-nostdin", "-loglevel", "error", "-i", output,
                                "-i", source, "-filter_complex", graph, "-f", "null", "-"});
    return FFmpegSsim::lowest(result.stdoutText).value_or(0);
}

// Today's plan: the same invocation without the packing arguments and without post-steps.
PlannedOutput today(PlannedOutput output) {
    QStringList& a = output.arguments;
    for (const char* option : {"-pix_fmt", "-pred"}) {
        const qsizetype at = a.lastIndexOf(QLatin1String(option));
        if (at >= 0 && at == a.size() - 3)
            a.remove(at, 2);
    }
    output.post.clear();
    return output;
}

Score encode(const QString& source, ImageFormat format, double quality, bool packed,
             const FFmpegTools& tools, const QString& outDir) {
    MediaItem item;
    item.url = QUrl::fromLocalFile(source);
    SourceReading::apply(SourceReading::read(item, tools.ffprobe), item);
    TersioSettings settings;
    settings.imageFormat = format;
    settings.imageQuality = quality;
    EncoderCaps caps;
    caps.names = {QStringLiteral("mjpeg"), QStringLiteral("png")};
    PlannedOutput output =
        CommandBuilder::imagePlan(item, settings, caps, QUrl::fromLocalFile(outDir)).first();
    if (!packed)
        output = today(output);
    FFmpegJob job;
    Score score;
    QElapsedTimer timer;
    timer.start();
    const auto outcome = StagedEncode::run(job, ffmpegPath, output, {}, {},
                                           {tools, source, false, item.hasAlpha, &score.steps});
    score.ms = double(timer.nsecsElapsed()) / 1e6;
    score.sourceBytes = QFileInfo(source).size();
    score.bytes = outcome.bytes;
    const QString written = output.destination.toLocalFile();
    score.ssim = ssimAgainstSource(source, written, item.hasAlpha);
    score.sameFormatAndSize = !output.arguments.contains(QStringLiteral("-vf")) &&
                              QFileInfo(source).suffix().toLower() ==
                                  QFileInfo(written).suffix().toLower().replace("jpeg", "jpg");
    QFile::remove(written);
    return score;
}

struct Totals {
    qint64 sourceBytes = 0, bytes = 0;
    double ssimSum = 0, ssimMin = 1, ms = 0;
    int count = 0, larger = 0, largerSame = 0;
    PackSteps::StepTimes steps;

    void add(const Score& s) {
        steps.palette += s.steps.palette;
        steps.ssim += s.steps.ssim;
        steps.squeeze += s.steps.squeeze;
        steps.fallback += s.steps.fallback;
        sourceBytes += s.sourceBytes;
        bytes += s.bytes;
        ssimSum += s.ssim;
        ssimMin = std::min(ssimMin, s.ssim);
        ms += s.ms;
        ++count;
        larger += s.bytes > s.sourceBytes;
        largerSame += s.sameFormatAndSize && s.bytes > s.sourceBytes;
    }
    double meanSsim() const { return count ? ssimSum / count : 0; }
    void print(const char* name) const {
        std::printf("  %-7s %9lld bytes (%+.1f %% against the sources), SSIM mean %.4f min %.4f, "
                    "%d larger than their source (%d of the same format and size), %.0f ms per "
                    "image\n",
                    name, bytes, 100.0 * double(sourceBytes - bytes) / double(sourceBytes),
                    meanSsim(), ssimMin, larger, largerSame, count ? ms / count : 0);
    }
    // Where the packed plan's added time goes over today's, in milliseconds over all pictures:
    // its own ffmpeg runs (the row filters) and each post-step.
    void printSteps(const Totals& today) const {
        const double posts = double(steps.palette + steps.squeeze + steps.fallback) / 1e6;
        std::printf("  added: ffmpeg %.0f ms; palette %.0f ms (SSIM check %.0f ms of it), "
                    "squeeze %.0f ms, fall-back %.0f ms\n",
                    ms - posts - today.ms, double(steps.palette) / 1e6, double(steps.ssim) / 1e6,
                    double(steps.squeeze) / 1e6, double(steps.fallback) / 1e6);
    }
};

std::pair<Totals, Totals> compare(const QStringList& sources, ImageFormat format, double quality,
                                  const FFmpegTools& tools, const QString& outDir) {
    Totals before, after;
    const bool verbose = qEnvironmentVariableIsSet("TERSIO_BENCH_VERBOSE");
    for (const QString& source : sources) {
        const Score b = encode(source, format, quality, false, tools, outDir);
        const Score a = encode(source, format, quality, true, tools, outDir);
        before.add(b);
        after.add(a);
        if (verbose)
            std::printf("    %-40s %8lld: today %8lld %.4f %5.0f ms, packed %8lld %.4f %5.0f ms\n",
                        qPrintable(QFileInfo(source).fileName()), b.sourceBytes, b.bytes, b.ssim,
                        b.ms, a.bytes, a.ssim, a.ms);
    }
    return {before, after};
}

// Today's bytes at a given mean SSIM, read off its curve (linear in log bytes).
double bytesAt(const QList<std::pair<double, double>>& curve, double ssim) {
    for (qsizetype i = 0; i + 1 < curve.size(); ++i) {
        const auto [s0, b0] = curve[i];
        const auto [s1, b1] = curve[i + 1];
        if ((ssim - s0) * (ssim - s1) <= 0 && s1 != s0)
            return std::exp(std::log(b0) + (std::log(b1) - std::log(b0)) * (ssim - s0) / (s1 - s0));
    }
    return std::nan("");
}

// The lossless re-pack in-process (TurboJPEG) against jpegtran as a child process, on the
// photographs as ffmpeg writes them at the default quality; best of three each.
void repackCost(const QStringList& photos, const QString& outDir) {
    double inProcess = 0, child = 0;
    qint64 inBytes = 0, childBytes = 0;
    for (const QString& photo : photos) {
        const QString encoded = QDir(outDir).filePath(QStringLiteral("plain.jpg"));
        const QString repacked = QDir(outDir).filePath(QStringLiteral("repacked.jpg"));
        Shell::run(ffmpegPath, {"-v", "error", "-y", "-i", photo, "-vf",
                                "scale='min(2400,iw)':-2:flags=lanczos", "-map_metadata", "-1",
                                "-q:v", "8", "-pix_fmt", "yuvj420p", encoded});
        QFile file(encoded);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        double best = 1e18, bestChild = 1e18;
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer timer;
            timer.start();
            const auto packed = JpegRepack::transform(bytes, {});
            best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
            if (round == 0)
                inBytes += packed ? packed->size() : 0;
            timer.restart();
            Shell::run(QStringLiteral("jpegtran"), {"-copy", "none", "-optimize", "-progressive",
                                                    "-outfile", repacked, encoded});
            bestChild = std::min(bestChild, double(timer.nsecsElapsed()) / 1e6);
        }
        childBytes += QFileInfo(repacked).size();
        inProcess += best;
        child += bestChild;
    }
    std::printf("Re-pack of %lld JPEGs: TurboJPEG in-process %.1f ms per image (%lld bytes), "
                "jpegtran child %.1f ms per image (%lld bytes)\n",
                qint64(photos.size()), inProcess / photos.size(), inBytes, child / photos.size(),
                childBytes);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList parts = app.arguments().mid(1);
    const bool all = parts.isEmpty();
    const QDir cache(PackingSet::cacheDir());
    QDir().mkpath(cache.path());
    if (!PackingSet::fetch(cache, PackingSet::packages()))
        return 1;
    const QDir root(cache.filePath(QStringLiteral("root")));
    const auto located = FFmpegLocator::locate();
    if (!located) {
        std::fprintf(stderr, "no ffmpeg\n");
        return 1;
    }
    const FFmpegTools tools = *located;
    std::printf("pngquant %s\n", qPrintable(tools.pngquant.value_or("missing")));
    QTemporaryDir out;

    const QStringList photos = PackingSet::samplePhotos();
    if (photos.size() < 20) {
        std::fprintf(stderr, "no sample photographs\n");
        return 1;
    }
    if (all || parts.contains(QStringLiteral("repack")))
        repackCost(photos, out.path());
    if (all || parts.contains(QStringLiteral("jpeg"))) {
        std::printf("JPEG, %lld photographs (JPEG and PNG) from Debian's wallpapers\n",
                    qint64(photos.size()));
        QList<std::pair<double, double>> curveBefore, curveAfter;
        for (const double quality : {60.0, 78.0, 90.0}) {
            const auto [before, after] =
                compare(photos, ImageFormat::jpeg, quality, tools, out.path());
            std::printf(" quality %.0f\n", quality);
            before.print("today");
            after.print("packed");
            std::printf("  packed/today bytes %.3f, added time %.1f %%\n",
                        double(after.bytes) / double(before.bytes),
                        100.0 * (after.ms - before.ms) / before.ms);
            curveBefore << std::pair{before.meanSsim(), double(before.bytes)};
            curveAfter << std::pair{after.meanSsim(), double(after.bytes)};
        }
        std::sort(curveBefore.begin(), curveBefore.end());
        for (const auto& [ssim, bytes] : curveAfter) {
            const double todayBytes = bytesAt(curveBefore, ssim);
            std::printf(" at mean SSIM %.4f: packed %.0f bytes, today %.0f bytes: %.3f\n", ssim,
                        bytes, todayBytes, bytes / todayBytes);
        }
    }

    if (all || parts.contains(QStringLiteral("png"))) {
        const QStringList pngs = PackingSet::pngs(root);
        std::printf("PNG, %lld web PNGs (icons, logos, illustrations, a desktop screenshot)\n",
                    qint64(pngs.size()));
        const auto [before, after] = compare(pngs, ImageFormat::png, 78, tools, out.path());
        before.print("today");
        after.print("packed");
        after.printSteps(before);
        std::printf("  added time %.1f %%\n", 100.0 * (after.ms - before.ms) / before.ms);
    }
    return 0;
}
