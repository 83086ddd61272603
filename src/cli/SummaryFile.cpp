#include "SummaryFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace SummaryFile {

QString prepare(const QString& path) {
    const QFileInfo file(path);
    if (file.isDir())
        return path + u" is a folder"_s;
    if (!QDir().mkpath(file.absolutePath()))
        return u"cannot create the folder "_s + file.absolutePath();
    if (!QFileInfo(file.absolutePath()).isWritable())
        return u"cannot write in "_s + file.absolutePath();
    return {};
}

QString write(const QString& path, const QJsonDocument& document) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return u"cannot write "_s + path + u": "_s + file.errorString();
    file.write(document.toJson(QJsonDocument::Indented));
    if (!file.commit())
        return u"cannot write "_s + path + u": "_s + file.errorString();
    return {};
}

std::optional<QJsonObject> read(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = u"cannot read "_s + path + u": "_s + file.errorString();
        return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        *error = path + u" is not a JSON object"_s;
        return std::nullopt;
    }
    return document.object();
}

} // namespace SummaryFile
