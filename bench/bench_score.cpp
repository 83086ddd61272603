// What scoring one image output costs once its encode has written the reference: the engine's
// measure (in-process for a JPEG), best of fifteen, against the same comparison by an ffmpeg
// process, best of five. Without a reference the output was written from SOURCE as it is, which
// then is the reference.
// Usage: bench_score SOURCE OUTPUT.jpg [REFERENCE.fits] (bench_quality.sh score makes them).
#include "engine/QualityScore.h"
#include "tools/FFmpegJob.h"
#include "tools/Shell.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: bench_score SOURCE OUTPUT.jpg [REFERENCE.fits]\n");
        return 2;
    }
    const QString written = args.at(2), reference = args.value(3);
    const QString ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
    PlannedOutput output; // a still read with no filters, or the reference standing for them
    output.destination = QUrl::fromLocalFile(written);
    output.arguments = {"-i", args.at(1), written};
    double engineMs = 1e9, processMs = 1e9;
    std::optional<double> engineScore, processScore;
    // Each kind in a run of its own, so that neither leaves the other's data in the caches.
    for (int round = 0; round < 15; ++round) {
        FFmpegJob job;
        QElapsedTimer timer;
        timer.start();
        engineScore =
            QualityScore::measure(job, ffmpeg, output, {written, {}, false, 0, reference});
        engineMs = std::min(engineMs, double(timer.nsecsElapsed()) / 1e6);
    }
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        const ShellResult result =
            Shell::run(ffmpeg, QualityScore::arguments(output, {written, {}, false, 0, reference}));
        processMs = std::min(processMs, double(timer.nsecsElapsed()) / 1e6);
        processScore = QualityScore::meanAll(result.stderrText);
    }
    std::printf("%.1f %.6f %.1f %.6f\n", engineMs, engineScore.value_or(-1), processMs,
                processScore.value_or(-1));
    return engineScore ? 0 : 1;
}
