#pragma once

#include "planning/CommandBuilder.h"
#include "tools/FFmpegJob.h"

#include <QString>
#include <QStringList>

// One planned output encoded so that its destination is never left half-written: ffmpeg writes
// a hidden file beside the destination, which replaces the destination (rename(2)) only after
// a clean exit and is removed otherwise.
namespace StagedEncode {

struct Outcome {
    int status = 0;  // 0 written, 130 stopped, anything else failed
    QString message; // the failure text shown on the item
    qint64 bytes = 0;
};

// ".<name>.tersio-<random>.<ext>" in the destination's folder: hidden, so adding the folder
// again never queues it, and with the destination's extension, which picks ffmpeg's muxer.
QString temporaryName(const QString& destinationPath, const QString& random);

// The argument list handed to ffmpeg: the planned one with its last element (the destination)
// replaced by the path that is actually written and, when `readPath` is given, the input after
// "-i" replaced by the prepared copy of the source.
QStringList launchArguments(const QStringList& planned, const QString& writePath,
                            const QString& readPath = {});

// The last non-empty line of standard error, or "FFmpeg exited with code N.".
QString failureMessage(const ShellResult& result);

// Blocking; run it on a worker thread. `readPath`: see launchArguments.
Outcome run(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
            const FFmpegJob::ProgressCallback& onProgress, const QString& readPath = {});

} // namespace StagedEncode
