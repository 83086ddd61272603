#include "OutputFolders.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace OutputFolders {

bool holds(const QString& filePath, const TersioSettings& settings) {
    const QString parent = QDir::cleanPath(QFileInfo(filePath).absolutePath());
    if (settings.outputMode == OutputMode::customFolder) {
        if (settings.customFolderPath.isEmpty())
            return false;
        const QString folder = QDir::cleanPath(QDir(settings.customFolderPath).absolutePath());
        return parent == folder || parent.startsWith(folder + u'/');
    }
    // The planner's rule: spaces and tabs trimmed, an empty name means "optimised".
    QString name = settings.subfolderName;
    while (!name.isEmpty() && (name.front() == u' ' || name.front() == u'\t'))
        name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'\t'))
        name.chop(1);
    if (name.isEmpty())
        name = u"optimised"_s;
    name = QDir::cleanPath(name);
    if (name == "."_L1 || name.startsWith("../"_L1) || name == ".."_L1 || name.startsWith(u'/'))
        return false; // outputs land beside or above the sources: nothing to tell apart
    return parent.endsWith(u'/' + name);
}

} // namespace OutputFolders
