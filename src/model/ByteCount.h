#pragma once

#include <QString>

namespace ByteCount {

// File-style byte count: decimal multiples (1 KB = 1,000 bytes), units KB, MB and GB only.
// 0 reads "Zero KB"; any non-zero amount under 1 KB reads "1 KB" (never bytes).
QString text(qint64 bytes);

} // namespace ByteCount
