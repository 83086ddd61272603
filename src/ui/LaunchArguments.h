#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class AppModel;

// The application's command line holds only paths (from the file manager or a shell).
namespace LaunchArguments {

// Each argument that names an existing file or folder, as an absolute file URL; relative
// paths are resolved against `workingDirectory`, everything else is ignored.
QList<QUrl> pathUrls(const QStringList& arguments, const QString& workingDirectory);

// Hands the paths to the queue, which expands folders and drops unsupported files.
void addToQueue(AppModel& model, const QList<QUrl>& urls);

// The two flags answered on the terminal before any window (or display) is needed; the manual
// page is generated from them at build time.
enum class Answer { none, help, version };
Answer answer(const QStringList& arguments);
QString helpText();
QString versionText();

} // namespace LaunchArguments
