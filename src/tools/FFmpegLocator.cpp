#include "FFmpegLocator.h"

#include "model/Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace FFmpegLocator {

const QStringList& searchDirectories() {
    static const QStringList dirs{
        QStringLiteral("/opt/homebrew/bin"),
        QStringLiteral("/usr/local/bin"),
        QStringLiteral("/opt/local/bin"),
        QStringLiteral("/usr/bin"),
    };
    return dirs;
}

QString resourceDirectory() {
    const QString appDir =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return QDir::cleanPath(appDir + QStringLiteral("/../share/tersio"));
}

SearchPlaces SearchPlaces::standard() {
    return {Preferences::storedFFmpegPath(), resourceDirectory() + QStringLiteral("/bin"),
            searchDirectories()};
}

bool isExecutableFile(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path); // follows symlinks: a dangling link does not exist
    return info.exists() && info.isFile() && info.isExecutable();
}

static QString joined(const QString& dir, const char* name) {
    return dir + QLatin1Char('/') + QLatin1String(name);
}

std::optional<QString> locateProbeElsewhere(const QStringList& searchDirs) {
    for (const auto& dir : searchDirs) {
        const QString candidate = joined(dir, "ffprobe");
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<QString> locateHelper(const char* name, const QString& preferredDir,
                                    const QStringList& searchDirs) {
    if (const QString beside = joined(preferredDir, name); isExecutableFile(beside))
        return beside;
    for (const auto& dir : searchDirs)
        if (const QString candidate = joined(dir, name); isExecutableFile(candidate))
            return candidate;
    return std::nullopt;
}

std::optional<FFmpegTools> locate() {
    return locate(SearchPlaces::standard());
}

std::optional<FFmpegTools> locate(const SearchPlaces& places) {
    QStringList candidates;
    if (!places.storedPath.isEmpty())
        candidates << places.storedPath; // used as stored: no tilde expansion, no name check
    if (!places.resourceBinDir.isEmpty())
        candidates << joined(places.resourceBinDir, "ffmpeg");
    for (const auto& dir : places.searchDirs)
        candidates << joined(dir, "ffmpeg");

    for (const auto& candidate : candidates) {
        if (!isExecutableFile(candidate))
            continue;
        FFmpegTools tools{candidate, std::nullopt, std::nullopt};
        const QString dir = QFileInfo(candidate).path();
        tools.ffprobe = locateHelper("ffprobe", dir, places.searchDirs);
        tools.pngquant = locateHelper("pngquant", dir, places.searchDirs);
        return tools;
    }
    return std::nullopt;
}

} // namespace FFmpegLocator
