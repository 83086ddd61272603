#pragma once

#include "planning/CommandBuilder.h"

#include <QStringList>
#include <QUrl>

// Inputs shared by the planner tests.
namespace PlanTestSupport {

inline EncoderCaps caps(const QStringList& names) {
    EncoderCaps result;
    for (const QString& name : names)
        result.names.insert(name);
    return result;
}

// Every encoder the planners ask about.
inline EncoderCaps allCaps() {
    return caps({"libx264", "libx265", "libvpx-vp9", "libopus", "libvorbis", "libwebp", "libsvtav1",
                 "libaom-av1", "aac", "mjpeg", "png"});
}

inline MediaItem item(const QString& path, qint64 width = 0, qint64 height = 0) {
    MediaItem result;
    result.url = QUrl::fromLocalFile(path);
    result.width = width;
    result.height = height;
    return result;
}

inline QStringList quietHeader(const QString& source) {
    return {"-hide_banner", "-nostdin", "-y", "-loglevel", "error", "-i", source};
}

inline QStringList progressHeader(const QString& source) {
    return {"-hide_banner", "-nostdin", "-y",       "-loglevel", "error",
            "-progress",    "pipe:1",   "-nostats", "-i",        source};
}

inline QStringList labels(const QList<PlannedOutput>& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.label;
    return result;
}

inline QStringList fileNames(const QList<PlannedOutput>& plan) {
    QStringList result;
    for (const PlannedOutput& output : plan)
        result << output.destination.fileName();
    return result;
}

// The value following `option`, or a null string.
inline QString valueAfter(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

} // namespace PlanTestSupport
