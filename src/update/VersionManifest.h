#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The JSON document the update server publishes at its "/version.json" address.
struct VersionManifest {
    QString version;
    QString downloadUrl;
    QString notes;

    // Strict: one object whose "version", "downloadUrl" and "notes" are all present and all
    // strings. Anything else (a web page, a null, a number) makes the whole body unreadable.
    static std::optional<VersionManifest> decode(const QByteArray& body);

    friend bool operator==(const VersionManifest&, const VersionManifest&) = default;
};
