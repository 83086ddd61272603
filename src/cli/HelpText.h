#pragma once

#include "model/TersioSettings.h"

#include <QString>

namespace HelpText {

// Every flag, with the effective value of each setting it overrides.
QString usage(const TersioSettings& effective);

QString version();

} // namespace HelpText
