#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

struct ProbeResult {
    qint64 width = 0; // rotation applied
    qint64 height = 0;
    double duration = 0;
    bool hasAudio = false;
    bool hdr =
        false; // the sized video stream's transfer is PQ ("smpte2084") or HLG ("arib-std-b67")

    friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

namespace Prober {

// Blocking: runs ffprobe. All zeros when there is no ffprobe or nothing can be read.
ProbeResult probe(const QUrl& source, const std::optional<QString>& ffprobe);

// The reduction of ffprobe's JSON answer.
ProbeResult parse(const QByteArray& json);

} // namespace Prober
