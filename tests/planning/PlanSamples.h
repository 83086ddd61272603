#pragma once

// Sample sources, settings and encoders, and the plans the planners make of them.
#include "planning/CommandBuilder.h"

#include <QStringList>
#include <QUrl>

using Plan = QList<PlannedOutput>;

namespace PlanSamples {

inline const QUrl out = QUrl::fromLocalFile(QStringLiteral("/out"));

inline EncoderCaps caps(const QStringList& names = {"libx264", "libx265", "libvpx-vp9", "libopus",
                                                    "libvorbis", "libwebp", "libsvtav1",
                                                    "libaom-av1", "aac", "mjpeg", "png"}) {
    EncoderCaps result;
    result.names = QSet<QString>(names.begin(), names.end());
    return result;
}

inline MediaItem photo(const QString& name, qint64 width, qint64 height, bool alpha = false) {
    MediaItem item;
    item.url = QUrl::fromLocalFile("/in/" + name);
    item.width = width;
    item.height = height;
    item.hasAlpha = alpha;
    return item;
}

inline MediaItem clip(qint64 width, qint64 height, double duration, bool audio = true,
                      bool hdr = false) {
    MediaItem item = photo("clip.mov", width, height);
    item.kind = MediaKind::video;
    item.duration = duration;
    item.hasAudio = audio;
    item.hdr = hdr;
    return item;
}

inline TersioSettings format(ImageFormat format, bool webpCopy = false) {
    TersioSettings settings;
    settings.imageFormat = format;
    settings.alsoEmitWebP = webpCopy;
    return settings;
}

inline Plan images(const MediaItem& item, const TersioSettings& settings = {},
                   const EncoderCaps& encoders = caps()) {
    return CommandBuilder::imagePlan(item, settings, encoders, out);
}

inline Plan videos(const MediaItem& item, const TersioSettings& settings = {},
                   const EncoderCaps& encoders = caps()) {
    return CommandBuilder::videoPlan(item, settings, encoders, out);
}

// The value following `option`, or a null string.
inline QString after(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

} // namespace PlanSamples
