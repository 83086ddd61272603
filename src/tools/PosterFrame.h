#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Where a video's poster is taken: the usual tenth of the duration, unless that frame is black
// or blank, in which case the first later candidate that shows a picture.
namespace PosterFrame {

// Luma of one frame on the full 0–255 scale, whatever range the source was coded in.
struct LumaStats {
    double mean = 0;
    double deviation = 0;
};

// A tenth of the duration, at most 3 s; 0 (no seek) when the duration is unknown.
double usualTime(double duration);

// The usual time first, then 10 %, 20 % … 50 % of the duration where later than it, each
// rounded to the millisecond the planner writes.
QList<double> candidateTimes(double duration);

// Statistics of a plane of 8-bit grey samples; empty input gives all zeros.
LumaStats measure(const QByteArray& grey);

// Dark (mean under 6 % of the scale) or without detail (deviation under 4) fails.
bool showsPicture(const LumaStats& stats);

// Blocking: one seek and one decode with ffmpeg. Empty when no frame could be read there.
std::optional<LumaStats> look(const QUrl& source, const QString& ffmpeg, double seconds);

// Blocking: looks at the candidates in order and gives the first that shows a picture, or the
// usual time when none does (or ffmpeg cannot be run).
double choose(const QUrl& source, const QString& ffmpeg, double duration);

} // namespace PosterFrame
