#include "ColourProfile.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QtEndian>

#include <cmath>

namespace {

// Headers are small; a file whose profile sits further in than this is treated as having none.
constexpr qint64 headerLimit = 16 * 1024 * 1024;

quint16 be16(const char* p) {
    return qFromBigEndian<quint16>(p);
}
quint32 be32(const char* p) {
    return qFromBigEndian<quint32>(p);
}
quint32 le32(const char* p) {
    return qFromLittleEndian<quint32>(p);
}

// APP2 segments "ICC_PROFILE\0", sequence number, count, then a slice of the profile.
QByteArray jpegIcc(QFile& file) {
    QMap<int, QByteArray> slices;
    while (file.pos() < headerLimit) {
        char marker[2];
        if (file.read(marker, 2) != 2 || uchar(marker[0]) != 0xFF)
            break;
        const uchar type = uchar(marker[1]);
        if (type == 0xFF) { // fill byte
            file.seek(file.pos() - 1);
            continue;
        }
        if (type == 0xDA || type == 0xD9) // image data or end: no more headers
            break;
        if ((type >= 0xD0 && type <= 0xD7) || type == 0x01)
            continue;
        char length[2];
        if (file.read(length, 2) != 2 || be16(length) < 2)
            break;
        const QByteArray body = file.read(be16(length) - 2);
        if (type == 0xE2 && body.size() > 14 &&
            body.startsWith(QByteArrayView("ICC_PROFILE\0", 12)))
            slices.insert(uchar(body[12]), body.mid(14));
    }
    QByteArray icc;
    for (const QByteArray& slice : std::as_const(slices))
        icc += slice;
    return icc;
}

QByteArray pngIcc(QFile& file) {
    while (file.pos() < headerLimit) {
        char head[8];
        if (file.read(head, 8) != 8)
            break;
        const quint32 length = be32(head);
        const QByteArrayView type(head + 4, 4);
        if (type == "IDAT" || type == "IEND" || type == "sRGB")
            break;
        if (type != "iCCP") {
            file.seek(file.pos() + length + 4);
            continue;
        }
        const QByteArray body = file.read(length);
        const qsizetype nameEnd = body.indexOf('\0');
        if (nameEnd < 0 || nameEnd + 2 > body.size() || body[nameEnd + 1] != 0)
            break;
        // qUncompress wants the size up front; it grows the buffer when the guess is short.
        QByteArray packed(4, '\0');
        qToBigEndian<quint32>(quint32(body.size() * 4), packed.data());
        packed += body.mid(nameEnd + 2);
        return qUncompress(packed);
    }
    return {};
}

QByteArray webpIcc(QFile& file) {
    while (file.pos() < headerLimit) {
        char head[8];
        if (file.read(head, 8) != 8)
            break;
        const quint32 length = le32(head + 4);
        const QByteArrayView type(head, 4);
        if (type == "ICCP")
            return file.read(length);
        if (type != "VP8X") // the profile always comes right after the extended header
            break;
        file.seek(file.pos() + length + (length & 1));
    }
    return {};
}

double s15Fixed16(const char* p) {
    return double(qint32(be32(p))) / 65536.0;
}

double srgbCurve(double x) {
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

// The grey tone curve ('curv' or 'para') sampled into a table; empty when it cannot be read.
QList<uint16_t> toneTable(const QByteArray& icc, quint32 offset, quint32 size) {
    if (size < 12 || qint64(offset) + size > icc.size())
        return {};
    const char* tag = icc.constData() + offset;
    const QByteArrayView type(tag, 4);
    if (type == "curv") {
        const quint32 count = be32(tag + 8);
        if (count > 1) {
            if (12 + qint64(count) * 2 > size)
                return {};
            QList<uint16_t> table(count);
            for (quint32 i = 0; i < count; ++i)
                table[i] = be16(tag + 12 + 2 * i);
            return table;
        }
        const double gamma = count == 0 ? 1.0 : be16(tag + 12) / 256.0;
        QList<uint16_t> table(1024);
        for (int i = 0; i < 1024; ++i)
            table[i] = uint16_t(std::lround(std::pow(i / 1023.0, gamma) * 65535.0));
        return table;
    }
    if (type == "para") {
        static const int paramCounts[] = {1, 3, 4, 5, 7};
        const quint16 function = be16(tag + 8);
        if (function > 4 || 12 + paramCounts[function] * 4 > qint64(size))
            return {};
        double p[7] = {1, 1, 0, 0, 0, 0, 0};
        for (int i = 0; i < paramCounts[function]; ++i)
            p[i] = s15Fixed16(tag + 12 + 4 * i);
        const double g = p[0], a = p[1], b = p[2], c = p[3], d = p[4], e = p[5], f = p[6];
        QList<uint16_t> table(1024);
        for (int i = 0; i < 1024; ++i) {
            const double x = i / 1023.0;
            double y = 0;
            switch (function) {
            case 0:
                y = std::pow(x, g);
                break;
            case 1:
                y = x >= -b / a ? std::pow(a * x + b, g) : 0;
                break;
            case 2:
                y = x >= -b / a ? std::pow(a * x + b, g) + c : c;
                break;
            case 3:
                y = x >= d ? std::pow(a * x + b, g) : c * x;
                break;
            default:
                y = x >= d ? std::pow(a * x + b, g) + e : c * x + f;
                break;
            }
            table[i] = uint16_t(std::lround(std::clamp(y, 0.0, 1.0) * 65535.0));
        }
        return table;
    }
    return {};
}

bool closeToSrgb(const QList<uint16_t>& table) {
    const qsizetype last = table.size() - 1;
    for (qsizetype i = 0; i <= last; ++i)
        if (std::abs(table[i] / 65535.0 - srgbCurve(double(i) / double(last))) > 1.0 / 512.0)
            return false;
    return true;
}

QColorSpace greyFromIcc(const QByteArray& icc) {
    if (icc.size() < 132)
        return {};
    const quint32 tags = be32(icc.constData() + 128);
    for (quint32 i = 0; i < tags && 132 + qint64(i + 1) * 12 <= icc.size(); ++i) {
        const char* entry = icc.constData() + 132 + i * 12;
        if (QByteArrayView(entry, 4) != "kTRC")
            continue;
        const QList<uint16_t> table = toneTable(icc, be32(entry + 4), be32(entry + 8));
        if (table.size() < 2)
            return {};
        if (closeToSrgb(table))
            return QColorSpace(QColorSpace::SRgb);
        return QColorSpace(QColorSpace::Primaries::SRgb, table);
    }
    return {};
}

} // namespace

namespace ColourProfile {

QByteArray embeddedIcc(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray magic = file.read(12);
    if (magic.startsWith("\xFF\xD8")) {
        file.seek(2);
        return jpegIcc(file);
    }
    if (magic.startsWith("\x89PNG\r\n\x1A\n")) {
        file.seek(8);
        return pngIcc(file);
    }
    if (magic.size() == 12 && magic.startsWith("RIFF") && magic.mid(8) == "WEBP")
        return webpIcc(file);
    return {};
}

QColorSpace fromIcc(const QByteArray& icc) {
    if (icc.size() < 20)
        return {};
    if (QByteArrayView(icc.constData() + 16, 4) == "GRAY")
        return greyFromIcc(icc);
    return QColorSpace::fromIccProfile(icc);
}

bool isSrgb(const QColorSpace& space) {
    return space.isValid() && space.primaries() == QColorSpace::Primaries::SRgb &&
           space.transferFunction() == QColorSpace::TransferFunction::SRgb;
}

} // namespace ColourProfile
