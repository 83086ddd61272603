#pragma once

#include <QByteArray>
#include <QFile>

// A figure from /proc/self/status in kB ("VmRSS:", "VmHWM:"), or -1.
inline qint64 procStatusKb(const char* key) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong();
    return -1;
}
