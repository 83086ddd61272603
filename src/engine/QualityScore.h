#pragma once

#include "planning/CommandBuilder.h"
#include "tools/FFmpegJob.h"

#include <QString>
#include <QStringList>

#include <optional>

// How closely a written output matches its source: the mean of ffmpeg's ssim "All" figure (R,
// G and B) over the frames compared. The source is read the way the output's planned arguments
// read it (its input options, a prepared copy in its place, its -vf chain), so the reference has
// the output's size and look whatever the planner does; or that reference is taken as the
// output's encode wrote it (ScoreReference).
namespace QualityScore {

// At most this many frames of a video output are compared, spread evenly over it.
constexpr int maxVideoFrames = 10;

struct Request {
    QString written;    // the output file to score (the staged file, after its post-steps)
    QString readPath;   // read in place of the source (a prepared copy); empty: the source
    bool alpha = false; // both sides are flattened onto white, as an opaque output would be
    // Seconds the output lasts; 0 for a still (one frame compared).
    double duration = 0;
    // The reference picture the encode wrote (ScoreReference); empty: built from the source.
    QString reference;
};

// The one ffmpeg invocation that prints the statistics on standard error.
QStringList arguments(const PlannedOutput& output, const Request& request);

// The mean of the "All:" figures of ffmpeg's ssim statistics lines; no value without one.
std::optional<double> meanAll(const QString& statistics);

// Three decimals, cut rather than rounded, so a score just short of a target never reads as it.
QString text(double score);

// Blocking; runs through `job`, so a stop ends it (no value then). No value either when ffmpeg
// cannot compare the two: a score never fails an output.
std::optional<double> measure(FFmpegJob& job, const QString& ffmpeg, const PlannedOutput& output,
                              const Request& request);

} // namespace QualityScore
