#include "ImageHeader.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace ImageHeader {

namespace {

using Found = std::optional<Channels>;

quint32 bigEndian32(const QByteArray& bytes, qsizetype at) {
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint32 littleEndian32(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

bool skip(QIODevice& file, qint64 bytes) {
    return file.seek(file.pos() + bytes);
}

// Colour types 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA. A transparency chunk gives
// grey, RGB and palette pictures an alpha channel; in a palette one only an entry below 255
// makes any pixel see-through, and the decoder then keeps alpha.
Found png(QIODevice& file) {
    const QByteArray ihdr = file.read(8 + 13 + 4);
    if (ihdr.size() != 25 || ihdr.mid(4, 4) != "IHDR" || bigEndian32(ihdr, 0) != 13)
        return std::nullopt;
    const int colourType = uchar(ihdr.at(8 + 9));
    if (colourType > 6 || colourType == 1 || colourType == 5)
        return std::nullopt;
    Channels found{colourType == 4 || colourType == 6, colourType == 0 || colourType == 4};
    for (;;) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() != 8)
            return std::nullopt;
        const quint32 length = bigEndian32(chunk, 0);
        const QByteArray type = chunk.mid(4);
        if (type == "IDAT" || type == "IEND")
            break;
        if (type == "tRNS") {
            if (length > 256) // at most one entry per palette colour; never trust a length
                return std::nullopt;
            const QByteArray entries = file.read(length);
            if (entries.size() != qsizetype(length))
                return std::nullopt;
            found.alpha = colourType != 3 || std::any_of(entries.begin(), entries.end(),
                                                         [](char a) { return uchar(a) != 255; });
            if (!skip(file, 4))
                return std::nullopt;
        } else if (!skip(file, qint64(length) + 4)) {
            return std::nullopt;
        }
    }
    // The last chunk of a whole file; a file cut short would decode to nothing.
    if (file.size() < 12 || !file.seek(file.size() - 12) ||
        file.read(12) != QByteArray("\0\0\0\0IEND\xAE\x42\x60\x82", 12))
        return std::nullopt;
    return found;
}

// Walks the segments up to the frame header, which counts the components.
Found jpeg(QIODevice& file) {
    for (;;) {
        QByteArray marker = file.read(2);
        if (marker.size() != 2 || uchar(marker.at(0)) != 0xFF)
            return std::nullopt;
        while (uchar(marker.at(1)) == 0xFF) { // fill bytes
            marker = marker.mid(1) + file.read(1);
            if (marker.size() != 2)
                return std::nullopt;
        }
        const int code = uchar(marker.at(1));
        if (code == 0xD9 || code == 0xDA) // the end, or the scan before any frame header
            return std::nullopt;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01)
            continue; // markers without a length
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() != 2)
            return std::nullopt;
        const int length = qFromBigEndian<quint16>(lengthBytes.constData());
        if (length < 2)
            return std::nullopt;
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame) {
            const QByteArray header = file.read(6);
            if (header.size() != 6)
                return std::nullopt;
            return Channels{false, uchar(header.at(5)) == 1};
        }
        if (!skip(file, length - 2))
            return std::nullopt;
    }
}

// A lossless picture's own alpha bit; otherwise the extended header's flag or an alpha chunk (the
// decoder's own reading).
Found webp(QIODevice& file, quint32 riffSize) {
    if (qint64(riffSize) + 8 > file.size())
        return std::nullopt;
    bool alpha = false;
    for (;;) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() != 8)
            return std::nullopt;
        const QByteArray type = chunk.left(4);
        const quint32 length = littleEndian32(chunk, 4);
        if (type == "VP8X") {
            if (length < 10)
                return std::nullopt;
            const QByteArray flags = file.read(1);
            if (flags.size() != 1)
                return std::nullopt;
            alpha = alpha || (uchar(flags.at(0)) & 0x10) != 0;
            if (!skip(file, qint64(length) - 1 + (length & 1)))
                return std::nullopt;
            continue;
        }
        if (type == "ALPH")
            alpha = true;
        if (type == "VP8L") {
            const QByteArray header = file.read(5);
            if (header.size() != 5 || uchar(header.at(0)) != 0x2F)
                return std::nullopt;
            return Channels{(littleEndian32(header, 1) >> 28 & 1) != 0, false};
        }
        if (type == "VP8 " || type == "ANIM")
            return Channels{alpha, false};
        if (!skip(file, qint64(length) + (length & 1)))
            return std::nullopt;
    }
}

} // namespace

std::optional<Channels> channels(QIODevice& file) {
    if (!file.seek(0))
        return std::nullopt;
    const QByteArray magic = file.read(12);
    if (magic.startsWith("\x89PNG\r\n\x1A\n")) {
        file.seek(8);
        return png(file);
    }
    if (magic.startsWith("\xFF\xD8")) {
        file.seek(2);
        return jpeg(file);
    }
    if (magic.size() == 12 && magic.startsWith("RIFF") && magic.mid(8) == "WEBP")
        return webp(file, littleEndian32(magic, 4));
    return std::nullopt;
}

std::optional<Channels> channels(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return channels(file);
}

} // namespace ImageHeader
