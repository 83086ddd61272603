#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <optional>

// The run summary a worker leaves for a batch engine, written whole or not at all.
namespace SummaryFile {

// Creates the file's folder; returns why the file could not be written there, empty when it can.
QString prepare(const QString& path);

// Replaces the file atomically; returns the error, empty on success.
QString write(const QString& path, const QJsonDocument& document);

std::optional<QJsonObject> read(const QString& path, QString* error);

} // namespace SummaryFile
