#include "PalettePng.h"

#include "PngChunks.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <vector>

#include <zlib.h>

namespace PalettePng {

namespace {

// An open-addressed set of up to maxColours ARGB values, with each one's palette index.
class ColourTable {
  public:
    // No colour has zero alpha but black: fully transparent pixels are all stored as 0.
    static constexpr quint32 empty = 1;

    ColourTable() { keys_.fill(empty); }

    // The slot of `colour`, added when new; -1 once a colour too many was met.
    int slotOf(quint32 colour) {
        for (quint32 slot = (colour * 2654435761u) >> shift;; slot = (slot + 1) & (size - 1)) {
            if (keys_[slot] == colour)
                return int(slot);
            if (keys_[slot] == empty) {
                if (count_ == maxColours)
                    return -1;
                keys_[slot] = colour;
                order_[count_++] = slot;
                return int(slot);
            }
        }
    }

    int count() const { return count_; }
    quint32 key(int slot) const { return keys_[slot]; }
    std::array<uchar, 1024>& index() { return index_; }
    // Slots in the order their colours were met.
    const quint32* begin() const { return order_.data(); }
    const quint32* end() const { return order_.data() + count_; }

  private:
    static constexpr quint32 size = 1024;
    static constexpr int shift = 22; // 32 - log2(size)
    std::array<quint32, size> keys_{};
    std::array<uchar, size> index_{};
    std::array<quint32, maxColours> order_{};
    int count_ = 0;
};

quint32 normalised(QRgb pixel) {
    return qAlpha(pixel) == 0 ? 0 : pixel;
}

bool deep(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Chunks that describe the old colour type or depth, or that a palette replaces.
bool layoutBound(const QByteArray& type) {
    return type == "IHDR" || type == "PLTE" || type == "tRNS" || type == "bKGD" || type == "hIST" ||
           type == "sBIT" || type == "IDAT" || type == "IEND";
}

int bitsFor(int colours) {
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

} // namespace

std::optional<QByteArray> exact(const QImage& source, const QByteArray& original, int level) {
    if (source.isNull() || deep(source.format()))
        return std::nullopt;
    const auto chunks = PngChunks::split(original);
    if (!chunks || chunks->isEmpty() || chunks->first().data.size() != 13)
        return std::nullopt;
    // A grey picture's ICC profile cannot describe a palette's colours.
    const int colourType = chunks->first().data.at(9);
    if ((colourType == 0 || colourType == 4) &&
        std::any_of(chunks->begin(), chunks->end(),
                    [](const PngChunks::Chunk& c) { return c.type == "iCCP"; }))
        return std::nullopt;
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width(), height = image.height();

    ColourTable table;
    std::vector<int> pixelSlots(std::size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int* out = pixelSlots.data() + qsizetype(y) * width;
        quint32 last = ColourTable::empty;
        int lastSlot = -1;
        for (int x = 0; x < width; ++x) {
            const quint32 colour = normalised(line[x]);
            if (colour != last) {
                last = colour;
                lastSlot = table.slotOf(colour);
                if (lastSlot < 0)
                    return std::nullopt;
            }
            out[x] = lastSlot;
        }
    }

    // Translucent entries first, so that tRNS stops at the last of them.
    std::vector<quint32> entries(table.begin(), table.end());
    std::stable_partition(entries.begin(), entries.end(),
                          [&table](quint32 slot) { return qAlpha(table.key(int(slot))) < 255; });
    QByteArray palette, alphas;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const QRgb colour = table.key(int(entries[k]));
        table.index()[entries[k]] = uchar(k);
        palette += char(qRed(colour));
        palette += char(qGreen(colour));
        palette += char(qBlue(colour));
        if (qAlpha(colour) < 255)
            alphas += char(qAlpha(colour));
    }

    const int bits = bitsFor(table.count());
    const qsizetype rowBytes = (qsizetype(width) * bits + 7) / 8;
    QByteArray raw(height * (1 + rowBytes), '\0');
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uchar*>(raw.data()) + y * (1 + rowBytes) + 1;
        const int* in = pixelSlots.data() + qsizetype(y) * width;
        for (int x = 0; x < width; ++x) {
            const int bit = x * bits;
            row[bit / 8] |= uchar(table.index()[in[x]] << (8 - bits - bit % 8));
        }
    }

    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = char(bits);
    header[9] = 3; // palette
    const QByteArray data = PngChunks::deflate(raw, level, Z_DEFAULT_STRATEGY);
    if (data.isEmpty())
        return std::nullopt;

    QList<PngChunks::Chunk> result{{"IHDR", header, PngChunks::chunk("IHDR", header)}};
    bool beforeData = true;
    for (const PngChunks::Chunk& c : *chunks) {
        if (c.type == "IDAT" && beforeData) {
            beforeData = false;
            result.append({"PLTE", palette, PngChunks::chunk("PLTE", palette)});
            if (!alphas.isEmpty())
                result.append({"tRNS", alphas, PngChunks::chunk("tRNS", alphas)});
            result.append({"IDAT", data, PngChunks::chunk("IDAT", data)});
        }
        if (!layoutBound(c.type) && (c.type.at(0) & 0x20) != 0)
            result.append(c);
    }
    result.append({"IEND", {}, PngChunks::chunk("IEND", {})});
    return PngChunks::join(result);
}

} // namespace PalettePng
