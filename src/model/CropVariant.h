#pragma once

#include "Options.h"

#include <QList>
#include <QString>
#include <QUuid>

// One mobile crop rendition: a fixed aspect window cut from the frame and scaled to targetWidth.
struct CropVariant {
    QUuid id = QUuid::createUuid();
    QString name;
    qint64 aspectW = 0;
    qint64 aspectH = 0;
    qint64 targetWidth = 0;
    CropAnchor anchor = CropAnchor::center;
    bool enabled = true;

    static CropVariant make(QString name, qint64 aspectW, qint64 aspectH, qint64 targetWidth,
                            CropAnchor anchor, bool enabled);

    // What the crop panel's add action appends.
    static CropVariant newCrop();

    // The three crops a new installation starts with; built once so every default settings
    // record of one process carries the same ids.
    static const QList<CropVariant>& starters();

    // "9x16": the file-name suffix and the ratio people type on the command line.
    QString ratioText() const;

    friend bool operator==(const CropVariant&, const CropVariant&) = default;
};

size_t qHash(const CropVariant& crop, size_t seed = 0);
