#include "RgbPlanes.h"

#include <QFile>
#include <QHash>

#include <new>

namespace {

// A FITS header: 80-character cards in blocks of 2880 bytes, up to the END card.
constexpr qsizetype card = 80;
constexpr qsizetype block = 2880;
// More would not be a picture of ffmpeg's.
constexpr qsizetype headerBlocks = 4;

// The header's keywords and values, and where the data starts; no data start when there is no
// END card.
struct Header {
    QHash<QByteArray, QByteArray> values;
    qsizetype dataStart = -1;
};

Header parse(const uchar* bytes, qsizetype size) {
    Header header;
    for (qsizetype at = 0; at + card <= std::min(size, headerBlocks * block); at += card) {
        const QByteArray line(reinterpret_cast<const char*>(bytes + at), card);
        const QByteArray key = line.left(8).trimmed();
        if (key == "END") {
            header.dataStart = (at / block + 1) * block;
            break;
        }
        if (line.mid(8, 2) == "= ")
            header.values.insert(key, line.mid(10).split('/').value(0).trimmed());
    }
    return header;
}

} // namespace

RgbPlanes RgbPlanes::readFits(const QString& path) {
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return {};
    const qsizetype size = file->size();
    const uchar* bytes = file->map(0, size);
    if (!bytes)
        return {};
    const Header header = parse(bytes, size);
    const auto number = [&](const char* key) { return header.values.value(key).toInt(); };
    const int width = number("NAXIS1"), height = number("NAXIS2");
    // Values are stored as they are only without an offset or a scale.
    if (header.dataStart < 0 || header.values.value("SIMPLE") != "T" || number("BITPIX") != 8 ||
        number("NAXIS") != 3 || number("NAXIS3") != 3 || width <= 0 || height <= 0 ||
        header.values.value("BZERO", "0").toDouble() != 0.0 ||
        header.values.value("BSCALE", "1").toDouble() != 1.0)
        return {};
    const qsizetype planeBytes = qsizetype(width) * height;
    // Divided rather than multiplied: sizes from a damaged header must not overflow.
    if (planeBytes > (size - header.dataStart) / 3)
        return {};
    RgbPlanes picture;
    for (qsizetype c = 0; c < 3; ++c) {
        const uchar* plane = bytes + header.dataStart + c * planeBytes;
        // The last row stored is the top one.
        picture.planes[size_t(c)] = {plane + (height - 1) * qsizetype(width), -qsizetype(width),
                                     width, height};
    }
    picture.storage = std::move(file);
    return picture;
}

RgbPlanes RgbPlanes::allocate(int width, int height) {
    const qsizetype planeBytes = qsizetype(width) * height;
    if (planeBytes <= 0)
        return {};
    const std::shared_ptr<uchar[]> memory(new (std::nothrow) uchar[size_t(3 * planeBytes)]);
    if (!memory)
        return {};
    RgbPlanes picture;
    for (qsizetype c = 0; c < 3; ++c)
        picture.planes[size_t(c)] = {memory.get() + c * planeBytes, width, width, height};
    picture.storage = memory;
    return picture;
}

RgbPlanes RgbPlanes::fromImage(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    RgbPlanes picture = allocate(rgb.width(), rgb.height());
    if (picture.isNull())
        return {};
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        const qsizetype at = qsizetype(y) * rgb.width();
        for (int x = 0; x < rgb.width(); ++x) {
            picture.bits(0)[at + x] = uchar(qRed(line[x]));
            picture.bits(1)[at + x] = uchar(qGreen(line[x]));
            picture.bits(2)[at + x] = uchar(qBlue(line[x]));
        }
    }
    return picture;
}
