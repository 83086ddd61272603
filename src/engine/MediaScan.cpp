#include "MediaScan.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace MediaScan {

QString standardPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

namespace {

struct Collector {
    QSet<QString> seen;
    QList<MediaItem> items;

    void offer(const QString& path, qint64 bytes) {
        const auto kind = MediaKinds::kindForPath(path);
        if (!kind)
            return;
        const QString standard = standardPath(path);
        if (seen.contains(standard))
            return;
        seen.insert(standard);
        MediaItem item;
        item.url = QUrl::fromLocalFile(standard);
        item.kind = *kind;
        item.sourceBytes = bytes;
        items.append(item);
    }

    void walk(const QString& folder) {
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            if (info.fileName().startsWith(QLatin1Char('.')))
                continue;
            if (info.isDir()) {
                if (!info.isSymLink())
                    walk(info.filePath());
            } else if (info.isFile()) {
                offer(info.filePath(), qMax<qint64>(0, info.size()));
            }
        }
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
