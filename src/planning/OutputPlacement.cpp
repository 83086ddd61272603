#include "CommandBuilder.h"
#include "PlanPieces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString trimSpacesAndTabs(const QString& text) {
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The nearest existing entry on the way to `path` that is not a folder, if any.
QString fileInTheWay(const QString& path) {
    for (QString step = path; !step.isEmpty(); step = QFileInfo(step).path()) {
        const QFileInfo info(step);
        if (info.exists() || info.isSymLink())
            return info.isDir() ? QString() : step;
        if (step == QFileInfo(step).path())
            break;
    }
    return {};
}

// Fixed English texts: the process locale may translate strerror.
QString reasonText(const QString& path, const std::error_code& error) {
    const QString blocker = fileInTheWay(path);
    if (!blocker.isEmpty())
        return QStringLiteral("\u201C%1\u201D is a file, not a folder").arg(blocker);
    switch (error.value()) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case 0:
        return QStringLiteral("it is not a folder");
    default:
        return QString::fromStdString(error.message());
    }
}

void createFolder(const QString& path) {
    std::error_code error;
    std::filesystem::create_directories(fsPath(path), error);
    if (!error && QFileInfo(path).isDir())
        return;
    throw TersioError(QStringLiteral("Could not create the folder \u201C%1\u201D: %2.")
                          .arg(path, reasonText(path, error)));
}

} // namespace

namespace CommandBuilder {

QUrl outputDirectory(const MediaItem& item, const TersioSettings& settings) {
    const QUrl directory = plannedOutputDirectory(item, settings);
    createFolder(directory.toLocalFile());
    return directory;
}

QUrl plannedOutputDirectory(const MediaItem& item, const TersioSettings& settings) {
    QString path;
    if (settings.outputMode == OutputMode::customFolder) {
        if (settings.customFolderPath.isEmpty())
            throw TersioError(QStringLiteral("Choose an output folder in Output settings."));
        path = settings.customFolderPath;
        // As if the added folder had been copied into the chosen one.
        if (!item.addedFolder.isEmpty()) {
            const QString below =
                QDir(item.addedFolder).relativeFilePath(QFileInfo(item.url.toLocalFile()).path());
            path += QLatin1Char('/') + QFileInfo(item.addedFolder).fileName() + QLatin1Char('/') +
                    below;
        }
    } else {
        QString name = trimSpacesAndTabs(settings.subfolderName);
        if (name.isEmpty())
            name = QStringLiteral("optimised");
        path = QFileInfo(PlanPieces::localPath(item.url)).path() + QLatin1Char('/') + name;
    }
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

QUrl destination(const QUrl& directory, const QString& stem, const QString& suffix,
                 const QString& ext) {
    QString name = stem;
    if (!suffix.isEmpty())
        name += QLatin1Char('-') + suffix;
    name += QLatin1Char('.') + ext;
    QString folder = directory.toLocalFile();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QUrl::fromLocalFile(folder + name);
}

PlannedOutput renamed(const PlannedOutput& output, const QString& fileName) {
    PlannedOutput result = output;
    const QString folder = QFileInfo(output.destination.toLocalFile()).path();
    result.destination = QUrl::fromLocalFile(QDir(folder).filePath(fileName));
    if (!result.arguments.isEmpty())
        result.arguments.last() = PlanPieces::localPath(result.destination);
    return result;
}

QString stem(const QUrl& source) {
    const QString name = QFileInfo(source.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

bool writesOverSource(const PlannedOutput& output, const QUrl& source) {
    const QFileInfo written(PlanPieces::localPath(output.destination));
    const QFileInfo read(PlanPieces::localPath(source));
    if (written.exists() && read.exists()) {
        // equivalent() also catches a hard link to the source.
        std::error_code error;
        return written.canonicalFilePath() == read.canonicalFilePath() ||
               std::filesystem::equivalent(fsPath(written.filePath()), fsPath(read.filePath()),
                                           error);
    }
    return QDir::cleanPath(written.absoluteFilePath()) == QDir::cleanPath(read.absoluteFilePath());
}

} // namespace CommandBuilder
