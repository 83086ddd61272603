#include "PanelRules.h"

#include "engine/AppModel.h"
#include "planning/EncoderRules.h"

using EncoderRules::Rendition;

QObject* PanelRules::model() const {
    return model_;
}

void PanelRules::setModel(QObject* object) {
    auto* model = qobject_cast<AppModel*>(object);
    if (model == model_)
        return;
    if (model_) {
        disconnect(model_, nullptr, this, nullptr);
        disconnect(model_->settingsModel(), nullptr, this, nullptr);
    }
    model_ = model;
    if (model_) {
        connect(model_, &AppModel::capsChanged, this, &PanelRules::changed);
        connect(model_, &AppModel::tabChanged, this, &PanelRules::changed);
        connect(model_->settingsModel(), &SettingsModel::changed, this, &PanelRules::changed);
    }
    emit modelChanged();
    emit changed();
}

QString PanelRules::tabTitle() const {
    return model_ ? Options::label(model_->currentTab()) : QString();
}

bool PanelRules::webpAvailable() const {
    return model_ && EncoderRules::canWrite(ImageFormat::webp, model_->caps());
}

bool PanelRules::webpMissing() const {
    return model_ && model_->settings().imageFormat == ImageFormat::webp && !webpAvailable();
}

bool PanelRules::avifMissing() const {
    return model_ && model_->settings().imageFormat == ImageFormat::avif &&
           !EncoderRules::canWrite(ImageFormat::avif, model_->caps());
}

bool PanelRules::h264Available() const {
    return model_ && EncoderRules::canWrite(Rendition::h264, model_->caps());
}

bool PanelRules::hevcAvailable() const {
    return model_ && EncoderRules::canWrite(Rendition::hevc, model_->caps());
}

bool PanelRules::webmAvailable() const {
    return model_ && EncoderRules::canWrite(Rendition::webm, model_->caps());
}

int PanelRules::videoCrf() const {
    return EncoderRules::h264Crf(model_ ? model_->settings().videoQuality
                                        : TersioSettings{}.videoQuality);
}

int PanelRules::crfBest() const {
    return EncoderRules::h264CrfBest;
}

int PanelRules::crfWorst() const {
    return EncoderRules::h264CrfWorst;
}

bool PanelRules::audioBitrateShown() const {
    return !model_ || model_->settings().audio != AudioMode::remove;
}

bool PanelRules::subfolderNameShown() const {
    return model_ && model_->settings().outputMode == OutputMode::subfolder;
}

bool PanelRules::customFolderShown() const {
    return model_ && model_->settings().outputMode == OutputMode::customFolder;
}
