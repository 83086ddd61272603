#pragma once

#include "engine/CropListModel.h"
#include "model/TersioSettings.h"

#include <QObject>
#include <QVariantList>

#include <cmath>
#include <type_traits>

// The settings record as QML properties; enums travel as their raw values. Edits stay in
// memory: the record is written to the store only when a batch starts.
class SettingsModel : public QObject {
    Q_OBJECT
// clang-format off
#define TERSIO_VALUE_PROPERTY(Type, name, Name, ...)                                               \
    Q_PROPERTY(Type name READ name WRITE set##Name NOTIFY name##Changed)
#define TERSIO_OPTION_PROPERTY(Type, name, Name, ...)                                              \
    Q_PROPERTY(QString name READ name WRITE set##Name NOTIFY name##Changed)
#define TERSIO_NO_PROPERTY(...)
    TERSIO_SETTINGS(TERSIO_VALUE_PROPERTY, TERSIO_OPTION_PROPERTY, TERSIO_NO_PROPERTY)
    // clang-format on
    Q_PROPERTY(CropListModel* crops READ crops CONSTANT)

  public:
    explicit SettingsModel(const TersioSettings& settings, QObject* parent = nullptr);

    const TersioSettings& settings() const {
        return settings_;
    }
    // Emits the change signal of every field that differs.
    void setSettings(const TersioSettings& settings);

    // [{value: raw, label: label}, …] in case order for "imageFormat", "speed", "audio",
    // "anchor", "outputMode", "tab" and "imageQualityTarget"; empty for any other name.
    Q_INVOKABLE static QVariantList choices(const QString& option);

    CropListModel* crops() const {
        return crops_;
    }

// Enums travel as their raw values; a raw value that names no case is ignored.
#define TERSIO_VALUE_ACCESS(Type, name, Name, ...)                                                 \
    Type name() const {                                                                            \
        return settings_.name;                                                                     \
    }                                                                                              \
    void set##Name(const Type& value) {                                                            \
        assign(&TersioSettings::name, value, &SettingsModel::name##Changed);                       \
    }
#define TERSIO_OPTION_ACCESS(Type, name, Name, ...)                                                \
    QString name() const {                                                                         \
        return Options::rawValue(settings_.name);                                                  \
    }                                                                                              \
    void set##Name(const QString& raw) {                                                           \
        if (const auto value = Options::fromRaw<Type>(raw))                                        \
            assign(&TersioSettings::name, *value, &SettingsModel::name##Changed);                  \
    }
    TERSIO_SETTINGS(TERSIO_VALUE_ACCESS, TERSIO_OPTION_ACCESS, TERSIO_NO_PROPERTY)

  signals:
#define TERSIO_SIGNAL(Type, name, ...) void name##Changed();
    TERSIO_SETTINGS(TERSIO_SIGNAL, TERSIO_SIGNAL, TERSIO_NO_PROPERTY)
    void cropsChanged();
    void changed(); // after any field's own signal

  private:
    // Assigns when different, then emits the field's signal and the common one.
    template <typename T>
    void assign(T TersioSettings::*field, const T& value, void (SettingsModel::*signal)()) {
        if constexpr (std::is_floating_point_v<T>)
            if (std::isnan(value))
                return;
        if (settings_.*field == value)
            return;
        settings_.*field = value;
        emit(this->*signal)();
        emit changed();
    }

    TersioSettings settings_;
    CropListModel* crops_;
};
