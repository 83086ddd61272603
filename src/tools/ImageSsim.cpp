#include "ImageSsim.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ImageSsim {

namespace {

// Sums of one 4x4 block of both planes: values, squares of both, products. The 64 pixels of a
// window still fit.
struct Sums {
    int a = 0, b = 0, squares = 0, products = 0;
};

// The constants of the filter, scaled for sums over 64 pixels.
constexpr qint64 c1 = qint64(.01 * .01 * 255 * 255 * 64 + .5);
constexpr qint64 c2 = qint64(.03 * .03 * 255 * 255 * 64 * 63 + .5);

// Rows of windows handed to one thread at a time; small enough to share the work evenly.
constexpr int bandRows = 32;

// Pictures smaller than this are not worth a second thread.
constexpr qint64 threadedPixels = 256 * 256;

double window(const Sums& s) {
    const qint64 a = s.a, b = s.b;
    const qint64 variances = qint64(s.squares) * 64 - a * a - b * b;
    const qint64 covariance = qint64(s.products) * 64 - a * b;
    return double(2 * a * b + c1) * double(2 * covariance + c2) /
           (double(a * a + b * b + c1) * double(variances + c2));
}

// One 8-bit plane, its rows as they are.
struct PlaneRows {
    static constexpr int channels = 1;
    const Plane& plane;

    void read(int y, std::array<const uchar*, 1>& rows, std::array<std::vector<uchar>, 1>&) const {
        rows[0] = plane.data + qsizetype(y) * plane.stride;
    }
};

// R, G and B of an ARGB32 picture flattened onto a background by `table` (alpha × 256 + colour).
struct FlatRows {
    static constexpr int channels = 3;
    const QImage& image;
    const uchar* table;

    void read(int y, std::array<const uchar*, 3>& rows,
              std::array<std::vector<uchar>, 3>& scratch) const {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* r = scratch[0].data();
        uchar* g = scratch[1].data();
        uchar* b = scratch[2].data();
        const int width = int(scratch[0].size());
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            const uchar* over = table + qAlpha(p) * 256;
            r[x] = over[qRed(p)];
            g[x] = over[qGreen(p)];
            b[x] = over[qBlue(p)];
        }
        for (int c = 0; c < 3; ++c)
            rows[c] = scratch[c].data();
    }
};

// Adds a pixel row of both planes to the sums over each pair of its columns: values, squares
// of both, products. Pairs are what the 4x4 blocks are made of, and what one multiply-add of
// 16-bit lanes gives.
void addRow(const uchar* a, const uchar* b, int* sa, int* sb, int* ss, int* sp, int pairs) {
    int k = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi16(1);
    const auto add = [](int* to, __m128i value) {
        auto* at = reinterpret_cast<__m128i*>(to);
        _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), value));
    };
    for (; k + 8 <= pairs; k += 8) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * k));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * k));
        for (const int half : {0, 4}) {
            const __m128i a16 = half ? _mm_unpackhi_epi8(va, zero) : _mm_unpacklo_epi8(va, zero);
            const __m128i b16 = half ? _mm_unpackhi_epi8(vb, zero) : _mm_unpacklo_epi8(vb, zero);
            add(sa + k + half, _mm_madd_epi16(a16, ones));
            add(sb + k + half, _mm_madd_epi16(b16, ones));
            add(ss + k + half, _mm_add_epi32(_mm_madd_epi16(a16, a16), _mm_madd_epi16(b16, b16)));
            add(sp + k + half, _mm_madd_epi16(a16, b16));
        }
    }
#endif
    for (; k < pairs; ++k) {
        const int a0 = a[2 * k], a1 = a[2 * k + 1], b0 = b[2 * k], b1 = b[2 * k + 1];
        sa[k] += a0 + a1;
        sb[k] += b0 + b1;
        ss[k] += a0 * a0 + a1 * a1 + b0 * b0 + b1 * b1;
        sp[k] += a0 * b0 + a1 * b1;
    }
}

// The block sums of one row of blocks, per channel, through sums over its four pixel rows.
template <int Channels> class BlockRow {
  public:
    explicit BlockRow(int width) : pairs_(width / 4 * 2) {
        for (int c = 0; c < Channels; ++c) {
            for (auto* column : {&a_[c], &b_[c], &squares_[c], &products_[c]})
                column->resize(pairs_);
            blocks_[c].resize(width / 4);
            scratchA_[c].resize(width);
            scratchB_[c].resize(width);
        }
    }

    template <typename Rows>
    const std::array<std::vector<Sums>, Channels>& sums(const Rows& pa, const Rows& pb,
                                                        int blockY) {
        for (int c = 0; c < Channels; ++c)
            for (auto* column : {&a_[c], &b_[c], &squares_[c], &products_[c]})
                std::fill(column->begin(), column->end(), 0);
        std::array<const uchar*, Channels> rowsA{}, rowsB{};
        for (int r = 0; r < 4; ++r) {
            pa.read(4 * blockY + r, rowsA, scratchA_);
            pb.read(4 * blockY + r, rowsB, scratchB_);
            for (int c = 0; c < Channels; ++c)
                addRow(rowsA[c], rowsB[c], a_[c].data(), b_[c].data(), squares_[c].data(),
                       products_[c].data(), pairs_);
        }
        for (int c = 0; c < Channels; ++c)
            for (std::size_t z = 0; z < blocks_[c].size(); ++z) {
                const auto sum2 = [k = 2 * z](const std::vector<int>& v) {
                    return v[k] + v[k + 1];
                };
                blocks_[c][z] = {sum2(a_[c]), sum2(b_[c]), sum2(squares_[c]), sum2(products_[c])};
            }
        return blocks_;
    }

  private:
    int pairs_;
    std::array<std::vector<int>, Channels> a_, b_, squares_, products_;
    std::array<std::vector<Sums>, Channels> blocks_;
    std::array<std::vector<uchar>, Channels> scratchA_, scratchB_;
};

