#include "ImageSsim.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace ImageSsim {

namespace {

// Sums of one 4x4 block of both planes: values, squares of both, products.
struct Sums {
    qint64 a = 0, b = 0, squares = 0, products = 0;
};

// The constants of the filter, scaled for sums over 64 pixels.
constexpr qint64 c1 = qint64(.01 * .01 * 255 * 255 * 64 + .5);
constexpr qint64 c2 = qint64(.03 * .03 * 255 * 255 * 64 * 63 + .5);

// Rows of windows handed to one thread at a time; small enough to share the work evenly.
constexpr int bandRows = 32;

// Pictures smaller than this are not worth a second thread.
constexpr qint64 threadedPixels = 256 * 256;

void blockRow(const Plane& pa, const Plane& pb, int blockY, std::vector<Sums>& out) {
    std::fill(out.begin(), out.end(), Sums{});
    const auto blocks = qsizetype(out.size());
    for (int r = 0; r < 4; ++r) {
        const uchar* a = pa.data + (4 * qsizetype(blockY) + r) * pa.stride;
        const uchar* b = pb.data + (4 * qsizetype(blockY) + r) * pb.stride;
        for (qsizetype z = 0; z < blocks; ++z, a += 4, b += 4) {
            int s1 = 0, s2 = 0, ss = 0, s12 = 0;
            for (int x = 0; x < 4; ++x) {
                s1 += a[x];
                s2 += b[x];
                ss += a[x] * a[x] + b[x] * b[x];
                s12 += a[x] * b[x];
            }
            Sums& sums = out[z];
            sums.a += s1;
            sums.b += s2;
            sums.squares += ss;
            sums.products += s12;
        }
    }
}

double window(const Sums& s) {
    const qint64 variances = s.squares * 64 - s.a * s.a - s.b * s.b;
    const qint64 covariance = s.products * 64 - s.a * s.b;
    return double(2 * s.a * s.b + c1) * double(2 * covariance + c2) /
           (double(s.a * s.a + s.b * s.b + c1) * double(variances + c2));
}

// The sum over the windows whose lower block row is in [from, to).
double bandSum(const Plane& a, const Plane& b, int from, int to) {
    const int blocks = a.width / 4;
    std::vector<Sums> above(blocks), below(blocks);
    blockRow(a, b, from - 1, below);
    double sum = 0;
    for (int y = from; y < to; ++y) {
        std::swap(above, below);
        blockRow(a, b, y, below);
        for (int z = 0; z + 1 < blocks; ++z) {
            const Sums s{above[z].a + above[z + 1].a + below[z].a + below[z + 1].a,
                         above[z].b + above[z + 1].b + below[z].b + below[z + 1].b,
                         above[z].squares + above[z + 1].squares + below[z].squares +
                             below[z + 1].squares,
                         above[z].products + above[z + 1].products + below[z].products +
                             below[z + 1].products};
            sum += window(s);
        }
    }
    return sum;
}

// Calls work(k) for every k below `count`, on this thread and up to `threads - 1` more.
template <typename Work> void spread(int count, int threads, const Work& work) {
    std::atomic<int> next{0};
    const auto drain = [&] {
        for (int k; (k = next.fetch_add(1)) < count;)
            work(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(threads, count); ++t)
        helpers.emplace_back(drain);
    drain();
    for (std::thread& helper : helpers)
        helper.join();
}

int threadsFor(qint64 pixels) {
    if (pixels < threadedPixels)
        return 1;
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

bool comparable(const Plane& a, const Plane& b) {
    return a.width == b.width && a.height == b.height && a.width >= 8 && a.height >= 8;
}

// The plane pairs' window sums, spread over threads in bands of window rows.
std::vector<double> sums(const std::vector<std::pair<Plane, Plane>>& pairs, int threads) {
    const int rows = pairs.front().first.height / 4 - 1;
    const int bands = (rows + bandRows - 1) / bandRows;
    std::vector<double> partial(pairs.size() * bands);
    spread(int(partial.size()), threads, [&](int k) {
        const auto& [a, b] = pairs[k / bands];
        const int from = 1 + (k % bands) * bandRows;
        partial[k] = bandSum(a, b, from, std::min(from + bandRows, rows + 1));
    });
    std::vector<double> total(pairs.size());
    for (std::size_t k = 0; k < partial.size(); ++k)
        total[k / bands] += partial[k];
    return total;
}

// c·a/255, rounded: the colour over black.
inline int overBlack(int c, int a) {
    const int x = c * a + 128;
    return (x + (x >> 8)) >> 8;
}

// R, G and B of an ARGB32 picture flattened onto black or white, as three planes.
struct Flat {
    std::vector<uchar> data;
    int width = 0, height = 0;

    Plane plane(int channel) const {
        return {data.data() + qsizetype(channel) * width * height, width, width, height};
    }
};

Flat flatten(const QImage& image, bool white, int threads) {
    Flat flat{std::vector<uchar>(std::size_t(3) * image.width() * image.height()), image.width(),
              image.height()};
    const qsizetype size = qsizetype(flat.width) * flat.height;
    const int bands = (flat.height + bandRows - 1) / bandRows;
    spread(bands, threads, [&](int band) {
        for (int y = band * bandRows; y < std::min(flat.height, (band + 1) * bandRows); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* r = flat.data.data() + qsizetype(y) * flat.width;
            uchar* g = r + size;
            uchar* b = g + size;
            for (int x = 0; x < flat.width; ++x) {
                const QRgb p = line[x];
                const int a = qAlpha(p);
                if (white) {
                    r[x] = uchar(255 - overBlack(255 - qRed(p), a));
                    g[x] = uchar(255 - overBlack(255 - qGreen(p), a));
                    b[x] = uchar(255 - overBlack(255 - qBlue(p), a));
                } else {
                    r[x] = uchar(overBlack(qRed(p), a));
                    g[x] = uchar(overBlack(qGreen(p), a));
                    b[x] = uchar(overBlack(qBlue(p), a));
                }
            }
        }
    });
    return flat;
}

} // namespace

std::optional<double> plane(const Plane& a, const Plane& b) {
    if (!comparable(a, b))
        return std::nullopt;
    const double windows = double(a.width / 4 - 1) * double(a.height / 4 - 1);
    return sums({{a, b}}, threadsFor(qint64(a.width) * a.height)).front() / windows;
}

std::optional<double> flattened(const QImage& reference, const QImage& candidate, bool alpha) {
    if (reference.size() != candidate.size() || reference.width() < 8 || reference.height() < 8)
        return std::nullopt;
    const int threads = threadsFor(qint64(reference.width()) * reference.height());
    const QImage a = reference.convertToFormat(QImage::Format_ARGB32);
    const QImage b = candidate.convertToFormat(QImage::Format_ARGB32);
    const bool transparent = a.hasAlphaChannel() || b.hasAlphaChannel();
    std::vector<Flat> flats;
    for (const bool white : {true, false}) {
        if (!white && !(alpha && transparent))
            break;
        flats.push_back(flatten(a, white, threads));
        flats.push_back(flatten(b, white, threads));
    }
    std::vector<std::pair<Plane, Plane>> pairs;
    for (std::size_t k = 0; k < flats.size(); k += 2)
        for (int channel = 0; channel < 3; ++channel)
            pairs.emplace_back(flats[k].plane(channel), flats[k + 1].plane(channel));
    const std::vector<double> total = sums(pairs, threads);
    const double windows = double(a.width() / 4 - 1) * double(a.height() / 4 - 1);
    double lowest = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < total.size(); k += 3)
        lowest = std::min(lowest, (total[k] + total[k + 1] + total[k + 2]) / (3 * windows));
    return lowest;
}

} // namespace ImageSsim
