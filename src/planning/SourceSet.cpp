#include "SourceSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <sys/stat.h>

namespace {

std::optional<std::pair<quint64, quint64>> node(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(quint64(info.st_dev), quint64(info.st_ino));
}

QString canonicalFile(const QString& path) {
    const QFileInfo info(path);
    return SourceSet::canonicalFolder(info.absolutePath()) + QLatin1Char('/') + info.fileName();
}

} // namespace

QString SourceSet::canonicalFolder(const QString& folder) {
    QString existing = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    QStringList rest;
    while (!QFileInfo(existing).isDir() && existing != QLatin1String("/")) {
        rest.prepend(QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    QString canonical = QFileInfo(existing).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = existing;
    for (const QString& part : std::as_const(rest))
        canonical +=
            (canonical.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + part;
    return canonical;
}

void SourceSet::add(const QUrl& source) {
    const QString path = source.toLocalFile();
    paths_.insert(canonicalFile(path));
    if (const auto n = node(path))
        nodes_.insert(*n);
}

bool SourceSet::holds(const QString& path) const {
    if (paths_.contains(canonicalFile(path)))
        return true;
    const auto n = node(path);
    return n && nodes_.contains(*n);
}
