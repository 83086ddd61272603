#include "LaunchArguments.h"

#include "engine/AppModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

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

Answer answer(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == "--help"_L1 || argument == "-h"_L1)
            return Answer::help;
        if (argument == "--version"_L1)
            return Answer::version;
    }
    return Answer::none;
}

QString helpText() {
    return u"Usage: tersio [PATH...]\n\n"
           u"Opens the Tersio window and adds each PATH to its queue: folders are searched\n"
           u"recursively, files the queue cannot take are left out, and anything that is not an\n"
           u"existing file or folder is ignored. Only one window runs per user: a later launch\n"
           u"hands its paths to the running window, brings it forward and exits.\n\n"
           u"Options:\n"
           u"  -h, --help  show this text and exit\n"
           u"  --version   show the version and exit\n"_s;
}

QString versionText() {
    return u"tersio "_s + QStringLiteral(TERSIO_VERSION) + u'\n';
}

} // namespace LaunchArguments
