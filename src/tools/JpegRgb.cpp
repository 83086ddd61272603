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

// A chroma plane of `w` × `h` samples at full size, one output row at a time.
class FullChroma {
  public:
    FullChroma(const unsigned char* plane, int stride, int w, int h, int width, int height)
        : plane_(plane), stride_(stride), w_(w), h_(h), width_(width), across_(tapsFor(w, width)),
          down_(tapsFor(h, height)), tall_(size_t(w)), row_(size_t(width)) {}

    // Output row `y`: its four input rows weighted, then spread across.
    const float* row(int y) {
        const Taps& down = down_[size_t(y)];
        const unsigned char* r0 = input(down.at[0]);
        const unsigned char* r1 = input(down.at[1]);
        const unsigned char* r2 = input(down.at[2]);
        const unsigned char* r3 = input(down.at[3]);
        const auto [w0, w1, w2, w3] = down.weight;
        for (int x = 0; x < w_; ++x)
            tall_[size_t(x)] = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
        for (int x = 0; x < width_; ++x) {
            const Taps& across = across_[size_t(x)];
            row_[size_t(x)] = across.weight[0] * tall_[size_t(across.at[0])] +
                              across.weight[1] * tall_[size_t(across.at[1])] +
                              across.weight[2] * tall_[size_t(across.at[2])] +
                              across.weight[3] * tall_[size_t(across.at[3])];
        }
        return row_.data();
    }

  private:
    const unsigned char* input(int y) const { return plane_ + size_t(y) * size_t(stride_); }

    const unsigned char* plane_;
    int stride_, w_, h_, width_;
    std::vector<Taps> across_, down_;
    std::vector<float> tall_, row_;
};

unsigned char level(float value) {
    return static_cast<unsigned char>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

} // namespace

QImage decode(const QByteArray& jpeg) {
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

    QImage result(width, height, QImage::Format_RGB32);
    if (result.isNull())
        return {};
    if (grey) {
        for (int y = 0; y < height; ++y) {
            const unsigned char* luma = planes[0].data() + size_t(y) * size_t(strides[0]);
            auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(luma[x], luma[x], luma[x]);
        }
        return result;
    }
    // Bands of rows on the thread pool, each with its own chroma rows.
    uchar* const bits = result.bits(); // detached here, before the threads write into it
    const qsizetype bytesPerLine = result.bytesPerLine();
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
            const unsigned char* luma = planes[0].data() + size_t(y) * size_t(strides[0]);
            auto* out = reinterpret_cast<QRgb*>(bits + y * bytesPerLine);
            for (int x = 0; x < width; ++x) {
                const float cbv = u[x] - 128.0f, crv = v[x] - 128.0f;
                out[x] = qRgb(level(luma[x] + 1.402f * crv),
                              level(luma[x] - 0.344136f * cbv - 0.714136f * crv),
                              level(luma[x] + 1.772f * cbv));
            }
        }
    });
    return result;
}

} // namespace JpegRgb
