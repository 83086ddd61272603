#pragma once

#include "CropVariant.h"
#include "Options.h"
#include "SettingsTable.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class QSettings;

// Every option the user can set. A freshly constructed record is the default one.
struct TersioSettings {
#define TERSIO_FIELD(Type, name, Name, init, ...) Type name = init;
    TERSIO_EVERY_SETTING(TERSIO_FIELD)
#undef TERSIO_FIELD

    // How many keys a stored document holds, and how many of them older documents may lack.
    static const int keyCount;
    static const int laterKeyCount;

    // The enabled crops, in list order.
    QList<CropVariant> activeCrops() const;

    QJsonObject toJson() const;
    QByteArray toJsonBytes() const;

    // Strict, all-or-nothing: one null, mistyped or out-of-range key, or a missing key that
    // every document holds, gives no value. Keys it does not know are ignored.
    static std::optional<TersioSettings> fromJson(const QJsonObject& object);
    static std::optional<TersioSettings> fromJsonBytes(const QByteArray& bytes);

    // The stored record, or the default one when nothing readable is stored.
    static TersioSettings load();
    static TersioSettings load(const QSettings& store);
    void save() const;
    void save(QSettings& store) const;

    friend bool operator==(const TersioSettings&, const TersioSettings&) = default;
};

namespace CropJson {
QJsonObject toJson(const CropVariant& crop);
std::optional<CropVariant> fromJson(const QJsonValue& value);
} // namespace CropJson
