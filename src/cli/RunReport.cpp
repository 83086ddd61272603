#include "RunReport.h"

#include "model/ByteCount.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace RunReport {

static qint64 saved(const MediaItem& item) {
    const auto primary = item.primaryOutputBytes();
    return primary && item.sourceBytes > 0 ? item.sourceBytes - *primary : 0;
}

Totals totals(const QList<MediaItem>& items) {
    Totals t;
    for (const auto& item : items) {
        switch (item.status.value) {
        case ItemStatus::Case::done:
            ++t.done;
            t.sourceBytes += item.sourceBytes;
            t.savedBytes += saved(item);
            break;
        case ItemStatus::Case::failed:
            ++t.failed;
            break;
        case ItemStatus::Case::cancelled:
            ++t.cancelled;
            break;
        default:
            break;
        }
    }
    return t;
}

QString finishedLine(const MediaItem& item) {
    const QString source = item.url.toLocalFile();
    const QString status = item.status.name().leftJustified(9);
    switch (item.status.value) {
    case ItemStatus::Case::done: {
        if (item.outputs.isEmpty())
            return status + u' ' + source;
        const qint64 amount = saved(item);
        const QString figure = amount >= 0 ? u"saved "_s + ByteCount::text(amount)
                                           : ByteCount::text(-amount) + u" larger"_s;
        QStringList notes;
        for (const auto& file : item.outputs)
            if (!file.note.isEmpty())
                notes << file.note;
        return status + u' ' + source + u" -> "_s + item.outputs.first().url.toLocalFile() +
               u"  "_s + figure +
               (notes.isEmpty() ? QString() : u"  ("_s + notes.join(u' ') + u')');
    }
    case ItemStatus::Case::failed:
        return status + u' ' + source + u": "_s + item.status.message;
    default:
        return status + u' ' + source;
    }
}

QList<MediaItem> part(const QList<MediaItem>& queue, const std::optional<Shard>& shard,
                      QList<qsizetype>* indices) {
    QList<MediaItem> items;
    for (qsizetype i = 0; i < queue.size(); ++i) {
        if (shard && !shard->holds(i))
            continue;
        items << queue.at(i);
        if (indices)
            *indices << i;
    }
    return items;
}

QJsonDocument summary(const QList<MediaItem>& queue, const std::optional<Shard>& shard) {
    QList<qsizetype> indices;
    const QList<MediaItem> items = part(queue, shard, &indices);
    QJsonArray entries;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const MediaItem& item = items.at(i);
        QJsonArray outputs;
        for (const auto& file : item.outputs) {
            QJsonObject output{{u"label"_s, file.label},
                               {u"path"_s, file.url.toLocalFile()},
                               {u"bytes"_s, file.bytes}};
            if (!file.note.isEmpty())
                output.insert(u"note"_s, file.note);
            if (file.ssim)
                output.insert(u"ssim"_s, *file.ssim);
            if (file.quality)
                output.insert(u"quality"_s, *file.quality);
            outputs.append(output);
        }
        entries.append(QJsonObject{{u"index"_s, qint64(indices.at(i))},
                                   {u"source"_s, item.url.toLocalFile()},
                                   {u"status"_s, item.status.name()},
                                   {u"message"_s, item.status.message},
                                   {u"savedBytes"_s, saved(item)},
                                   {u"outputs"_s, outputs}});
    }
    const Totals t = totals(items);
    const QJsonObject totalsObject{{u"done"_s, t.done},
                                   {u"failed"_s, t.failed},
                                   {u"cancelled"_s, t.cancelled},
                                   {u"sourceBytes"_s, t.sourceBytes},
                                   {u"savedBytes"_s, t.savedBytes}};
    QJsonObject document{
        {u"queueSize"_s, qint64(queue.size())}, {u"items"_s, entries}, {u"totals"_s, totalsObject}};
    if (shard)
        document.insert(u"shard"_s, shard->text());
    return QJsonDocument(document);
}

int exitStatus(const QList<MediaItem>& items, int stopSignal) {
    if (stopSignal != 0)
        return 128 + stopSignal;
    for (const auto& item : items)
        if (item.status.value != ItemStatus::Case::done)
            return 1;
    return 0;
}

} // namespace RunReport
