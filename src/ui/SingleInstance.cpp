#include "SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringList>

#include <unistd.h>

namespace {

constexpr int connectTimeoutMs = 1000;
// The running window adds the paths before it answers; a large folder takes a moment.
constexpr int answerTimeoutMs = 15000;
constexpr int claimLockTimeoutMs = 5000;
constexpr char receipt = '\x06';

} // namespace

SingleInstance::SingleInstance(const QString& socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath) {}

QString SingleInstance::defaultSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/app.veltrane.Tersio.socket");
    return QDir::tempPath() + QStringLiteral("/app.veltrane.Tersio-%1.socket").arg(::getuid());
}

SingleInstance::Role SingleInstance::claim(const QList<QUrl>& urls) {
    // Two launches at once must not both find no server and both listen.
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    lock.tryLock(claimLockTimeoutMs);

    bool answered = false;
    if (forward(urls, &answered))
        return answered ? Role::forwarded : Role::unanswered;
    listen();
    return Role::primary;
}

bool SingleInstance::forward(const QList<QUrl>& urls, bool* answered) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;

    QStringList paths;
    for (const QUrl& url : urls)
        paths.append(url.toLocalFile());
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << paths;
    socket.write(message);
    socket.flush();

    while (!socket.bytesAvailable() && socket.waitForReadyRead(answerTimeoutMs)) {
    }
    *answered = socket.read(1) == QByteArray(1, receipt);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen() {
    // Reached only when nothing answered, so an existing socket file is stale.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection())
            serve(socket);
    });
    if (server_->listen(socketPath_))
        return true;
    qWarning("Tersio: cannot listen on %s: %s", qPrintable(socketPath_),
             qPrintable(server_->errorString()));
    return false;
}

void SingleInstance::serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        QDataStream in(socket);
        in.startTransaction();
        QStringList paths;
        in >> paths;
        if (!in.commitTransaction())
            return; // the rest is still on its way
        QList<QUrl> urls;
        for (const QString& path : paths)
            if (!path.isEmpty())
                urls.append(QUrl::fromLocalFile(path));
        emit received(urls);
        socket->write(QByteArray(1, receipt));
        socket->flush();
    });
}
