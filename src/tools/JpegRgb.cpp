#include "JpegRgb.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <memory>

namespace JpegRgb {

namespace {

// Keys' cubic with a = -0.6 at the four distances a centred 2× upsampling needs.
constexpr float near1 = 0.871875f; // 0.25
constexpr float near2 = 0.240625f; // 0.75
constexpr float far1 = -0.084375f; // 1.25
constexpr float far2 = -0.028125f; // 1.75

// One line of chroma samples to twice as many, samples centred between the output's.
void doubleLine(const float* in, int count, float* out, int outCount) {
    const auto at = [&](int i) { return in[std::clamp(i, 0, count - 1)]; };
    const auto edge = [&](int x) {
        const int k = x / 2;
        out[x] = (x % 2 == 0)
                     ? far2 * at(k - 2) + near2 * at(k - 1) + near1 * at(k) + far1 * at(k + 1)
                     : far1 * at(k - 1) + near1 * at(k) + near2 * at(k + 1) + far2 * at(k + 2);
    };
    // Away from the ends every tap is inside the line: no clamping there.
    const int first = std::min(2, count), last = std::max(first, count - 2);
    for (int x = 0; x < std::min(2 * first, outCount); ++x)
        edge(x);
    for (int k = first; k < last && 2 * k + 1 < outCount; ++k) {
        out[2 * k] = far2 * in[k - 2] + near2 * in[k - 1] + near1 * in[k] + far1 * in[k + 1];
        out[2 * k + 1] = far1 * in[k - 1] + near1 * in[k] + near2 * in[k + 1] + far2 * in[k + 2];
    }
    for (int x = 2 * last; x < outCount; ++x)
        edge(x);
}

// A chroma plane of `w` × `h` samples at full size, one output row at a time.
class FullChroma {
  public:
    FullChroma(const unsigned char* plane, int stride, int w, int h, int width, int height)
        : plane_(plane), stride_(stride), w_(w), h_(h), width_(width), height_(height),
          tall_(size_t(w)), row_(size_t(width)) {}

    // Output row `y`: its four nearest input rows weighted, then doubled across where needed.
    const float* row(int y) {
        if (h_ == height_) {
            std::copy(input(y), input(y) + w_, tall_.begin());
        } else {
            const int k = y / 2;
            const bool even = y % 2 == 0;
            const unsigned char* r0 = input(even ? k - 2 : k - 1);
            const unsigned char* r1 = input(even ? k - 1 : k);
            const unsigned char* r2 = input(even ? k : k + 1);
            const unsigned char* r3 = input(even ? k + 1 : k + 2);
            const float w0 = even ? far2 : far1, w1 = even ? near2 : near1;
            const float w2 = even ? near1 : near2, w3 = even ? far1 : far2;
            for (int x = 0; x < w_; ++x)
                tall_[size_t(x)] = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
        }
        if (w_ == width_)
            return tall_.data();
        doubleLine(tall_.data(), w_, row_.data(), width_);
        return row_.data();
    }

  private:
    const unsigned char* input(int y) const {
        return plane_ + size_t(std::clamp(y, 0, h_ - 1)) * size_t(stride_);
    }

    const unsigned char* plane_;
    int stride_, w_, h_, width_, height_;
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
