#include "VersionManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

std::optional<VersionManifest> VersionManifest::decode(const QByteArray& body) {
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const auto object = document.object();
    const auto version = object.value(QLatin1String("version"));
    const auto downloadUrl = object.value(QLatin1String("downloadUrl"));
    const auto notes = object.value(QLatin1String("notes"));
    if (!version.isString() || !downloadUrl.isString() || !notes.isString())
        return std::nullopt;
    return VersionManifest{version.toString(), downloadUrl.toString(), notes.toString()};
}
