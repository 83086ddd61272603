#pragma once

#include "planning/CommandBuilder.h"
#include "tools/FFmpegLocator.h"

#include <QString>
#include <QStringList>

// The lossless steps a planned output names, run on the staged file that ffmpeg has just
// written, before it is renamed into place. A step that cannot run leaves the file as it was and
// says why; none of them ever fails the output.
namespace PackSteps {

struct Context {
    FFmpegTools tools;
    QString source;              // the original file
    bool sourcePrepared = false; // ffmpeg read a decoded copy: its pixels were converted
    bool alpha = false;          // the source has an alpha channel
};

// A palette copy is kept only when it looks this close to the lossless picture.
constexpr double paletteSsimFloor = 0.965;
// ... and keeps binary transparency exactly and partly transparent pixels within this many
// alpha levels on average.
constexpr int softAlphaTolerance = 2;

// Blocking (child processes, whole files in memory): call it on a worker thread. Returns the
// notes for the user, one per skipped step.
QStringList run(const PlannedOutput& output, const QString& staged, const Context& context);

// True when `source` shows its pixels as stored (no EXIF turn or mirror).
bool storedUpright(const QString& source);

} // namespace PackSteps
