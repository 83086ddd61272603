#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Lossless JPEG re-packing in-process (TurboJPEG): the same coefficients written again as a
// progressive file, whose Huffman tables are always computed for the picture.
namespace JpegRepack {

struct Options {
    bool grey = false;         // drop the colour planes (the picture is grey already)
    bool keepMetadata = false; // copy every marker (EXIF, ICC, comments) of the input
};

// No value, with `error` set, when the input is not a JPEG TurboJPEG can transform.
std::optional<QByteArray> transform(const QByteArray& jpeg, const Options& options,
                                    QString* error = nullptr);

// The same file without its metadata segments (EXIF, XMP, comments, maker data), keeping those
// that decoding depends on (JFIF, the ICC profile, Adobe's colour transform) and every byte of
// the entropy-coded data. No value when the bytes are not a well-formed JPEG header.
std::optional<QByteArray> withoutMetadata(const QByteArray& jpeg);

// Re-packs `input` into `output` (which may be the same file) through a temporary beside it.
// Returns the failure text; empty on success.
QString transformFile(const QString& input, const QString& output, const Options& options);

} // namespace JpegRepack
