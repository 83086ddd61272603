#include "QueueModel.h"

#include <QFileInfo>
#include <QVariantMap>

QueueModel::QueueModel(QObject* parent) : QAbstractListModel(parent) {}

int QueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(items_.size());
}

QVariant QueueModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const MediaItem& item = items_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case FileNameRole:
        return QFileInfo(item.url.toLocalFile()).fileName();
    case IdRole:
        return item.id.toString(QUuid::WithoutBraces);
    case UrlRole:
        return item.url;
    case PathRole:
        return item.url.toLocalFile();
    case KindRole:
        return MediaKinds::rawValue(item.kind);
    case SourceBytesRole:
        return item.sourceBytes;
    case WidthRole:
        return item.width;
    case HeightRole:
        return item.height;
    case DurationRole:
        return item.duration;
    case HasAudioRole:
        return item.hasAudio;
    case HdrRole:
        return item.hdr;
    case HasAlphaRole:
        return item.hasAlpha;
    case StatusRole:
        return item.status.name();
    case StatusMessageRole:
        return item.status.message;
    case ProgressRole:
        return item.progress;
    case CurrentTaskRole:
        return item.currentTask;
    case OutputsRole:
        return QueueRows::outputsValue(item.outputs);
    case DimensionsLabelRole:
        return item.dimensionsLabel();
    case PrimaryOutputBytesRole:
        return item.primaryOutputBytes().value_or(-1);
    default:
        return {};
    }
}

QHash<int, QByteArray> QueueModel::roleNames() const {
    return {
        {IdRole, "id"},
        {UrlRole, "url"},
        {PathRole, "path"},
        {FileNameRole, "fileName"},
        {KindRole, "kind"},
        {SourceBytesRole, "sourceBytes"},
        {WidthRole, "width"},
        {HeightRole, "height"},
        {DurationRole, "duration"},
        {HasAudioRole, "hasAudio"},
        {HdrRole, "hdr"},
        {HasAlphaRole, "hasAlpha"},
        {StatusRole, "status"},
        {StatusMessageRole, "statusMessage"},
        {ProgressRole, "progress"},
        {CurrentTaskRole, "currentTask"},
        {OutputsRole, "outputs"},
        {DimensionsLabelRole, "dimensionsLabel"},
        {PrimaryOutputBytesRole, "primaryOutputBytes"},
    };
}

const MediaItem* QueueModel::find(const QUuid& id) const {
    const int row = rowOf(id);
    return row < 0 ? nullptr : &items_.at(row);
}

int QueueModel::rowOf(const QUuid& id) const {
    for (int row = 0; row < items_.size(); ++row)
        if (items_.at(row).id == id)
            return row;
    return -1;
}

void QueueModel::append(const MediaItem& item) {
    const int row = int(items_.size());
    beginInsertRows({}, row, row);
    items_.append(item);
    endInsertRows();
    emit figuresChanged();
}

bool QueueModel::update(const QUuid& id, const std::function<void(MediaItem&)>& change) {
    const int row = rowOf(id);
    if (row < 0)
        return false;
    MediaItem& item = items_[row];
    const ItemStatus statusBefore = item.status;
    const qsizetype outputsBefore = item.outputs.size();
    const qint64 bytesBefore = item.sourceBytes;
    change(item);
    const QModelIndex at = index(row);
    emit dataChanged(at, at);
    if (item.status != statusBefore || item.outputs.size() != outputsBefore ||
        item.sourceBytes != bytesBefore)
        emit figuresChanged();
    return true;
}

void QueueModel::removeIf(const std::function<bool(const MediaItem&)>& doomed) {
    bool removed = false;
    // Backwards, one contiguous run at a time, so views keep their other rows.
    for (int last = int(items_.size()) - 1; last >= 0;) {
        if (!doomed(items_.at(last))) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && doomed(items_.at(first - 1)))
            --first;
        beginRemoveRows({}, first, last);
        items_.remove(first, last - first + 1);
        endRemoveRows();
        removed = true;
        last = first - 1;
    }
    if (removed)
        emit figuresChanged();
}

void QueueModel::clear() {
    removeIf([](const MediaItem&) { return true; });
}

int QueueModel::pendingCount() const {
    return int(std::count_if(items_.begin(), items_.end(),
                             [](const MediaItem& item) { return item.status.needsWork(); }));
}

int QueueModel::doneCount() const {
    return int(std::count_if(items_.begin(), items_.end(), [](const MediaItem& item) {
        return item.status.value == ItemStatus::Case::done;
    }));
}

qint64 QueueModel::totalSaved() const {
    qint64 saved = 0;
    for (const MediaItem& item : items_) {
        const auto primary = item.primaryOutputBytes();
        if (item.status.value == ItemStatus::Case::done && primary && item.sourceBytes > 0)
            saved += item.sourceBytes - *primary;
    }
    return saved;
}

qint64 QueueModel::totalSource() const {
    qint64 total = 0;
    for (const MediaItem& item : items_)
        if (item.status.value == ItemStatus::Case::done)
            total += item.sourceBytes;
    return total;
}

namespace QueueRows {

QVariantList outputsValue(const QList<ProducedFile>& outputs) {
    QVariantList list;
    list.reserve(outputs.size());
    for (const ProducedFile& file : outputs)
        list.append(QVariantMap{
            {QStringLiteral("label"), file.label},
            {QStringLiteral("url"), file.url},
            {QStringLiteral("path"), file.url.toLocalFile()},
            {QStringLiteral("bytes"), file.bytes},
            {QStringLiteral("note"), file.note},
            // QML has no optional: -1 stands for no score and no chosen quality.
            {QStringLiteral("ssim"), file.ssim.value_or(-1.0)},
            {QStringLiteral("quality"), file.quality.value_or(-1)},
        });
    return list;
}

} // namespace QueueRows
