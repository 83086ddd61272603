#pragma once

#include <QString>

#include <optional>

class QIODevice;

// The channel layout of a JPEG, PNG or WebP file, read from its headers by skipping from chunk
// to chunk: what the planners need (an alpha channel, a single colour channel) without decoding
// a pixel, which for a large PNG costs more than setting up its encode.
namespace ImageHeader {

struct Channels {
    bool alpha = false; // as the decoder gives it: a PNG's transparency chunk counts
    bool grey = false;  // one colour channel, with or without alpha

    friend bool operator==(const Channels&, const Channels&) = default;
};

// No value for another format, a damaged header, or a PNG or WebP that ends early (a copy still
// under way, a broken download): those are left to the decoder to judge.
std::optional<Channels> channels(QIODevice& file);
std::optional<Channels> channels(const QString& path);

} // namespace ImageHeader
