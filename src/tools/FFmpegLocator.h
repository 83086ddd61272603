#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct FFmpegTools {
    QString ffmpeg;
    std::optional<QString> ffprobe;
    // The optional palette maker for PNGs, looked for beside ffmpeg first, then in the search
    // folders.
    std::optional<QString> pngquant;

    friend bool operator==(const FFmpegTools&, const FFmpegTools&) = default;
};

namespace FFmpegLocator {

// Where the search looks. The application uses `standard()`; tests lay out their own folders.
struct SearchPlaces {
    QString storedPath;     // the user's choice under "tersio.ffmpegPath", may be empty
    QString resourceBinDir; // the application's own resources' bin folder
    QStringList searchDirs; // fixed install folders, in order

    static SearchPlaces standard();
};

const QStringList& searchDirectories();

// <executable dir>/../share/tersio
QString resourceDirectory();

// Blocking file checks; run it off the interface thread.
std::optional<FFmpegTools> locate();
std::optional<FFmpegTools> locate(const SearchPlaces& places);

std::optional<QString> locateProbeElsewhere(const QStringList& searchDirs);

// `name` in `preferredDir`, else in the first search folder that has it.
std::optional<QString> locateHelper(const char* name, const QString& preferredDir,
                                    const QStringList& searchDirs);

bool isExecutableFile(const QString& path);

} // namespace FFmpegLocator
