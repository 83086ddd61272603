#include "CommandBuilder.h"
#include "PlanPieces.h"

#include <QDir>
#include <QFileInfo>

namespace CommandBuilder {

// Same placement rules as outputDirectory, for callers that must not touch the disk.
QUrl plannedOutputDirectory(const MediaItem& item, const TersioSettings& settings) {
    QString path;
    if (settings.outputMode == OutputMode::customFolder) {
        if (settings.customFolderPath.isEmpty())
            throw TersioError(QStringLiteral("Choose an output folder in Output settings."));
        path = settings.customFolderPath;
    } else {
        auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
        QString name = settings.subfolderName;
        while (!name.isEmpty() && blank(name.front()))
            name.remove(0, 1);
        while (!name.isEmpty() && blank(name.back()))
            name.chop(1);
        if (name.isEmpty())
            name = QStringLiteral("optimised");
        path = QFileInfo(PlanPieces::localPath(item.url)).path() + QLatin1Char('/') + name;
    }
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

} // namespace CommandBuilder
