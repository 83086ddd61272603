#include "DecodedCopies.h"

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QMutex>

namespace DecodedCopies {

namespace {

struct Copy {
    QString source;
    qint64 sourceBytes = 0;
    QDateTime sourceModified;
    qint64 bytes = 0;
    std::shared_ptr<SourcePreparer::PreparedFile> file;
};

// The compare view asks from worker threads while the engine keeps from the main thread.
struct Store {
    QMutex mutex;
    qint64 budget = 0;
    QList<Copy> copies; // oldest first

    void trim() {
        qint64 total = 0;
        for (const Copy& copy : std::as_const(copies))
            total += copy.bytes;
        while (!copies.isEmpty() && total > budget) {
            total -= copies.first().bytes;
            copies.removeFirst();
        }
    }
};

Store& store() {
    static Store instance;
    return instance;
}

} // namespace

void setBudget(qint64 bytes) {
    Store& s = store();
    const QMutexLocker lock(&s.mutex);
    s.budget = std::max<qint64>(0, bytes);
    s.trim();
}

void keep(const QString& source, std::shared_ptr<SourcePreparer::PreparedFile> copy) {
    if (!copy)
        return;
    const QFileInfo info(source);
    Copy kept{source, info.size(), info.lastModified(), QFileInfo(copy->path()).size(),
              std::move(copy)};
    Store& s = store();
    const QMutexLocker lock(&s.mutex);
    s.copies.removeIf([&](const Copy& c) { return c.source == source; });
    s.copies.append(std::move(kept));
    s.trim();
}

std::shared_ptr<SourcePreparer::PreparedFile> find(const QString& source) {
    const QFileInfo info(source);
    Store& s = store();
    const QMutexLocker lock(&s.mutex);
    for (const Copy& copy : std::as_const(s.copies))
        if (copy.source == source)
            return copy.sourceBytes == info.size() && copy.sourceModified == info.lastModified()
                       ? copy.file
                       : nullptr;
    return nullptr;
}

} // namespace DecodedCopies
