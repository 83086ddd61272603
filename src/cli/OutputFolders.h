#pragma once

#include "model/TersioSettings.h"

#include <QString>

namespace OutputFolders {

// Whether a file lies in a folder that the settings write outputs into: a subfolder of that
// name, or the chosen folder. A folder given again after a run would otherwise queue the
// previous run's outputs as new sources.
bool holds(const QString& filePath, const TersioSettings& settings);

} // namespace OutputFolders
