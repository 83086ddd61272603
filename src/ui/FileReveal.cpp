#include "FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

using namespace Qt::StringLiterals;

FileReveal::FileReveal(QObject* parent)
    : QObject(parent),
      folderOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

void FileReveal::setFolderOpener(std::function<bool(const QUrl&)> opener) {
    folderOpener_ = std::move(opener);
}

QUrl FileReveal::containingFolder(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath());
}

void FileReveal::show(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
        u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, showItemsTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](auto* finished) {
        finished->deleteLater();
        if (QDBusPendingReply<> reply = *finished; reply.isError())
            openFolder(path);
        else
            emit handled(path, true);
    });
}

void FileReveal::openFolder(const QString& path) {
    folderOpener_(containingFolder(path));
    emit handled(path, false);
}
