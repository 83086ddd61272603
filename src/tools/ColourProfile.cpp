#include "ColourProfile.h"

#include <QColorSpace>
#include <QFile>
#include <QMap>
#include <QtConcurrent>
#include <QtEndian>

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

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

struct ProfileClose {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileClose>;

Profile openProfile(const QByteArray& icc) {
    if (icc.isEmpty())
        return nullptr;
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

// Null when the profile does not match `inFormat`'s colour model or lacks what the intent needs.
std::shared_ptr<void> transformToSrgb(const QByteArray& icc, cmsUInt32Number inFormat,
                                      cmsUInt32Number outFormat, cmsUInt32Number flags = 0) {
    const Profile source = openProfile(icc);
    if (!source)
        return nullptr;
    const Profile srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM transform =
        cmsCreateTransform(source.get(), inFormat, srgb.get(), outFormat,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION | flags);
    if (!transform)
        return nullptr;
    return std::shared_ptr<void>(transform, cmsDeleteTransform);
}

cmsColorSpaceSignature colourModel(const QByteArray& icc) {
    const Profile profile = openProfile(icc);
    return profile ? cmsGetColorSpace(profile.get()) : cmsColorSpaceSignature(0);
}

constexpr int rowsPerBand = 64;

// Grey read from the first byte of each pixel (R, where R = G = B), the others skipped.
constexpr cmsUInt32Number greyIn(int bytesPerPixel) {
    return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(bytesPerPixel - 1);
}

// Every grey level, or a grid of the RGB cube in steps of 17: enough to catch any curve or
// primaries that differ from sRGB.
std::vector<uchar> probeColours(bool grey) {
    std::vector<uchar> colours;
    if (grey) {
        for (int level = 0; level < 256; ++level)
            colours.push_back(uchar(level));
        return colours;
    }
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17)
                colours.insert(colours.end(), {uchar(r), uchar(g), uchar(b)});
    return colours;
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

bool changesColours(const QByteArray& icc) {
    const cmsColorSpaceSignature model = colourModel(icc);
    if (model == 0)
        return false;
    if (model != cmsSigRgbData && model != cmsSigGrayData)
        return true;
    const bool grey = model == cmsSigGrayData;
    const auto transform = transformToSrgb(icc, grey ? TYPE_GRAY_8 : TYPE_RGB_8, TYPE_RGB_8);
    if (!transform)
        return false;
    const std::vector<uchar> in = probeColours(grey);
    const int count = int(in.size()) / (grey ? 1 : 3);
    std::vector<uchar> out(size_t(count) * 3);
    cmsDoTransform(transform.get(), in.data(), out.data(), cmsUInt32Number(count));
    for (size_t i = 0; i < out.size(); ++i)
        if (std::abs(int(out[i]) - int(in[grey ? i / 3 : i])) > 1)
            return true;
    return false;
}

QImage toSrgb(const QImage& image, const QByteArray& icc) {
    const cmsColorSpaceSignature model = colourModel(icc);
    if (model != cmsSigRgbData && model != cmsSigGrayData)
        return {};
    const bool grey = model == cmsSigGrayData;
    const bool alpha = image.hasAlphaChannel();
    const cmsUInt32Number outFormat = alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
    QImage in = image;
    QImage out;
    cmsUInt32Number inFormat = 0;
    if (grey && !alpha && in.format() == QImage::Format_Grayscale8) {
        inFormat = TYPE_GRAY_8;
        out = QImage(in.size(), QImage::Format_RGB888);
    } else if (grey && !alpha && in.format() == QImage::Format_Grayscale16) {
        inFormat = TYPE_GRAY_16;
        out = QImage(in.size(), QImage::Format_RGB888);
    } else {
        // Converted in place; the alpha bytes are left as they are.
        in.convertTo(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        inFormat = grey ? greyIn(alpha ? 4 : 3) : outFormat;
        out = std::move(in);
    }
    const bool inPlace = in.isNull();
    const auto transform = transformToSrgb(icc, inFormat, outFormat, cmsFLAGS_NOCACHE);
    if (!transform || out.isNull())
        return {};
    // Rows in bands over the thread pool: Little CMS is several times slower than Qt's own
    // matrix conversion, and a shared transform without its one-pixel cache is thread-safe.
    QList<int> bands;
    for (int y = 0; y < out.height(); y += rowsPerBand)
        bands << y;
    uchar* const target = out.bits(); // detaches once, before the threads start
    const qsizetype targetStride = out.bytesPerLine();
    QtConcurrent::blockingMap(bands, [&](int first) {
        for (int y = first; y < std::min(first + rowsPerBand, out.height()); ++y) {
            uchar* row = target + y * targetStride;
            const uchar* source = inPlace ? row : in.constScanLine(y);
            cmsDoTransform(transform.get(), source, row, cmsUInt32Number(out.width()));
        }
    });
    out.setColorSpace(QColorSpace::SRgb);
    return out;
}

CmykConverter::CmykConverter(const QByteArray& icc, bool inverted)
    : transform_(colourModel(icc) == cmsSigCmykData
                     ? transformToSrgb(icc, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_RGB_8)
                     : nullptr) {}

void CmykConverter::convert(const uchar* cmyk, uchar* rgb, int pixels) const {
    cmsDoTransform(transform_.get(), cmyk, rgb, cmsUInt32Number(pixels));
}

} // namespace ColourProfile
