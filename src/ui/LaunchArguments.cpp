#include "LaunchArguments.h"

#include "engine/AppModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Set only by the launch tests: the paths that joined the queue, one a line, so a test can
// see what a running window received without reaching into it.
void reportAdded(const QList<MediaItem>& added) {
    const QString reportPath = qEnvironmentVariable("TERSIO_TEST_REPORT_FILE");
    if (reportPath.isEmpty() || added.isEmpty())
        return;
    QFile report(reportPath);
    if (!report.open(QIODevice::Append | QIODevice::Text))
        return;
    for (const MediaItem& item : added)
        report.write(item.url.toLocalFile().toUtf8() + '\n');
}

} // namespace

namespace LaunchArguments {

QList<QUrl> pathUrls(const QStringList& arguments, const QString& workingDirectory) {
    const QDir base(workingDirectory);
    QList<QUrl> urls;
    for (const QString& argument : arguments) {
        if (argument.isEmpty())
            continue;
        const QString path = QDir::cleanPath(base.absoluteFilePath(argument));
        if (QFileInfo::exists(path))
            urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

void addToQueue(AppModel& model, const QList<QUrl>& urls) {
    const qsizetype before = model.items().size();
    model.add(urls);
    reportAdded(model.items().mid(before));
}

} // namespace LaunchArguments
