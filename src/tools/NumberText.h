#pragma once

#include <QStringView>

#include <optional>

namespace NumberText {

// A decimal floating-point number that fills the whole text: no blanks, no locale, no "N/A".
// Infinities and NaN are not numbers here.
std::optional<double> parseDecimal(QStringView text);

} // namespace NumberText
