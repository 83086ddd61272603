#include "CropVariant.h"

#include <QHashFunctions>

CropVariant CropVariant::make(QString name, qint64 aspectW, qint64 aspectH, qint64 targetWidth,
                              CropAnchor anchor, bool enabled) {
    CropVariant crop;
    crop.name = std::move(name);
    crop.aspectW = aspectW;
    crop.aspectH = aspectH;
    crop.targetWidth = targetWidth;
    crop.anchor = anchor;
    crop.enabled = enabled;
    return crop;
}

CropVariant CropVariant::newCrop() {
    return make(QStringLiteral("New crop"), 3, 4, 720, CropAnchor::center, true);
}

const QList<CropVariant>& CropVariant::starters() {
    static const QList<CropVariant> list{
        make(QStringLiteral("Phone portrait"), 9, 16, 720, CropAnchor::center, true),
        make(QStringLiteral("Square"), 1, 1, 800, CropAnchor::center, true),
        make(QStringLiteral("Feed portrait"), 4, 5, 800, CropAnchor::top, false),
    };
    return list;
}

QString CropVariant::ratioText() const {
    return QString::number(aspectW) + QLatin1Char('x') + QString::number(aspectH);
}

size_t qHash(const CropVariant& crop, size_t seed) {
    return qHashMulti(seed, crop.id, crop.name, crop.aspectW, crop.aspectH, crop.targetWidth,
                      static_cast<int>(crop.anchor), crop.enabled);
}
