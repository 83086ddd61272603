#include "SettingsModel.h"

#include <QVariantMap>

#include <cmath>

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
    return {};
}

void SettingsModel::setSettings(const TersioSettings& s) {
    // Each setter compares and signals on its own; the crops go through their list model.
    setImageFormat(Options::rawValue(s.imageFormat));
    setImageQuality(s.imageQuality);
    setImageMaxWidth(s.imageMaxWidth);
    setImageLimitWidth(s.imageLimitWidth);
    setAlsoEmitWebP(s.alsoEmitWebP);
    setStripMetadata(s.stripMetadata);
    setVideoQuality(s.videoQuality);
    setVideoMaxWidth(s.videoMaxWidth);
    setVideoLimitWidth(s.videoLimitWidth);
    setSpeed(Options::rawValue(s.speed));
    setMakeH264(s.makeH264);
    setMakeHEVC(s.makeHEVC);
    setMakeWebM(s.makeWebM);
    setMakePoster(s.makePoster);
    setAudio(Options::rawValue(s.audio));
    setAudioKbps(s.audioKbps);
    crops_->setCrops(s.cropVariants);
    setOutputMode(Options::rawValue(s.outputMode));
    setSubfolderName(s.subfolderName);
    setCustomFolderPath(s.customFolderPath);
    setMaxConcurrent(s.maxConcurrent);
    setOverwriteExisting(s.overwriteExisting);
}

// One setter body: assign when different, then the field's signal and the common one.
#define TERSIO_ASSIGN(field, value, signal)                                                        \
    do {                                                                                           \
        if (settings_.field == (value))                                                            \
            return;                                                                                \
        settings_.field = (value);                                                                 \
        emit signal();                                                                             \
        emit changed();                                                                            \
    } while (false)

// Raw values that name no case are ignored, so a binding cannot store an unknown option.
#define TERSIO_ASSIGN_RAW(Enum, field, raw, signal)                                                \
    do {                                                                                           \
        const auto parsed = Options::fromRaw<Enum>(raw);                                           \
        if (!parsed)                                                                               \
            return;                                                                                \
        TERSIO_ASSIGN(field, *parsed, signal);                                                     \
    } while (false)

void SettingsModel::setImageFormat(const QString& raw) {
    TERSIO_ASSIGN_RAW(ImageFormat, imageFormat, raw, imageFormatChanged);
}
void SettingsModel::setImageQuality(double value) {
    if (std::isnan(value))
        return;
    TERSIO_ASSIGN(imageQuality, value, imageQualityChanged);
}
void SettingsModel::setImageMaxWidth(qint64 value) {
    TERSIO_ASSIGN(imageMaxWidth, value, imageMaxWidthChanged);
}
void SettingsModel::setImageLimitWidth(bool value) {
    TERSIO_ASSIGN(imageLimitWidth, value, imageLimitWidthChanged);
}
void SettingsModel::setAlsoEmitWebP(bool value) {
    TERSIO_ASSIGN(alsoEmitWebP, value, alsoEmitWebPChanged);
}
void SettingsModel::setStripMetadata(bool value) {
    TERSIO_ASSIGN(stripMetadata, value, stripMetadataChanged);
}
void SettingsModel::setVideoQuality(double value) {
    if (std::isnan(value))
        return;
    TERSIO_ASSIGN(videoQuality, value, videoQualityChanged);
}
void SettingsModel::setVideoMaxWidth(qint64 value) {
    TERSIO_ASSIGN(videoMaxWidth, value, videoMaxWidthChanged);
}
void SettingsModel::setVideoLimitWidth(bool value) {
    TERSIO_ASSIGN(videoLimitWidth, value, videoLimitWidthChanged);
}
void SettingsModel::setSpeed(const QString& raw) {
    TERSIO_ASSIGN_RAW(SpeedPreset, speed, raw, speedChanged);
}
void SettingsModel::setMakeH264(bool value) {
    TERSIO_ASSIGN(makeH264, value, makeH264Changed);
}
void SettingsModel::setMakeHEVC(bool value) {
    TERSIO_ASSIGN(makeHEVC, value, makeHEVCChanged);
}
void SettingsModel::setMakeWebM(bool value) {
    TERSIO_ASSIGN(makeWebM, value, makeWebMChanged);
}
void SettingsModel::setMakePoster(bool value) {
    TERSIO_ASSIGN(makePoster, value, makePosterChanged);
}
void SettingsModel::setAudio(const QString& raw) {
    TERSIO_ASSIGN_RAW(AudioMode, audio, raw, audioChanged);
}
void SettingsModel::setAudioKbps(qint64 value) {
    TERSIO_ASSIGN(audioKbps, value, audioKbpsChanged);
}
void SettingsModel::setOutputMode(const QString& raw) {
    TERSIO_ASSIGN_RAW(OutputMode, outputMode, raw, outputModeChanged);
}
void SettingsModel::setSubfolderName(const QString& value) {
    TERSIO_ASSIGN(subfolderName, value, subfolderNameChanged);
}
void SettingsModel::setCustomFolderPath(const QString& value) {
    TERSIO_ASSIGN(customFolderPath, value, customFolderPathChanged);
}
void SettingsModel::setMaxConcurrent(qint64 value) {
    TERSIO_ASSIGN(maxConcurrent, value, maxConcurrentChanged);
}
void SettingsModel::setOverwriteExisting(bool value) {
    TERSIO_ASSIGN(overwriteExisting, value, overwriteExistingChanged);
}

#undef TERSIO_ASSIGN_RAW
#undef TERSIO_ASSIGN
