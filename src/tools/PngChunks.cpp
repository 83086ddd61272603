#include "PngChunks.h"

#include <QSet>

namespace PngChunks {

namespace {

const QByteArray signature("\x89PNG\r\n\x1a\n", 8);

quint32 bigEndian(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

bool kept(const QByteArray& type) {
    static const QSet<QByteArray> look{"tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT", "cICP"};
    const bool critical = (type.at(0) & 0x20) == 0; // upper-case first letter
    return critical || look.contains(type);
}

} // namespace

std::optional<QByteArray> withoutMetadata(const QByteArray& png) {
    if (!png.startsWith(signature))
        return std::nullopt;
    QByteArray result = signature;
    qsizetype at = signature.size();
    bool ended = false;
    while (!ended) {
        if (png.size() - at < 12)
            return std::nullopt;
        const quint32 length = bigEndian(png.constData() + at);
        const qsizetype whole = 12 + qsizetype(length);
        if (length > 0x7fffffffu || png.size() - at < whole)
            return std::nullopt;
        const QByteArray type = png.mid(at + 4, 4);
        if (kept(type))
            result.append(png.constData() + at, whole);
        ended = type == "IEND";
        at += whole;
    }
    return result;
}

} // namespace PngChunks
