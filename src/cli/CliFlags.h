#pragma once

#include "model/TersioSettings.h"

#include <QList>
#include <QString>

#include <functional>

// The command-line flags that override one setting each: their names, help and value rules.
namespace CliFlags {

// Changes the settings; returns an error text, empty on success. Only --crops can fail here,
// because it depends on the crops that are stored.
using Edit = std::function<QString(TersioSettings&)>;

struct Prepared {
    Edit edit;
    QString error; // the value itself is unusable
};

struct Flag {
    QString name;      // "--image-quality"
    QString valueName; // "Q"; empty for a switch
    QString help;      // "image quality 0–100"
    std::function<Prepared(const QString& value)> prepare;
    std::function<QString(const TersioSettings&)> now; // the effective value, for --help
};

const QList<Flag>& settingFlags();
const Flag* find(const QString& name);

} // namespace CliFlags
