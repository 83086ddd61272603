#include "CropListModel.h"

CropListModel::CropListModel(QObject* parent) : QAbstractListModel(parent) {}

int CropListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(crops_.size());
}

QVariant CropListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CropVariant& crop = crops_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return crop.name;
    case IdRole:
        return crop.id.toString(QUuid::WithoutBraces);
    case AspectWRole:
        return crop.aspectW;
    case AspectHRole:
        return crop.aspectH;
    case TargetWidthRole:
        return crop.targetWidth;
    case AnchorRole:
        return Options::rawValue(crop.anchor);
    case EnabledRole:
        return crop.enabled;
    default:
        return {};
    }
}

namespace {

// Numbers from QML arrive as doubles or ints; anything that is not a whole number is refused.
std::optional<qint64> wholeNumber(const QVariant& value) {
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || number != double(qint64(number)))
        return std::nullopt;
    return qint64(number);
}

} // namespace

bool CropListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    CropVariant edited = crops_.at(index.row());
    switch (role) {
    case Qt::EditRole:
    case NameRole:
        edited.name = value.toString();
        break;
    case AspectWRole:
    case AspectHRole:
    case TargetWidthRole: {
        const auto number = wholeNumber(value);
        if (!number)
            return false;
        (role == AspectWRole   ? edited.aspectW
         : role == AspectHRole ? edited.aspectH
                               : edited.targetWidth) = *number;
        break;
    }
    case AnchorRole: {
        const auto anchor = Options::fromRaw<CropAnchor>(value.toString());
        if (!anchor)
            return false;
        edited.anchor = *anchor;
        break;
    }
    case EnabledRole:
        edited.enabled = value.toBool();
        break;
    default:
        return false;
    }
    if (edited == crops_.at(index.row()))
        return true;
    crops_[index.row()] = edited;
    emit dataChanged(index, index, {role});
    emit cropsEdited();
    return true;
}

Qt::ItemFlags CropListModel::flags(const QModelIndex& index) const {
    return QAbstractListModel::flags(index) |
           (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QHash<int, QByteArray> CropListModel::roleNames() const {
    return {
        {IdRole, "id"},
        {NameRole, "name"},
        {AspectWRole, "aspectW"},
        {AspectHRole, "aspectH"},
        {TargetWidthRole, "targetWidth"},
        {AnchorRole, "anchor"},
        {EnabledRole, "enabled"},
    };
}

void CropListModel::setCrops(const QList<CropVariant>& crops) {
    if (crops == crops_)
        return;
    beginResetModel();
    crops_ = crops;
    endResetModel();
    emit cropsEdited();
}

void CropListModel::addCrop() {
    const int row = int(crops_.size());
    beginInsertRows({}, row, row);
    crops_.append(CropVariant::newCrop());
    endInsertRows();
    emit cropsEdited();
}

void CropListModel::removeCrop(const QString& idText) {
    const QUuid id(idText);
    bool removed = false;
    for (int row = int(crops_.size()) - 1; row >= 0; --row) {
        if (crops_.at(row).id != id)
            continue;
        beginRemoveRows({}, row, row);
        crops_.removeAt(row);
        endRemoveRows();
        removed = true;
    }
    if (removed)
        emit cropsEdited();
}
