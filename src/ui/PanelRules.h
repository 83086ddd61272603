#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

class AppModel;

// What the inspector shows and greys out, worked out from the model: the title of the open tab,
// which formats and renditions the located ffmpeg can write, the CRF the video quality gives and
// which folder controls the output mode needs.
// QML binds to these; the rules themselves are the planner's.
class PanelRules : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject* model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(QString tabTitle READ tabTitle NOTIFY changed)
    Q_PROPERTY(bool webpAvailable READ webpAvailable NOTIFY changed)
    // The chosen image format cannot be written by this ffmpeg.
    Q_PROPERTY(bool webpMissing READ webpMissing NOTIFY changed)
    Q_PROPERTY(bool avifMissing READ avifMissing NOTIFY changed)
    Q_PROPERTY(bool h264Available READ h264Available NOTIFY changed)
    Q_PROPERTY(bool hevcAvailable READ hevcAvailable NOTIFY changed)
    Q_PROPERTY(bool webmAvailable READ webmAvailable NOTIFY changed)
    Q_PROPERTY(int videoCrf READ videoCrf NOTIFY changed)
    Q_PROPERTY(int crfBest READ crfBest CONSTANT)
    Q_PROPERTY(int crfWorst READ crfWorst CONSTANT)
    Q_PROPERTY(bool audioBitrateShown READ audioBitrateShown NOTIFY changed)
    // Which of the output panel's two folder controls the output mode calls for.
    Q_PROPERTY(bool subfolderNameShown READ subfolderNameShown NOTIFY changed)
    Q_PROPERTY(bool customFolderShown READ customFolderShown NOTIFY changed)

  public:
    using QObject::QObject;

    QObject* model() const;
    void setModel(QObject* model);

    QString tabTitle() const;
    bool webpAvailable() const;
    bool webpMissing() const;
    bool avifMissing() const;
    bool h264Available() const;
    bool hevcAvailable() const;
    bool webmAvailable() const;
    int videoCrf() const;
    int crfBest() const;
    int crfWorst() const;
    bool audioBitrateShown() const;
    bool subfolderNameShown() const;
    bool customFolderShown() const;

  signals:
    void modelChanged();
    void changed();

  private:
    QPointer<AppModel> model_;
};
