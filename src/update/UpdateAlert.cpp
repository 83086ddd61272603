#include "UpdateAlert.h"

QString UpdateAlert::downloadButton() {
    return QStringLiteral("Download");
}

UpdateAlert UpdateAlert::update(const VersionManifest& remote) {
    return {QStringLiteral("update"),
            QStringLiteral("Update Available"),
            QStringLiteral("Version ") + remote.version + QStringLiteral(" is available.\n\n") +
                remote.notes,
            {downloadButton(), QStringLiteral("Later")},
            remote.downloadUrl};
}

UpdateAlert UpdateAlert::upToDate() {
    return {QStringLiteral("upToDate"),
            QStringLiteral("You're up to date"),
            QStringLiteral("Tersio is already at the latest version."),
            {QStringLiteral("OK")},
            {}};
}

UpdateAlert UpdateAlert::error() {
    return {QStringLiteral("error"),
            QStringLiteral("Update Check Failed"),
            QStringLiteral("Could not connect to the update server. Please try again later."),
            {QStringLiteral("OK")},
            {}};
}