// The sum over every channel's windows whose lower block row is in [from, to).
template <typename Rows> double bandSum(const Rows& a, const Rows& b, int width, int from, int to) {
    constexpr int channels = Rows::channels;
    BlockRow<channels> first(width), second(width);
    BlockRow<channels>* below = &second;
    const auto* up = &first.sums(a, b, from - 1);
    double sum = 0;
    for (int y = from; y < to; ++y) {
        const auto& down = below->sums(a, b, y);
        for (int c = 0; c < channels; ++c)
            for (std::size_t z = 0; z + 1 < down[c].size(); ++z) {
                const Sums& p = (*up)[c][z];
                const Sums& q = (*up)[c][z + 1];
                const Sums& r = down[c][z];
                const Sums& t = down[c][z + 1];
                sum += window({p.a + q.a + r.a + t.a, p.b + q.b + r.b + t.b,
                               p.squares + q.squares + r.squares + t.squares,
                               p.products + q.products + r.products + t.products});
            }
        // The row just summed is the next one's upper row; the other buffer takes the next.
        below = below == &first ? &second : &first;
        up = &down;
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

// The window sums of each pair, bands of window rows spread over threads.
template <typename Rows>
std::vector<double> totals(const std::vector<std::pair<Rows, Rows>>& pairs, int width, int height) {
    const int rows = height / 4 - 1;
    const int bands = (rows + bandRows - 1) / bandRows;
    std::vector<double> partial(pairs.size() * bands);
    spread(int(partial.size()), threadsFor(qint64(width) * height * qint64(pairs.size())),
           [&](int k) {
               const auto& [a, b] = pairs[k / bands];
               const int from = 1 + (k % bands) * bandRows;
               partial[k] = bandSum(a, b, width, from, std::min(from + bandRows, rows + 1));
           });
    std::vector<double> sums(pairs.size());
    for (std::size_t k = 0; k < partial.size(); ++k)
        sums[k / bands] += partial[k];
    return sums;
}

// c·a/255, rounded: the colour over black.
constexpr int overBlack(int c, int a) {
    const int x = c * a + 128;
    return (x + (x >> 8)) >> 8;
}

// Alpha × 256 + colour to the flattened colour.
const uchar* flattening(bool white) {
    static const auto tables = [] {
        std::array<std::array<uchar, 65536>, 2> t{};
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) {
                t[0][a * 256 + c] = uchar(overBlack(c, a));
                t[1][a * 256 + c] = uchar(255 - overBlack(255 - c, a));
            }
        return t;
    }();
    return tables[white].data();
}

QImage argb(const QImage& image) {
    if (image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool comparable(const Plane& a, const Plane& b) {
    return a.width == b.width && a.height == b.height && a.width >= 8 && a.height >= 8;
}

double windows(int width, int height) {
    return double(width / 4 - 1) * double(height / 4 - 1);
}

} // namespace

std::optional<double> plane(const Plane& a, const Plane& b) {
    if (!comparable(a, b))
        return std::nullopt;
    return totals<PlaneRows>({{{a}, {b}}}, a.width, a.height).front() / windows(a.width, a.height);
}

std::optional<double> rgb(const Planes& a, const Planes& b) {
    std::vector<std::pair<PlaneRows, PlaneRows>> pairs;
    for (std::size_t c = 0; c < a.size(); ++c) {
        if (!comparable(a[c], b[c]) || !comparable(a[c], a[0]))
            return std::nullopt;
        pairs.push_back({{a[c]}, {b[c]}});
    }
    double sum = 0;
    for (const double total : totals(pairs, a[0].width, a[0].height))
        sum += total;
    return sum / (3 * windows(a[0].width, a[0].height));
}

std::optional<double> flattened(const QImage& reference, const QImage& candidate, bool alpha) {
    if (reference.size() != candidate.size() || reference.width() < 8 || reference.height() < 8)
        return std::nullopt;
    const QImage a = argb(reference);
    const QImage b = argb(candidate);
    const bool transparent = a.hasAlphaChannel() || b.hasAlphaChannel();
    // Onto white (no change to an opaque picture), then onto black where alpha counts: the lower.
    std::vector<std::pair<FlatRows, FlatRows>> pairs{
        {{a, flattening(true)}, {b, flattening(true)}}};
    if (alpha && transparent)
        pairs.push_back({{a, flattening(false)}, {b, flattening(false)}});
    const std::vector<double> sums = totals(pairs, a.width(), a.height());
    return *std::min_element(sums.begin(), sums.end()) / (3 * windows(a.width(), a.height()));
}

} // namespace ImageSsim
