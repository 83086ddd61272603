#include "JpegRgb.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace JpegRgb {

namespace {

// ffmpeg's default cubic: Keys' kernel with a = -0.6.
float keys(float distance) {
    constexpr float a = -0.6f;
    const float d = std::abs(distance);
    if (d < 1.0f)
        return ((a + 2.0f) * d - (a + 3.0f)) * d * d + 1.0f;
    if (d < 2.0f)
        return ((a * d - 5.0f * a) * d + 8.0f * a) * d - 4.0f * a;
    return 0.0f;
}

// The four input samples an output sample reads, and their weights: the input's `count` samples
// spread over the output's `outCount` with their centres aligned, as ffmpeg's scaler spreads a
// chroma plane over the whole picture (so an odd size is not quite a doubling).
struct Taps {
    std::array<int, 4> at;
    std::array<float, 4> weight;
};

std::vector<Taps> tapsFor(int count, int outCount) {
    std::vector<Taps> taps(static_cast<size_t>(outCount));
    for (int x = 0; x < outCount; ++x) {
        const double centre = (x + 0.5) * double(count) / double(outCount) - 0.5;
        const int k = int(std::floor(centre));
        const float t = float(centre - k);
        Taps& tap = taps[size_t(x)];
        for (int j = 0; j < 4; ++j) {
            tap.at[size_t(j)] = std::clamp(k - 1 + j, 0, count - 1);
            tap.weight[size_t(j)] = keys(t + 1.0f - float(j));
        }
    }
    return taps;
}

// A chroma plane of `w` × `h` samples at full size, one output row at a time: each input row is
// spread across once, as ffmpeg's scaler does it, and four of those are weighted down.
class FullChroma {
  public:
    FullChroma(const unsigned char* plane, int stride, int w, int h, int width, int height)
        : plane_(plane), stride_(stride), width_(width), across_(tapsFor(w, width)),
          down_(tapsFor(h, height)), input_(size_t(w)), row_(size_t(width)) {
        for (std::vector<float>& kept : spread_)
            kept.resize(size_t(width));
    }

    // Output row `y`.
    const float* row(int y) {
        const Taps& down = down_[size_t(y)];
        const float* r0 = spread(down.at[0]);
        const float* r1 = spread(down.at[1]);
        const float* r2 = spread(down.at[2]);
        const float* r3 = spread(down.at[3]);
        const auto [w0, w1, w2, w3] = down.weight;
        float* out = row_.data();
        for (int x = 0; x < width_; ++x)
            out[x] = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
        return out;
    }

  private:
    // Input row `y` spread across. The four rows an output row reads are consecutive (or
    // repeated at the edges), so four kept rows, one per remainder, serve every output row.
    const float* spread(int y) {
        const size_t slot = size_t(y) % spread_.size();
        float* out = spread_[slot].data();
        if (spreadRow_[slot] == y)
            return out;
        spreadRow_[slot] = y;
        const unsigned char* samples = plane_ + size_t(y) * size_t(stride_);
        std::copy_n(samples, input_.size(), input_.begin()); // to floats once, not per tap
        const float* in = input_.data();
        const auto byTaps = [&](int x) {
            const Taps& across = across_[size_t(x)];
            out[x] = across.weight[0] * in[across.at[0]] + across.weight[1] * in[across.at[1]] +
                     across.weight[2] * in[across.at[2]] + across.weight[3] * in[across.at[3]];
        };
        const int w = int(input_.size());
        if (width_ != 2 * w || w < 8) {
            for (int x = 0; x < width_; ++x)
                byTaps(x);
            return out;
        }
        // A doubling, the usual case: away from the edges the taps repeat every two samples, so
        // they need no lookup.
        const auto [e0, e1, e2, e3] = across_[4].weight;
        const auto [o0, o1, o2, o3] = across_[5].weight;
        for (int k = 2; k < w - 2; ++k) {
            out[2 * k] = e0 * in[k - 2] + e1 * in[k - 1] + e2 * in[k] + e3 * in[k + 1];
            out[2 * k + 1] = o0 * in[k - 1] + o1 * in[k] + o2 * in[k + 1] + o3 * in[k + 2];
        }
        for (const int x : {0, 1, 2, 3, width_ - 4, width_ - 3, width_ - 2, width_ - 1})
            byTaps(x);
        return out;
    }

