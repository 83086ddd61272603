#pragma once

#include "CropVariant.h"
#include "Options.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class QSettings;

// Every option the user can set. A freshly constructed record is the default one.
struct TersioSettings {
    ImageFormat imageFormat = ImageFormat::matchSource;
    double imageQuality = 78.0;
    qint64 imageMaxWidth = 2400;
    bool imageLimitWidth = true;
    bool alsoEmitWebP = false;
    bool stripMetadata = true;
    double videoQuality = 62.0;
    qint64 videoMaxWidth = 1920;
    bool videoLimitWidth = true;
    SpeedPreset speed = SpeedPreset::medium;
    bool makeH264 = true;
    bool makeHEVC = false;
    bool makeWebM = true;
    bool makePoster = true;
    AudioMode audio = AudioMode::keep;
    qint64 audioKbps = 128;
    QList<CropVariant> cropVariants = CropVariant::starters();
    OutputMode outputMode = OutputMode::subfolder;
    QString subfolderName = QStringLiteral("optimised");
    QString customFolderPath;
    qint64 maxConcurrent = 2;
    bool overwriteExisting = true;

    // The enabled crops, in list order.
    QList<CropVariant> activeCrops() const;

    QJsonObject toJson() const;
    QByteArray toJsonBytes() const;

    // Strict, all-or-nothing: one missing, null, mistyped or out-of-range key gives no value.
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
