#pragma once

#include "model/CropVariant.h"

#include <QAbstractListModel>
#include <QList>

// The mobile crops as an editable list; delegates write through setData (`model.name = …`).
class CropListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        NameRole,
        AspectWRole,
        AspectHRole,
        TargetWidthRole,
        AnchorRole, // CropAnchor raw value
        EnabledRole,
    };
    Q_ENUM(Role)

    explicit CropListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<CropVariant>& crops() const { return crops_; }
    void setCrops(const QList<CropVariant>& crops);

    Q_INVOKABLE void addCrop();
    Q_INVOKABLE void removeCrop(const QString& idText);

  signals:
    void cropsEdited();

  private:
    QList<CropVariant> crops_;
};
