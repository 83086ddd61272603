#pragma once

#include "Shell.h"

#include <QStringList>

#include <atomic>
#include <functional>

// Runs one planned ffmpeg invocation with live progress. Shared between the batch run (which
// may stop it from the main thread) and the worker thread blocked in run(). Used once.
class FFmpegJob {
  public:
    using ProgressCallback = std::function<void(double fraction)>;

    FFmpegJob() = default;
    FFmpegJob(const FFmpegJob&) = delete;
    FFmpegJob& operator=(const FFmpegJob&) = delete;

    // Blocks until the process has exited and both its pipes are drained. onProgress is called
    // on the thread that calls run, never after run has returned. Status -1 with the launch
    // error when the tool cannot start; 130 with "Cancelled" after a stop; otherwise the exit
    // status with standard error's text. stdoutText is always empty.
    ShellResult run(const QString& tool, const QStringList& arguments, double duration,
                    const ProgressCallback& onProgress);

    // Any thread, any time, returns at once: sets `cancelled`; the running process is asked to
    // terminate (SIGTERM, so ffmpeg can close its file) and killed if it has not gone within
    // terminateGrace. A stop before the process starts keeps it from starting.
    void stop() { cancelled_.store(true); }

    bool cancelled() const { return cancelled_.load(); }

    static constexpr int terminateGraceMs = 2000;

  private:
    std::atomic<bool> cancelled_{false};
};
