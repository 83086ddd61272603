#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <functional>

// Shows a written file in the desktop's file manager: the file manager's D-Bus ShowItems when a
// session bus answers in time, otherwise the containing folder through the URL handler.
class FileReveal : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

  public:
    static constexpr int showItemsTimeoutMs = 1500;

    explicit FileReveal(QObject* parent = nullptr);

    // Returns at once; the answer of the file manager, or its silence, is handled later.
    Q_INVOKABLE void show(const QString& path);

    // Where the fallback goes; tests replace it to see which folder would open.
    void setFolderOpener(std::function<bool(const QUrl&)> opener);

    static QUrl containingFolder(const QString& path);

  signals:
    // After the request was either handed to the file manager or fell back to the folder.
    void handled(const QString& path, bool byFileManager);

  private:
    void openFolder(const QString& path);

    std::function<bool(const QUrl&)> folderOpener_;
};