    const unsigned char* plane_;
    int stride_, width_;
    std::vector<Taps> across_, down_;
    std::array<std::vector<float>, 4> spread_;
    std::array<int, 4> spreadRow_{-1, -1, -1, -1};
    std::vector<float> input_, row_;
};

// One row to R, G and B by the full-range conversion, rounded.
void convert(const unsigned char* luma, const float* cb, const float* cr, uchar* __restrict red,
             uchar* __restrict green, uchar* __restrict blue, int width) {
    // min and max rather than clamp, whose order of tests keeps the compiler from vectorising.
    const auto level = [](float value) {
        return static_cast<uchar>(static_cast<int>(std::min(std::max(value + 0.5f, 0.0f), 255.0f)));
    };
    for (int x = 0; x < width; ++x) {
        const float y = luma[x], u = cb[x] - 128.0f, v = cr[x] - 128.0f;
        red[x] = level(y + 1.402f * v);
        green[x] = level(y - 0.344136f * u - 0.714136f * v);
        blue[x] = level(y + 1.772f * u);
    }
}

} // namespace

RgbPlanes decode(const QByteArray& jpeg) {
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    if (!handle)
        return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle.get(), bytes, size, &width, &height, &subsampling,
                            &colourspace) != 0 ||
        width <= 0 || height <= 0)
        return {};
    const bool grey = subsampling == TJSAMP_GRAY;
    if (colourspace != (grey ? TJCS_GRAY : TJCS_YCbCr) ||
        (!grey && subsampling != TJSAMP_444 && subsampling != TJSAMP_422 &&
         subsampling != TJSAMP_440 && subsampling != TJSAMP_420))
        return {};

    const int components = grey ? 1 : 3;
    std::array<std::vector<unsigned char>, 3> planes;
    std::array<unsigned char*, 3> pointers{};
    std::array<int, 3> strides{}, widths{}, heights{};
    for (int c = 0; c < components; ++c) {
        widths[size_t(c)] = tjPlaneWidth(c, width, subsampling);
        heights[size_t(c)] = tjPlaneHeight(c, height, subsampling);
        strides[size_t(c)] = widths[size_t(c)];
        planes[size_t(c)].resize(size_t(widths[size_t(c)]) * size_t(heights[size_t(c)]));
        pointers[size_t(c)] = planes[size_t(c)].data();
    }
    if (tjDecompressToYUVPlanes(handle.get(), bytes, size, pointers.data(), width, strides.data(),
                                height, TJFLAG_ACCURATEDCT) != 0)
        return {};

    RgbPlanes result = RgbPlanes::allocate(width, height);
    if (result.isNull())
        return {};
    uchar* const red = result.bits(0);
    uchar* const green = result.bits(1);
    uchar* const blue = result.bits(2);
    if (grey) {
        for (int y = 0; y < height; ++y) {
            const unsigned char* luma = planes[0].data() + size_t(y) * size_t(strides[0]);
            for (uchar* plane : {red, green, blue})
                std::copy_n(luma, width, plane + qsizetype(y) * width);
        }
        return result;
    }
    // Bands of rows on the thread pool, each with its own chroma rows.
    const int bands = std::max(1, std::min(QThread::idealThreadCount(), height / 64));
    std::vector<std::pair<int, int>> rows; // [first, end) of each band
    for (int band = 0; band < bands; ++band)
        rows.emplace_back(height * band / bands, height * (band + 1) / bands);
    QtConcurrent::blockingMap(rows, [&](const std::pair<int, int>& band) {
        FullChroma cb(planes[1].data(), strides[1], widths[1], heights[1], width, height);
        FullChroma cr(planes[2].data(), strides[2], widths[2], heights[2], width, height);
        for (int y = band.first; y < band.second; ++y) {
            const float* u = cb.row(y);
            const float* v = cr.row(y);
            const qsizetype at = qsizetype(y) * width;
            convert(planes[0].data() + size_t(y) * size_t(strides[0]), u, v, red + at, green + at,
                    blue + at, width);
        }
    });
    return result;
}

} // namespace JpegRgb
