#pragma once

#include "model/MediaItem.h"

#include <QList>
#include <QString>

// A queue item in a given state, with output files of the given sizes.
inline MediaItem item(const QString& path, ItemStatus status, qint64 source = 0,
                      QList<qint64> outputBytes = {}) {
    MediaItem m;
    m.url = QUrl::fromLocalFile(path);
    m.status = status;
    m.sourceBytes = source;
    for (qint64 b : outputBytes)
        m.outputs << ProducedFile{QUuid::createUuid(), QStringLiteral("JPEG"),
                                  QUrl::fromLocalFile(path + QStringLiteral(".out.jpg")), b};
    return m;
}
