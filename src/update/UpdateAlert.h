#pragma once

#include "VersionManifest.h"

#include <QString>
#include <QStringList>

// What one finished check wants to tell the user: the contents of a modal message box.
struct UpdateAlert {
    QString kind; // "update", "upToDate" or "error"
    QString title;
    QString informativeText;
    QStringList buttons; // in the order they are shown
    QString downloadUrl; // only for "update": what the download button opens

    static QString downloadButton();

    static UpdateAlert update(const VersionManifest& remote);
    static UpdateAlert upToDate();
    static UpdateAlert error();

    friend bool operator==(const UpdateAlert&, const UpdateAlert&) = default;
};
