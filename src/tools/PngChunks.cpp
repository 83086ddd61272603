#include "PngChunks.h"

#include <QSet>
#include <QtEndian>

#include <utility>

#include <zlib.h>

namespace PngChunks {

namespace {

const QByteArray signature("\x89PNG\r\n\x1a\n", 8);

bool kept(const QByteArray& type) {
    static const QSet<QByteArray> look{"tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT", "cICP"};
    const bool critical = (type.at(0) & 0x20) == 0; // upper-case first letter
    return critical || look.contains(type);
}

QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

std::optional<QList<Chunk>> split(const QByteArray& png) {
    if (!png.startsWith(signature))
        return std::nullopt;
    QList<Chunk> chunks;
    qsizetype at = signature.size();
    while (chunks.isEmpty() || chunks.last().type != "IEND") {
        if (png.size() - at < 12)
            return std::nullopt;
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const qsizetype whole = 12 + qsizetype(length);
        if (length > 0x7fffffffu || png.size() - at < whole)
            return std::nullopt;
        chunks.append({png.mid(at + 4, 4), png.mid(at + 8, length), png.mid(at, whole)});
        at += whole;
    }
    return chunks;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    QByteArray stored = bigEndian(quint32(data.size())) + type + data;
    const auto* bytes = reinterpret_cast<const Bytef*>(stored.constData() + 4);
    return stored + bigEndian(quint32(crc32_z(crc32_z(0, nullptr, 0), bytes, data.size() + 4)));
}

QByteArray join(const QList<Chunk>& chunks) {
    QByteArray png = signature;
    for (const Chunk& c : chunks)
        png += c.stored;
    return png;
}

std::optional<QByteArray> withoutMetadata(const QByteArray& png) {
    auto chunks = split(png);
    if (!chunks)
        return std::nullopt;
    chunks->removeIf([](const Chunk& c) { return !kept(c.type); });
    return join(*chunks);
}

QByteArray deflate(const QByteArray& raw, int level, int strategy) {
    z_stream stream{};
    // The largest window and memory level: the smallest stream zlib can make at this level.
    if (deflateInit2(&stream, level, Z_DEFLATED, 15, 9, strategy) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(raw.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
    stream.avail_in = uInt(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = ::deflate(&stream, Z_FINISH);
    out.truncate(status == Z_STREAM_END ? qsizetype(stream.total_out) : 0);
    deflateEnd(&stream);
    return out;
}

std::optional<QByteArray> inflate(const QByteArray& stream) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    QByteArray out(std::max<qsizetype>(4 * stream.size(), 1024), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.constData()));
    z.avail_in = uInt(stream.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (qsizetype(z.total_out) == out.size())
            out.resize(out.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
        z.avail_out = uInt(out.size() - qsizetype(z.total_out));
        status = ::inflate(&z, Z_NO_FLUSH);
    }
    const qsizetype size = qsizetype(z.total_out);
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        return std::nullopt;
    out.truncate(size);
    return out;
}

std::optional<QByteArray> redeflated(const QByteArray& png, int level, int strategy) {
    const auto chunks = split(png);
    if (!chunks)
        return std::nullopt;
    QByteArray stream;
    QList<Chunk> result;
    bool placed = false; // the first IDAT marks where the one that replaces them all goes
    for (const Chunk& c : *chunks) {
        if (c.type != "IDAT") {
            result.append(c);
            continue;
        }
        if (!std::exchange(placed, true))
            result.append(Chunk{});
        stream += c.data;
    }
    const auto raw = inflate(stream);
    if (!raw)
        return std::nullopt;
    const QByteArray data = deflate(*raw, level, strategy);
    if (data.isEmpty())
        return std::nullopt;
    for (Chunk& c : result)
        if (c.type.isEmpty())
            c = {"IDAT", data, chunk("IDAT", data)};
    return join(result);
}

} // namespace PngChunks
