#include "JpegRepack.h"

#include <QFile>
#include <QSaveFile>

#include <turbojpeg.h>

namespace JpegRepack {

std::optional<QByteArray> transform(const QByteArray& jpeg, const Options& options,
                                    QString* error) {
    tjhandle handle = tjInitTransform();
    if (!handle) {
        if (error)
            *error = QString::fromLocal8Bit(tjGetErrorStr2(nullptr));
        return std::nullopt;
    }
    tjtransform step{};
    step.op = TJXOP_NONE;
    step.options = TJXOPT_PROGRESSIVE;
    if (options.grey)
        step.options |= TJXOPT_GRAY;
    if (!options.keepMetadata)
        step.options |= TJXOPT_COPYNONE;
    unsigned char* packed = nullptr;
    unsigned long packedSize = 0;
    const int status =
        tjTransform(handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                    static_cast<unsigned long>(jpeg.size()), 1, &packed, &packedSize, &step, 0);
    std::optional<QByteArray> result;
    if (status == 0 && packed)
        result = QByteArray(reinterpret_cast<const char*>(packed), qsizetype(packedSize));
    else if (error)
        *error = QString::fromLocal8Bit(tjGetErrorStr2(handle));
    tjFree(packed);
    tjDestroy(handle);
    return result;
}

namespace {

bool keptSegment(uchar marker, const QByteArray& payload) {
    if (marker == 0xFE) // comment
        return false;
    if (marker < 0xE0 || marker > 0xEF)
        return true; // tables, frame and scan headers
    if (marker == 0xE0)
        return payload.startsWith(QByteArrayLiteral("JFIF"));
    if (marker == 0xE2)
        return payload.startsWith(QByteArrayLiteral("ICC_PROFILE"));
    return marker == 0xEE && payload.startsWith(QByteArrayLiteral("Adobe"));
}

} // namespace

std::optional<QByteArray> withoutMetadata(const QByteArray& jpeg) {
    if (!jpeg.startsWith(QByteArrayLiteral("\xff\xd8")))
        return std::nullopt;
    QByteArray result = jpeg.left(2);
    qsizetype at = 2;
    while (at + 4 <= jpeg.size()) {
        if (uchar(jpeg[at]) != 0xFF)
            return std::nullopt;
        const uchar marker = uchar(jpeg[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const qsizetype length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        if (length < 2 || at + 2 + length > jpeg.size())
            return std::nullopt;
        if (marker == 0xDA) { // start of scan: the rest is image data
            result += jpeg.mid(at);
            return result;
        }
        if (keptSegment(marker, jpeg.mid(at + 4, length - 2)))
            result += jpeg.mid(at, 2 + length);
        at += 2 + length;
    }
    return std::nullopt;
}

QString transformFile(const QString& input, const QString& output, const Options& options) {
    QFile in(input);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QString error;
    const auto packed = transform(in.readAll(), options, &error);
    if (!packed)
        return error;
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(*packed) != packed->size() || !out.commit())
        return out.errorString();
    return {};
}

} // namespace JpegRepack
