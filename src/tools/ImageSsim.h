#pragma once

#include <QImage>

#include <array>
#include <optional>

// The structural similarity of two pictures of one size, computed in-process as ffmpeg's ssim
// filter computes it: 8x8 windows every 4 pixels, built from 4x4 block sums, on 8-bit planes,
// and its "All" figure, the mean over R, G and B.
namespace ImageSsim {

// One 8-bit plane.
struct Plane {
    const uchar* data = nullptr;
    qsizetype stride = 0;
    int width = 0;
    int height = 0;
};

// R, G and B.
using Planes = std::array<Plane, 3>;

// The mean over every window of two planes of one size; no value when either side is under 8
// pixels (no whole window).
std::optional<double> plane(const Plane& a, const Plane& b);

// The mean of the three planes' figures: the "All" figure of ffmpeg's ssim on planar RGB. No value
// when a size differs or a side is too small.
std::optional<double> rgb(const Planes& a, const Planes& b);

// Both pictures flattened onto white and, when `alpha`, onto black too: the lower "All" figure.
// An opaque picture is compared as it is. No value when the sizes differ or a side is too small.
std::optional<double> flattened(const QImage& reference, const QImage& candidate, bool alpha);

} // namespace ImageSsim
