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

// For each EXIF orientation 1–8, which stored quadrant is shown top-left, top-right,
// bottom-left and bottom-right (0 red, 1 green, 2 blue, 3 yellow).
inline std::array<int, 4> shownQuadrants(int orientation) {
    switch (orientation) {
    case 2:
        return {1, 0, 3, 2}; // mirrored left to right
    case 3:
        return {3, 2, 1, 0}; // half turn
    case 4:
        return {2, 3, 0, 1}; // mirrored top to bottom
    case 5:
        return {0, 2, 1, 3}; // transposed
    case 6:
        return {2, 0, 3, 1}; // quarter turn clockwise
    case 7:
        return {3, 1, 2, 0}; // transversed
    case 8:
        return {1, 3, 0, 2}; // quarter turn anticlockwise
    default:
        return {0, 1, 2, 3};
    }
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
    const std::array<QPoint, 4> centres{QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4),
                                        QPoint(w / 4, 3 * h / 4), QPoint(3 * w / 4, 3 * h / 4)};
    for (int i = 0; i < 4; ++i) {
        const QColor pixel = image.pixelColor(centres[i]);
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
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) +
                   std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

// A minimal version 2 grey display profile whose tone curve is a pure power `gamma`.
inline QByteArray greyIcc(double gamma) {
    QByteArray icc(128 + 4 + 2 * 12, '\0');
    const auto put32 = [&icc](int at, quint32 value) { qToBigEndian(value, icc.data() + at); };
    const auto tag = [](const char* s) { return qFromBigEndian<quint32>(s); };
    put32(8, 0x02100000);
    put32(12, tag("mntr"));
    put32(16, tag("GRAY"));
    put32(20, tag("XYZ "));
    put32(36, tag("acsp"));
    put32(68, 0xF6D6); // D50 illuminant
    put32(72, 0x10000);
    put32(76, 0xD32D);
    put32(128, 2);
    QByteArray white(20, '\0');
    qToBigEndian(tag("XYZ "), white.data());
    qToBigEndian<quint32>(0xF6D6, white.data() + 8);
    qToBigEndian<quint32>(0x10000, white.data() + 12);
    qToBigEndian<quint32>(0xD32D, white.data() + 16);
    QByteArray curve(16, '\0');
    qToBigEndian(tag("curv"), curve.data());
    qToBigEndian<quint32>(1, curve.data() + 8);
    qToBigEndian<quint16>(quint16(std::lround(gamma * 256)), curve.data() + 12);
    const int whiteAt = int(icc.size());
    icc += white;
    const int curveAt = int(icc.size());
    icc += curve;
    put32(132, tag("wtpt"));
    put32(136, quint32(whiteAt));
    put32(140, 20);
    put32(144, tag("kTRC"));
    put32(148, quint32(curveAt));
    put32(152, 16);
    put32(0, quint32(icc.size()));
    return icc;
}

// sRGB encoding of a linear light value 0–1, as 0–255.
inline int srgbEncoded(double linear) {
    const double v =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return int(std::lround(v * 255));
}

} // namespace PhotoSources
