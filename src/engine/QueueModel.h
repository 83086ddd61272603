#pragma once

#include "model/MediaItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

#include <functional>

// The queue as QML sees it. Rows are found by id; one changed item is one dataChanged for its
// row. The list itself is only ever touched on the main thread.
class QueueModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY figuresChanged)

  public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        UrlRole,
        PathRole,
        FileNameRole,
        KindRole,
        SourceBytesRole,
        WidthRole,
        HeightRole,
        DurationRole,
        HasAudioRole,
        HdrRole,
        HasAlphaRole,
        StatusRole,
        StatusMessageRole,
        ProgressRole,
        CurrentTaskRole,
        OutputsRole,
        DimensionsLabelRole,
        PrimaryOutputBytesRole,
    };
    Q_ENUM(Role)

    explicit QueueModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<MediaItem>& items() const { return items_; }
    const MediaItem* find(const QUuid& id) const;
    int rowOf(const QUuid& id) const;

    void append(const MediaItem& item);
    // Applies the change to the first item with that id; an id no longer queued changes nothing.
    bool update(const QUuid& id, const std::function<void(MediaItem&)>& change);
    void removeIf(const std::function<bool(const MediaItem&)>& doomed);
    void clear();

    int pendingCount() const;
    int doneCount() const;
    qint64 totalSaved() const;
    qint64 totalSource() const;

  signals:
    // Emitted whenever the count, a status, a size or the outputs may have changed.
    void figuresChanged();

  private:
    QList<MediaItem> items_;
};

namespace QueueRows {
// {label, url, path, bytes, note, ssim, quality} per produced file, as QML reads them; ssim
// and quality are -1 when absent.
QVariantList outputsValue(const QList<ProducedFile>& outputs);
} // namespace QueueRows
