#include "SettingsModel.h"

#include <QVariantMap>

namespace {

template <typename E> QVariantList choiceList() {
    QVariantList list;
    for (const E value : Options::allCases<E>())
        list.append(QVariantMap{{QStringLiteral("value"), Options::rawValue(value)},
                                {QStringLiteral("label"), Options::label(value)}});
    return list;
}

} // namespace

SettingsModel::SettingsModel(const TersioSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), crops_(new CropListModel(this)) {
    crops_->setCrops(settings_.cropVariants);
    connect(crops_, &CropListModel::cropsEdited, this, [this] {
        settings_.cropVariants = crops_->crops();
        emit cropsChanged();
        emit changed();
    });
}

QVariantList SettingsModel::choices(const QString& option) {
    if (option == QLatin1String("imageFormat"))
        return choiceList<ImageFormat>();
    if (option == QLatin1String("speed"))
        return choiceList<SpeedPreset>();
    if (option == QLatin1String("audio"))
        return choiceList<AudioMode>();
    if (option == QLatin1String("anchor"))
        return choiceList<CropAnchor>();
    if (option == QLatin1String("outputMode"))
        return choiceList<OutputMode>();
    if (option == QLatin1String("tab"))
        return choiceList<InspectorTab>();
    if (option == QLatin1String("imageQualityTarget"))
        return choiceList<QualityTarget>();
    return {};
}

void SettingsModel::setSettings(const TersioSettings& s) {
    // Each field compares and signals on its own; the crops go through their list model.
#define TERSIO_SET(Type, name, ...)                                                                \
    assign(&TersioSettings::name, s.name, &SettingsModel::name##Changed);
#define TERSIO_SET_CROPS(...) crops_->setCrops(s.cropVariants);
    TERSIO_SETTINGS(TERSIO_SET, TERSIO_SET, TERSIO_SET_CROPS)
#undef TERSIO_SET_CROPS
#undef TERSIO_SET
}
