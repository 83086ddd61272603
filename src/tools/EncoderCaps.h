#pragma once

#include <QSet>
#include <QString>

// The encoder names the located ffmpeg reports, compared exactly.
struct EncoderCaps {
    QSet<QString> names;

    bool has(const QString& name) const { return names.contains(name); }
    bool has(const char* name) const { return names.contains(QLatin1String(name)); }

    // Blocking: runs `ffmpeg -hide_banner -encoders`. A tool that cannot run gives no names.
    static EncoderCaps detect(const QString& ffmpeg);
    static EncoderCaps parse(const QString& listing);

    friend bool operator==(const EncoderCaps&, const EncoderCaps&) = default;
};
