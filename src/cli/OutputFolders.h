#pragma once

#include "model/MediaItem.h"
#include "model/TersioSettings.h"

#include <QString>

namespace OutputFolders {

// Whether an item found in an added folder lies where the settings put that folder's outputs:
// a subfolder of that name, or the added folder's copy inside the chosen folder. A folder
// given again after a run would otherwise queue the previous run's outputs as new sources.
bool holds(const MediaItem& item, const TersioSettings& settings);

// "the output folder /srv/www" or "output folders named “optimised”", for messages.
QString describe(const TersioSettings& settings);

} // namespace OutputFolders
