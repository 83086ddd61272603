#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <utility>

// The queued originals of a run, as the file system knows them, so that no output is ever
// written over one: compared by canonical path, and by device and inode so that a hard link
// or a second route through a symlinked folder is caught too. Reads the disk.
class SourceSet {
  public:
    void add(const QUrl& source);

    // Whether writing `path` (which may not exist yet) would replace a queued original.
    bool holds(const QString& path) const;

    // Canonical paths of the originals; the naming claims reserve them.
    const QSet<QString>& paths() const { return paths_; }

    // A folder's canonical form even before it exists: its deepest existing part with symlinks
    // resolved, the rest cleaned.
    static QString canonicalFolder(const QString& folder);

  private:
    QSet<QString> paths_;
    QSet<std::pair<quint64, quint64>> nodes_; // device, inode
};
