#include "MediaScan.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace MediaScan {

QString standardPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

namespace {

struct Found {
    QByteArray relative; // UTF-8, the sort key
    QString path;
    qint64 bytes = 0;
};

void gather(const QString& folder, const QDir& root, QList<Found>& found) {
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (info.fileName().startsWith(QLatin1Char('.')))
            continue;
        if (info.isDir()) {
            if (!info.isSymLink())
                gather(info.filePath(), root, found);
        } else if (info.isFile() && MediaKinds::kindForPath(info.filePath())) {
            found.append({root.relativeFilePath(info.filePath()).toUtf8(), info.filePath(),
                          qMax<qint64>(0, info.size())});
        }
    }
}

struct Collector {
    QSet<QString> seen;
    QList<MediaItem> items;

    void offer(const QString& path, qint64 bytes, const QString& folder = {}) {
        const auto kind = MediaKinds::kindForPath(path);
        if (!kind)
            return;
        const QString standard = standardPath(path);
        if (seen.contains(standard))
            return;
        seen.insert(standard);
        MediaItem item;
        item.url = QUrl::fromLocalFile(standard);
        item.addedFolder = folder;
        item.kind = *kind;
        item.sourceBytes = bytes;
        items.append(item);
    }

    // Sorted by the path below the folder, byte by byte, so the queue (and with it the names a
    // run gives its outputs) never depends on the order the file system lists entries in.
    void walk(const QString& folder) {
        QList<Found> found;
        gather(folder, QDir(folder), found);
        std::sort(found.begin(), found.end(),
                  [](const Found& a, const Found& b) { return a.relative < b.relative; });
        for (const Found& file : std::as_const(found))
            offer(file.path, file.bytes, folder);
    }
};

} // namespace

QList<MediaItem> collect(const QList<QUrl>& urls, const QSet<QString>& alreadyQueued) {
    Collector collector{alreadyQueued, {}};
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isDir())
            collector.walk(standardPath(info.filePath()));
        else if (info.isFile())
            collector.offer(info.filePath(), qMax<qint64>(0, info.size()));
    }
    return collector.items;
}

} // namespace MediaScan
