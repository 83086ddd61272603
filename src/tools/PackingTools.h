#pragma once

#include "FFmpegJob.h"

#include <QString>

// pngquant, the optional helper that turns a PNG into a palette one. It runs as a child process
// (it is GPL, and so is its library); a missing one only means a larger file.
namespace PackingTools {

// pngquant's speed setting (1 slowest, 11 fastest): the fastest whose files stay within a
// percent of the default's.
constexpr int quantiseSpeed = 7;

// Writes a 256-colour palette copy of `input` to `output` (pngquant), through `job` so that a
// stop ends it at once. Dithering is left out for pictures with alpha: it frays the edges of
// binary transparency. Returns the failure text ("Cancelled" after a stop); empty on success.
QString quantise(FFmpegJob& job, const QString& pngquant, const QString& input,
                 const QString& output, bool keepMetadata, bool alpha);

} // namespace PackingTools
