#include "OutputFolders.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace OutputFolders {
namespace {

// The planner's rule: spaces and tabs trimmed, an empty name means "optimised".
QString subfolderName(const TersioSettings& settings) {
    QString name = settings.subfolderName;
    while (!name.isEmpty() && (name.front() == u' ' || name.front() == u'\t'))
        name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'\t'))
        name.chop(1);
    return name.isEmpty() ? u"optimised"_s : name;
}

} // namespace

QString describe(const TersioSettings& settings) {
    if (settings.outputMode == OutputMode::customFolder)
        return u"the output folder "_s + settings.customFolderPath;
    return u"output folders named \u201C"_s + subfolderName(settings) + u"\u201D"_s;
}

bool holds(const MediaItem& item, const TersioSettings& settings) {
    if (item.addedFolder.isEmpty())
        return false;
    const QString parent = QDir::cleanPath(QFileInfo(item.url.toLocalFile()).absolutePath());
    if (settings.outputMode == OutputMode::customFolder) {
        if (settings.customFolderPath.isEmpty())
            return false;
        const QString copy = QDir::cleanPath(QDir(settings.customFolderPath).absolutePath() + u'/' +
                                             QFileInfo(item.addedFolder).fileName());
        return parent == copy || parent.startsWith(copy + u'/');
    }
    QString name = subfolderName(settings);
    name = QDir::cleanPath(name);
    if (name == "."_L1 || name.startsWith("../"_L1) || name == ".."_L1 || name.startsWith(u'/'))
        return false; // outputs land beside or above the sources: nothing to tell apart
    return parent.endsWith(u'/' + name);
}

} // namespace OutputFolders
