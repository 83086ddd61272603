#pragma once

#include "engine/CropListModel.h"
#include "model/TersioSettings.h"

#include <QObject>
#include <QVariantList>

// The settings record as QML properties; enums travel as their raw values. Edits stay in
// memory: the record is written to the store only when a batch starts.
class SettingsModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString imageFormat READ imageFormat WRITE setImageFormat NOTIFY imageFormatChanged)
    Q_PROPERTY(
        double imageQuality READ imageQuality WRITE setImageQuality NOTIFY imageQualityChanged)
    Q_PROPERTY(
        qint64 imageMaxWidth READ imageMaxWidth WRITE setImageMaxWidth NOTIFY imageMaxWidthChanged)
    Q_PROPERTY(bool imageLimitWidth READ imageLimitWidth WRITE setImageLimitWidth NOTIFY
                   imageLimitWidthChanged)
    Q_PROPERTY(bool alsoEmitWebP READ alsoEmitWebP WRITE setAlsoEmitWebP NOTIFY alsoEmitWebPChanged)
    Q_PROPERTY(
        bool stripMetadata READ stripMetadata WRITE setStripMetadata NOTIFY stripMetadataChanged)
    Q_PROPERTY(
        double videoQuality READ videoQuality WRITE setVideoQuality NOTIFY videoQualityChanged)
    Q_PROPERTY(
        qint64 videoMaxWidth READ videoMaxWidth WRITE setVideoMaxWidth NOTIFY videoMaxWidthChanged)
    Q_PROPERTY(bool videoLimitWidth READ videoLimitWidth WRITE setVideoLimitWidth NOTIFY
                   videoLimitWidthChanged)
    Q_PROPERTY(QString speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(bool makeH264 READ makeH264 WRITE setMakeH264 NOTIFY makeH264Changed)
    Q_PROPERTY(bool makeHEVC READ makeHEVC WRITE setMakeHEVC NOTIFY makeHEVCChanged)
    Q_PROPERTY(bool makeWebM READ makeWebM WRITE setMakeWebM NOTIFY makeWebMChanged)
    Q_PROPERTY(bool makePoster READ makePoster WRITE setMakePoster NOTIFY makePosterChanged)
    Q_PROPERTY(QString audio READ audio WRITE setAudio NOTIFY audioChanged)
    Q_PROPERTY(qint64 audioKbps READ audioKbps WRITE setAudioKbps NOTIFY audioKbpsChanged)
    Q_PROPERTY(CropListModel* crops READ crops CONSTANT)
    Q_PROPERTY(QString outputMode READ outputMode WRITE setOutputMode NOTIFY outputModeChanged)
    Q_PROPERTY(
        QString subfolderName READ subfolderName WRITE setSubfolderName NOTIFY subfolderNameChanged)
    Q_PROPERTY(QString customFolderPath READ customFolderPath WRITE setCustomFolderPath NOTIFY
                   customFolderPathChanged)
    Q_PROPERTY(
        qint64 maxConcurrent READ maxConcurrent WRITE setMaxConcurrent NOTIFY maxConcurrentChanged)
    Q_PROPERTY(bool overwriteExisting READ overwriteExisting WRITE setOverwriteExisting NOTIFY
                   overwriteExistingChanged)

  public:
    explicit SettingsModel(const TersioSettings& settings, QObject* parent = nullptr);

    const TersioSettings& settings() const { return settings_; }
    // Emits the change signal of every field that differs.
    void setSettings(const TersioSettings& settings);

    // [{value: raw, label: label}, …] in case order for "imageFormat", "speed", "audio",
    // "anchor", "outputMode" and "tab"; empty for any other name.
    Q_INVOKABLE static QVariantList choices(const QString& option);

    QString imageFormat() const { return Options::rawValue(settings_.imageFormat); }
    double imageQuality() const { return settings_.imageQuality; }
    qint64 imageMaxWidth() const { return settings_.imageMaxWidth; }
    bool imageLimitWidth() const { return settings_.imageLimitWidth; }
    bool alsoEmitWebP() const { return settings_.alsoEmitWebP; }
    bool stripMetadata() const { return settings_.stripMetadata; }
    double videoQuality() const { return settings_.videoQuality; }
    qint64 videoMaxWidth() const { return settings_.videoMaxWidth; }
    bool videoLimitWidth() const { return settings_.videoLimitWidth; }
    QString speed() const { return Options::rawValue(settings_.speed); }
    bool makeH264() const { return settings_.makeH264; }
    bool makeHEVC() const { return settings_.makeHEVC; }
    bool makeWebM() const { return settings_.makeWebM; }
    bool makePoster() const { return settings_.makePoster; }
    QString audio() const { return Options::rawValue(settings_.audio); }
    qint64 audioKbps() const { return settings_.audioKbps; }
    CropListModel* crops() const { return crops_; }
    QString outputMode() const { return Options::rawValue(settings_.outputMode); }
    QString subfolderName() const { return settings_.subfolderName; }
    QString customFolderPath() const { return settings_.customFolderPath; }
    qint64 maxConcurrent() const { return settings_.maxConcurrent; }
    bool overwriteExisting() const { return settings_.overwriteExisting; }

    void setImageFormat(const QString& raw);
    void setImageQuality(double value);
    void setImageMaxWidth(qint64 value);
    void setImageLimitWidth(bool value);
    void setAlsoEmitWebP(bool value);
    void setStripMetadata(bool value);
    void setVideoQuality(double value);
    void setVideoMaxWidth(qint64 value);
    void setVideoLimitWidth(bool value);
    void setSpeed(const QString& raw);
    void setMakeH264(bool value);
    void setMakeHEVC(bool value);
    void setMakeWebM(bool value);
    void setMakePoster(bool value);
    void setAudio(const QString& raw);
    void setAudioKbps(qint64 value);
    void setOutputMode(const QString& raw);
    void setSubfolderName(const QString& value);
    void setCustomFolderPath(const QString& value);
    void setMaxConcurrent(qint64 value);
    void setOverwriteExisting(bool value);

  signals:
    void imageFormatChanged();
    void imageQualityChanged();
    void imageMaxWidthChanged();
    void imageLimitWidthChanged();
    void alsoEmitWebPChanged();
    void stripMetadataChanged();
    void videoQualityChanged();
    void videoMaxWidthChanged();
    void videoLimitWidthChanged();
    void speedChanged();
    void makeH264Changed();
    void makeHEVCChanged();
    void makeWebMChanged();
    void makePosterChanged();
    void audioChanged();
    void audioKbpsChanged();
    void cropsChanged();
    void outputModeChanged();
    void subfolderNameChanged();
    void customFolderPathChanged();
    void maxConcurrentChanged();
    void overwriteExistingChanged();
    void changed(); // after any field's own signal

  private:
    TersioSettings settings_;
    CropListModel* crops_;
};
