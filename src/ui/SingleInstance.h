#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QLocalServer;
class QLocalSocket;

// One window per user: a later launch hands its paths to the running one over a local socket
// and ends, instead of opening a second window.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        primary,    // no other instance answered; this one now listens
        forwarded,  // a running instance took the paths
        unanswered, // one is running but did not confirm in time
    };

    explicit SingleInstance(const QString& socketPath, QObject* parent = nullptr);

    // In the user's runtime folder, else a per-user name in the temporary folder.
    static QString defaultSocketPath();

    // Forwards `urls` to a running instance, or becomes the running instance. A socket left
    // behind by a crashed instance is replaced.
    Role claim(const QList<QUrl>& urls);

  signals:
    // Paths sent by a later launch (possibly none: it only asks to be shown).
    void received(const QList<QUrl>& urls);

  private:
    bool forward(const QList<QUrl>& urls, bool* answered);
    bool listen();
    void serve(QLocalSocket* socket);

    QString socketPath_;
    QLocalServer* server_ = nullptr;
};
