#pragma once

#include "TestSupport.h"

// Clips whose opening a poster must not show, made by ffmpeg's sources at test time, with the
// poster time each should get.
namespace PosterClips {

struct Clip {
    QString name;
    QStringList sources; // ffmpeg arguments before the encoder options
    double posterTime;
};

inline QStringList lavfi(const QString& graph) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), graph};
}

// Black for the first 40 % (4 of 10 s), then a one-second fade in.
inline const Clip fadeIn{QStringLiteral("fade.mp4"),
                         lavfi(QStringLiteral("testsrc2=s=160x120:r=10:d=10,fade=in:st=4:d=1")),
                         5.0};
// A black card with a small white title for two seconds, then the picture: twelve seconds.
inline const Clip card{
    QStringLiteral("card.mp4"),
    {QStringLiteral("-filter_complex"),
     QStringLiteral("color=black:s=160x120:r=10:d=2,"
                    "drawbox=x=60:y=56:w=40:h=6:color=white:t=fill[card];"
                    "testsrc2=s=160x120:r=10:d=10[picture];[card][picture]concat")},
    2.4};

inline bool make(const QString& dir, const Clip& clip, const QString& pixelFormat, QString* error) {
    return TestSupport::ffmpeg(clip.sources + QStringList{"-c:v", "libx264", "-preset", "ultrafast",
                                                          "-pix_fmt", pixelFormat,
                                                          QDir(dir).filePath(clip.name)},
                               error);
}

} // namespace PosterClips

Q_DECLARE_METATYPE(PosterClips::Clip)
