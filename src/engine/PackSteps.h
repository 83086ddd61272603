#pragma once

#include "planning/CommandBuilder.h"
#include "tools/FFmpegJob.h"
#include "tools/FFmpegLocator.h"

#include <QImage>
#include <QString>
#include <QStringList>

// The lossless steps a planned output names, run on the staged file that ffmpeg has just
// written, before it is renamed into place. A step that cannot run leaves the file as it was and
// says why; none of them ever fails the output.
namespace PackSteps {

// Nanoseconds spent in the PNG steps, added up over every call that is given them: the palette
// (reading the picture, counting its colours, pngquant, the alpha check), its SSIM check, the
// squeeze and the fall-back on the source.
struct StepTimes {
    qint64 palette = 0;
    qint64 ssim = 0;
    qint64 squeeze = 0;
    qint64 fallback = 0;
};

struct Context {
    FFmpegTools tools;
    QString source;              // the original file
    bool sourcePrepared = false; // ffmpeg read a decoded copy: its pixels were converted
    bool alpha = false;          // the source has an alpha channel
    StepTimes* times = nullptr;  // measured only when given
};

// A palette copy is kept only when it looks this close to the lossless picture.
constexpr double paletteSsimFloor = 0.965;
// ... and keeps binary transparency exactly and partly transparent pixels within this many
// alpha levels on average.
constexpr int softAlphaTolerance = 2;

// True when `palette` keeps the binary transparency of `lossless` exactly and its partly
// transparent pixels within softAlphaTolerance levels on average.
bool alphaHolds(const QImage& lossless, const QImage& palette);

// Blocking (whole files in memory, pngquant as a child process run through `job`, so that a
// stop ends it at once): call it on a worker thread. Returns the notes for the user, one per
// skipped step.
QStringList run(FFmpegJob& job, const PlannedOutput& output, const QString& staged,
                const Context& context);

// True when `source` shows its pixels as stored (no EXIF turn or mirror).
bool storedUpright(const QString& source);

} // namespace PackSteps
