#include "FFmpegJob.h"

#include "ProgressParser.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <optional>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// How often the waiting worker looks at the stop flag; progress is passed on as soon as it
// arrives.
constexpr int pollMs = 100;

// ffmpeg's error text at log level "error" is short; a tool that floods standard error keeps
// only its latest part, which holds the line that gets shown.
constexpr qsizetype errorTextLimit = 1 << 20;

ShellResult cancelledResult() {
    return {130, {}, QStringLiteral("Cancelled")};
}

} // namespace

ShellResult FFmpegJob::run(const QString& tool, const QStringList& arguments, double duration,
                           const ProgressCallback& onProgress) {
    if (cancelled())
        return cancelledResult();

    // Created here so that the process belongs to the thread that waits for it.
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    process.setChildProcessModifier([] {
        // Own process group: a Ctrl-C in the terminal reaches the stop logic, not ffmpeg
        // directly. And no encoder outlives the thread waiting for it.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    if (auto failure = Shell::launch(process))
        return *failure;

    ProgressParser progress(duration);
    Utf8Chunks errorChunks;
    QString errorText;
    const auto takeOutput = [&] {
        for (double fraction : progress.feed(process.readAllStandardOutput()))
            if (onProgress)
                onProgress(fraction);
        errorText += errorChunks.decode(process.readAllStandardError());
        if (errorText.size() > errorTextLimit)
            errorText.remove(0, errorText.size() - errorTextLimit);
    };

    std::optional<QDeadlineTimer> killAt;
    while (process.state() != QProcess::NotRunning) {
        // Returns as soon as a progress block arrives (or the process exits).
        process.waitForReadyRead(pollMs);
        takeOutput();
        if (!cancelled())
            continue;
        if (!killAt) {
            process.terminate();
            killAt = QDeadlineTimer(terminateGraceMs);
        } else if (killAt->hasExpired()) {
            process.kill();
        }
    }
    // QProcess has read what was left in both pipes when it saw the exit.
    takeOutput();

    if (cancelled())
        return cancelledResult();
    return {process.exitCode(), {}, errorText};
}
