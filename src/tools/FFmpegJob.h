#pragma once

#include "Shell.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// Runs one planned ffmpeg invocation with live progress. Shared between the batch run (which
// may stop it from the main thread) and the worker thread blocked in run(). Used once.
class FFmpegJob {
public:
    using ProgressCallback = std::function<void(double fraction)>;

    FFmpegJob();
    ~FFmpegJob();

    // Blocks until the process has exited. onProgress is called on another thread.
    ShellResult run(const QString& tool, const QStringList& arguments, double duration,
                    const ProgressCallback& onProgress);

    // Thread-safe: sets `cancelled` and asks the process to terminate (killed after a grace
    // period if it does not). Returns at once.
    void stop();

    bool cancelled() const { return cancelled_.load(); }

private:
    struct State;
    std::shared_ptr<State> state_;
    std::atomic<bool> cancelled_{false};
};
