#pragma once

#include "tools/Shell.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

#include <cstdio>

// The real pictures of the packing benchmarks: photographs and web PNGs taken from Debian
// packages, fetched once with apt-get download into a cache folder.
namespace PackingSet {

inline QString cacheDir() {
    const QString chosen = qEnvironmentVariable("TERSIO_BENCH_CACHE");
    return chosen.isEmpty() ? QDir::temp().filePath(QStringLiteral("tersio-bench-packing"))
                            : chosen;
}

// Downloads and unpacks the packages once; later runs reuse the cache.
inline bool fetch(const QDir& cache, const QStringList& packages) {
    const QDir root(cache.filePath(QStringLiteral("root")));
    if (QFile::exists(cache.filePath(QStringLiteral("fetched"))))
        return true;
    QDir().mkpath(root.path());
    for (const QString& package : packages) {
        QProcess download;
        download.setWorkingDirectory(cache.path());
        download.start(QStringLiteral("apt-get"), {QStringLiteral("download"), package});
        if (!download.waitForFinished(600000) || download.exitCode() != 0) {
            std::fprintf(stderr, "apt-get download %s failed\n", qPrintable(package));
            return false;
        }
    }
    for (const QString& deb : cache.entryList({QStringLiteral("*.deb")})) {
        if (Shell::run(QStringLiteral("dpkg-deb"),
                       {QStringLiteral("-x"), cache.filePath(deb), root.path()})
                .status != 0)
            return false;
    }
    QFile mark(cache.filePath(QStringLiteral("fetched")));
    return mark.open(QIODevice::WriteOnly);
}

inline QStringList files(const QDir& root, const QString& under, const QStringList& patterns,
                         qint64 minBytes, int count) {
    QStringList found;
    QDirIterator it(root.filePath(under), patterns, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).size() >= minBytes && !QFileInfo(path).isSymLink())
            found << path;
    }
    found.sort();
    return found.mid(0, count);
}

inline QStringList packages() {
    return {QStringLiteral("plasma-workspace-wallpapers"), QStringLiteral("desktop-base"),
            QStringLiteral("adwaita-icon-theme")};
}

// The web PNGs: icons, logos, illustrations, wallpaper previews, a desktop screenshot.
inline QStringList pngs(const QDir& root) {
    return files(root, "usr/share/icons/Adwaita/512x512", {"*.png"}, 1, 4) +
           files(root, "usr/share/icons/Adwaita/256x256", {"*.png"}, 1, 3) +
           files(root, "usr/share/desktop-base/debian-logos", {"*.png"}, 2000, 4) +
           files(root, "usr/share/desktop-base", {"grub-16x9.png"}, 1, 3) +
           files(root, "usr/share/plymouth/themes", {"*.png"}, 20000, 4) +
           files(root, "usr/share/wallpapers", {"screenshot.png"}, 1, 4) +
           files(root, "usr/share/plasma/look-and-feel", {"*.png"}, 1, 2);
}

#ifdef TERSIO_BENCH_DIR
// The folder of real photographs (20 JPEG, 6 PNG) that bench/fetch-sample-photos.sh fetches once;
// empty when it cannot.
inline QString samplePhotoFolder() {
    QProcess fetch;
    fetch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fetch.start(QStringLiteral(TERSIO_BENCH_DIR "/fetch-sample-photos.sh"), {});
    fetch.waitForFinished(-1);
    return fetch.exitCode() == 0 ? QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed()
                                 : QString();
}

// Every photograph of that folder.
inline QStringList samplePhotos() {
    const QString folder = samplePhotoFolder();
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    QStringList found;
    for (const QString& name : dir.entryList({"*.jpg", "*.png"}, QDir::Files, QDir::Name))
        found << dir.filePath(name);
    return found;
}
#endif

} // namespace PackingSet
