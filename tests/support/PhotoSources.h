#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include <array>
#include <cmath>

// Test pictures whose orientation and colours can be checked after a round trip through ffmpeg.
namespace PhotoSources {

// Four flat quadrants, in reading order: red, green, blue, yellow.
inline const std::array<QColor, 4>& quadrantColours() {
    static const std::array<QColor, 4> colours{QColor(220, 30, 30), QColor(30, 200, 40),
                                               QColor(30, 40, 220), QColor(230, 220, 30)};
    return colours;
}

inline QImage quadrants(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    const auto& c = quadrantColours();
    painter.fillRect(0, 0, w, h, c[0]);
    painter.fillRect(w, 0, size.width() - w, h, c[1]);
    painter.fillRect(0, h, w, size.height() - h, c[2]);
    painter.fillRect(w, h, size.width() - w, size.height() - h, c[3]);
    return image;
}

// For each EXIF orientation 1–8 (as-is, mirrored, half turn, flipped, transposed, quarter turn
// clockwise, transversed, quarter turn anticlockwise), which stored quadrant is shown top-left,
// top-right, bottom-left and bottom-right (0 red, 1 green, 2 blue, 3 yellow).
inline std::array<int, 4> shownQuadrants(int orientation) {
    static const char* const shown[] = {"0123", "1032", "3210", "2301",
                                        "0213", "2031", "3120", "1302"};
    const char* s = shown[orientation >= 1 && orientation <= 8 ? orientation - 1 : 0];
    return {s[0] - '0', s[1] - '0', s[2] - '0', s[3] - '0'};
}

inline int colourDistance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// Which of the four quadrant colours the pixel at the centre of each quadrant is closest to;
// -1 when none is near. Loose, because a colour conversion or lossy encode moves them a little.
inline std::array<int, 4> quadrantsOf(const QImage& image) {
    std::array<int, 4> found{};
    const int w = image.width(), h = image.height();
    for (int i = 0; i < 4; ++i) {
        const QColor pixel = image.pixelColor((1 + 2 * (i % 2)) * w / 4, (1 + 2 * (i / 2)) * h / 4);
        found[i] = -1;
        int best = 200;
        for (int c = 0; c < 4; ++c)
            if (const int d = colourDistance(pixel, quadrantColours()[c]); d < best) {
                best = d;
                found[i] = c;
            }
    }
    return found;
}

// Mean absolute difference per channel (0–255) of two pictures of the same size.
inline double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += colourDistance(a.pixelColor(x, y), b.pixelColor(x, y));
    return sum / (3.0 * a.width() * a.height());
}

// A minimal version 2 grey display profile whose tone curve is a pure power `gamma`.
inline QByteArray greyIcc(double gamma) {
    QByteArray icc(192, '\0');
    const auto tag = [](const char* s) { return qFromBigEndian<quint32>(s); };
    const quint32 white = 156, curve = 176, x = 0xF6D6, y = 0x10000, z = 0xD32D; // D50
    // clang-format off
    const quint32 fields[] = { // offset, value: header, tag table, white point, tone curve
        0, 192, 8, 0x02100000, 12, tag("mntr"), 16, tag("GRAY"), 20, tag("XYZ "), 36, tag("acsp"),
        68, x, 72, y, 76, z,
        128, 2, 132, tag("wtpt"), 136, white, 140, 20, 144, tag("kTRC"), 148, curve, 152, 16,
        white, tag("XYZ "), white + 8, x, white + 12, y, white + 16, z,
        curve, tag("curv"), curve + 8, 1};
    // clang-format on
    for (size_t i = 0; i < std::size(fields); i += 2)
        qToBigEndian(fields[i + 1], icc.data() + fields[i]);
    qToBigEndian<quint16>(quint16(std::lround(gamma * 256)), icc.data() + curve + 12);
    return icc;
}

// sRGB encoding of a linear light value 0–1, as 0–255.
inline int srgbEncoded(double linear) {
    const double v =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return int(std::lround(v * 255));
}

} // namespace PhotoSources
