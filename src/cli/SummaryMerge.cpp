#include "SummaryMerge.h"

#include <QJsonArray>
#include <QMap>

using namespace Qt::StringLiterals;

namespace SummaryMerge {
namespace {

bool isWhole(const QJsonValue& value) {
    return value.isDouble() && value.toDouble() >= 0 &&
           double(value.toInteger(-1)) == value.toDouble();
}

QString shardCount(const QJsonObject& summary) {
    const QString shard = summary.value(u"shard"_s).toString();
    return shard.isEmpty() ? u"1"_s : shard.section(u'/', 1);
}

} // namespace

Result merge(const QList<Input>& inputs) {
    Result result;
    const auto failure = [&result](const QString& error) {
        result.error = error;
        return result;
    };
    if (inputs.isEmpty())
        return failure(u"no summaries to merge"_s);

    const Input& first = inputs.first();
    QMap<qint64, std::pair<QJsonObject, QString>> items; // index -> item, file
    QJsonObject totals;
    for (const Input& input : inputs) {
        const QJsonObject& s = input.summary;
        const QJsonValue size = s.value(u"queueSize"_s);
        if (!isWhole(size) || !s.value(u"items"_s).isArray() || !s.value(u"totals"_s).isObject())
            return failure(input.name + u" is not a run summary written by tersio-cli"_s);
        if (size.toInteger() != first.summary.value(u"queueSize"_s).toInteger())
            return failure(u"the summaries are of different queues: "_s + first.name + u" has "_s +
                           QString::number(first.summary[u"queueSize"_s].toInteger()) +
                           u" items, "_s + input.name + u" has "_s +
                           QString::number(size.toInteger()));
        if (shardCount(s) != shardCount(first.summary))
            return failure(u"the summaries split the queue differently: "_s + first.name +
                           u" is one of "_s + shardCount(first.summary) + u" parts, "_s +
                           input.name + u" one of "_s + shardCount(s));
        for (const QJsonValue& value : s.value(u"items"_s).toArray()) {
            const QJsonObject item = value.toObject();
            const QJsonValue index = item.value(u"index"_s);
            if (!isWhole(index) || index.toInteger() >= size.toInteger())
                return failure(input.name + u" has an item without a valid queue index"_s);
            const auto known = items.constFind(index.toInteger());
            if (known != items.constEnd())
                return failure(u"queue item "_s + QString::number(index.toInteger()) + u" ("_s +
                               item.value(u"source"_s).toString() + u") is reported by both "_s +
                               known->second + u" and "_s + input.name);
            items.insert(index.toInteger(), {item, input.name});
        }
        const QJsonObject partTotals = s.value(u"totals"_s).toObject();
        for (auto it = partTotals.begin(); it != partTotals.end(); ++it)
            totals.insert(it.key(), totals.value(it.key()).toInteger() + it.value().toInteger());
    }

    const qint64 size = first.summary.value(u"queueSize"_s).toInteger();
    QJsonArray merged;
    for (qint64 i = 0; i < size; ++i) {
        const auto found = items.constFind(i);
        if (found == items.constEnd())
            result.missing << qsizetype(i);
        else
            merged.append(found->first);
    }
    result.summary =
        QJsonObject{{u"queueSize"_s, size}, {u"items"_s, merged}, {u"totals"_s, totals}};
    return result;
}

} // namespace SummaryMerge
