#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

// PNG files at the chunk level: chunks read and written, the image data inflated and deflated
// again, and no row ever unfiltered.
namespace PngChunks {

struct Chunk {
    QByteArray type;
    QByteArray data;
    QByteArray stored; // as in the file: length, type, data and CRC
};

// The chunks up to IEND, in order (their CRCs unchecked); no value when the bytes are not a
// well-formed PNG.
std::optional<QList<Chunk>> split(const QByteArray& png);

// A chunk as stored, its CRC computed.
QByteArray chunk(const QByteArray& type, const QByteArray& data);

// The signature followed by the chunks as stored.
QByteArray join(const QList<Chunk>& chunks);

// The file without its ancillary chunks (text, time, EXIF, physical size, …), keeping the
// critical ones, transparency and the colour chunks (gAMA, cHRM, sRGB, iCCP, sBIT, cICP) that
// change how the pixels look. No value when the bytes are not a well-formed PNG.
std::optional<QByteArray> withoutMetadata(const QByteArray& png);

// zlib's stream of `raw` at the given level (1–9) and strategy.
QByteArray deflate(const QByteArray& raw, int level, int strategy);

// The inflated zlib stream; no value when it is damaged or incomplete.
std::optional<QByteArray> inflate(const QByteArray& stream);

// The same PNG with its image data deflated again (the row filters as they were) into one IDAT
// chunk. No value when the bytes are not a well-formed PNG with image data.
std::optional<QByteArray> redeflated(const QByteArray& png, int level, int strategy);

} // namespace PngChunks
