#include "Shard.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

std::optional<Shard> Shard::parse(const QString& text, QString* error) {
    static const QRegularExpression form(u"^([0-9]{1,9})/([0-9]{1,9})$"_s);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *error = u"--shard: '"_s + text + u"' is not K/N (part K of N, counting from 0)"_s;
        return std::nullopt;
    }
    const Shard shard{match.captured(1).toLongLong(), match.captured(2).toLongLong()};
    if (shard.count == 0) {
        *error = u"--shard: '"_s + text + u"' has no parts; N must be at least 1"_s;
        return std::nullopt;
    }
    if (shard.index >= shard.count) {
        *error = u"--shard: '"_s + text + u"' names part "_s + QString::number(shard.index) +
                 u", but parts are counted from 0 to "_s + QString::number(shard.count - 1);
        return std::nullopt;
    }
    return shard;
}

QString Shard::text() const {
    return QString::number(index) + u'/' + QString::number(count);
}

QList<qsizetype> Shard::indices(qsizetype queueSize) const {
    QList<qsizetype> result;
    for (qsizetype i = index; i < queueSize; i += count)
        result << i;
    return result;
}
