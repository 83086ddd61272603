#pragma once

#include <QList>
#include <QString>

#include <optional>

// One of N equal parts of a queue: the items whose queue index modulo N is K. Every worker of
// a batch engine builds the same queue and takes its own part, so no item is done twice.
struct Shard {
    qint64 index = 0; // K
    qint64 count = 1; // N

    // "K/N" with 0 <= K < N, both plain decimal numbers; the error names what is wrong.
    static std::optional<Shard> parse(const QString& text, QString* error);

    QString text() const;
    bool holds(qsizetype queueIndex) const { return queueIndex % count == index; }

    // The queue indices of this part, in order.
    QList<qsizetype> indices(qsizetype queueSize) const;

    friend bool operator==(const Shard&, const Shard&) = default;
};
