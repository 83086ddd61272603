#pragma once

#include "CommandLine.h"

#include "model/TersioSettings.h"

#include <QString>

namespace EffectiveSettings {

struct Result {
    TersioSettings settings;
    QString error; // non-empty: bad usage (unreadable or invalid --settings file, --crops)
};

// The stored settings, or the named file read with the store's strict decoding, then the
// request's edits. Never writes the store.
Result resolve(const CliRequest& request);

// The document --print-settings writes: the store's format, indented for reading.
QByteArray printable(const TersioSettings& settings);

} // namespace EffectiveSettings
