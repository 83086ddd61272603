#pragma once

#include "engine/PackSteps.h"
#include "planning/CommandBuilder.h"
#include "tools/FFmpegJob.h"

#include <QString>
#include <QStringList>

#include <optional>

// One planned output encoded so that its destination is never left half-written: ffmpeg writes
// a hidden file beside the destination, which replaces the destination (rename(2)) only after
// a clean exit and is removed otherwise.
namespace StagedEncode {

struct Outcome {
    int status = 0;  // 0 written, 130 stopped, anything else failed
    QString message; // the failure text shown on the item
    qint64 bytes = 0;
    QString note; // steps after ffmpeg that were skipped, for the user
};

// Who writes a hidden file: the machine and the process, so a later run can tell a crashed
// run's leftovers from an encode still going on, perhaps on another machine sharing the folder.
struct Writer {
    QString host; // empty: not recorded (files left by older versions)
    qint64 pid = 0;

    static Writer current();
    friend bool operator==(const Writer&, const Writer&) = default;
};

// ".<name>.tersio-<pid>-<random>@<host>.<ext>" in the destination's folder: hidden, so adding
// the folder again never queues it, and with the destination's extension, which picks ffmpeg's
// muxer. A name too long for the file system is cut and marked with a hash of the whole name.
QString temporaryName(const QString& destinationPath, const QString& random,
                      const Writer& writer = Writer::current());

// The writer recorded in `fileName` when it is one of the destination's hidden files.
std::optional<Writer> writerOf(const QString& fileName, const QString& destinationPath);

// Removes the destination's hidden files whose writer is gone: a process of this machine that
// no longer runs, or, for another machine's, one not touched for `quietSeconds`. Returns how
// many went.
int removeStale(const QString& destinationPath, qint64 quietSeconds = 600);

// Creates the hidden file exclusively (mode from the umask, like any ffmpeg output), so two
// encodes can never share one. Empty on failure, with the file system's description in `reason`.
QString reserveTemporary(const QString& destinationPath, QString* reason);

// "Cannot write in <folder>: <reason>", when a hidden file could not be made beside it.
QString unwritableMessage(const QString& destinationPath, const QString& reason);

// Renames the hidden file over the destination. On failure the hidden file is removed and the
// result is "Cannot save <name>: <reason>"; empty on success.
QString moveIntoPlace(const QString& temporary, const QString& destinationPath);

// The argument list handed to ffmpeg: the planned one with its last element (the destination)
// replaced by the path that is actually written and, when `readPath` is given, the input after
// "-i" replaced by the prepared copy of the source.
QStringList launchArguments(const QStringList& planned, const QString& writePath,
                            const QString& readPath = {});

// The last non-empty line of standard error, or "FFmpeg exited with code N.".
QString failureMessage(const ShellResult& result);

// Blocking; run it on a worker thread. `readPath`: see launchArguments. The output's post-steps
// run on the staged file with `packing`, before it is renamed into place.
Outcome run(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
            const FFmpegJob::ProgressCallback& onProgress, const QString& readPath = {},
            const PackSteps::Context& packing = {});

} // namespace StagedEncode
