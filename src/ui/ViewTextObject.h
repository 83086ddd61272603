#pragma once

#include <QFont>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// QML's door to the ViewText rules; no state of its own.
class ViewTextObject : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(ViewText)
    QML_SINGLETON

  public:
    using QObject::QObject;

    enum RowPhase { Waiting, Active, Failed, Done }; // ViewText::RowPhase, in its order
    Q_ENUM(RowPhase)
    Q_INVOKABLE RowPhase rowPhase(const QString& status) const;

    // {text, tint}; tint names a Theme colour.
    Q_INVOKABLE QVariantMap statusPill(const QString& status, qint64 sourceBytes,
                                       qint64 primaryOutputBytes) const;
    Q_INVOKABLE QString durationText(double seconds) const;
    Q_INVOKABLE QString progressCaption(const QString& currentTask, double progress) const;
    Q_INVOKABLE QString metaLine(qint64 sourceBytes, const QString& dimensionsLabel,
                                 const QString& kind, double duration) const;
    // A score that is not a number (undefined in QML) or negative is left out.
    Q_INVOKABLE QString compareCaption(const QString& label, qint64 sourceBytes, qint64 outputBytes,
                                       double score) const;
    Q_INVOKABLE QString headline(bool isRunning, int itemCount) const;
    Q_INVOKABLE QString subhead(bool hasTools, bool isRunning, int pendingCount,
                                qint64 totalSaved) const;
    Q_INVOKABLE QString runButtonLabel(int pendingCount) const;
    Q_INVOKABLE bool canStart(bool hasTools, int pendingCount) const;
    Q_INVOKABLE QString badgeText(const QString& tab, int itemCount) const;
    Q_INVOKABLE QString byteText(qint64 bytes) const;
    // "· SSIM 0.962"; empty for a negative score (none taken).
    Q_INVOKABLE QString scoreText(double ssim) const;
    // The file-system path of a local file URL from a dialog.
    Q_INVOKABLE QString localPath(const QUrl& url) const;
    Q_INVOKABLE QString elideMiddle(const QString& text, const QFont& font, qreal width,
                                    int maxLines) const;
};
