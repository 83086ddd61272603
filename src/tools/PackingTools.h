#pragma once

#include <QString>

#include <optional>

// The optional helpers that pack PNG pixels tighter than ffmpeg does. Both run as child
// processes; a missing one only means a larger file.
namespace PackingTools {

// Writes a 256-colour palette copy of `input` to `output` (pngquant). Dithering is left out for
// pictures with alpha: it frays the edges of binary transparency. Returns the failure text;
// empty on success.
QString quantise(const QString& pngquant, const QString& input, const QString& output,
                 bool keepMetadata, bool alpha);

// Recompresses the PNG at `path` in place, losslessly, with the reductions of bit depth and
// colour type that keep every pixel (optipng). Returns the failure text; empty on success.
QString squeeze(const QString& optipng, const QString& path);

// The structural similarity of `candidate` to `reference` (pictures of one size) over R, G and
// B, with both flattened onto white and, when `alpha`, onto black too: the lower score. No
// value when ffmpeg cannot compare them.
std::optional<double> flattenedSsim(const QString& ffmpeg, const QString& reference,
                                    const QString& candidate, bool alpha);

// The lowest "All:" figure of ffmpeg's ssim statistics lines; no value without one.
std::optional<double> lowestSsim(const QString& statistics);

} // namespace PackingTools
